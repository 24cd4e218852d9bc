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
    // Constant maps of two or more entries are never the identity, so
    // white rows are always written whole.
    FillIndexMap(whiteKeep_, whiteKeep);
    FillIndexMap(whiteMark_, whiteMark);
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
  map.changes = 0;
  for (int k = 0; k < colours; ++k) {
    if (indexFor[k] == k) continue;
    if (map.changes < kFewChanges) {
      map.from[map.changes] = static_cast<std::uint8_t>(k);
      map.to[map.changes] = indexFor[k];
    }
    ++map.changes;
  }
  map.identity = map.changes == 0;
  for (int c = map.changes; c < kFewChanges && c > 0; ++c) {
    map.from[c] = map.from[0];
    map.to[c] = map.to[0];
  }
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

void RowMarker::MarkedColumns(const Piece& piece, int& leftEnd, int& rightStart) const {
  const int half = width_ / 2;
  const int lastRow = std::min(std::max(half - 1, 0), height_ - 1);
  int left = -1, right = width_;
  if (piece.j <= lastRow) {
    left = std::min(half - piece.j, width_ - 1);
    // A column in both triangles is marked once.
    right = std::min(std::max(half + piece.j, left + 1), width_);
  }
  leftEnd = std::max(std::min(left, piece.first + piece.count - 1) - piece.first, -1);
  rightStart = std::min(std::max(right, piece.first) - piece.first, piece.count);
}

std::size_t RowMarker::Offset(int first) const {
  return static_cast<std::size_t>(first) / 8 * static_cast<std::size_t>(depth_);
}

std::size_t RowMarker::PieceBytes(int first, int count) const {
  if (first + count >= width_) return stride_ - Offset(first);
  return Offset(first + count) - Offset(first);
}

// Pixels first .. last: those sharing a byte with pixels outside the range
// one by one, the bytes between whole.
void RowMarker::MapIndices(std::uint8_t* bytes, int first, int last, const IndexMap& map) const {
  if (first > last) return;
  const int perByte = 8 / depth_;
  int i = first;
  for (; i <= last && i % perByte != 0; ++i)
    PutIndex(bytes, i, depth_, map.index[IndexAt(bytes, i, depth_)]);
  const int wholeEnd = (last + 1) / perByte;  // bytes before this one end by pixel `last`
  if (depth_ == 8 && map.changes > 0 && map.changes <= kFewChanges) {
    // Each byte against the few that change, all from the byte as stored;
    // compilers make wide compares and selects of this.
    // (Copied out first: the row's bytes may alias anything.)
    const std::uint8_t f0 = map.from[0], f1 = map.from[1], f2 = map.from[2], f3 = map.from[3];
    const std::uint8_t t0 = map.to[0], t1 = map.to[1], t2 = map.to[2], t3 = map.to[3];
    for (int k = i; k < wholeEnd; ++k) {
      const std::uint8_t stored = bytes[k];
      std::uint8_t out = stored == f0 ? t0 : stored;
      out = stored == f1 ? t1 : out;
      out = stored == f2 ? t2 : out;
      out = stored == f3 ? t3 : out;
      bytes[k] = out;
    }
    return;
  }
  for (int k = i / perByte; k < wholeEnd; ++k) bytes[k] = map.byte[bytes[k]];
  for (i = std::max(i, wholeEnd * perByte); i <= last; ++i)
    PutIndex(bytes, i, depth_, map.index[IndexAt(bytes, i, depth_)]);
}

void RowMarker::MapPiece(const Piece& piece, const IndexMap& keep, const IndexMap& mark) const {
  int leftEnd = 0, rightStart = 0;
  MarkedColumns(piece, leftEnd, rightStart);
  MapIndices(piece.bytes, 0, leftEnd, mark);
  if (!keep.identity) MapIndices(piece.bytes, leftEnd + 1, rightStart - 1, keep);
  MapIndices(piece.bytes, rightStart, piece.count - 1, mark);
}

// The writer stores zero bits past the last pixel and zero padding.
void RowMarker::ClearTail(const Piece& piece) const {
  if (piece.first + piece.count < width_) return;
  const std::size_t offset = Offset(piece.first);
  const std::size_t dataBytes = dataBytes_ - offset;
  const std::size_t usedBits = static_cast<std::size_t>(piece.count) * static_cast<std::size_t>(depth_);
  if (usedBits % 8 != 0)
    piece.bytes[dataBytes - 1] &= static_cast<std::uint8_t>(0xFF00 >> (usedBits % 8));
  std::memset(piece.bytes + dataBytes, 0, stride_ - offset - dataBytes);
}

// Words first .. last become their 5-6-5 words, blue only where marked.
// The two layouts that files mostly hold are worked out byte by byte (the
// compiler makes few wide operations of that); others go through the table
// or the decoder.
void RowMarker::MapWords(std::uint8_t* bytes, int first, int last, bool marked) const {
  const int count = last - first + 1;
  if (count <= 0) return;
  std::uint8_t* p = bytes + 2 * static_cast<std::size_t>(first);
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

void RowMarker::MarkStored(const Piece& piece) const {
  int leftEnd = 0, rightStart = 0;
  MarkedColumns(piece, leftEnd, rightStart);
  std::uint8_t* bytes = piece.bytes;
  switch (depth_) {
    case 32:
    case 24: {
      // The pixels' own bytes, with green and red cleared where marked.
      const std::size_t size = static_cast<std::size_t>(depth_ / 8);
      auto clear = [&](int from, int to) {
        for (int i = from; i <= to; ++i) {
          bytes[size * static_cast<std::size_t>(i) + 1] = 0;
          bytes[size * static_cast<std::size_t>(i) + 2] = 0;
        }
      };
      clear(0, leftEnd);
      clear(rightStart, piece.count - 1);
      break;
    }
    case 16:
      MapWords(bytes, 0, leftEnd, true);
      MapWords(bytes, leftEnd + 1, rightStart - 1, false);
      MapWords(bytes, rightStart, piece.count - 1, true);
      break;
    default:
      MapPiece(piece, keep_, mark_);
      break;
  }
  ClearTail(piece);
}

void RowMarker::MarkWhite(const Piece& piece) const {
  const std::size_t bytes = PieceBytes(piece.first, piece.count);
  if (IsIndexedDepth(depth_)) {
    std::memset(piece.bytes, 0, bytes);
    MapPiece(piece, whiteKeep_, whiteMark_);
    ClearTail(piece);
    return;
  }
  // White as the picture holds it (alpha 0), then marked as any row.
  std::memset(piece.bytes, 0xFF, bytes);
  if (depth_ == 32)
    for (std::size_t k = 3; k < bytes; k += 4) piece.bytes[k] = 0;
  MarkStored(piece);
}

}  // namespace quendral
