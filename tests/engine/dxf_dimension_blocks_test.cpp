// Dimensions without a geometry block: the DXF export names an empty anonymous block for each
// (one a dimension can be read back with), and leaves the drawing as it was.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "engine/dxf/dxf.h"
#include "engine/io.h"
#include "engine/model/drawing.h"
#include "engine/model/structure.h"

using kel::engine::Drawing;
using kel::engine::Object;
using kel::engine::Tag;
using kel::engine::Tags;

namespace {

Object dimension(kel::engine::Handle h, kel::engine::Handle owner, const char* block) {
  Object o;
  o.type = "DIMENSION";
  o.handle = h;
  o.owner = owner;
  o.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0"), Tag::str(100, "AcDbDimension"), Tag::real(10, 1),
            Tag::real(20, 2), Tag::real(30, 0), Tag::integer(70, 0), Tag::str(3, "Standard")};
  if (block) o.body.push_back(Tag::str(2, block));
  o.body.insert(o.body.end(), {Tag::str(100, "AcDbAlignedDimension"), Tag::real(13, 0), Tag::real(23, 0),
                               Tag::real(33, 0), Tag::real(14, 5), Tag::real(24, 0), Tag::real(34, 0)});
  return o;
}

}  // namespace

TEST(DxfDimensionBlocks, BlocklessDimensionsNameAnEmptyBlockOnlyInTheExport) {
  Drawing d;
  kel::engine::buildDefaultDrawing(d);
  const kel::engine::Handle ms = d.table("BLOCK_RECORD")->entries.front().handle;
  // A drawing that already has *D1 (and a dimension drawing with it), so new names go past it.
  kel::engine::Block own;
  own.begin.type = "BLOCK";
  own.begin.handle = d.newHandle();
  own.begin.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0"), Tag::str(100, "AcDbBlockBegin"), Tag::str(2, "*D1"),
                    Tag::integer(70, 1), Tag::real(10, 0), Tag::real(20, 0), Tag::real(30, 0), Tag::str(3, "*D1")};
  own.end.type = "ENDBLK";
  own.end.handle = d.newHandle();
  own.end.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0"), Tag::str(100, "AcDbBlockEnd")};
  Object rec;
  rec.type = "BLOCK_RECORD";
  rec.handle = d.newHandle();
  rec.owner = d.table("BLOCK_RECORD")->control.handle;
  rec.body = {Tag::str(100, "AcDbSymbolTableRecord"), Tag::str(100, "AcDbBlockTableRecord"), Tag::str(2, "*D1")};
  own.begin.owner = own.end.owner = rec.handle;
  d.table("BLOCK_RECORD")->entries.push_back(rec);
  d.blocks.push_back(own);
  d.entities.push_back(dimension(d.newHandle(), ms, "*D1"));  // has its block
  d.entities.push_back(dimension(d.newHandle(), ms, ""));     // empty name (a DWG's null block)
  d.entities.push_back(dimension(d.newHandle(), ms, nullptr));  // no group 2 at all
  d.blocks.front().entities.push_back(dimension(d.newHandle(), ms, "NOSUCH"));  // names no block

  const size_t blocks = d.blocks.size(), records = d.table("BLOCK_RECORD")->entries.size();
  const kel::engine::Handle next = d.nextHandle;
  std::vector<Tags> bodies;
  for (const auto& e : d.entities) bodies.push_back(e.body);
  const std::string text = kel::engine::dxf::dxfText(d, 16);

  // The drawing is as it was.
  EXPECT_EQ(d.blocks.size(), blocks);
  EXPECT_EQ(d.table("BLOCK_RECORD")->entries.size(), records);
  EXPECT_EQ(d.nextHandle, next);
  ASSERT_EQ(d.entities.size(), bodies.size());
  for (size_t i = 0; i < bodies.size(); ++i) {
    ASSERT_EQ(d.entities[i].body.size(), bodies[i].size()) << i;
    for (size_t k = 0; k < bodies[i].size(); ++k) EXPECT_EQ(d.entities[i].body[k].s, bodies[i][k].s) << i << " " << k;
  }
  EXPECT_EQ(d.blocks.front().entities.back().text(2), "NOSUCH");

  // Read back, every dimension names a block of the file: the two without a name got distinct
  // new anonymous blocks after *D1, the one naming a missing block got it; each has a block
  // record and no entities.
  Drawing back;
  ASSERT_EQ(kel::engine::dxf::readDxfData(back, text, nullptr), Acad::eOk);
  std::set<std::string> names;
  back.forEachObject([&](const Object& o) {
    if (o.type != "DIMENSION") return;
    const std::string name = o.text(2);
    const auto* b = back.block(name);
    ASSERT_NE(b, nullptr) << name;
    if (name != "*D1") {
      EXPECT_TRUE(b->entities.empty()) << name;
      EXPECT_EQ(b->begin.integer(70) & 1, name[0] == '*' ? 1 : 0) << name;
      names.insert(name);
    }
  });
  EXPECT_EQ(names, (std::set<std::string>{"*D2", "*D3", "NOSUCH"}));
  size_t recordsBack = 0;
  for (const auto& r : back.table("BLOCK_RECORD")->entries) recordsBack += names.count(r.text(2));
  EXPECT_EQ(recordsBack, 3u);
  // Handles of the added records lie below the file's handle seed.
  EXPECT_GE(kel::engine::handseed(back), back.maxHandle() + 1);
}
