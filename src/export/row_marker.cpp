#include "export/row_marker.h"

#include <algorithm>
#include <cstring>

#include "bmp/headers.h"
#include "image/bitmap_image.h"
#include "image/palette_matcher.h"
#include "platform/memory.h"

namespace quendral {
namespace {

// From this many pixels on, a table of every 16-bit word's answer costs
// less than working each word out.
constexpr std::int64_t kWordTableMinPixels = std::int64_t{1} << 16;

// The 5-6-5 word that the writer stores for a pixel.
std::uint16_t Pack565(const ColorQuad& c) {
  return static_cast<std::uint16_t>(((c.red >> 3) << 11) | ((c.green >> 2) << 5) | (c.blue >> 3));
}

// Marking keeps blue only, and in a 5-6-5 word blue is the low 5 bits.
constexpr std::uint16_t kBlueBits = 0x001F;

int IndexAt(const std::uint8_t* row, int i, int depth) {
  switch (depth) {
    case 8: return row[i];
    case 4: return (row[i / 2] >> (i % 2 == 0 ? 4 : 0)) & 0x0F;
    default: return (row[i / 8] >> (7 - i % 8)) & 1;
  }
}

void PutIndex(std::uint8_t* row, int i, int depth, int index) {
  if (depth == 8) {
    row[i] = static_cast<std::uint8_t>(index);
    return;
  }
  const int shift = depth == 4 ? (i % 2 == 0 ? 4 : 0) : 7 - i % 8;
  const int mask = (depth == 4 ? 0x0F : 0x01) << shift;
  std::uint8_t& byte = row[i * depth / 8];
  byte = static_cast<std::uint8_t>((byte & ~mask) | ((index << shift) & mask));
}

}  // namespace

RowMarker::RowMarker(const BmpRowReader& reader)
    : width_(reader.width()),
      height_(reader.height()),
      depth_(reader.depth()),
      stride_(reader.stride()),
      fields_(reader.bitFields()),
      palette_(reader.palette()) {
  const std::size_t w = static_cast<std::size_t>(width_);
  switch (depth_) {
    case 32: dataBytes_ = 4 * w; break;
    case 24: dataBytes_ = 3 * w; break;
    case 16: dataBytes_ = 2 * w; break;
    default: dataBytes_ = (w * static_cast<std::size_t>(depth_) + 7) / 8; break;
  }
}

bool RowMarker::Prepare() {
  if (IsIndexedDepth(depth_)) {
    // What saving does to each pixel: its index becomes that of the first
    // table entry nearest to its colour, which marking may have changed.
    const int colours = IntegerPower(2, depth_);
    PaletteMatcher matcher(palette_, colours);
    std::uint8_t keep[256] = {}, mark[256] = {}, whiteKeep[256], whiteMark[256];
    for (int k = 0; k < colours; ++k) {
      const ColorQuad entry = palette_[k];
      keep[k] = matcher.Match(entry);
      mark[k] = matcher.Match(ColorQuad{entry.blue, 0, 0, entry.alpha});
    }
    std::fill_n(whiteKeep, 256, matcher.Match(kWhite));
    std::fill_n(whiteMark, 256, matcher.Match(ColorQuad{kWhite.blue, 0, 0, kWhite.alpha}));
    FillIndexMap(keep_, keep);
    FillIndexMap(mark_, mark);
    FillIndexMap(whiteKeep_, whiteKeep);
    FillIndexMap(whiteMark_, whiteMark);
    whiteKeep_.identity = false;  // it stands for pixels the file did not give
  } else if (depth_ == 16) {
    const std::uint16_t* m = fields_.mask;
    if (m[0] == 0xF800 && m[1] == 0x07E0 && m[2] == 0x001F) {
      wordLayout_ = WordLayout::k565;
      return true;
    }
    if (m[0] == 0x7C00 && m[1] == 0x03E0 && m[2] == 0x001F) {
      wordLayout_ = WordLayout::k555;
      return true;
    }
    if (std::int64_t{width_} * height_ < kWordTableMinPixels) return true;
    words_ = AllocateArray<std::uint16_t>(65536);
    if (!words_) return false;
    for (unsigned w = 0; w < 65536; ++w)
      words_[w] = Pack565(fields_.Decode(static_cast<std::uint16_t>(w)));
  }
  return true;
}

void RowMarker::FillIndexMap(IndexMap& map, const std::uint8_t* indexFor) const {
  const int colours = IntegerPower(2, depth_);
  std::memcpy(map.index, indexFor, 256);
  map.identity = true;
  for (int k = 0; k < colours; ++k) map.identity &= indexFor[k] == k;
  const int perByte = 8 / depth_;
  const int mask = (1 << depth_) - 1;
  for (int b = 0; b < 256; ++b) {
    // The first pixel of a byte in its highest bits.
    int byte = 0;
    for (int p = 0; p < perByte; ++p) {
      const int shift = 8 - depth_ * (p + 1);
      byte |= indexFor[(b >> shift) & mask] << shift;
    }
    map.byte[b] = static_cast<std::uint8_t>(byte);
  }
}

bool RowMarker::MarkedColumns(int j, int& leftEnd, int& rightStart) const {
  const int half = width_ / 2;
  const int lastRow = std::min(std::max(half - 1, 0), height_ - 1);
  if (j > lastRow) return false;
  leftEnd = std::min(half - j, width_ - 1);
  // A column in both triangles is marked once.
  rightStart = std::min(std::max(half + j, leftEnd + 1), width_);
  return true;
}

// Pixels first .. last: those sharing a byte with pixels outside the range
// one by one, the bytes between whole.
void RowMarker::MapIndices(std::uint8_t* row, int first, int last, const IndexMap& map) const {
  if (first > last) return;
  const int perByte = 8 / depth_;
  int i = first;
  for (; i <= last && i % perByte != 0; ++i) PutIndex(row, i, depth_, map.index[IndexAt(row, i, depth_)]);
  const int wholeEnd = (last + 1) / perByte;  // bytes before this one end by pixel `last`
  for (int k = i / perByte; k < wholeEnd; ++k) row[k] = map.byte[row[k]];
  for (i = std::max(i, wholeEnd * perByte); i <= last; ++i)
    PutIndex(row, i, depth_, map.index[IndexAt(row, i, depth_)]);
}

void RowMarker::MapRow(std::uint8_t* row, int j, const IndexMap& keep, const IndexMap& mark) const {
  int leftEnd = 0, rightStart = 0;
  if (!MarkedColumns(j, leftEnd, rightStart)) {
    if (!keep.identity) MapIndices(row, 0, width_ - 1, keep);
    return;
  }
  MapIndices(row, 0, leftEnd, mark);
  if (!keep.identity) MapIndices(row, leftEnd + 1, rightStart - 1, keep);
  MapIndices(row, rightStart, width_ - 1, mark);
}

// The writer stores zero bits past the last pixel and zero padding.
void RowMarker::ClearTail(std::uint8_t* row) const {
  const std::size_t usedBits = static_cast<std::size_t>(width_) * static_cast<std::size_t>(depth_);
  if (usedBits % 8 != 0)
    row[dataBytes_ - 1] &= static_cast<std::uint8_t>(0xFF00 >> (usedBits % 8));
  std::memset(row + dataBytes_, 0, stride_ - dataBytes_);
}

// Words first .. last become their 5-6-5 words, blue only where marked.
// The two layouts that files mostly hold are worked out byte by byte (the
// compiler makes few wide operations of that); others go through the table
// or the decoder.
void RowMarker::MapWords(std::uint8_t* row, int first, int last, bool marked) const {
  std::uint8_t* p = row + 2 * static_cast<std::size_t>(std::max(first, 0));
  const int count = last - first + 1;
  if (count <= 0) return;
  if (wordLayout_ == WordLayout::k565) {
    // Green keeps the upper five of its six bits: the word loses bit 5.
    for (int n = 0; n < count; ++n, p += 2) {
      p[0] = static_cast<std::uint8_t>(p[0] & (marked ? 0x1F : 0xDF));
      if (marked) p[1] = 0;
    }
  } else if (wordLayout_ == WordLayout::k555) {
    // Red and green move up one bit; the top bit of the word is dropped.
    for (int n = 0; n < count; ++n, p += 2) {
      const std::uint8_t lo = p[0], hi = p[1];
      p[0] = static_cast<std::uint8_t>(marked ? (lo & 0x1F) : ((lo & 0x1F) | ((lo << 1) & 0xC0)));
      p[1] = static_cast<std::uint8_t>(marked ? 0 : (((hi & 0x7F) << 1) | (lo >> 7)));
    }
  } else {
    const std::uint16_t keepBits = marked ? kBlueBits : 0xFFFF;
    for (int n = 0; n < count; ++n, p += 2) {
      const std::uint16_t word = LoadLittleEndian16(p);
      const std::uint16_t out = words_ ? words_[word] : Pack565(fields_.Decode(word));
      StoreLittleEndian16(p, static_cast<std::uint16_t>(out & keepBits));
    }
  }
}

void RowMarker::MarkStoredRow(std::uint8_t* row, int j) const {
  int leftEnd = 0, rightStart = width_;
  const bool marked = MarkedColumns(j, leftEnd, rightStart);
  if (!marked) leftEnd = -1;
  switch (depth_) {
    case 32:
    case 24: {
      // The pixels' own bytes, with green and red cleared where marked.
      const std::size_t size = static_cast<std::size_t>(depth_ / 8);
      auto clear = [&](int from, int to) {
        for (int i = from; i <= to; ++i) {
          row[size * static_cast<std::size_t>(i) + 1] = 0;
          row[size * static_cast<std::size_t>(i) + 2] = 0;
        }
      };
      clear(0, leftEnd);
      clear(rightStart, width_ - 1);
      break;
    }
    case 16:
      MapWords(row, 0, leftEnd, true);
      MapWords(row, leftEnd + 1, rightStart - 1, false);
      MapWords(row, rightStart, width_ - 1, true);
      break;
    default:
      MapRow(row, j, keep_, mark_);
      break;
  }
  ClearTail(row);
}

void RowMarker::MarkWhiteRow(std::uint8_t* row, int j) const {
  if (IsIndexedDepth(depth_)) {
    std::memset(row, 0, stride_);
    MapRow(row, j, whiteKeep_, whiteMark_);
    ClearTail(row);
    return;
  }
  // White as the picture holds it (alpha 0), then marked as any row.
  std::memset(row, 0xFF, dataBytes_);
  if (depth_ == 32)
    for (std::size_t k = 3; k < dataBytes_; k += 4) row[k] = 0;
  MarkStoredRow(row, j);
}

}  // namespace quendral
