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

  // Turns stored row j (0 = top) in place into the row that is written.
  void MarkStoredRow(std::uint8_t* row, int j) const;
  // Writes row j as it is written when the file did not give it: a white
  // row, marked.
  void MarkWhiteRow(std::uint8_t* row, int j) const;

 private:
  // A byte table and an index table for one kind of pixel: what each
  // stored byte (all its pixels alike) and each index become.
  struct IndexMap {
    std::uint8_t byte[256];
    std::uint8_t index[256];
    bool identity;
  };
  void FillIndexMap(IndexMap& map, const std::uint8_t* indexFor) const;
  // The columns marked in row j: 0 .. leftEnd and rightStart .. width - 1
  // (rightStart = width when there are none on the right); false for a row
  // below the triangles.
  bool MarkedColumns(int j, int& leftEnd, int& rightStart) const;
  void MapIndices(std::uint8_t* row, int first, int last, const IndexMap& map) const;
  void MapRow(std::uint8_t* row, int j, const IndexMap& keep, const IndexMap& mark) const;
  void MapWords(std::uint8_t* row, int first, int last, bool marked) const;
  void ClearTail(std::uint8_t* row) const;

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
