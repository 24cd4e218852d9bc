// Marking and rescaling on camera-sized pictures.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "bench_pictures.h"
#include "export/mark_triangles.h"
#include "image/bitmap_image.h"
#include "ops/rescale.h"

namespace quendral::bench {
namespace {

void MarkTrianglesCamera(benchmark::State& state) {
  BitmapImage image;
  LoadPhoto(image, 24, kCameraWidth, kCameraHeight);
  // Marking twice gives the same picture, so every round does the same work.
  for (auto _ : state) MarkTriangles(image);
  state.SetItemsProcessed(state.iterations() * kCameraWidth * kCameraHeight);
}
BENCHMARK(MarkTrianglesCamera)->Unit(benchmark::kMillisecond);

// ScaleImage to 50 % of a picture at `depth`, each round on a fresh copy
// (the copy is not timed).
void ScaleHalf(benchmark::State& state, int width, int height) {
  const int depth = static_cast<int>(state.range(0));
  BitmapImage original;
  LoadPhoto(original, depth, width, height);
  for (auto _ : state) {
    state.PauseTiming();
    BitmapImage image(original);
    state.ResumeTiming();
    benchmark::DoNotOptimize(ScaleImage(image, 'P', 50));
  }
  state.SetItemsProcessed(state.iterations() * (width / 2) * (height / 2));
}

void ScaleImageHalf(benchmark::State& state) {
  ScaleHalf(state, kCodecWidth, kCodecHeight);
}
BENCHMARK(ScaleImageHalf)
    ->ArgName("depth")
    ->Arg(1)
    ->Arg(4)
    ->Arg(8)
    ->Arg(16)
    ->Arg(24)
    ->Arg(32)
    ->Unit(benchmark::kMillisecond);

void ScaleImageHalfCamera(benchmark::State& state) {
  ScaleHalf(state, kCameraWidth, kCameraHeight);
}
BENCHMARK(ScaleImageHalfCamera)->ArgName("depth")->Arg(24)->Unit(benchmark::kMillisecond);

// The baseline for ScaleImageHalfCamera: a plain bilinear loop of our own,
// every neighbour fetched through clamped access and every position
// computed per pixel, into a target allocated beforehand.
void PlainBilinear(const BitmapImage& source, BitmapImage& target) {
  const int w = source.Width(), h = source.Height();
  const int newW = target.Width(), newH = target.Height();
  for (int j = 0; j < newH; ++j) {
    const double y = j * (h - 1.0) / (newH - 1.0);
    const int sy = static_cast<int>(std::floor(y));
    const double fy = y - sy;
    for (int k = 0; k < newW; ++k) {
      const double x = k * (w - 1.0) / (newW - 1.0);
      const int sx = static_cast<int>(std::floor(x));
      const double fx = x - sx;
      const ColorQuad& a = source.At(sx, sy);
      const ColorQuad& b = source.At(sx + 1, sy);
      const ColorQuad& c = source.At(sx, sy + 1);
      const ColorQuad& d = source.At(sx + 1, sy + 1);
      ColorQuad& out = target.At(k, j);
      auto mix = [&](std::uint8_t ca, std::uint8_t cb, std::uint8_t cc, std::uint8_t cd) {
        const double top = ca + (cb - ca) * fx;
        const double bottom = cc + (cd - cc) * fx;
        return static_cast<std::uint8_t>(top + (bottom - top) * fy);
      };
      out.red = mix(a.red, b.red, c.red, d.red);
      out.green = mix(a.green, b.green, c.green, d.green);
      out.blue = mix(a.blue, b.blue, c.blue, d.blue);
    }
  }
}

void PlainBilinearHalfCamera(benchmark::State& state) {
  BitmapImage source;
  LoadPhoto(source, 24, kCameraWidth, kCameraHeight);
  BitmapImage target;
  target.Resize(kCameraWidth / 2, kCameraHeight / 2);
  for (auto _ : state) {
    PlainBilinear(source, target);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * (kCameraWidth / 2) * (kCameraHeight / 2));
}
BENCHMARK(PlainBilinearHalfCamera)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quendral::bench
