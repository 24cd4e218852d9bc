#include "batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "error_stream.h"
#include "operands.h"

namespace quendral::cli {
namespace {

using Clock = std::chrono::steady_clock;

std::string ProgressText(std::size_t done, std::size_t total, long long bytes, double seconds) {
  char text[96];
  std::snprintf(text, sizeof text, "quendral: %zu of %zu files, %.1f MB/s", done, total,
                seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0.0);
  return text;
}

}  // namespace

int RunBatch(const std::vector<BatchItem>& items, int jobs, bool showProgress,
             const std::function<int(const BatchItem&)>& work) {
  const std::size_t total = items.size();
  std::atomic<std::size_t> next{0};
  std::atomic<int> worst{0};
  std::atomic<long long> bytesRead{0};
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t done = 0;

  auto worker = [&] {
    for (std::size_t k; (k = next.fetch_add(1)) < total;) {
      const int status = work(items[k]);
      int seen = worst.load();
      while (status > seen && !worst.compare_exchange_weak(seen, status)) {
      }
      bytesRead += FileSize(items[k].input);
      {
        std::lock_guard<std::mutex> lock(mutex);
        ++done;
      }
      changed.notify_one();
    }
  };
  const std::size_t threads =
      std::min({static_cast<std::size_t>(std::max(jobs, 1)), total, kMostJobs});
  std::vector<std::thread> pool;
  pool.reserve(threads);
  // The system may refuse threads (memory, a limit on processes): the
  // batch goes on with those it gave, or on this thread alone.
  for (std::size_t t = 0; t < threads; ++t) {
    try {
      pool.emplace_back(worker);
    } catch (const std::system_error&) {
      break;
    }
  }
  if (pool.empty()) worker();

  const Clock::time_point start = Clock::now();
  bool drawn = false;
  std::unique_lock<std::mutex> lock(mutex);
  while (done < total) {
    changed.wait_for(lock, std::chrono::milliseconds(250));
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    if (!showProgress || elapsed.count() < 1.0 || done == total) continue;
    const std::string text = ProgressText(done, total, bytesRead.load(), elapsed.count());
    lock.unlock();
    DrawProgressLine(text);
    drawn = true;
    lock.lock();
  }
  lock.unlock();
  for (std::thread& thread : pool) thread.join();
  if (drawn) ClearProgressLine();
  return worst.load();
}

}  // namespace quendral::cli
