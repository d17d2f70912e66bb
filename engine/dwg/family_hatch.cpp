// The hatch family of types (see families.h): HATCH, MLINE, TOLERANCE and SHAPE.
//
// The descriptions (types_hatch.h) read most values structurally; the preparation steps here
// read the record's DXF groups and push those values in the descriptions' order.
#include <cmath>
#include <cstdlib>

#include "engine/dwg/families.h"
#include "engine/dwg/types_hatch.h"

namespace kel::dwg {

namespace {

using engine::asDouble;
using engine::asInt;
using engine::ValueKind;

constexpr double kDegToRad = 3.14159265358979323846 / 180.0;

// Walks the tags of one subclass in order, taking optional groups where they stand.
class Cursor {
 public:
  Cursor(const Tags& b, size_t from, size_t to) : b_(b), i_(from), end_(to) {}
  bool at(int code) const { return i_ < end_ && b_[i_].code == code; }
  int peekCode(size_t ahead = 0) const { return i_ + ahead < end_ ? b_[i_ + ahead].code : -1; }
  bool done() const { return i_ >= end_; }
  double real(int code, double dflt = 0) { return at(code) ? asDouble(b_[i_++]) : dflt; }
  int64_t integer(int code, int64_t dflt = 0) {
    if (!at(code)) return dflt;
    const Tag& t = b_[i_++];
    return t.kind == ValueKind::String ? std::atoll(t.s.c_str()) : asInt(t);
  }
  std::string text(int code) {
    if (!at(code)) return {};
    const Tag& t = b_[i_++];
    return t.kind == ValueKind::String ? t.s : std::string();
  }
  Handle handle(int code) {
    if (!at(code)) return 0;
    const Tag& t = b_[i_++];
    return t.kind == ValueKind::Handle ? Handle(t.i) : Handle(0);
  }
  Point2 point(int code) {
    Point2 p;
    p.x = real(code);
    p.y = real(code + 10);
    if (at(code + 20)) ++i_;  // a z DXF writers sometimes add
    return p;
  }
  // Moves to the next tag with `code` before any of `stops` (false when there is none).
  bool seek(int code, std::initializer_list<int> stops) {
    for (size_t k = i_; k < end_; ++k) {
      if (b_[k].code == code) {
        i_ = k;
        return true;
      }
      for (int s : stops)
        if (b_[k].code == s) return false;
    }
    return false;
  }

