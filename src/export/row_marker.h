// The triangle marking applied to stored BMP rows as they stream past, so
// that the export's job needs no picture in memory. For every row it gives
// the bytes that loading the file, marking the picture and saving it at
// its depth would give for that row; each table below is a function of the
// file's headers and colour table alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "bmp/row_reader.h"

namespace quendral {

class RowMarker {
 public:
  // For a reader whose tables have been read. False from Prepare when the
  // memory for the 16-bit table cannot be had.
  explicit RowMarker(const BmpRowReader& reader);
  bool Prepare();

  // A piece of stored row j (0 = top): pixels first .. first + count - 1,
  // starting at `bytes`. `first` is a multiple of 8, so that every piece
  // starts on a byte; the piece that ends the row holds its padding too.
  struct Piece {
    std::uint8_t* bytes;
    int j;
    int first;
    int count;
  };
  // Bytes of the piece of `count` pixels from `first`.
  std::size_t PieceBytes(int first, int count) const;

  // Turns a piece of a stored row in place into the bytes that are written.
  void MarkStored(const Piece& piece) const;
  // Writes a piece as it is written when the file did not give its row: a
  // white row, marked. Not for 16 bits, where every row is given.
  void MarkWhite(const Piece& piece) const;

  void MarkStoredRow(std::uint8_t* row, int j) const { MarkStored({row, j, 0, width_}); }
  void MarkWhiteRow(std::uint8_t* row, int j) const { MarkWhite({row, j, 0, width_}); }

 private:
  // A byte table and an index table for one kind of pixel: what each
  // stored byte (all its pixels alike) and each index become.
  struct IndexMap {
    std::uint8_t byte[256];
    std::uint8_t index[256];
    bool identity;
    // At 8 bits, when at most kFewChanges indices change: which, and to
    // what (unused places repeat the first), so that whole rows are
    // compared rather than looked up.
    int changes;
    std::uint8_t from[4], to[4];
  };
  static constexpr int kFewChanges = 4;
  void FillIndexMap(IndexMap& map, const std::uint8_t* indexFor) const;
  // The piece's columns marked in its row, counted from the piece's first:
  // 0 .. leftEnd and rightStart .. count - 1, neither of which may hold a
  // column (leftEnd -1, rightStart count).
  void MarkedColumns(const Piece& piece, int& leftEnd, int& rightStart) const;
  void MapIndices(std::uint8_t* bytes, int first, int last, const IndexMap& map) const;
  void MapPiece(const Piece& piece, const IndexMap& keep, const IndexMap& mark) const;
  void MapWords(std::uint8_t* bytes, int first, int last, bool marked) const;
  void ClearTail(const Piece& piece) const;
  std::size_t Offset(int first) const;

  int width_, height_, depth_;
  std::size_t stride_, dataBytes_;
  BitFields fields_;
  // 1, 4 and 8 bits: stored indices kept and marked; white kept and marked.
  IndexMap keep_, mark_, whiteKeep_, whiteMark_;
  // 16 bits: the two common layouts by rule; any other through each stored
  // word's 5-6-5 word, tabled for large pictures.
  enum class WordLayout { k565, k555, kOther };
  WordLayout wordLayout_ = WordLayout::kOther;
  std::unique_ptr<std::uint16_t[]> words_;
  const ColorQuad* palette_;
};

}  // namespace quendral
