// Typed views (see entities.h) of the entities group of modelled types: splines, hatches,
// dimensions, leaders, tolerances, construction lines, multilines and modeler-geometry entities.
#pragma once
// Included at the end of entities.h.
#include "engine/model/entities_impl.h"

namespace kel::engine {

// ---- SPLINE ---------------------------------------------------------------------------------------

struct Spline {
  EntityCommon common;
  Vec3 normal{0, 0, 1};  // 210: the plane of a planar spline
  int16_t flags = 0;     // 1 closed, 2 periodic, 4 rational, 8 planar, 16 linear, 1024 fit-point defined
  int16_t degree = 3;
  // Counts of knots, control points and fit points: set from the lists when written.
  int32_t knotCount = 0, controlCount = 0, fitCount = 0;
  double knotTolerance = 1e-10, controlTolerance = 1e-10, fitTolerance = 1e-10;
  Vec3 startTangent, endTangent;  // zero: not given
  std::vector<double> knots;
  std::vector<double> weights;  // one per control point for a rational spline, else empty
  std::vector<Vec3> controlPoints;
  std::vector<Vec3> fitPoints;
  bool operator==(const Spline&) const = default;
};

template <>
struct Description<Spline> : DescriptionBase<Spline> {
  using T = Spline;
  static constexpr const char* names[] = {"SPLINE"};
  static void prepare(T& v) {
    v.knotCount = int32_t(v.knots.size());
    v.controlCount = int32_t(v.controlPoints.size());
    v.fitCount = int32_t(v.fitPoints.size());
  }
  // The end tangents are optional groups: written only when given.
  static void decodeExtra(const Object& o, T& v) {
    for (const auto& t : o.body) {
      Vec3* p = t.code % 10 == 2 ? &v.startTangent : &v.endTangent;
      if (t.code == 12 || t.code == 13) p->x = asDouble(t);
      else if (t.code == 22 || t.code == 23) p->y = asDouble(t);
      else if (t.code == 32 || t.code == 33) p->z = asDouble(t);
    }
  }
  static std::vector<int> extraCodes() { return {12, 22, 32, 13, 23, 33}; }
  static void encodeExtra(const T& v, Tags& out) {
    if (v.startTangent != Vec3{}) detail::putPoint(12, v.startTangent, out);
    if (v.endTangent != Vec3{}) detail::putPoint(13, v.endTangent, out);
  }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {
        {"AcDbEntity", 8, &T::common},           {"AcDbSpline", 210, &T::normal},
        {"AcDbSpline", 70, &T::flags},           {"AcDbSpline", 71, &T::degree},
        {"AcDbSpline", 72, &T::knotCount},       {"AcDbSpline", 73, &T::controlCount},
        {"AcDbSpline", 74, &T::fitCount},        {"AcDbSpline", 42, &T::knotTolerance},
        {"AcDbSpline", 43, &T::controlTolerance}, {"AcDbSpline", 44, &T::fitTolerance},
        KEL_EXTRA("AcDbSpline"),                 {"AcDbSpline", 40, &T::knots},
        {"AcDbSpline", 41, &T::weights},         {"AcDbSpline", 10, &T::controlPoints},
        {"AcDbSpline", 11, &T::fitPoints}};
    return a;
  }
};

// ---- HATCH ----------------------------------------------------------------------------------------

// Boundary points of a hatch are 2D (in the hatch's plane): only x and y are kept.
struct HatchVertex {
  double x = 0, y = 0, bulge = 0;
  bool operator==(const HatchVertex&) const = default;
};

// One edge of an edge-defined boundary path.
struct HatchEdge {
  int16_t type = 1;  // 1 line, 2 circular arc, 3 elliptic arc, 4 spline
  Vec3 startOrCenter;     // 10: a line's start, an arc's or ellipse's centre
  Vec3 endOrMajorAxis;    // 11: a line's end, an ellipse's major axis end (from the centre)
  double radiusOrRatio = 0;  // 40: an arc's radius, an ellipse's minor/major ratio
  double startAngle = 0, endAngle = 360;  // 50/51, degrees
  int16_t counterClockwise = 1;            // 73 for arcs and ellipses
  // Spline edges.
  int32_t degree = 3;                      // 94
  int16_t rational = 0, periodic = 0;      // 73, 74
  std::vector<double> knots;               // 40
  std::vector<Vec3> controlPoints;         // 10/20
  std::vector<double> weights;             // 42, one per control point when rational
  std::vector<Vec3> fitPoints;             // 11/21 (R2010 on)
  Vec3 startTangent, endTangent;           // 12, 13
  bool operator==(const HatchEdge&) const = default;
};

struct HatchPath {
  int32_t flags = 0;  // 1 external, 2 polyline, 4 derived, 8 text box, 16 outermost
  // Polyline paths (flag 2).
  int16_t hasBulge = 0, closed = 0;
  std::vector<HatchVertex> vertices;
  // Edge paths.
  std::vector<HatchEdge> edges;
  std::vector<Handle> sources;  // 330: the objects the boundary follows (associative hatches)
  bool isPolyline() const { return flags & 2; }
  bool operator==(const HatchPath&) const = default;
};

