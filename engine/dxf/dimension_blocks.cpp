#include "engine/dxf/dimension_blocks.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <unordered_set>

namespace kel::engine {

namespace {

// The n of a name "*D<n>" (any case), -1 for other names.
long anonymousDimensionNumber(const std::string& name) {
  if (name.size() < 3 || name[0] != '*' || (name[1] != 'D' && name[1] != 'd')) return -1;
  for (size_t i = 2; i < name.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return -1;
  return std::strtol(name.c_str() + 2, nullptr, 10);
}

// Index of a dimension's group 2 (its block name); body.size() when absent.
size_t blockNameTag(const Tags& body) {
  for (size_t i = 0; i < body.size(); ++i)
    if (body[i].code == 2) return i;
  return body.size();
}

// Where group 2 goes when a dimension lacks it: after the style name (3) of its AcDbDimension
// part, else right after that marker; body.size() when the body has no such part.
size_t blockNameSlot(const Tags& body) {
  size_t marker = body.size();
  for (size_t i = 0; i < body.size(); ++i) {
    if (body[i].code != 100) continue;
    if (marker < body.size()) return marker + 1;  // the next part starts: no style name seen
    if (body[i].s == "AcDbDimension") marker = i;
  }
  if (marker == body.size()) return marker;
  for (size_t i = marker + 1; i < body.size() && body[i].code != 100; ++i)
    if (body[i].code == 3) return i + 1;
  return marker + 1;
}

}  // namespace

Object& DimensionBlocksForExport::dimension(const Named& n) {
  return n.block < 0 ? m_d.entities[n.entity] : m_d.blocks[size_t(n.block)].entities[n.entity];
}

DimensionBlocksForExport::DimensionBlocksForExport(Drawing& d) : m_d(d) {
  m_blocks = d.blocks.size();
  m_nextHandle = d.nextHandle;
  SymbolTable* records = d.table("BLOCK_RECORD");
  if (!records) return;
  m_records = records->entries.size();

  // Which dimensions need a block; the block names are gathered only when a dimension is met.
  std::unordered_set<std::string> names;
  long lastNumber = 0;
  bool namesRead = false;
  auto consider = [&](Object& o, long block, size_t index) {
    if (o.type != "DIMENSION" && o.type != "ARC_DIMENSION" && o.type != "LARGE_RADIAL_DIMENSION") return;
    if (!namesRead) {
      for (const auto& b : d.blocks) {
        names.insert(upper(b.name()));
        lastNumber = std::max(lastNumber, anonymousDimensionNumber(b.name()));
      }
      namesRead = true;
    }
    const size_t at = blockNameTag(o.body);
    if (at < o.body.size() && !o.body[at].s.empty() && names.count(upper(o.body[at].s))) return;
    if (at == o.body.size() && blockNameSlot(o.body) == o.body.size()) return;  // not shaped as a dimension
    m_named.push_back({block, index, at, at == o.body.size(), at < o.body.size() ? o.body[at] : Tag()});
  };
  for (size_t b = 0; b < d.blocks.size(); ++b)
    for (size_t i = 0; i < d.blocks[b].entities.size(); ++i) consider(d.blocks[b].entities[i], long(b), i);
  for (size_t i = 0; i < d.entities.size(); ++i) consider(d.entities[i], -1, i);
  if (m_named.empty()) return;

  // The handle seed may lie below the largest handle in use (a damaged file): start above both.
  d.nextHandle = std::max(d.nextHandle, d.maxHandle() + 1);
  d.blocks.reserve(d.blocks.size() + m_named.size());
  records->entries.reserve(records->entries.size() + m_named.size());
  for (auto& n : m_named) {
    // A name without its block keeps its name (the first dimension to use it gets the block);
    // the others get the next free *D number.
    std::string name = n.inserted ? std::string() : n.before.s;
    if (name.empty() || names.count(upper(name))) {
      name = "*D" + std::to_string(++lastNumber);
      while (names.count(upper(name))) name = "*D" + std::to_string(++lastNumber);
    }
    names.insert(upper(name));

    Object rec;
    rec.type = "BLOCK_RECORD";
    rec.handle = d.newHandle();
    rec.owner = records->control.handle;
    rec.body = {Tag::str(100, "AcDbSymbolTableRecord"), Tag::str(100, "AcDbBlockTableRecord"), Tag::str(2, name),
                Tag::integer(70, 0), Tag::integer(280, 1), Tag::integer(281, 0), Tag::handle(340, 0)};
    Block b;
    b.begin.type = "BLOCK";
    b.begin.handle = d.newHandle();
    b.begin.owner = rec.handle;
    b.begin.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0"), Tag::str(100, "AcDbBlockBegin"),
                    Tag::str(2, name), Tag::integer(70, name[0] == '*' ? 1 : 0), Tag::real(10, 0), Tag::real(20, 0), Tag::real(30, 0),
                    Tag::str(3, name), Tag::str(1, "")};
    b.end.type = "ENDBLK";
    b.end.handle = d.newHandle();
    b.end.owner = rec.handle;
    b.end.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0"), Tag::str(100, "AcDbBlockEnd")};
    records->entries.push_back(std::move(rec));
    d.blocks.push_back(std::move(b));

    Tags& body = dimension(n).body;
    if (n.inserted) {
      n.tag = blockNameSlot(body);
      body.insert(body.begin() + std::ptrdiff_t(n.tag), Tag::str(2, name));
    } else {
      body[n.tag] = Tag::str(2, name);
    }
  }
}

DimensionBlocksForExport::~DimensionBlocksForExport() {
  if (m_named.empty()) return;
  for (const auto& n : m_named) {
    Tags& body = dimension(n).body;
    if (n.inserted) body.erase(body.begin() + std::ptrdiff_t(n.tag));
    else body[n.tag] = n.before;
  }
  m_d.blocks.resize(m_blocks);
  if (SymbolTable* records = m_d.table("BLOCK_RECORD")) records->entries.resize(m_records);
  m_d.nextHandle = m_nextHandle;
}

}  // namespace kel::engine
