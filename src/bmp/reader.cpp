// Reads uncompressed BMP files (1, 4, 8, 16, 24, 32 bits per pixel) and
// 16-bit bit-field files, rows stored bottom row first.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "bmp/headers.h"
#include "bmp/row_loops.h"
#include "bmp/row_size.h"
#include "image/bitmap_image.h"
#include "platform/file.h"
#include "platform/memory.h"

namespace quendral {
namespace {

bool IsAcceptedKind(std::uint32_t compression, int bitCount) {
  if (compression == kCompressionNone) {
    switch (bitCount) {
      case 1: case 4: case 8: case 16: case 24: case 32:
        return true;
      default:
        return false;
    }
  }
  return compression == kCompressionBitFields && bitCount == 16;
}

int ShiftToFiveBits(std::uint16_t mask) {
  int shift = 0;
  while ((mask >> shift) > 31) ++shift;
  return shift;
}

struct BitFields {
  std::uint16_t mask[3] = {0x7C00, 0x03E0, 0x001F};  // red, green, blue: 5-5-5
  int shift[3] = {0, 0, 0};
};

// Each channel is its masked bits brought down to at most 5 bits, times 8;
// alpha is 0.
ColorQuad DecodeWord(std::uint16_t word, const BitFields& f) {
  return ColorQuad{static_cast<std::uint8_t>(8 * ((word & f.mask[2]) >> f.shift[2])),
                   static_cast<std::uint8_t>(8 * ((word & f.mask[1]) >> f.shift[1])),
                   static_cast<std::uint8_t>(8 * ((word & f.mask[0]) >> f.shift[0])), 0};
}

// Pictures from this many pixels on repay building a table of every word's
// pixel (65,536 entries) many times over.
constexpr std::int64_t kWordTableMinPixels = std::int64_t{1} << 18;

}  // namespace

bool BitmapImage::Load(const char* path) {
  if (!CheckTypeSizes()) return false;
  File file = File::Open(path, "rb");
  if (!file.IsOpen()) {
    SetDepth(1);
    Resize(1, 1);
    return false;
  }
  return Load(file);
}

bool BitmapImage::Load(File& file) {
  FileHeader fileHeader;
  bool complete = ReadField(file, fileHeader.bfType);
  // A file that is not a BMP leaves the image exactly as it was.
  if (fileHeader.bfType != kBmpSignature) return false;
  complete &= ReadField(file, fileHeader.bfSize);
  complete &= ReadField(file, fileHeader.bfReserved1);
  complete &= ReadField(file, fileHeader.bfReserved2);
  complete &= ReadField(file, fileHeader.bfOffBits);
  InfoHeader info;
  complete &= ReadInfoHeaderFields(file, info);

  auto resetExit = [this] {
    Resize(1, 1);
    SetDepth(1);
    return false;
  };
  if (!complete) return resetExit();

  // The resolution is kept even when the kind or size is refused below.
  xPelsPerMeter_ = info.biXPelsPerMeter;
  yPelsPerMeter_ = info.biYPelsPerMeter;

  const int depth = info.biBitCount;
  if (!IsAcceptedKind(info.biCompression, depth)) return resetExit();
  SetDepth(depth);
  if (info.biWidth <= 0 || info.biHeight <= 0) return resetExit();
  // Rows whose bit count leaves 32 bits, and pictures beyond the pixel
  // limit or the memory at hand, are refused rather than misread.
  if (std::int64_t{info.biWidth} * depth > std::numeric_limits<std::int32_t>::max())
    return resetExit();
  // Every pixel is written below, decoded or white, so the block is not
  // made white first.
  if (!ResizeUnfilled(info.biWidth, info.biHeight)) return resetExit();

  // What lies between the headers and the pixels, as a signed count.
  const auto afterHeaders = static_cast<std::int32_t>(fileHeader.bfOffBits - kHeadersSize);
  std::int64_t gap = afterHeaders;

  const bool indexed = depth == 1 || depth == 4 || depth == 8;
  if (indexed && !EnsurePalette()) return resetExit();
  if (indexed) {
    // The number of colour-table entries comes from bfOffBits; entries the
    // file does not give are white.
    const int tableSize = IntegerPower(2, depth);
    int entries = afterHeaders / 4;
    if (entries > tableSize) entries = tableSize;
    if (entries < 0) entries = 0;
    // Each entry is read straight into the table (blue, green, red, then the
    // reserved byte as alpha); an entry the file ends inside keeps the
    // standard colour's bytes that did not arrive.
    for (int k = 0; k < entries; ++k) ReadExact(&palette_[k], 1, 4, file);
    for (int k = entries; k < ColorCount(); ++k) SetPaletteEntry(k, kWhite);
    gap -= 4 * tableSize;
  } else if (depth == 16 && info.biCompression == kCompressionBitFields) {
    gap -= 12;
  }
  if (gap < 0) gap = 0;

  if (depth == 16) return LoadBitFieldRows(file, info.biCompression, gap);

  if (gap > 0 && !file.AtEnd()) file.Skip(static_cast<std::size_t>(gap));

  // Rows are fetched many at a time and decoded from the chunk; a picture
  // cut short keeps the complete rows it gave, and white rows above them,
  // exactly as when each row is fetched by itself.
  const std::size_t stride = static_cast<std::size_t>(RowStride(width_, depth));
  const std::size_t rowsPerRead = rows::RowsPerTransfer(stride, height_);
  std::unique_ptr<std::uint8_t[]> chunk = AllocateArray<std::uint8_t>(rowsPerRead * stride);
  if (!chunk) return resetExit();
  const ColorQuad* table = palette_.get();
  int j = height_ - 1;
  while (j >= 0) {
    const std::size_t wanted = std::min(rowsPerRead, static_cast<std::size_t>(j) + 1);
    const std::size_t complete = file.Read(chunk.get(), 1, wanted * stride) / stride;
    for (std::size_t r = 0; r < complete; ++r, --j) {
      const std::uint8_t* in = chunk.get() + r * stride;
      ColorQuad* out = Row(j);
      switch (depth) {
        case 32: rows::Expand32(in, out, width_); break;
        case 24: rows::Expand24(in, out, width_); break;
        case 8: rows::Expand8(in, out, width_, table); break;
        case 4: rows::Expand4(in, out, width_, table); break;
        default: rows::Expand1(in, out, width_, table); break;
      }
    }
    if (complete < wanted) break;
  }
  // Rows 0 .. j were not given: they stay white.
  std::fill_n(Row(0), static_cast<std::size_t>(j + 1) * static_cast<std::size_t>(width_), kWhite);
  return true;
}

bool BitmapImage::LoadBitFieldRows(File& file, std::uint32_t compression, std::int64_t gap) {
  BitFields fields;
  if (compression != kCompressionNone) {
    // Each mask is 32 bits on disk; only its low half takes effect.
    std::uint16_t scratch = 0;
    for (std::uint16_t& mask : fields.mask) {
      ReadField(file, mask);
      ReadField(file, scratch);
    }
  }
  if (gap > 0 && !file.AtEnd()) file.Skip(static_cast<std::size_t>(gap));
  for (int c = 0; c < 3; ++c) fields.shift[c] = ShiftToFiveBits(fields.mask[c]);

  // The words are taken from the rows as if read one at a time: once the
  // file ends, the word last read (or the part of a word that arrived)
  // stands for every pixel the file does not give.
  const std::size_t padding = (4 - (2 * static_cast<std::size_t>(width_)) % 4) % 4;
  const std::size_t rowBytes = 2 * static_cast<std::size_t>(width_) + padding;
  const std::size_t rowsPerRead = rows::RowsPerTransfer(rowBytes, height_);
  std::unique_ptr<std::uint8_t[]> chunk = AllocateArray<std::uint8_t>(rowsPerRead * rowBytes);
  // Large pictures decode each word through a table of all 65,536 answers.
  const bool useTable = std::int64_t{width_} * height_ >= kWordTableMinPixels;
  std::unique_ptr<ColorQuad[]> wordTable = useTable ? AllocateArray<ColorQuad>(65536) : nullptr;
  if (!chunk || (useTable && !wordTable)) {
    Resize(1, 1);
    SetDepth(1);
    return false;
  }
  if (useTable) {
    for (unsigned w = 0; w < 65536; ++w)
      wordTable[w] = DecodeWord(static_cast<std::uint16_t>(w), fields);
  }

  std::uint16_t word = 0;
  int j = height_ - 1;
  while (j >= 0) {
    const std::size_t wanted = std::min(rowsPerRead, static_cast<std::size_t>(j) + 1);
    const std::size_t got = file.AtEnd() ? 0 : file.Read(chunk.get(), 1, wanted * rowBytes);
    for (std::size_t r = 0; r < wanted; ++r, --j) {
      const std::uint8_t* in = chunk.get() + r * rowBytes;
      const std::size_t before = r * rowBytes;
      const std::size_t rowGot = got <= before ? 0 : std::min(got - before, rowBytes);
      ColorQuad* out = Row(j);
      if (useTable && rowGot >= 2 * static_cast<std::size_t>(width_)) {
        rows::Expand16(in, out, width_, wordTable.get());
        word = LoadLittleEndian16(in + 2 * static_cast<std::size_t>(width_ - 1));
        continue;
      }
      for (int i = 0; i < width_; ++i) {
        const std::size_t at = 2 * static_cast<std::size_t>(i);
        if (at + 2 <= rowGot) {
          word = LoadLittleEndian16(in + at);
        } else if (at + 1 == rowGot) {
          word = static_cast<std::uint16_t>((word & 0xFF00) | in[at]);
        }
        out[i] = DecodeWord(word, fields);
      }
    }
  }
  return true;
}

bool BitmapImage::DecodeRow32(const std::uint8_t* buffer, int bufferSize, int j) {
  if (std::int64_t{4} * width_ > bufferSize) return false;
  ColorQuad* pixels = &At(0, j);
  for (int i = 0; i < width_; ++i, buffer += 4)
    pixels[i] = ColorQuad{buffer[0], buffer[1], buffer[2], buffer[3]};
  return true;
}

bool BitmapImage::DecodeRow24(const std::uint8_t* buffer, int bufferSize, int j) {
  if (std::int64_t{3} * width_ > bufferSize) return false;
  ColorQuad* pixels = &At(0, j);
  for (int i = 0; i < width_; ++i, buffer += 3) {
    pixels[i].blue = buffer[0];
    pixels[i].green = buffer[1];
    pixels[i].red = buffer[2];
  }
  return true;
}

bool BitmapImage::DecodeRow8(const std::uint8_t* buffer, int bufferSize, int j) {
  if (width_ > bufferSize) return false;
  ColorQuad* pixels = &At(0, j);
  if (const ColorQuad* table = TableFor(8)) {
    for (int i = 0; i < width_; ++i) pixels[i] = table[buffer[i]];
  } else {
    for (int i = 0; i < width_; ++i) pixels[i] = PaletteEntry(buffer[i]);
  }
  return true;
}

bool BitmapImage::DecodeRow4(const std::uint8_t* buffer, int bufferSize, int j) {
  if (width_ > std::int64_t{2} * bufferSize) return false;
  ColorQuad* pixels = &At(0, j);
  const ColorQuad* table = TableFor(4);
  for (int i = 0; i < width_; ++i) {
    const std::uint8_t byte = buffer[i / 2];
    const int index = (i % 2 == 0) ? (byte >> 4) : (byte & 0x0F);
    pixels[i] = table ? table[index] : PaletteEntry(index);
  }
  return true;
}

bool BitmapImage::DecodeRow1(const std::uint8_t* buffer, int bufferSize, int j) {
  if (width_ > std::int64_t{8} * bufferSize) return false;
  ColorQuad* pixels = &At(0, j);
  const ColorQuad* table = TableFor(1);
  for (int i = 0; i < width_; ++i) {
    const int index = (buffer[i / 8] >> (7 - i % 8)) & 1;
    pixels[i] = table ? table[index] : PaletteEntry(index);
  }
  return true;
}

}  // namespace quendral