struct HatchPatternLine {
  double angle = 0;  // 53, degrees
  Vec3 base;         // 43/44
  Vec3 offset;       // 45/46
  std::vector<double> dashes;  // 49
  bool operator==(const HatchPatternLine&) const = default;
};

struct HatchGradientColor {
  double value = 0;        // 463: where the colour sits, 0..1
  int16_t color = 0;       // 63
  int32_t trueColor = -1;  // 421: 0x00RRGGBB, -1 none
  bool operator==(const HatchGradientColor&) const = default;
};

struct HatchGradient {
  int32_t enabled = 0;     // 450: the fill is a gradient
  int32_t reserved = 0;    // 451
  double angle = 0;        // 460, radians
  double shift = 0;        // 461
  int32_t singleColor = 0; // 452
  double tint = 0;         // 462
  std::vector<HatchGradientColor> colors;
  std::string name;        // 470: "LINEAR", "CYLINDER", ...
  bool operator==(const HatchGradient&) const = default;
};

struct Hatch {
  EntityCommon common;
  Vec3 elevationPoint;  // 10: x and y are 0, z is the elevation
  Vec3 extrusion{0, 0, 1};
  std::string pattern;   // 2
  int16_t solid = 0;     // 70
  int16_t associative = 0;  // 71
  std::vector<HatchPath> paths;
  int16_t style = 0;        // 75: 0 normal, 1 outer, 2 ignore
  int16_t patternType = 1;  // 76: 0 user-defined, 1 predefined, 2 custom
  double patternAngle = 0;  // 52, degrees
  double patternScale = 1;  // 41
  int16_t patternDouble = 0;  // 77
  std::vector<HatchPatternLine> patternLines;
  double pixelSize = 0;     // 47
  std::vector<Vec3> seeds;  // 10/20
  HatchGradient gradient;
  bool operator==(const Hatch&) const = default;
};

namespace detail {

// Reads a run of groups in order, for hooks whose groups are counted, nested structures.
class GroupCursor {
 public:
  GroupCursor(const Tags& body, size_t from, size_t to) : body_(body), at_(from), to_(to) {}
  bool done() const { return at_ >= to_; }
  // The code of the group `ahead` places on, or -1 past the end.
  int peek(size_t ahead = 0) const { return at_ + ahead < to_ ? body_[at_ + ahead].code : -1; }
  bool at(int code) const { return peek() == code; }
  const Tag& next() { return body_[at_++]; }
  // Reads the group into `f` when the next one has the code.
  template <class E>
  bool take(int code, E& f) {
    if (!at(code)) return false;
    valueFrom(f, next());
    return true;
  }
  // x and y of a point at code, code + 10.
  void takeXY(int code, double& x, double& y) {
    take(code, x);
    take(code + 10, y);
  }
  void takeXY(int code, Vec3& p) { takeXY(code, p.x, p.y); }

 private:
  const Tags& body_;
  size_t at_, to_;
};

// The groups [from, to) of a subclass part: those after its marker up to the next marker, or the
// whole body when the record has no markers.
inline std::pair<size_t, size_t> partOf(const Object& o, std::string_view subclass) {
  const Tags& b = o.body;
  if (!o.hasSubclasses()) return {0, b.size()};
  size_t from = b.size();
  for (size_t i = 0; i < b.size(); ++i)
    if (b[i].code == 100 && b[i].s.view() == subclass) {
      from = i + 1;
      break;
    }
  size_t to = from;
  while (to < b.size() && b[to].code != 100) ++to;
  return {from, to};
}

inline void putXY(int code, double x, double y, Tags& out) {
  out.push_back(Tag::real(code, x));
  out.push_back(Tag::real(code + 10, y));
}

}  // namespace detail

template <>
struct Description<Hatch> : DescriptionBase<Hatch> {
  using T = Hatch;
  static constexpr const char* names[] = {"HATCH"};

  static void readEdge(detail::GroupCursor& c, HatchEdge& e, bool last) {
    c.take(72, e.type);
    switch (e.type) {
      case 1:
        c.takeXY(10, e.startOrCenter);
        c.takeXY(11, e.endOrMajorAxis);
        break;
      case 2:
      case 3:
        c.takeXY(10, e.startOrCenter);
        if (e.type == 3) c.takeXY(11, e.endOrMajorAxis);
        c.take(40, e.radiusOrRatio);
        c.take(50, e.startAngle);
        c.take(51, e.endAngle);
        c.take(73, e.counterClockwise);
        break;
      case 4: {
        c.take(94, e.degree);
        c.take(73, e.rational);
        c.take(74, e.periodic);
        int32_t n = 0;
        c.take(95, n);
        c.take(96, n);
        while (c.at(40)) detail::valueFrom(e.knots.emplace_back(), c.next());
        while (c.at(10)) {
          Vec3& p = e.controlPoints.emplace_back();
          c.takeXY(10, p);
          if (c.at(42)) detail::valueFrom(e.weights.emplace_back(), c.next());
        }
        // Fit data (R2010 on) starts with its own 97 count. The path's count of source objects is
        // also 97 and follows the last edge: a 97 is the fit count when more edges follow, or when
        // fit points, tangents or the path's own 97 come after it.
        const int after = c.peek(1);
        if (c.at(97) && (!last || after == 11 || after == 12 || after == 97)) {
          c.next();
          while (c.at(11)) c.takeXY(11, e.fitPoints.emplace_back());
        }
        c.takeXY(12, e.startTangent);
        c.takeXY(13, e.endTangent);
        break;
      }
      default:
        break;
    }
  }

