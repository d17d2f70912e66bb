// Typed views of the modelled record types. Each type is described once, by a table of its DXF
// groups (subclass marker, group code, member, first and last version that has it); the same table
// reads a record into the struct (decode) and builds a record from it (encode). Records read from
// files keep their groups as read; the typed view is how the engine (the DWG streams, `info`, the
// generators of tests and benchmarks) reads and makes them.
#pragma once
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/model/drawing.h"

namespace kel::engine {

struct Vec3 {
  double x = 0, y = 0, z = 0;
  bool operator==(const Vec3&) const = default;
};

// What every entity carries in its AcDbEntity part. Groups left at their defaults are not written.
struct EntityCommon {
  std::string layer = "0";
  std::string linetype = "ByLayer";
  int16_t color = 256;  // ByLayer
  int16_t lineweight = -1;
  double linetypeScale = 1;
  int16_t paperSpace = 0;
  std::string layout;          // 410: the layout a paper-space entity is on
  int16_t invisible = 0;       // 60
  int32_t trueColor = -1;      // 420: 0x00RRGGBB, -1 none
  std::string colorName;       // 430
  int32_t transparency = -1;   // 440, -1 none
  Handle material = 0;         // 347
  Handle plotStyle = 0;        // 390
  Handle visualStyle = 0;      // 348
  int16_t shadow = -1;         // 284, -1 none
  std::vector<std::string> graphics;  // proxy graphics, its 310 pieces as stored (size in 92/160)
  bool operator==(const EntityCommon&) const = default;
};

struct Line {
  EntityCommon common;
  double thickness = 0;
  Vec3 start, end;
  Vec3 extrusion{0, 0, 1};
  bool operator==(const Line&) const = default;
};
struct Point {
  EntityCommon common;
  Vec3 position;
  double thickness = 0;
  Vec3 extrusion{0, 0, 1};
  double xAxisAngle = 0;  // degrees: the x axis of the point's own system, for point styles
  bool operator==(const Point&) const = default;
};
struct Circle {
  EntityCommon common;
  double thickness = 0;
  Vec3 center;
  double radius = 1;
  Vec3 extrusion{0, 0, 1};
  bool operator==(const Circle&) const = default;
};
struct Arc {
  EntityCommon common;
  double thickness = 0;
  Vec3 center;
  double radius = 1;
  Vec3 extrusion{0, 0, 1};
  double startAngle = 0, endAngle = 360;  // degrees
  bool operator==(const Arc&) const = default;
};
struct Ellipse {
  EntityCommon common;
  Vec3 center;
  Vec3 majorAxis{1, 0, 0};
  Vec3 extrusion{0, 0, 1};
  double ratio = 1;
  double startParam = 0, endParam = 6.283185307179586;
  bool operator==(const Ellipse&) const = default;
};
struct Text {
  EntityCommon common;
  double thickness = 0;
  Vec3 position;
  double height = 1;
  std::string text;
  double rotation = 0, widthFactor = 1, oblique = 0;
  std::string style = "Standard";
  int16_t generation = 0, hAlign = 0;
  Vec3 alignPoint;
  Vec3 extrusion{0, 0, 1};
  int16_t vAlign = 0;
  bool operator==(const Text&) const = default;
};
struct Insert {
  EntityCommon common;
  int16_t hasAttributes = 0;
  std::string block;
  Vec3 position;
  double xScale = 1, yScale = 1, zScale = 1, rotation = 0;
  int16_t columns = 1, rows = 1;
  double columnSpacing = 0, rowSpacing = 0;
  Vec3 extrusion{0, 0, 1};
  bool operator==(const Insert&) const = default;
};
// SOLID, TRACE and 3DFACE: four corners.
struct Face {
  std::string type = "SOLID";  // or "TRACE", "3DFACE"
  EntityCommon common;
  double thickness = 0;
  Vec3 corner[4];
  Vec3 extrusion{0, 0, 1};  // SOLID/TRACE only
  int16_t invisibleEdges = 0;  // 3DFACE only
  bool operator==(const Face&) const = default;
};
struct LwVertex {
  double x = 0, y = 0, startWidth = 0, endWidth = 0, bulge = 0;
  int32_t id = 0;  // 91: the vertex identifier, written when not 0
  bool operator==(const LwVertex&) const = default;
};
struct LwPolyline {
  EntityCommon common;
  int32_t count = 0;  // kept equal to vertices.size() by encode
  int16_t flags = 0;  // 1 closed, 128 linetype generation
  double constantWidth = 0, elevation = 0, thickness = 0;
  std::vector<LwVertex> vertices;
  Vec3 extrusion{0, 0, 1};
  bool operator==(const LwPolyline&) const = default;
};
struct MText {
  EntityCommon common;
  Vec3 position;
  double height = 1, width = 0;
  int16_t attachment = 1, direction = 1;
  std::string text;  // whole, however many 3-groups the file split it into
  std::string style = "Standard";
  Vec3 extrusion{0, 0, 1};
  Vec3 xDirection{1, 0, 0};
  double rotation = 0;
  int16_t lineSpacingStyle = 1;  // 1 at least, 2 exactly
  double lineSpacing = 1;
  double definedHeight = 0;  // 46: the height the user gave the frame, 0 none
  // Background: 90 bit 1 fill with bgColor, bit 2 fill with the window colour, bit 16 text frame.
  int32_t bgFill = 0;
  int16_t bgColor = 0;        // 63
  int32_t bgTrueColor = -1;   // 421, -1 none
  std::string bgColorName;    // 431
  double bgScale = 1.5;       // 45: fill box size as a multiple of the text height
  int32_t bgTransparency = 0; // 441
  // Columns: type 0 none, 1 static, 2 dynamic; heights of each column when not automatic.
  int16_t columnType = 0;
  int32_t columnCount = 0;
  bool columnFlowReversed = false, columnAutoHeight = false;
  double columnWidth = 0, columnGutter = 0;
  std::vector<double> columnHeights;
  bool operator==(const MText&) const = default;
};

template <class T>
using Member = std::variant<double T::*, int16_t T::*, int32_t T::*, int64_t T::*, bool T::*, std::string T::*,
                            Vec3 T::*, Handle T::*, EntityCommon T::*, std::vector<double> T::*,
                            std::vector<int32_t> T::*, std::vector<std::string> T::*, std::vector<Vec3> T::*,
                            std::vector<Handle> T::*>;

// One group of a type: the subclass it sits under, its code and where it lives in the struct.
// Vec3 members take the code and code+10, code+20. since/until: $ACADVER numbers.
//
// Reading, each group goes to the first entry of its subclass that claims its code and is not yet
// filled: a scalar takes one occurrence, so two entries with the same code take the first and the
// second occurrence; a list (std::vector member) takes every occurrence from then on (a point list
// starts a new point at each x). Writing follows the table order; lists write every element.
// The member's default (its initializer in the struct) is the value a record without the group has.
template <class T>
struct Attr {
  const char* subclass;
  int code;
  Member<T> member;
  int since = 1009;
  int until = 9999;
};

// The description of each modelled type: DXF names, table, and hooks for what a table cannot say
// (nested repeated structures): `decodeExtra`/`encodeExtra` run at the table's KEL_EXTRA entry and
// `extraCodes` names the codes they handle; `prepare` sets derived values (counts) before writing.
template <class T>
struct Description;

// Reads the groups the type's table names; groups it does not name are ignored. False when the
// record is of another type.
template <class T>
bool decode(const Object& o, T& out);
// Builds the record body (subclass markers and groups, in table order) for the given version.
template <class T>
Object encode(const T& v, int version = 1027);

// A modelled type seen from outside its struct: for lists of all modelled types (the import log,
// the corpus checks). `roundTrip` reads a record into the view, writes it and reads that again:
// false (with the reason) when the two reads differ.
struct ViewInfo {
  const char* type;
  bool (*roundTrip)(const Object& o, std::string& why);
  std::vector<int> (*codes)();
};
template <class T>
void addView(std::vector<ViewInfo>& out);
// Every modelled type (engine/model/views.cpp), and one by DXF name (null when not modelled).
const std::vector<ViewInfo>& views();
const ViewInfo* viewOf(std::string_view type);

// Adds a typed entity to a container list of a drawing with a new handle and the owner given.
template <class T>
Object& addEntity(Drawing& d, std::vector<Object>& list, Handle owner, const T& v) {
  Object o = encode(v);
  o.handle = d.newHandle();
  o.owner = owner;
  list.push_back(std::move(o));
  return list.back();
}

}  // namespace kel::engine

#include "engine/model/entities_impl.h"
// The other modelled types, by group.
#include "engine/model/views_annotation.h"
#include "engine/model/views_entities.h"
#include "engine/model/views_objects.h"
#include "engine/model/views_styles.h"
#include "engine/model/views_tables.h"
#undef KEL_EXTRA
