// Type families: per-type descriptions kept in their own files (family_*.cpp) next to the core
// set in objects_types.h. Each family lists its types once, with the reading and writing
// instantiation of the type's visit function, the writer's preparation step and, for types the
// file numbers through its classes list, the class's names. The reader (objects.cpp) and the
// writer (objects_write.cpp, write_dwg.cpp) consult these lists after their own tables.
#pragma once
#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <utility>

#include "engine/dwg/objects.h"
#include "engine/dwg/objects_io.h"
#include "engine/dwg/objects_write.h"

namespace kel::dwg {

// What a preparation step sees: the record, the body being written, and its plan. A preparation
// step pushes, in description order, the structural values (counts, flag words, values DXF
// spells differently) a description reads with group code 0.
struct PrepInput {
  const Object& o;
  const Tags& body;
  const RecordPlan& plan;
};
using PrepFn = void (*)(const PrepInput&, ObjectWriter&);

struct FamilyType {
  uint16_t number;         // fixed type number; 0 when the file numbers it through its classes
  const char* typeName;    // DWG type name ("HATCH", "IMAGEDEF_REACTOR", ...)
  const char* dxfName;     // DXF record name, also the class's DXF name
  RecordKind kind;         // Entity or Object
  void (*read)(ObjectReader&);
  void (*write)(ObjectWriter&);  // null: read only
  PrepFn prep;                   // null: nothing to prepare
  const char* cppName;     // the class's C++ name (class-numbered types)
  std::array<int, 6> angles;  // groups DXF gives in degrees and DWG in radians (0: unused)
};

// The nine symbol tables, one row each, for the reader's and the writer's type lists: the
// control's type number and name; the layout of the control's handle list as the reader and as
// the writer visit it (visit<layout>) and the writer's preparation of the control (prep<name>);
// the entry's type number and name (which also names the table), its subclass marker and the
// writer's preparation of the entry. The linetype control ends with the ByBlock and ByLayer
// entries after its counted ones, as the block control ends with the two space records: the
// writer gives them, the reader reads the counted entries only.
#define KEL_SYMBOL_TABLES(X)                                                                                      \
  X(48, BLOCK_CONTROL, BlockControl, BlockControl, TableControl, 49, BLOCK_RECORD, "AcDbBlockTableRecord", BLOCK_RECORD) \
  X(50, LAYER_CONTROL, TableControl, TableControl, TableControl, 51, LAYER, "AcDbLayerTableRecord", LAYER)          \
  X(52, STYLE_CONTROL, TableControl, TableControl, TableControl, 53, STYLE, "AcDbTextStyleTableRecord", STYLE)      \
  X(56, LTYPE_CONTROL, TableControl, BlockControl, TableControl, 57, LTYPE, "AcDbLinetypeTableRecord", LTYPE)       \
  X(60, VIEW_CONTROL, TableControl, TableControl, TableControl, 61, VIEW, "AcDbViewTableRecord", VIEW)              \
  X(62, UCS_CONTROL, TableControl, TableControl, TableControl, 63, UCS, "AcDbUCSTableRecord", None)                 \
  X(64, VPORT_CONTROL, TableControl, TableControl, TableControl, 65, VPORT, "AcDbViewportTableRecord", VPORT)       \
  X(66, APPID_CONTROL, TableControl, TableControl, TableControl, 67, APPID, "AcDbRegAppTableRecord", None)          \
  X(68, DIMSTYLE_CONTROL, DimStyleControl, DimStyleControl, DimStyleControl, 69, DIMSTYLE, "AcDbDimStyleTableRecord", None)

// Every family's types.
std::span<const FamilyType> familyTypes();
const FamilyType* familyByTypeName(const std::string& typeName);
const FamilyType* familyByDxfName(const std::string& dxfName);

// The families; each is defined in its family_<name>.cpp.
std::span<const FamilyType> hatchFamily();    // HATCH, MLINE, SHAPE, TOLERANCE
std::span<const FamilyType> leaderFamily();   // LEADER, MULTILEADER, MLEADERSTYLE
std::span<const FamilyType> imageFamily();    // IMAGE, WIPEOUT and their definitions, small objects
std::span<const FamilyType> extraFamily();    // dimension and solid kinds
std::span<const FamilyType> tableFamily();    // ACAD_TABLE, TABLESTYLE, CELLSTYLEMAP, TABLEGEOMETRY
std::span<const FamilyType> renderFamily();   // LIGHT, SUN, HELIX, VISUALSTYLE, MATERIAL
std::span<const FamilyType> surfaceFamily();  // procedural surfaces, SECTIONOBJECT and its objects

// Body helpers for preparation steps.
const Tag* firstTag(const Tags& b, int code);
int64_t intOf(const Tags& b, int code, int64_t dflt = 0);
double realOf(const Tags& b, int code, double dflt = 0);
std::string textOf(const Tags& b, int code);
size_t countOf(const Tags& b, int code);
// The tags of one subclass (after its 100 marker up to the next); the whole body when absent.
std::pair<size_t, size_t> subclassRange(const Tags& b, const char* marker);

// Pushes an insert's scale (41, 42, 43) for a block-reference part: the flag 3 for unit scale, 2
// and one real for a uniform scale, 0 and the three reals otherwise.
void pushInsertScale(ObjectWriter& w, double x, double y, double z);

// The same lookups within the tags [range.first, range.second) of a body, such as one subclass.
// Numbers given as text are read as numbers.
inline size_t countIn(const Tags& b, std::pair<size_t, size_t> range, int code) {
  size_t n = 0;
  for (size_t i = range.first; i < range.second; ++i) n += b[i].code == code;
  return n;
}

inline const Tag* firstIn(const Tags& b, std::pair<size_t, size_t> range, int code) {
  for (size_t i = range.first; i < range.second; ++i)
    if (b[i].code == code) return &b[i];
  return nullptr;
}

inline int64_t intIn(const Tags& b, std::pair<size_t, size_t> range, int code, int64_t dflt) {
  const Tag* t = firstIn(b, range, code);
  if (!t) return dflt;
  return t->kind == engine::ValueKind::String ? std::atoll(t->s.c_str()) : engine::asInt(*t);
}

inline double realIn(const Tags& b, std::pair<size_t, size_t> range, int code, double dflt) {
  const Tag* t = firstIn(b, range, code);
  if (!t) return dflt;
  return t->kind == engine::ValueKind::String ? std::atof(t->s.c_str()) : engine::asDouble(*t);
}

}  // namespace kel::dwg