  static void readPath(detail::GroupCursor& c, HatchPath& p) {
    c.take(92, p.flags);
    if (p.isPolyline()) {
      c.take(72, p.hasBulge);
      c.take(73, p.closed);
      int32_t n = 0;
      c.take(93, n);
      while (c.at(10)) {
        HatchVertex& v = p.vertices.emplace_back();
        c.takeXY(10, v.x, v.y);
        c.take(42, v.bulge);
      }
    } else {
      int32_t n = 0;
      c.take(93, n);
      for (int32_t i = 0; c.at(72); ++i) readEdge(c, p.edges.emplace_back(), i + 1 >= n);
    }
    int32_t n = 0;
    if (c.take(97, n))
      while (c.at(330)) detail::valueFrom(p.sources.emplace_back(), c.next());
  }

  // The part is read in order: counted structures (paths, pattern lines, seed points, gradient
  // colours) where their count group stands, the plain values wherever they are.
  static void decodeExtra(const Object& o, T& v) {
    auto [from, to] = detail::partOf(o, "AcDbHatch");
    detail::GroupCursor c(o.body, from, to);
    bool pathsRead = false;
    while (!c.done()) {
      const Tag& t = c.next();
      switch (t.code) {
        case 10: if (!pathsRead) v.elevationPoint.x = asDouble(t); break;
        case 20: if (!pathsRead) v.elevationPoint.y = asDouble(t); break;
        case 30: v.elevationPoint.z = asDouble(t); break;
        case 210: v.extrusion.x = asDouble(t); break;
        case 220: v.extrusion.y = asDouble(t); break;
        case 230: v.extrusion.z = asDouble(t); break;
        case 2: v.pattern = t.s; break;
        case 70: detail::valueFrom(v.solid, t); break;
        case 71: detail::valueFrom(v.associative, t); break;
        case 91:
          pathsRead = true;
          while (c.at(92)) readPath(c, v.paths.emplace_back());
          break;
        case 75: detail::valueFrom(v.style, t); break;
        case 76: detail::valueFrom(v.patternType, t); break;
        case 52: v.patternAngle = asDouble(t); break;
        case 41: v.patternScale = asDouble(t); break;
        case 77: detail::valueFrom(v.patternDouble, t); break;
        case 78:
          while (c.at(53)) {
            HatchPatternLine& l = v.patternLines.emplace_back();
            c.take(53, l.angle);
            c.take(43, l.base.x);
            c.take(44, l.base.y);
            c.take(45, l.offset.x);
            c.take(46, l.offset.y);
            int16_t n = 0;
            c.take(79, n);
            while (c.at(49)) detail::valueFrom(l.dashes.emplace_back(), c.next());
          }
          break;
        case 47: v.pixelSize = asDouble(t); break;
        case 98:
          pathsRead = true;
          while (c.at(10)) c.takeXY(10, v.seeds.emplace_back());
          break;
        case 450: detail::valueFrom(v.gradient.enabled, t); break;
        case 451: detail::valueFrom(v.gradient.reserved, t); break;
        case 452: detail::valueFrom(v.gradient.singleColor, t); break;
        case 460: v.gradient.angle = asDouble(t); break;
        case 461: v.gradient.shift = asDouble(t); break;
        case 462: v.gradient.tint = asDouble(t); break;
        case 453:
          while (c.at(463) || c.at(63) || c.at(421)) {
            HatchGradientColor& g = v.gradient.colors.emplace_back();
            c.take(463, g.value);
            c.take(63, g.color);
            c.take(421, g.trueColor);
          }
          break;
        case 470: v.gradient.name = t.s; break;
        default: break;
      }
    }
  }
  static std::vector<int> extraCodes() {
    return {10, 20, 30, 210, 220, 230, 2,  70, 71, 91, 92, 72, 73, 74, 93, 94, 95, 96, 97, 11, 21,
            12, 22, 13, 23, 40, 42, 50, 51, 330, 75, 76, 52, 41, 77, 78, 53, 43, 44, 45, 46, 79, 49, 47,
            98, 450, 451, 452, 453, 460, 461, 462, 463, 63, 421, 470};
  }

