#include "bmp/row_reader.h"

#include <algorithm>

#include "bmp/headers.h"
#include "bmp/row_size.h"
#include "image/bitmap_image.h"
#include "platform/file.h"

namespace quendral {
namespace {

int ShiftToFiveBits(std::uint16_t mask) {
  int shift = 0;
  while ((mask >> shift) > 31) ++shift;
  return shift;
}

}  // namespace

HeaderVerdict BmpRowReader::ReadHeaders() {
  quendral::ReadHeaders(file_, headers_);
  const HeaderVerdict verdict = JudgeHeaders(headers_);
  if (verdict == HeaderVerdict::kAccepted) {
    stride_ = static_cast<std::size_t>(RowStride(width(), depth()));
    rowsLeft_ = height();
  }
  return verdict;
}

void BmpRowReader::ReadTables() {
  const PixelDataLayout layout = ComputePixelDataLayout(headers_.file, headers_.info);
  // Passed over by reading, so that pipes serve as well as files; a file
  // that ends inside is no error here.
  auto passOver = [this](std::int64_t bytes) {
    if (bytes > 0 && !file_.AtEnd()) file_.Skip(static_cast<std::size_t>(bytes));
  };
  const int bits = depth();
  if (IsIndexedDepth(bits)) {
    passOver(layout.headerRest);
    // Each entry is read straight into the table (blue, green, red, then the
    // reserved byte as alpha); an entry the file ends inside keeps the
    // standard colour's bytes that did not arrive.
    FillStandardTable(bits, palette_);
    for (int k = 0; k < layout.tableEntries; ++k) ReadExact(&palette_[k], 1, 4, file_);
    std::fill(palette_ + layout.tableEntries, palette_ + IntegerPower(2, bits), kWhite);
  } else if (bits == 16 && headers_.info.biCompression != kCompressionNone) {
    // Each mask is 32 bits on disk; only its low half takes effect.
    std::uint16_t scratch = 0;
    for (std::uint16_t& mask : fields_.mask) {
      ReadField(file_, mask);
      ReadField(file_, scratch);
    }
  }
  passOver(layout.gap);
  for (int c = 0; c < 3; ++c) fields_.shift[c] = ShiftToFiveBits(fields_.mask[c]);
}

std::size_t BmpRowReader::ReadRows(std::uint8_t* out, std::size_t count) {
  count = std::min(count, static_cast<std::size_t>(rowsLeft_));
  rowsLeft_ -= static_cast<int>(count);
  if (count == 0) return 0;
  if (depth() == 16) return ReadWordRows(out, count);
  if (ended_) return 0;
  const std::size_t complete = file_.Read(out, 1, count * stride_) / stride_;
  if (complete < count) ended_ = true;
  return complete;
}

// The words are taken from the rows as if read one at a time: once the
// file ends, the word last read (or the part of a word that arrived)
// stands for every word the file does not give.
std::size_t BmpRowReader::ReadWordRows(std::uint8_t* out, std::size_t count) {
  const std::size_t got = file_.AtEnd() ? 0 : file_.Read(out, 1, count * stride_);
  const std::size_t dataBytes = 2 * static_cast<std::size_t>(width());
  for (std::size_t r = 0; r < count; ++r) {
    std::uint8_t* row = out + r * stride_;
    const std::size_t before = r * stride_;
    const std::size_t rowGot = got <= before ? 0 : std::min(got - before, stride_);
    if (rowGot >= dataBytes) {
      word_ = LoadLittleEndian16(row + dataBytes - 2);
    } else {
      FillMissingWords(row, rowGot, dataBytes);
    }
  }
  return count;
}

void BmpRowReader::FillMissingWords(std::uint8_t* out, std::size_t got, std::size_t bytes) {
  if (got >= 2) word_ = LoadLittleEndian16(out + (got & ~std::size_t{1}) - 2);
  for (std::size_t at = got & ~std::size_t{1}; at < bytes; at += 2) {
    if (at + 1 == got) word_ = static_cast<std::uint16_t>((word_ & 0xFF00) | out[at]);
    StoreLittleEndian16(out + at, word_);
  }
}

std::size_t BmpRowReader::ReadRowBytes(std::uint8_t* out, std::size_t bytes) {
  if (rowsLeft_ == 0 || (ended_ && depth() != 16)) return 0;
  bytes = std::min(bytes, stride_ - rowOffset_);
  std::size_t given = 0;
  if (depth() == 16) {
    // Padding is read as it comes but never stands for a word.
    const std::size_t dataBytes = 2 * static_cast<std::size_t>(width());
    const std::size_t words = rowOffset_ >= dataBytes ? 0 : std::min(bytes, dataBytes - rowOffset_);
    const std::size_t got = file_.AtEnd() ? 0 : file_.Read(out, 1, bytes);
    if (got < words) {
      FillMissingWords(out, got, words);
    } else if (words >= 2) {
      word_ = LoadLittleEndian16(out + words - 2);
    }
    given = bytes;
  } else {
    given = file_.Read(out, 1, bytes);
    if (given < bytes) ended_ = true;
  }
  rowOffset_ += bytes;
  if (rowOffset_ == stride_ || ended_) {
    rowOffset_ = 0;
    --rowsLeft_;
  }
  return given;
}

}  // namespace quendral