 private:
  const Tags& b_;
  size_t i_, end_;
};

// True when the writer already turned the body's degrees into radians: it converts the angle
// groups of the types it lists itself and hands the preparation step that converted copy; a type
// it does not list (HATCH) arrives with DXF's degrees, converted here.
bool anglesConverted(const PrepInput& in) { return &in.body != &in.o.body && &in.body != &in.plan.body; }

// ---- HATCH --------------------------------------------------------------------------------------

struct Edge {
  int type = 1;
  Point2 p0, p1;
  double r = 0, a0 = 0, a1 = 0;
  bool ccw = true;
  // spline
  int64_t degree = 3;
  bool rational = false, periodic = false;
  std::vector<double> knots, weights;
  std::vector<Point2> ctrl, fit;
  Point2 t0, t1;
};

struct Path {
  int64_t flag = 0;
  std::vector<Edge> edges;
  bool bulges = false, closed = true;
  std::vector<Point2> verts;
  std::vector<double> bulge;
  std::vector<Handle> handles;
};

struct PatternLine {
  double angle = 0, x = 0, y = 0, dx = 0, dy = 0;
  std::vector<double> dashes;
};

struct GradientColor {
  double value = 0;
  int64_t index = 0;
  int64_t rgb = -1;
};

Edge parseEdge(Cursor& c, bool lastInPath) {
  Edge e;
  e.type = int(c.integer(72, 1));
  switch (e.type) {
    case 1:
      e.p0 = c.point(10);
      e.p1 = c.point(11);
      break;
    case 2:
      e.p0 = c.point(10);
      e.r = c.real(40);
      e.a0 = c.real(50);
      e.a1 = c.real(51, 360);
      e.ccw = c.integer(73, 1) != 0;
      break;
    case 3:
      e.p0 = c.point(10);
      e.p1 = c.point(11);
      e.r = c.real(40, 1);
      e.a0 = c.real(50);
      e.a1 = c.real(51, 360);
      e.ccw = c.integer(73, 1) != 0;
      break;
    case 4: {
      e.degree = c.integer(94, 3);
      e.rational = c.integer(73) != 0;
      e.periodic = c.integer(74) != 0;
      int64_t nk = c.integer(95), nc = c.integer(96);
      for (int64_t i = 0; i < nk && c.at(40); ++i) e.knots.push_back(c.real(40));
      for (int64_t i = 0; i < nc && c.at(10); ++i) {
        e.ctrl.push_back(c.point(10));
        e.weights.push_back(c.real(42, 1.0));
      }
      // Fit data: a 97 here counts fit points, unless it is the path's count of boundary
      // objects (then nothing of the spline follows it and the path ends).
      if (c.at(97)) {
        int next = c.peekCode(1);
        bool fitCount = next == 11 || next == 12 || next == 97 || (next == 72 && !lastInPath);
        if (fitCount) {
          int64_t nf = c.integer(97);
          for (int64_t i = 0; i < nf && c.at(11); ++i) e.fit.push_back(c.point(11));
        }
      }
      if (c.at(12)) e.t0 = c.point(12);
      if (c.at(13)) e.t1 = c.point(13);
      break;
    }
    default: e.type = 1; break;  // an unknown edge kind: written as a degenerate line
  }
  return e;
}

void pushPoint(ObjectWriter& w, const Point2& p) {
  w.pushReal(p.x);
  w.pushReal(p.y);
}

void pushEdge(ObjectWriter& w, const Edge& e, double toRad) {
  w.pushInt(e.type);
  switch (e.type) {
    case 1:
      pushPoint(w, e.p0);
      pushPoint(w, e.p1);
      break;
    case 2:
    case 3:
      pushPoint(w, e.p0);
      if (e.type == 3) pushPoint(w, e.p1);
      w.pushReal(e.r);
      w.pushReal(e.a0 * toRad);
      w.pushReal(e.a1 * toRad);
      w.pushInt(e.ccw ? 1 : 0);
      break;
    case 4: {
      // Weights are stored only for a rational spline.
      w.pushInt(e.degree);
      w.pushInt(e.rational ? 1 : 0);
      w.pushInt(e.periodic ? 1 : 0);
      w.pushInt(int64_t(e.knots.size()));
      w.pushInt(int64_t(e.ctrl.size()));
      for (double k : e.knots) w.pushReal(k);
      for (size_t i = 0; i < e.ctrl.size(); ++i) {
        pushPoint(w, e.ctrl[i]);
        if (e.rational) w.pushReal(e.weights[i]);
      }
      if (w.since(Version::R2010)) {
        w.pushInt(int64_t(e.fit.size()));
        if (!e.fit.empty()) {
          for (const Point2& f : e.fit) pushPoint(w, f);
          pushPoint(w, e.t0);
          pushPoint(w, e.t1);
        }
      }
      break;
    }
    default: break;
  }
}

void prepHATCH(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  const auto fromTo = subclassRange(b, "AcDbHatch");
  size_t from = fromTo.first, to = fromTo.second;
  const double toRad = anglesConverted(in) ? 1.0 : kDegToRad;
  auto local = [&](int code) -> const Tag* {
    for (size_t i = from; i < to; ++i)
      if (b[i].code == code) return &b[i];
    return nullptr;
  };
  auto localReal = [&](int code, double dflt) {
    const Tag* t = local(code);
    return t ? asDouble(*t) : dflt;
  };
  auto localInt = [&](int code, int64_t dflt) {
    const Tag* t = local(code);
    return t ? (t->kind == ValueKind::String ? std::atoll(t->s.c_str()) : asInt(*t)) : dflt;
  };

  Cursor c(b, from, to);
  // The head: elevation point, extrusion, name, fill and associativity flags, path count.
  double elevation = 0;
  Point3 normal{0, 0, 1};
  std::string name;
  int64_t solid = 0, assoc = 0;
  while (!c.done() && !c.at(92) && !c.at(75)) {
    int code = c.peekCode();
    switch (code) {
      case 30: elevation = c.real(30); break;
      case 210: normal.x = c.real(210); break;
      case 220: normal.y = c.real(220); break;
      case 230: normal.z = c.real(230); break;
      case 70: solid = c.integer(70); break;
      case 71: assoc = c.integer(71); break;
      case 2: name = c.text(2); break;
      default: c.integer(code); break;  // 10, 20, 91 and anything else: skipped
    }
  }
  std::vector<Path> paths;
  while (c.at(92)) {
    Path p;
    p.flag = c.integer(92);
    if (p.flag & 2) {
      p.bulges = c.integer(72) != 0;
      p.closed = c.integer(73, 1) != 0;
      int64_t n = c.integer(93);
      for (int64_t i = 0; i < n && c.at(10); ++i) {
        p.verts.push_back(c.point(10));
        p.bulge.push_back(c.real(42));
      }
    } else {
      int64_t n = c.integer(93);
      for (int64_t i = 0; i < n && c.at(72); ++i) p.edges.push_back(parseEdge(c, i + 1 == n));
    }
    if (c.seek(97, {92, 75, 76})) {
      int64_t nh = c.integer(97);
      for (int64_t i = 0; i < nh && c.at(330); ++i) p.handles.push_back(c.handle(330));
    }
    // Anything left of this path (groups other writers add) up to the next path or the style.
    c.seek(92, {75, 76});
    paths.push_back(std::move(p));
  }
  c.seek(75, {});
  int64_t style = c.integer(75);
  int64_t patternType = c.integer(76, 1);
  double patternAngle = 0, scale = 1;
  int64_t twice = 0;
  std::vector<PatternLine> lines;
  if (!solid) {
    patternAngle = c.real(52);
    scale = c.real(41, 1);
    twice = c.integer(77);
    int64_t n = c.integer(78);
    for (int64_t i = 0; i < n && c.at(53); ++i) {
      PatternLine l;
      l.angle = c.real(53);
      l.x = c.real(43);
      l.y = c.real(44);
      l.dx = c.real(45);
      l.dy = c.real(46);
      int64_t nd = c.integer(79);
      for (int64_t k = 0; k < nd && c.at(49); ++k) l.dashes.push_back(c.real(49));
      lines.push_back(std::move(l));
    }
  }
  double pixel = localReal(47, 0);
  std::vector<Point2> seeds;
  if (c.seek(98, {450})) {
    int64_t n = c.integer(98);
    for (int64_t i = 0; i < n && c.at(10); ++i) seeds.push_back(c.point(10));
  }
  // The gradient: one group each, then the colours (463 starts one).
  std::vector<GradientColor> colors;
  for (size_t i = from; i < to; ++i) {
    if (b[i].code == 463) colors.push_back(GradientColor{asDouble(b[i]), 0, -1});
    else if (b[i].code == 63 && !colors.empty()) colors.back().index = asInt(b[i]);
    else if (b[i].code == 421 && !colors.empty()) colors.back().rgb = asInt(b[i]) & 0xFFFFFF;
  }

  // Pushed in the description's order.
  if (w.since(Version::R2004)) {
    w.pushInt(localInt(450, 0));
    w.pushInt(localInt(451, 0));
    w.pushReal(localReal(460, 0));
    w.pushReal(localReal(461, 0));
    w.pushInt(localInt(452, 0));
    w.pushReal(localReal(462, 0));
    w.pushInt(int64_t(colors.size()));
    for (const auto& g : colors) {
      w.pushReal(g.value);
      uint32_t word;
      if (g.rgb >= 0) word = 0xC2000000u | uint32_t(g.rgb);
      else if (g.index == 256) word = 0xC0000000u;
      else if (g.index == 0) word = 0xC1000000u;
      else word = 0xC3000000u | uint32_t(g.index & 0xFF);
      w.pushInt(g.index);
      w.pushInt(int64_t(word));
      w.pushInt(0);  // no colour or book name
    }
    w.pushText(textOf(Tags(b.begin() + std::ptrdiff_t(from), b.begin() + std::ptrdiff_t(to)), 470));
  }
  w.pushReal(elevation);
  w.pushReal(normal.x);
  w.pushReal(normal.y);
  w.pushReal(normal.z);
  w.pushText(name);
  w.pushInt(solid ? 1 : 0);
  w.pushInt(assoc ? 1 : 0);
  w.pushInt(int64_t(paths.size()));
  bool anyPixel = false;
  for (const Path& p : paths) {
    w.pushInt(p.flag);
    anyPixel = anyPixel || (p.flag & 4);
    if (p.flag & 2) {
      bool bulges = false;
      for (double v : p.bulge) bulges = bulges || v != 0;
      w.pushInt(bulges ? 1 : 0);
      w.pushInt(p.closed ? 1 : 0);
      w.pushInt(int64_t(p.verts.size()));
      for (size_t i = 0; i < p.verts.size(); ++i) {
        w.pushReal(p.verts[i].x);
        w.pushReal(p.verts[i].y);
        if (bulges) w.pushReal(p.bulge[i]);
      }
    } else {
      w.pushInt(int64_t(p.edges.size()));
      for (const Edge& e : p.edges) pushEdge(w, e, toRad);
    }
    w.pushInt(int64_t(p.handles.size()));
    for (Handle h : p.handles) w.pushHandle(h);
  }
  w.pushInt(style);
  w.pushInt(patternType);
  if (!solid) {
    w.pushReal(patternAngle * toRad);
    w.pushReal(scale);
    w.pushInt(twice ? 1 : 0);
    w.pushInt(int64_t(lines.size()));
    for (const PatternLine& l : lines) {
      w.pushReal(l.angle * toRad);
      w.pushReal(l.x);
      w.pushReal(l.y);
      w.pushReal(l.dx);
      w.pushReal(l.dy);
      w.pushInt(int64_t(l.dashes.size()));
      for (double d : l.dashes) w.pushReal(d);
    }
  }
  if (anyPixel) w.pushReal(pixel);
  w.pushInt(int64_t(seeds.size()));
  for (const Point2& s : seeds) {
    w.pushReal(s.x);
    w.pushReal(s.y);
  }
}

// ---- MLINE, TOLERANCE, SHAPE -------------------------------------------------------------------

void prepMLINE(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  const auto fromTo = subclassRange(b, "AcDbMline");
  size_t from = fromTo.first, to = fromTo.second;
  Tags own(b.begin() + std::ptrdiff_t(from), b.begin() + std::ptrdiff_t(to));
  const Tag* style = firstTag(own, 340);
  w.pushHandle(style && style->kind == ValueKind::Handle ? Handle(style->i) : 0);
  w.pushReal(realOf(own, 40, 1.0));
  w.pushInt(intOf(own, 70));
  for (int code : {10, 20, 30}) w.pushReal(realOf(own, code));
  w.pushReal(realOf(own, 210));
  w.pushReal(realOf(own, 220));
  w.pushReal(realOf(own, 230, 1.0));
  const int64_t vertices = int64_t(countOf(own, 11));
  int64_t flags = intOf(own, 71);
  // "Has vertices" follows the vertices actually written.
  flags = vertices > 0 ? (flags | 1) : (flags & ~int64_t(1));
  w.pushInt(flags);
  w.pushInt(intOf(own, 73));
  w.pushInt(vertices);
}

void prepTOLERANCE(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  const auto fromTo = subclassRange(b, "AcDbFcf");
  size_t from = fromTo.first, to = fromTo.second;
  Tags own(b.begin() + std::ptrdiff_t(from), b.begin() + std::ptrdiff_t(to));
  w.pushReal(realOf(own, 11, 1.0));
  w.pushReal(realOf(own, 21));
  w.pushReal(realOf(own, 31));
  w.pushReal(realOf(own, 210));
  w.pushReal(realOf(own, 220));
  w.pushReal(realOf(own, 230, 1.0));
}

void prepSHAPE(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  const auto fromTo = subclassRange(b, "AcDbShape");
  size_t from = fromTo.first, to = fromTo.second;
  Tags own(b.begin() + std::ptrdiff_t(from), b.begin() + std::ptrdiff_t(to));
  const double toRad = anglesConverted(in) ? 1.0 : kDegToRad;
  w.pushReal(realOf(own, 10));
  w.pushReal(realOf(own, 20));
  w.pushReal(realOf(own, 30));
  w.pushReal(realOf(own, 40, 1.0));
  w.pushReal(realOf(own, 50) * toRad);
  w.pushReal(realOf(own, 41, 1.0));
  w.pushReal(realOf(own, 51) * toRad);
  w.pushReal(realOf(b, 39));  // thickness: some writers give it before the subclass marker
  // The shape's number: a name that is a number is that number (what reading a DWG gives); a
  // real name would need the shape file to be looked up, so such a shape is written as number 0.
  std::string name = textOf(own, 2);
  char* end = nullptr;
  long number = std::strtol(name.c_str(), &end, 10);
  w.pushInt(!name.empty() && end && *end == 0 && number >= 0 && number <= 0xFFFF ? number : 0);
  w.pushReal(realOf(own, 210));
  w.pushReal(realOf(own, 220));
  w.pushReal(realOf(own, 230, 1.0));
  w.pushHandle(0);  // the shape file's text style: not known from DXF
}

using R = ObjectReader;
using W = ObjectWriter;

const FamilyType kHatchFamily[] = {
    {78, "HATCH", "HATCH", RecordKind::Entity, &hatch::visitHATCH<R>, &hatch::visitHATCH<W>, &prepHATCH,
     "AcDbHatch", {50, 51, 52, 53}},
    {47, "MLINE", "MLINE", RecordKind::Entity, &hatch::visitMLINE<R>, &hatch::visitMLINE<W>, &prepMLINE,
     "AcDbMline", {}},
    {46, "TOLERANCE", "TOLERANCE", RecordKind::Entity, &hatch::visitTOLERANCE<R>, &hatch::visitTOLERANCE<W>,
     &prepTOLERANCE, "AcDbFcf", {}},
    {33, "SHAPE", "SHAPE", RecordKind::Entity, &hatch::visitSHAPE<R>, &hatch::visitSHAPE<W>, &prepSHAPE,
     "AcDbShape", {50, 51}},
};

}  // namespace

std::span<const FamilyType> hatchFamily() { return kHatchFamily; }

}  // namespace kel::dwg