  static void writeEdge(const HatchEdge& e, Tags& out) {
    out.push_back(Tag::integer(72, e.type));
    switch (e.type) {
      case 1:
        detail::putXY(10, e.startOrCenter.x, e.startOrCenter.y, out);
        detail::putXY(11, e.endOrMajorAxis.x, e.endOrMajorAxis.y, out);
        break;
      case 2:
      case 3:
        detail::putXY(10, e.startOrCenter.x, e.startOrCenter.y, out);
        if (e.type == 3) detail::putXY(11, e.endOrMajorAxis.x, e.endOrMajorAxis.y, out);
        out.push_back(Tag::real(40, e.radiusOrRatio));
        out.push_back(Tag::real(50, e.startAngle));
        out.push_back(Tag::real(51, e.endAngle));
        out.push_back(Tag::integer(73, e.counterClockwise));
        break;
      case 4: {
        out.push_back(Tag::integer(94, e.degree));
        out.push_back(Tag::integer(73, e.rational));
        out.push_back(Tag::integer(74, e.periodic));
        out.push_back(Tag::integer(95, int64_t(e.knots.size())));
        out.push_back(Tag::integer(96, int64_t(e.controlPoints.size())));
        for (double k : e.knots) out.push_back(Tag::real(40, k));
        for (size_t i = 0; i < e.controlPoints.size(); ++i) {
          detail::putXY(10, e.controlPoints[i].x, e.controlPoints[i].y, out);
          if (i < e.weights.size()) out.push_back(Tag::real(42, e.weights[i]));
        }
        // The R2010 form: the fit count always, the tangents with the fit points.
        out.push_back(Tag::integer(97, int64_t(e.fitPoints.size())));
        for (const Vec3& f : e.fitPoints) detail::putXY(11, f.x, f.y, out);
        if (!e.fitPoints.empty() || e.startTangent != Vec3{} || e.endTangent != Vec3{}) {
          detail::putXY(12, e.startTangent.x, e.startTangent.y, out);
          detail::putXY(13, e.endTangent.x, e.endTangent.y, out);
        }
        break;
      }
      default:
        break;
    }
  }

  static void writePath(const HatchPath& p, Tags& out) {
    out.push_back(Tag::integer(92, p.flags));
    if (p.isPolyline()) {
      bool bulges = p.hasBulge != 0;
      for (const auto& x : p.vertices) bulges = bulges || x.bulge != 0;
      out.push_back(Tag::integer(72, p.hasBulge));
      out.push_back(Tag::integer(73, p.closed));
      out.push_back(Tag::integer(93, int64_t(p.vertices.size())));
      for (const auto& x : p.vertices) {
        detail::putXY(10, x.x, x.y, out);
        if (bulges) out.push_back(Tag::real(42, x.bulge));
      }
    } else {
      out.push_back(Tag::integer(93, int64_t(p.edges.size())));
      for (const auto& e : p.edges) writeEdge(e, out);
    }
    out.push_back(Tag::integer(97, int64_t(p.sources.size())));
    for (Handle h : p.sources) out.push_back(Tag::handle(330, h));
  }

  static void encodeExtra(const T& v, Tags& out) {
    detail::putPoint(10, v.elevationPoint, out);
    detail::putPoint(210, v.extrusion, out);
    out.push_back(Tag::str(2, v.pattern));
    out.push_back(Tag::integer(70, v.solid));
    out.push_back(Tag::integer(71, v.associative));
    out.push_back(Tag::integer(91, int64_t(v.paths.size())));
    for (const auto& p : v.paths) writePath(p, out);
    out.push_back(Tag::integer(75, v.style));
    out.push_back(Tag::integer(76, v.patternType));
    // A solid fill has no pattern definition; one is written anyway when the record carries one.
    if (!v.solid || v.patternAngle != 0 || v.patternScale != 1 || v.patternDouble || !v.patternLines.empty()) {
      out.push_back(Tag::real(52, v.patternAngle));
      out.push_back(Tag::real(41, v.patternScale));
      out.push_back(Tag::integer(77, v.patternDouble));
      out.push_back(Tag::integer(78, int64_t(v.patternLines.size())));
      for (const auto& l : v.patternLines) {
        out.push_back(Tag::real(53, l.angle));
        out.push_back(Tag::real(43, l.base.x));
        out.push_back(Tag::real(44, l.base.y));
        out.push_back(Tag::real(45, l.offset.x));
        out.push_back(Tag::real(46, l.offset.y));
        out.push_back(Tag::integer(79, int64_t(l.dashes.size())));
        for (double d : l.dashes) out.push_back(Tag::real(49, d));
      }
    }
    if (v.pixelSize != 0) out.push_back(Tag::real(47, v.pixelSize));
    out.push_back(Tag::integer(98, int64_t(v.seeds.size())));
    for (const Vec3& s : v.seeds) detail::putXY(10, s.x, s.y, out);
    const HatchGradient& g = v.gradient;
    if (g == HatchGradient{}) return;  // not a gradient fill
    out.push_back(Tag::integer(450, g.enabled));
    out.push_back(Tag::integer(451, g.reserved));
    out.push_back(Tag::real(460, g.angle));
    out.push_back(Tag::real(461, g.shift));
    out.push_back(Tag::integer(452, g.singleColor));
    out.push_back(Tag::real(462, g.tint));
    out.push_back(Tag::integer(453, int64_t(g.colors.size())));
    for (const auto& k : g.colors) {
      out.push_back(Tag::real(463, k.value));
      out.push_back(Tag::integer(63, k.color));
      if (k.trueColor >= 0) out.push_back(Tag::integer(421, k.trueColor));
    }
    out.push_back(Tag::str(470, g.name));
  }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbEntity", 8, &T::common}, KEL_EXTRA("AcDbHatch")};
    return a;
  }
};

// ---- dimensions -----------------------------------------------------------------------------------

