// The type descriptions and the table-driven decode/encode of entities.h.
#pragma once
#include <cstring>
#include <type_traits>

namespace kel::engine {

namespace detail {

// The AcDbEntity part shared by all entity types.
inline void encodeCommon(const EntityCommon& c, Tags& out) {
  if (c.paperSpace) out.push_back(Tag::integer(67, c.paperSpace));
  out.push_back(Tag::str(8, c.layer));
  if (c.linetype != "ByLayer") out.push_back(Tag::str(6, c.linetype));
  if (c.color != 256) out.push_back(Tag::integer(62, c.color));
  if (c.lineweight != -1) out.push_back(Tag::integer(370, c.lineweight));
  if (c.linetypeScale != 1) out.push_back(Tag::real(48, c.linetypeScale));
}
inline bool decodeCommon(const Tag& t, EntityCommon& c) {
  switch (t.code) {
    case 67: c.paperSpace = int16_t(asInt(t)); return true;
    case 8: c.layer = t.s; return true;
    case 6: c.linetype = t.s; return true;
    case 62: c.color = int16_t(asInt(t)); return true;
    case 370: c.lineweight = int16_t(asInt(t)); return true;
    case 48: c.linetypeScale = asDouble(t); return true;
    default: return false;
  }
}

template <class T>
void put(const T& v, const Attr<T>& a, Tags& out) {
  std::visit(
      [&](auto mp) {
        using M = std::remove_cvref_t<decltype(v.*mp)>;
        const M& f = v.*mp;
        if constexpr (std::is_same_v<M, double>) out.push_back(Tag::real(a.code, f));
        else if constexpr (std::is_same_v<M, std::string>) out.push_back(Tag::str(a.code, f));
        else if constexpr (std::is_same_v<M, Vec3>) {
          out.push_back(Tag::real(a.code, f.x));
          out.push_back(Tag::real(a.code + 10, f.y));
          out.push_back(Tag::real(a.code + 20, f.z));
        } else if constexpr (std::is_same_v<M, Handle>) out.push_back(Tag::handle(a.code, f));
        else if constexpr (std::is_same_v<M, EntityCommon>) encodeCommon(f, out);
        else out.push_back(Tag::integer(a.code, int64_t(f)));
      },
      a.member);
}

// Stores t into the member a describes; `axis` is 0/1/2 for the x/y/z of a point.
template <class T>
void get(T& v, const Attr<T>& a, const Tag& t, int axis) {
  std::visit(
      [&](auto mp) {
        using M = std::remove_cvref_t<decltype(v.*mp)>;
        M& f = v.*mp;
        if constexpr (std::is_same_v<M, double>) f = asDouble(t);
        else if constexpr (std::is_same_v<M, std::string>) f = t.s;
        else if constexpr (std::is_same_v<M, Vec3>) (axis == 0 ? f.x : axis == 1 ? f.y : f.z) = asDouble(t);
        else if constexpr (std::is_same_v<M, Handle>) f = Handle(asInt(t));
        else if constexpr (std::is_same_v<M, EntityCommon>) decodeCommon(t, f);
        else f = static_cast<M>(asInt(t));
      },
      a.member);
}

template <class T>
bool isPoint(const Attr<T>& a) {
  return std::holds_alternative<Vec3 T::*>(a.member);
}
template <class T>
bool isCommon(const Attr<T>& a) {
  return std::holds_alternative<EntityCommon T::*>(a.member);
}

}  // namespace detail

// A hook position in a table: code 0 marks where a type's repeated groups go.
#define KEL_EXTRA(subclass) Attr<T>{subclass, 0, Member<T>{}}

template <class T>
struct DescriptionBase {
  static void decodeExtra(const Object&, T&) {}
  static void encodeExtra(const T&, Tags&) {}
};

template <>
struct Description<Line> : DescriptionBase<Line> {
  using T = Line;
  static constexpr const char* names[] = {"LINE"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbEntity", 8, &T::common},     {"AcDbLine", 39, &T::thickness},
                                           {"AcDbLine", 10, &T::start},       {"AcDbLine", 11, &T::end},
                                           {"AcDbLine", 210, &T::extrusion}};
    return a;
  }
};
template <>
struct Description<Point> : DescriptionBase<Point> {
  using T = Point;
  static constexpr const char* names[] = {"POINT"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbEntity", 8, &T::common}, {"AcDbPoint", 10, &T::position},
                                           {"AcDbPoint", 39, &T::thickness}, {"AcDbPoint", 210, &T::extrusion}};
    return a;
  }
};
template <>
struct Description<Circle> : DescriptionBase<Circle> {
  using T = Circle;
  static constexpr const char* names[] = {"CIRCLE"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbEntity", 8, &T::common}, {"AcDbCircle", 39, &T::thickness},
                                           {"AcDbCircle", 10, &T::center}, {"AcDbCircle", 40, &T::radius},
                                           {"AcDbCircle", 210, &T::extrusion}};
    return a;
  }
};
template <>
struct Description<Arc> : DescriptionBase<Arc> {
  using T = Arc;
  static constexpr const char* names[] = {"ARC"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {
        {"AcDbEntity", 8, &T::common},     {"AcDbCircle", 39, &T::thickness}, {"AcDbCircle", 10, &T::center},
        {"AcDbCircle", 40, &T::radius},    {"AcDbCircle", 210, &T::extrusion}, {"AcDbArc", 50, &T::startAngle},
        {"AcDbArc", 51, &T::endAngle}};
    return a;
  }
};
template <>
struct Description<Ellipse> : DescriptionBase<Ellipse> {
  using T = Ellipse;
  static constexpr const char* names[] = {"ELLIPSE"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {
        {"AcDbEntity", 8, &T::common},       {"AcDbEllipse", 10, &T::center},    {"AcDbEllipse", 11, &T::majorAxis},
        {"AcDbEllipse", 210, &T::extrusion}, {"AcDbEllipse", 40, &T::ratio},     {"AcDbEllipse", 41, &T::startParam},
        {"AcDbEllipse", 42, &T::endParam}};
    return a;
  }
};
template <>
struct Description<Text> : DescriptionBase<Text> {
  using T = Text;
  static constexpr const char* names[] = {"TEXT"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {
        {"AcDbEntity", 8, &T::common},     {"AcDbText", 39, &T::thickness},   {"AcDbText", 10, &T::position},
        {"AcDbText", 40, &T::height},      {"AcDbText", 1, &T::text},         {"AcDbText", 50, &T::rotation},
        {"AcDbText", 41, &T::widthFactor}, {"AcDbText", 51, &T::oblique},     {"AcDbText", 7, &T::style},
        {"AcDbText", 71, &T::generation},  {"AcDbText", 72, &T::hAlign},      {"AcDbText", 11, &T::alignPoint},
        {"AcDbText", 210, &T::extrusion},  {"AcDbText", 73, &T::vAlign}};
    return a;
  }
};
template <>
struct Description<Insert> : DescriptionBase<Insert> {
  using T = Insert;
  static constexpr const char* names[] = {"INSERT"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {
        {"AcDbEntity", 8, &T::common},            {"AcDbBlockReference", 66, &T::hasAttributes},
        {"AcDbBlockReference", 2, &T::block},     {"AcDbBlockReference", 10, &T::position},
        {"AcDbBlockReference", 41, &T::xScale},   {"AcDbBlockReference", 42, &T::yScale},
        {"AcDbBlockReference", 43, &T::zScale},   {"AcDbBlockReference", 50, &T::rotation},
        {"AcDbBlockReference", 70, &T::columns},  {"AcDbBlockReference", 71, &T::rows},
        {"AcDbBlockReference", 44, &T::columnSpacing}, {"AcDbBlockReference", 45, &T::rowSpacing},
        {"AcDbBlockReference", 210, &T::extrusion}};
    return a;
  }
};
template <>
struct Description<Face> : DescriptionBase<Face> {
  using T = Face;
  static constexpr const char* names[] = {"SOLID", "TRACE", "3DFACE"};
  static void decodeExtra(const Object& o, T& v) {
    v.type = o.type;
    for (const auto& t : o.body) {
      int c = t.code;
      if (c == 70 && o.type == "3DFACE") v.invisibleEdges = int16_t(asInt(t));
      if (c >= 10 && c <= 13) v.corner[c - 10].x = asDouble(t);
      else if (c >= 20 && c <= 23) v.corner[c - 20].y = asDouble(t);
      else if (c >= 30 && c <= 33) v.corner[c - 30].z = asDouble(t);
    }
  }
  static void encodeExtra(const T& v, Tags& out) {
    if (v.type == "3DFACE" && v.invisibleEdges) out.push_back(Tag::integer(70, v.invisibleEdges));
    for (int i = 0; i < 4; ++i) {
      out.push_back(Tag::real(10 + i, v.corner[i].x));
      out.push_back(Tag::real(20 + i, v.corner[i].y));
      out.push_back(Tag::real(30 + i, v.corner[i].z));
    }
  }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbEntity", 8, &T::common}, KEL_EXTRA("AcDbTrace"),
                                           {"AcDbTrace", 39, &T::thickness}, {"AcDbTrace", 210, &T::extrusion}};
    return a;
  }
};
template <>
struct Description<LwPolyline> : DescriptionBase<LwPolyline> {
  using T = LwPolyline;
  static constexpr const char* names[] = {"LWPOLYLINE"};
  static void decodeExtra(const Object& o, T& v) {
    v.vertices.clear();
    for (const auto& t : o.body) {
      if (t.code == 10) v.vertices.push_back({asDouble(t), 0, 0, 0, 0});
      if (v.vertices.empty()) continue;
      LwVertex& p = v.vertices.back();
      if (t.code == 20) p.y = asDouble(t);
      else if (t.code == 40) p.startWidth = asDouble(t);
      else if (t.code == 41) p.endWidth = asDouble(t);
      else if (t.code == 42) p.bulge = asDouble(t);
    }
  }
  static void encodeExtra(const T& v, Tags& out) {
    for (const auto& p : v.vertices) {
      out.push_back(Tag::real(10, p.x));
      out.push_back(Tag::real(20, p.y));
      if (p.startWidth != 0 || p.endWidth != 0) {
        out.push_back(Tag::real(40, p.startWidth));
        out.push_back(Tag::real(41, p.endWidth));
      }
      if (p.bulge != 0) out.push_back(Tag::real(42, p.bulge));
    }
  }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {
        {"AcDbEntity", 8, &T::common},          {"AcDbPolyline", 90, &T::count},
        {"AcDbPolyline", 70, &T::flags},        {"AcDbPolyline", 43, &T::constantWidth},
        {"AcDbPolyline", 38, &T::elevation},    {"AcDbPolyline", 39, &T::thickness},
        KEL_EXTRA("AcDbPolyline"),              {"AcDbPolyline", 210, &T::extrusion}};
    return a;
  }
};
template <>
struct Description<MText> : DescriptionBase<MText> {
  using T = MText;
  static constexpr const char* names[] = {"MTEXT"};
  // The text comes in 250-byte pieces: any number of 3-groups, then the last piece in group 1.
  static void decodeExtra(const Object& o, T& v) {
    std::string head, last;
    for (const auto& t : o.body) {
      if (t.code == 3) head += t.s;
      else if (t.code == 1) last = t.s;
    }
    v.text = head + last;
  }
  static void encodeExtra(const T& v, Tags& out) {
    size_t at = 0;
    while (v.text.size() - at > 250) {
      size_t n = 250;
      while (n > 0 && (static_cast<unsigned char>(v.text[at + n]) & 0xC0) == 0x80) --n;  // whole characters
      out.push_back(Tag::str(3, v.text.substr(at, n)));
      at += n;
    }
    out.push_back(Tag::str(1, v.text.substr(at)));
  }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {
        {"AcDbEntity", 8, &T::common},   {"AcDbMText", 10, &T::position},   {"AcDbMText", 40, &T::height},
        {"AcDbMText", 41, &T::width},    {"AcDbMText", 71, &T::attachment}, {"AcDbMText", 72, &T::direction},
        KEL_EXTRA("AcDbMText"),          {"AcDbMText", 7, &T::style},       {"AcDbMText", 210, &T::extrusion},
        {"AcDbMText", 11, &T::xDirection}, {"AcDbMText", 50, &T::rotation}, {"AcDbMText", 44, &T::lineSpacing}};
    return a;
  }
};
template <>
struct Description<Layer> : DescriptionBase<Layer> {
  using T = Layer;
  static constexpr const char* names[] = {"LAYER"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {
        {"AcDbLayerTableRecord", 2, &T::name},       {"AcDbLayerTableRecord", 70, &T::flags},
        {"AcDbLayerTableRecord", 62, &T::color},     {"AcDbLayerTableRecord", 6, &T::linetype},
        {"AcDbLayerTableRecord", 290, &T::plot, 1015}, {"AcDbLayerTableRecord", 370, &T::lineweight, 1015}};
    return a;
  }
};
#undef KEL_EXTRA

