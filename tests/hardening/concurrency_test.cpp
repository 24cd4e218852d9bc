// The export called from many threads at once, on different inputs and on
// one shared input, while other threads turn the diagnostics switch on and
// off and ask for rescaling by an unknown mode: every output is what the
// same call writes alone, and (built with ThreadSanitizer, see
// scripts/check-tsan.sh) no data race is reported.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "image/bitmap_image.h"
#include "ops/diagnostics.h"
#include "ops/rescale.h"
#include "quendral/quendral.h"
#include "support/bmp_bytes.h"
#include "support/scratch_dir.h"

namespace quendral {
namespace {

using test::Bytes;

constexpr std::int32_t kLoaded = 999;

std::u16string Wide(const std::string& path) {
  return std::u16string(path.begin(), path.end());
}

void WritePicture(const std::string& path, int depth, int width, int height, std::uint32_t seed) {
  BitmapImage image;
  ASSERT_TRUE(image.SetDepth(depth));
  ASSERT_TRUE(image.Resize(width, height));
  test::TestRandom random(seed);
  for (int j = 0; j < height; ++j)
    for (int i = 0; i < width; ++i)
      image.At(i, j) = ColorQuad{random.Byte(), random.Byte(), random.Byte(), random.Byte()};
  ASSERT_TRUE(image.Save(path.c_str()));
}

// Starts every thread's work at the same moment, so that the calls overlap.
class StartingGate {
 public:
  explicit StartingGate(int threads) : waiting_(threads) {}
  void ArriveAndWait() {
    waiting_.fetch_sub(1);
    while (waiting_.load() > 0) std::this_thread::yield();
  }

 private:
  std::atomic<int> waiting_;
};

// Rescales by an unknown mode until told to stop; "" while every call
// refused and left its picture alone and its diagnostic, if any, is the
// whole message.
std::string RefuseUnknownModes(const std::atomic<bool>& stop, StartingGate& gate) {
  BitmapImage image;
  if (!image.Resize(9, 7)) return "no picture";
  image.At(4, 3) = ColorQuad{1, 2, 3, 4};
  const std::string message = "Bitmap Error: Unknown rescale mode q requested\n";
  gate.ArriveAndWait();
  do {
    ClearLastDiagnostic();
    if (ScaleImage(image, 'q', 50)) return "an unknown mode rescaled";
    const std::string text = LastDiagnostic();
    if (!text.empty() && text != message) return "diagnostic '" + text + "'";
    if (image.Width() != 9 || image.Height() != 7 || image.At(4, 3) != ColorQuad{1, 2, 3, 4})
      return "a refused rescale changed the picture";
  } while (!stop.load());
  return "";
}

TEST(Concurrency, CallsOnManyThreadsWriteWhatCallsAloneWrite) {
  constexpr int kInputs = 8, kSharing = 4, kRounds = 2;
  const int depths[kInputs] = {1, 4, 8, 16, 24, 32, 24, 8};
  test::ScratchDir dir;
  std::vector<Bytes> alone;
  for (int k = 0; k < kInputs; ++k) {
    const std::string in = dir.File("in" + std::to_string(k) + ".bmp");
    WritePicture(in, depths[k], 45 + k, 33 + 2 * k, static_cast<std::uint32_t>(k + 1));
    const std::string out = dir.File("alone.bmp");
    ASSERT_EQ(Quendral(Wide(in).c_str(), Wide(out).c_str()), kLoaded) << k;
    alone.push_back(test::ReadFileBytes(out));
  }

  for (int round = 0; round < kRounds; ++round) {
    const int callers = kInputs + kSharing;
    StartingGate gate(callers + 2);
    std::atomic<bool> stop{false};
    std::vector<std::int32_t> results(callers, 0);
    std::string refusals;
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
      gate.ArriveAndWait();
      for (int flips = 0; !stop.load(); ++flips) {
        if (flips % 2 == 0)
          SetDiagnosticsOff();
        else
          SetDiagnosticsOn();
        (void)DiagnosticsEnabled();
        std::this_thread::yield();
      }
    });
    threads.emplace_back([&] { refusals = RefuseUnknownModes(stop, gate); });
    std::vector<std::thread> calls;
    for (int t = 0; t < callers; ++t) {
      calls.emplace_back([&, t] {
        const int input = t < kInputs ? t : 0;
        const std::u16string in = Wide(dir.File("in" + std::to_string(input) + ".bmp"));
        const std::u16string out = Wide(dir.File("out" + std::to_string(t) + ".bmp"));
        gate.ArriveAndWait();
        results[static_cast<std::size_t>(t)] = Quendral(in.c_str(), out.c_str());
      });
    }
    for (std::thread& call : calls) call.join();
    stop.store(true);
    for (std::thread& thread : threads) thread.join();
    SetDiagnosticsOn();

    EXPECT_EQ(refusals, "") << "round " << round;
    for (int t = 0; t < callers; ++t) {
      const int input = t < kInputs ? t : 0;
      EXPECT_EQ(results[static_cast<std::size_t>(t)], kLoaded) << "thread " << t;
      EXPECT_EQ(test::ReadFileBytes(dir.File("out" + std::to_string(t) + ".bmp")),
                alone[static_cast<std::size_t>(input)])
          << "round " << round << ", thread " << t;
    }
  }
}

// Threads that mark the same input into the same output race on that file;
// what is left must still be one whole picture as a call alone writes it,
// never a mixture, and no temporary file may stay behind.
TEST(Concurrency, CallsWritingOneOutputLeaveOneWholePicture) {
  test::ScratchDir dir;
  const std::string in = dir.File("in.bmp");
  WritePicture(in, 24, 64, 48, 99);
  const std::string out = dir.File("out.bmp");
  ASSERT_EQ(Quendral(Wide(in).c_str(), Wide(out).c_str()), kLoaded);
  const Bytes expected = test::ReadFileBytes(out);
  constexpr int kThreads = 8;
  StartingGate gate(kThreads);
  std::vector<std::thread> threads;
  std::atomic<int> loaded{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      const std::u16string wideIn = Wide(in), wideOut = Wide(out);
      gate.ArriveAndWait();
      for (int k = 0; k < 5; ++k) loaded += Quendral(wideIn.c_str(), wideOut.c_str()) == kLoaded;
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(loaded.load(), kThreads * 5);
  EXPECT_EQ(test::ReadFileBytes(out), expected);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.bmp", "out.bmp"}));
}

}  // namespace
}  // namespace quendral