// The AcDbDimension part every dimension type shares.
struct DimensionBase {
  EntityCommon common;
  int16_t version = 0;          // 280 (R2010 on)
  std::string block;            // 2: the block that draws the dimension
  Vec3 defPoint;                // 10
  Vec3 textPosition;            // 11: middle of the text
  Vec3 clonePoint;              // 12: insertion point for baseline and continued copies
  int16_t dimType = 0;          // 70: kind (low bits) | 32 own block | 64 ordinate x | 128 moved text
  int16_t attachment = 5;       // 71: the text's attachment point, 5 middle centre
  int16_t lineSpacingStyle = 1; // 72: 1 at least, 2 exactly
  double lineSpacingFactor = 1; // 41
  double measurement = 0;       // 42: the measured value
  int16_t unnamedFlag = 0;      // 73: a flag without a documented meaning
  int16_t flipArrow1 = 0, flipArrow2 = 0;  // 74, 75
  std::string text;             // 1: "" the measurement, "<>" stands for it
  double textRotation = 0;      // 53, degrees
  double horizontalDirection = 0;  // 51, degrees
  double blockRotation = 0;     // 54: rotation of the dimension's block reference
  Vec3 extrusion{0, 0, 1};
  std::string style = "Standard";  // 3
  bool operator==(const DimensionBase&) const = default;
};

template <class T>
std::vector<Attr<T>> dimensionBaseAttrs() {
  const char* d = "AcDbDimension";
  return {{"AcDbEntity", 8, &T::common},
          {d, 280, &T::version, 1024},
          {d, 2, &T::block},
          {d, 10, &T::defPoint},
          {d, 11, &T::textPosition},
          {d, 12, &T::clonePoint},
          {d, 70, &T::dimType},
          {d, 71, &T::attachment, 1015},
          {d, 72, &T::lineSpacingStyle, 1015},
          {d, 41, &T::lineSpacingFactor, 1015},
          {d, 42, &T::measurement, 1015},
          {d, 73, &T::unnamedFlag, 1021},
          {d, 74, &T::flipArrow1, 1021},
          {d, 75, &T::flipArrow2, 1021},
          {d, 1, &T::text},
          {d, 53, &T::textRotation},
          {d, 51, &T::horizontalDirection},
          {d, 54, &T::blockRotation},
          {d, 210, &T::extrusion},
          {d, 3, &T::style}};
}

// DIMENSION: the kind (70's low three bits) decides which of the points below exist and under
// which subclass they are written:
//   0 rotated, 1 aligned  13/14 extension line origins, 50 rotation, 52 oblique angle
//   2 angular (two lines) 13/14 first line, 15 start of the second (10 its end), 16 arc point
//   3 diameter, 4 radius  15 point on the curve, 40 leader length
//   5 angular (3 points)  13/14 extension line points, 15 vertex
//   6 ordinate            13 feature point, 14 leader end
struct Dimension : DimensionBase {
  Vec3 point13, point14, point15, point16;
  double leaderLength = 0;  // 40
  double rotation = 0;      // 50, degrees
  double oblique = 0;       // 52, degrees
  int kind() const { return dimType & 7; }
  bool operator==(const Dimension&) const = default;
};

template <>
struct Description<Dimension> : DescriptionBase<Dimension> {
  using T = Dimension;
  static constexpr const char* names[] = {"DIMENSION"};
  // The kind's part: every subclass after AcDbDimension (R12 records have no markers: the whole
  // record).
  static void decodeExtra(const Object& o, T& v) {
    const bool markers = o.hasSubclasses();
    bool kindPart = !markers;
    uint32_t seen = 0;  // points: first occurrence of each group wins
    for (const auto& t : o.body) {
      if (t.code == 100) {
        kindPart = t.s.view() != "AcDbEntity" && t.s.view() != "AcDbDimension";
        continue;
      }
      if (!kindPart) continue;
      const int c = t.code;
      if (c == 40) v.leaderLength = asDouble(t);
      else if (c == 50) v.rotation = asDouble(t);
      else if (c == 52) v.oblique = asDouble(t);
      else if ((c >= 13 && c <= 16) || (c >= 23 && c <= 26) || (c >= 33 && c <= 36)) {
        if (seen & (1u << (c - 13))) continue;
        seen |= 1u << (c - 13);
        Vec3* p[] = {&v.point13, &v.point14, &v.point15, &v.point16};
        Vec3& q = *p[c % 10 - 3];
        (c < 20 ? q.x : c < 30 ? q.y : q.z) = asDouble(t);
      }
    }
  }
  static std::vector<int> extraCodes() { return {13, 23, 33, 14, 24, 34, 15, 25, 35, 16, 26, 36, 40, 50, 52}; }
  // The hook is not told the target version: it writes the kind's markers for every version.
  // The aligned kind writes 50 only when it carries a rotation.
  static void encodeExtra(const T& v, Tags& out) {
    auto marker = [&](const char* m) { out.push_back(Tag::str(100, m)); };
    switch (v.kind()) {
      case 0:
      case 1:
        marker("AcDbAlignedDimension");
        detail::putPoint(13, v.point13, out);
        detail::putPoint(14, v.point14, out);
        if (v.kind() == 0 || v.rotation != 0) out.push_back(Tag::real(50, v.rotation));
        if (v.oblique != 0) out.push_back(Tag::real(52, v.oblique));
        if (v.kind() == 0) marker("AcDbRotatedDimension");
        break;
      case 2:
        marker("AcDb2LineAngularDimension");
        detail::putPoint(13, v.point13, out);
        detail::putPoint(14, v.point14, out);
        detail::putPoint(15, v.point15, out);
        detail::putPoint(16, v.point16, out);
        break;
      case 3:
      case 4:
        marker(v.kind() == 3 ? "AcDbDiametricDimension" : "AcDbRadialDimension");
        detail::putPoint(15, v.point15, out);
        out.push_back(Tag::real(40, v.leaderLength));
        break;
      case 5:
        marker("AcDb3PointAngularDimension");
        detail::putPoint(13, v.point13, out);
        detail::putPoint(14, v.point14, out);
        detail::putPoint(15, v.point15, out);
        break;
      case 6:
        marker("AcDbOrdinateDimension");
        detail::putPoint(13, v.point13, out);
        detail::putPoint(14, v.point14, out);
        break;
      default:
        break;
    }
  }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = [] {
      auto t = dimensionBaseAttrs<T>();
      // The kind's part writes its own subclass markers.
      t.push_back(KEL_EXTRA("AcDbDimension"));
      return t;
    }();
    return a;
  }
};

