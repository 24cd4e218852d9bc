// Loading and saving at every depth, and the nearest-colour matching that
// paletted saves are made of.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "bench_pictures.h"
#include "export/mark_triangles.h"
#include "image/bitmap_image.h"
#include "image/palette_matcher.h"

namespace quendral::bench {
namespace {

void Load(benchmark::State& state) {
  const int depth = static_cast<int>(state.range(0));
  const std::string& path = PhotoFile(depth);
  for (auto _ : state) {
    BitmapImage image;
    benchmark::DoNotOptimize(image.Load(path.c_str()));
  }
  state.SetItemsProcessed(state.iterations() * kCodecWidth * kCodecHeight);
}
BENCHMARK(Load)
    ->ArgName("depth")
    ->Arg(1)
    ->Arg(4)
    ->Arg(8)
    ->Arg(16)
    ->Arg(24)
    ->Arg(32)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Saving a picture as it was loaded: at 1, 4 and 8 bits every pixel is
// a table colour.
void Save(benchmark::State& state) {
  const int depth = static_cast<int>(state.range(0));
  BitmapImage image;
  LoadPhoto(image, depth);
  const std::string out = ScratchPath("save.bmp");
  for (auto _ : state) benchmark::DoNotOptimize(image.Save(out.c_str()));
  state.SetItemsProcessed(state.iterations() * kCodecWidth * kCodecHeight);
}
BENCHMARK(Save)
    ->ArgName("depth")
    ->Arg(1)
    ->Arg(4)
    ->Arg(8)
    ->Arg(16)
    ->Arg(24)
    ->Arg(32)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The job's paletted save: a loaded paletted picture whose top corners
// were marked, so that about a third of its pixels are new colours.
void SaveMarkedPaletted(benchmark::State& state) {
  const int depth = static_cast<int>(state.range(0));
  BitmapImage image;
  LoadPhoto(image, depth);
  MarkTriangles(image);
  const std::string out = ScratchPath("save-marked.bmp");
  for (auto _ : state) benchmark::DoNotOptimize(image.Save(out.c_str()));
  state.SetItemsProcessed(state.iterations() * kCodecWidth * kCodecHeight);
}
BENCHMARK(SaveMarkedPaletted)
    ->ArgName("depth")
    ->Arg(1)
    ->Arg(4)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The hardest paletted save: a full-colour photo written with the standard
// table, so that nearly every pixel is a colour not seen before.
void SavePhotoPaletted(benchmark::State& state) {
  const int depth = static_cast<int>(state.range(0));
  BitmapImage image;
  LoadPhoto(image, 24);
  image.SetDepth(depth);
  const std::string out = ScratchPath("save-photo.bmp");
  for (auto _ : state) benchmark::DoNotOptimize(image.Save(out.c_str()));
  state.SetItemsProcessed(state.iterations() * kCodecWidth * kCodecHeight);
}
BENCHMARK(SavePhotoPaletted)
    ->ArgName("depth")
    ->Arg(1)
    ->Arg(4)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

std::vector<ColorQuad> RandomColours(std::size_t count) {
  std::mt19937 random(12345);
  std::vector<ColorQuad> colours(count);
  for (ColorQuad& c : colours) {
    const std::uint32_t v = random();
    c = ColorQuad{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                  static_cast<std::uint8_t>(v >> 16), 0};
  }
  return colours;
}

// One search of the standard 8-bit table per colour, as the plain member
// function does it.
void NearestPaletteIndexScan(benchmark::State& state) {
  BitmapImage image;
  image.SetDepth(8);
  const std::vector<ColorQuad> colours = RandomColours(4096);
  for (auto _ : state)
    for (const ColorQuad& c : colours) benchmark::DoNotOptimize(image.NearestPaletteIndex(c));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(colours.size()));
}
BENCHMARK(NearestPaletteIndexScan);

// The writer's matcher on the same colours, each a colour it has not seen.
void PaletteMatcherFirstSight(benchmark::State& state) {
  BitmapImage image;
  image.SetDepth(8);
  const std::vector<ColorQuad> colours = RandomColours(4096);
  for (auto _ : state) {
    PaletteMatcher matcher(image);
    for (const ColorQuad& c : colours) benchmark::DoNotOptimize(matcher.Match(c));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(colours.size()));
}
BENCHMARK(PaletteMatcherFirstSight);

}  // namespace
}  // namespace quendral::bench
