// Type families: per-type descriptions kept in their own files (family_*.cpp) next to the core
// set in objects_types.h. Each family lists its types once, with the reading and writing
// instantiation of the type's visit function, the writer's preparation step and, for types the
// file numbers through its classes list, the class's names. The reader (objects.cpp) and the
// writer (objects_write.cpp, write_dwg.cpp) consult these lists after their own tables.
#pragma once
#include <array>
#include <cstdint>
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

}  // namespace kel::dwg