// An arc-length dimension.
struct ArcDimension : DimensionBase {
  Vec3 xLine1Point, xLine2Point;  // 13, 14: where the extension lines start
  Vec3 arcCenter;                 // 15
  int16_t partial = 0;            // 70: measures part of the arc
  double arcStart = 0, arcEnd = 0;  // 40, 41: parameters on the arc, radians
  int16_t hasLeader = 0;          // 71
  Vec3 leader1Point, leader2Point;  // 16, 17
  bool operator==(const ArcDimension&) const = default;
};

template <>
struct Description<ArcDimension> : DescriptionBase<ArcDimension> {
  using T = ArcDimension;
  static constexpr const char* names[] = {"ARC_DIMENSION"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = [] {
      auto t = dimensionBaseAttrs<T>();
      const char* s = "AcDbArcDimension";
      t.insert(t.end(), {{s, 13, &T::xLine1Point},
                         {s, 14, &T::xLine2Point},
                         {s, 15, &T::arcCenter},
                         {s, 70, &T::partial},
                         {s, 40, &T::arcStart},
                         {s, 41, &T::arcEnd},
                         {s, 71, &T::hasLeader},
                         {s, 16, &T::leader1Point},
                         {s, 17, &T::leader2Point}});
      return t;
    }();
    return a;
  }
};

// A radius dimension with a jogged dimension line.
struct LargeRadialDimension : DimensionBase {
  Vec3 jogPoint;        // 13
  Vec3 overrideCenter;  // 14
  Vec3 chordPoint;      // 15
  double jogAngle = 0;  // 40, radians
  bool operator==(const LargeRadialDimension&) const = default;
};

template <>
struct Description<LargeRadialDimension> : DescriptionBase<LargeRadialDimension> {
  using T = LargeRadialDimension;
  static constexpr const char* names[] = {"LARGE_RADIAL_DIMENSION"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = [] {
      auto t = dimensionBaseAttrs<T>();
      const char* s = "AcDbRadialDimensionLarge";
      t.insert(t.end(), {{s, 13, &T::jogPoint}, {s, 14, &T::overrideCenter}, {s, 15, &T::chordPoint},
                         {s, 40, &T::jogAngle}});
      return t;
    }();
    return a;
  }
};

// ---- LEADER, TOLERANCE ----------------------------------------------------------------------------

struct Leader {
  EntityCommon common;
  std::string style = "Standard";  // 3: dimension style
  int16_t arrowhead = 1;           // 71: 1 drawn
  int16_t pathType = 0;            // 72: 0 straight segments, 1 spline
  int16_t annotationType = 3;      // 73: 0 text, 1 tolerance, 2 block reference, 3 none
  int16_t hooklineDirection = 0;   // 74: 1 same as the horizontal direction
  int16_t hasHookline = 0;         // 75
  double textHeight = 0, textWidth = 0;  // 40, 41
  int16_t vertexCount = 0;         // 76: set from the vertices when written
  std::vector<Vec3> vertices;
  int16_t color = 0;               // 77: colour used when the style's leader colour is by block
  Handle annotation = 0;           // 340
  Vec3 normal{0, 0, 1};            // 210
  Vec3 horizontalDirection{1, 0, 0};  // 211
  Vec3 blockOffset;                // 212
  Vec3 annotationOffset;           // 213
  bool operator==(const Leader&) const = default;
};

template <>
struct Description<Leader> : DescriptionBase<Leader> {
  using T = Leader;
  static constexpr const char* names[] = {"LEADER"};
  static void prepare(T& v) { v.vertexCount = int16_t(v.vertices.size()); }
  static const std::vector<Attr<T>>& attrs() {
    const char* s = "AcDbLeader";
    static const std::vector<Attr<T>> a = {
        {"AcDbEntity", 8, &T::common}, {s, 3, &T::style},           {s, 71, &T::arrowhead},
        {s, 72, &T::pathType},         {s, 73, &T::annotationType}, {s, 74, &T::hooklineDirection},
        {s, 75, &T::hasHookline},      {s, 40, &T::textHeight},     {s, 41, &T::textWidth},
        {s, 76, &T::vertexCount},      {s, 10, &T::vertices},       {s, 77, &T::color},
        {s, 340, &T::annotation},      {s, 210, &T::normal},        {s, 211, &T::horizontalDirection},
        {s, 212, &T::blockOffset},     {s, 213, &T::annotationOffset}};
    return a;
  }
};