template <class T>
bool decode(const Object& o, T& out) {
  using D = Description<T>;
  bool typeOk = false;
  for (const char* n : D::names) typeOk = typeOk || o.type == n;
  if (!typeOk) return false;
  out = T{};
  const auto& attrs = D::attrs();
  const bool markers = o.hasSubclasses();
  std::string sub;
  // Each group is taken by the first description entry of its subclass that claims its code;
  // files without subclass markers (R12) match by code alone.
  for (const auto& t : o.body) {
    if (t.code == 100) {
      sub = t.s;
      continue;
    }
    for (const auto& a : attrs) {
      if (a.code == 0) continue;
      bool inSub = !markers || sub == a.subclass;
      if (!inSub) continue;
      if (detail::isCommon(a)) {
        if (detail::decodeCommon(t, out.*std::get<EntityCommon T::*>(a.member))) break;
        continue;
      }
      if (detail::isPoint(a)) {
        if (t.code == a.code || t.code == a.code + 10 || t.code == a.code + 20) {
          detail::get(out, a, t, (t.code - a.code) / 10);
          break;
        }
        continue;
      }
      if (t.code == a.code) {
        detail::get(out, a, t, 0);
        break;
      }
    }
  }
  D::decodeExtra(o, out);
  return true;
}

template <class T>
Object encode(const T& v, int version) {
  using D = Description<T>;
  Object o;
  o.type = D::names[0];
  // The four-corner types share one description: 3DFACE has its own marker, no thickness and no
  // extrusion, but invisible-edge flags.
  bool face3d = false;
  if constexpr (std::is_same_v<T, Face>) {
    o.type = v.type;
    face3d = v.type == "3DFACE";
  }
  const char* current = nullptr;
  for (const auto& a : D::attrs()) {
    if (version < a.since || version > a.until) continue;
    const char* marker = a.subclass;
    if (face3d) {
      if (a.code == 39 || a.code == 210) continue;
      if (std::strcmp(marker, "AcDbTrace") == 0) marker = "AcDbFace";
    }
    if (version >= 1012 && (!current || std::strcmp(current, marker) != 0)) {
      o.body.push_back(Tag::str(100, marker));
      current = marker;
    }
    if (a.code == 0) D::encodeExtra(v, o.body);
    else detail::put(v, a, o.body);
  }
  if constexpr (std::is_same_v<T, LwPolyline>)
    for (auto& t : o.body)
      if (t.code == 90) t.i = int64_t(v.vertices.size());
  return o;
}

}  // namespace kel::engine
