// Geometry blocks for dimensions that have none, for the length of a DXF export.
//
// A DXF dimension names the anonymous block (*D<n>) that holds its lines, arrows and text, and
// DXF readers drop a dimension whose block is missing. A DWG may store a dimension without one
// (the hidden constraint dimensions of dynamic blocks do), and a DXF file of another program may
// leave group 2 out or name a block it does not hold. For the export each such dimension gets an
// empty block of its own (under the name it gives, else the next free *D<n>):
// the dimension and everything it stores travel, and a program that draws dimensions from their
// definition points (or regenerates them) still can. The drawing is left as it was afterwards:
// the blocks exist only while the export writes.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "engine/model/drawing.h"

namespace kel::engine {

class DimensionBlocksForExport {
 public:
  // Adds the blocks (with their block records) and names them in the dimensions.
  explicit DimensionBlocksForExport(Drawing& d);
  // Takes the blocks out again and gives the dimensions their group 2 back as it was.
  ~DimensionBlocksForExport();
  DimensionBlocksForExport(const DimensionBlocksForExport&) = delete;
  DimensionBlocksForExport& operator=(const DimensionBlocksForExport&) = delete;

  // How many dimensions got a block.
  size_t added() const { return m_named.size(); }

 private:
  // Where a dimension is: a block's entity list (block index) or the ENTITIES section (-1).
  struct Named {
    long block;
    size_t entity;
    size_t tag;        // index of its group 2
    bool inserted;     // the group was absent and is taken out again
    Tag before;
  };
  Object& dimension(const Named& n);

  Drawing& m_d;
  size_t m_blocks = 0;   // d.blocks.size() before
  size_t m_records = 0;  // block-record entries before
  Handle m_nextHandle = 0;
  std::vector<Named> m_named;
};

}  // namespace kel::engine