// A feature control frame.
struct Tolerance {
  EntityCommon common;
  std::string style = "Standard";  // 3: dimension style
  Vec3 position;                   // 10
  std::string text;                // 1: the frame's contents, with its control codes
  Vec3 extrusion{0, 0, 1};
  Vec3 xDirection{1, 0, 0};        // 11
  bool operator==(const Tolerance&) const = default;
};

template <>
struct Description<Tolerance> : DescriptionBase<Tolerance> {
  using T = Tolerance;
  static constexpr const char* names[] = {"TOLERANCE"};
  static const std::vector<Attr<T>>& attrs() {
    const char* s = "AcDbFcf";
    static const std::vector<Attr<T>> a = {{"AcDbEntity", 8, &T::common}, {s, 3, &T::style},
                                           {s, 10, &T::position},         {s, 1, &T::text},
                                           {s, 210, &T::extrusion},       {s, 11, &T::xDirection}};
    return a;
  }
};

// ---- RAY, XLINE -----------------------------------------------------------------------------------

// Half-infinite (RAY) and infinite (XLINE) construction lines: a point and a unit direction.
struct Ray {
  EntityCommon common;
  Vec3 start;                  // 10
  Vec3 direction{1, 0, 0};     // 11
  bool operator==(const Ray&) const = default;
};
struct XLine {
  EntityCommon common;
  Vec3 point;                  // 10
  Vec3 direction{1, 0, 0};     // 11
  bool operator==(const XLine&) const = default;
};

template <>
struct Description<Ray> : DescriptionBase<Ray> {
  using T = Ray;
  static constexpr const char* names[] = {"RAY"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {
        {"AcDbEntity", 8, &T::common}, {"AcDbRay", 10, &T::start}, {"AcDbRay", 11, &T::direction}};
    return a;
  }
};
template <>
struct Description<XLine> : DescriptionBase<XLine> {
  using T = XLine;
  static constexpr const char* names[] = {"XLINE"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {
        {"AcDbEntity", 8, &T::common}, {"AcDbXline", 10, &T::point}, {"AcDbXline", 11, &T::direction}};
    return a;
  }
};

// ---- MLINE ----------------------------------------------------------------------------------------

// The parameters of one style element (line) at a vertex: where the element's segment dashes lie
// along it (41) and where the fill breaks (42).
struct MLineElement {
  std::vector<double> params;
  std::vector<double> fillParams;
  bool operator==(const MLineElement&) const = default;
};
struct MLineVertex {
  Vec3 position;   // 11
  Vec3 direction;  // 12: of the segment that starts here
  Vec3 miter;      // 13: miter direction
  std::vector<MLineElement> elements;  // one per element of the style
  bool operator==(const MLineVertex&) const = default;
};
struct MLine {
  EntityCommon common;
  std::string style = "STANDARD";  // 2
  Handle styleHandle = 0;          // 340
  double scale = 1;                // 40
  int16_t justification = 0;       // 70: 0 top, 1 zero, 2 bottom
  int16_t flags = 0;               // 71: 1 has vertices, 2 closed, 4 no start caps, 8 no end caps
  int16_t vertexCount = 0;         // 72: set from the vertices when written
  int16_t elementCount = 0;        // 73: elements of the style
  Vec3 start;                      // 10
  Vec3 extrusion{0, 0, 1};
  std::vector<MLineVertex> vertices;
  bool operator==(const MLine&) const = default;
};

template <>
struct Description<MLine> : DescriptionBase<MLine> {
  using T = MLine;
  static constexpr const char* names[] = {"MLINE"};
  static void prepare(T& v) { v.vertexCount = int16_t(v.vertices.size()); }
  // Each 11 starts a vertex, each 74 an element of it; 41s and 42s go to the current element.
  static void decodeExtra(const Object& o, T& v) {
    auto [from, to] = detail::partOf(o, "AcDbMline");
    MLineElement* e = nullptr;
    uint16_t filled = 0;  // x/y/z of 11, 12, 13 seen for the current vertex
    for (size_t i = from; i < to; ++i) {
      const Tag& t = o.body[i];
      const int c = t.code;
      if (c == 11) {
        v.vertices.emplace_back();
        e = nullptr;
        filled = 0;
      }
      if (v.vertices.empty()) continue;
      MLineVertex& x = v.vertices.back();
      if ((c >= 11 && c <= 13) || (c >= 21 && c <= 23) || (c >= 31 && c <= 33)) {
        const int bit = (c % 10 - 1) * 3 + c / 10 - 1;
        if (filled & (1u << bit)) continue;
        filled = uint16_t(filled | (1u << bit));
        Vec3* p[] = {&x.position, &x.direction, &x.miter};
        Vec3& q = *p[c % 10 - 1];
        (c < 20 ? q.x : c < 30 ? q.y : q.z) = asDouble(t);
      } else if (c == 74) {
        e = &x.elements.emplace_back();
      } else if (e && c == 41) {
        e->params.push_back(asDouble(t));
      } else if (e && c == 42) {
        e->fillParams.push_back(asDouble(t));
      }
    }
  }
  static std::vector<int> extraCodes() { return {11, 21, 31, 12, 22, 32, 13, 23, 33, 74, 41, 75, 42}; }
  static void encodeExtra(const T& v, Tags& out) {
    for (const auto& x : v.vertices) {
      detail::putPoint(11, x.position, out);
      detail::putPoint(12, x.direction, out);
      detail::putPoint(13, x.miter, out);
      for (const auto& e : x.elements) {
        out.push_back(Tag::integer(74, int64_t(e.params.size())));
        for (double p : e.params) out.push_back(Tag::real(41, p));
        out.push_back(Tag::integer(75, int64_t(e.fillParams.size())));
        for (double p : e.fillParams) out.push_back(Tag::real(42, p));
      }
    }
  }
  static const std::vector<Attr<T>>& attrs() {
    const char* s = "AcDbMline";
    static const std::vector<Attr<T>> a = {
        {"AcDbEntity", 8, &T::common}, {s, 2, &T::style},          {s, 340, &T::styleHandle},
        {s, 40, &T::scale},            {s, 70, &T::justification}, {s, 71, &T::flags},
        {s, 72, &T::vertexCount},      {s, 73, &T::elementCount},  {s, 10, &T::start},
        {s, 210, &T::extrusion},       KEL_EXTRA(s)};
    return a;
  }
};

