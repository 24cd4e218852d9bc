#include "bmp/row_decoder.h"

#include "bmp/headers.h"
#include "bmp/row_loops.h"
#include "platform/memory.h"

namespace quendral {

bool StoredRowDecoder::Prepare(std::int64_t pixels) {
  constexpr std::int64_t kWordTableMinPixels = std::int64_t{1} << 18;
  if (reader_.depth() != 16 || pixels < kWordTableMinPixels) return true;
  wordTable_ = AllocateArray<ColorQuad>(65536);
  if (!wordTable_) return false;
  const BitFields& fields = reader_.bitFields();
  for (unsigned w = 0; w < 65536; ++w) wordTable_[w] = fields.Decode(static_cast<std::uint16_t>(w));
  return true;
}

void StoredRowDecoder::DecodePixels(const std::uint8_t* in, ColorQuad* out, int width) const {
  const ColorQuad* table = reader_.palette();
  switch (reader_.depth()) {
    case 32: rows::Expand32(in, out, width); break;
    case 24: rows::Expand24(in, out, width); break;
    case 16:
      if (wordTable_) {
        rows::Expand16(in, out, width, wordTable_.get());
      } else {
        const BitFields& fields = reader_.bitFields();
        for (int i = 0; i < width; ++i) out[i] = fields.Decode(LoadLittleEndian16(in + 2 * i));
      }
      break;
    case 8: rows::Expand8(in, out, width, table); break;
    case 4: rows::Expand4(in, out, width, table); break;
    default: rows::Expand1(in, out, width, table); break;
  }
}

}  // namespace quendral