// ---- 3DSOLID, REGION, BODY ------------------------------------------------------------------------

// The modeler data of a solid, region or body in its text form, one entry per line. A line longer
// than a group holds continues in 3-groups; lines are kept whole here. From R2013 on the data
// lives elsewhere in the drawing and the record carries a revision GUID instead.
struct ModelerGeometry {
  EntityCommon common;
  int16_t format = 1;  // 70: modeler format version
  std::vector<std::string> lines;
  bool revisionFlag = false;  // 290
  std::string revisionGuid;   // 2
  bool operator==(const ModelerGeometry&) const = default;
};
struct Region : ModelerGeometry {
  bool operator==(const Region&) const = default;
};
struct Body : ModelerGeometry {
  bool operator==(const Body&) const = default;
};
struct Solid3d : ModelerGeometry {
  Handle history = 0;  // 350 (R2007 on)
  bool operator==(const Solid3d&) const = default;
};

template <class T>
struct ModelerDescription : DescriptionBase<T> {
  static constexpr size_t kPiece = 255;  // bytes of a line one group holds
  static void decodeExtra(const Object& o, T& v) {
    auto [from, to] = detail::partOf(o, "AcDbModelerGeometry");
    for (size_t i = from; i < to; ++i) {
      const Tag& t = o.body[i];
      if (t.code == 1) v.lines.emplace_back(t.s.view());
      else if (t.code == 3 && !v.lines.empty()) v.lines.back() += t.s.view();
      else if (t.code == 3) v.lines.emplace_back(t.s.view());
    }
  }
  static std::vector<int> extraCodes() { return {1, 3}; }
  static void encodeExtra(const T& v, Tags& out) {
    for (const auto& line : v.lines) {
      size_t at = 0;
      int code = 1;
      do {
        size_t n = std::min(kPiece, line.size() - at);
        // Split between characters, never inside one.
        while (n > 0 && at + n < line.size() && (static_cast<unsigned char>(line[at + n]) & 0xC0) == 0x80) --n;
        if (n == 0) n = std::min(kPiece, line.size() - at);
        out.push_back(Tag::str(code, line.substr(at, n)));
        at += n;
        code = 3;
      } while (at < line.size());
    }
  }
  static std::vector<Attr<T>> modelerAttrs() {
    const char* s = "AcDbModelerGeometry";
    return {{"AcDbEntity", 8, &T::common}, {s, 70, &T::format}, KEL_EXTRA(s), {s, 290, &T::revisionFlag, 1027},
            {s, 2, &T::revisionGuid, 1027}};
  }
};

template <>
struct Description<Region> : ModelerDescription<Region> {
  using T = Region;
  static constexpr const char* names[] = {"REGION"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = modelerAttrs();
    return a;
  }
};
template <>
struct Description<Body> : ModelerDescription<Body> {
  using T = Body;
  static constexpr const char* names[] = {"BODY"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = modelerAttrs();
    return a;
  }
};
template <>
struct Description<Solid3d> : ModelerDescription<Solid3d> {
  using T = Solid3d;
  static constexpr const char* names[] = {"3DSOLID"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = [] {
      auto t = modelerAttrs();
      t.push_back({"AcDb3dSolid", 350, &T::history, 1021});
      return t;
    }();
    return a;
  }
};

inline void addEntityViews(std::vector<ViewInfo>& out) {
  addView<Spline>(out);
  addView<Hatch>(out);
  addView<Dimension>(out);
  addView<ArcDimension>(out);
  addView<LargeRadialDimension>(out);
  addView<Leader>(out);
  addView<Tolerance>(out);
  addView<Ray>(out);
  addView<XLine>(out);
  addView<MLine>(out);
  addView<Solid3d>(out);
  addView<Region>(out);
  addView<Body>(out);
}

}  // namespace kel::engine
