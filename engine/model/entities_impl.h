// The type descriptions and the table-driven decode/encode of entities.h.
#pragma once
#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>
#include <type_traits>

namespace kel::engine {

namespace detail {

// The AcDbEntity part shared by all entity types.
// A text group, or a binary one where the code holds bytes (310..319, 1004).
inline Tag textTag(int code, std::string_view v) {
  Tag t = Tag::str(code, v);
  if (kindOf(code) == ValueKind::Binary) t.kind = ValueKind::Binary;
  return t;
}

// The AcDbEntity part shared by all entity types.
inline void encodeCommon(const EntityCommon& c, Tags& out) {
  if (c.paperSpace) out.push_back(Tag::integer(67, c.paperSpace));
  if (!c.layout.empty()) out.push_back(Tag::str(410, c.layout));
  out.push_back(Tag::str(8, c.layer));
  if (c.linetype != "ByLayer") out.push_back(Tag::str(6, c.linetype));
  if (c.material) out.push_back(Tag::handle(347, c.material));
  if (c.color != 256) out.push_back(Tag::integer(62, c.color));
  if (c.lineweight != -1) out.push_back(Tag::integer(370, c.lineweight));
  if (c.linetypeScale != 1) out.push_back(Tag::real(48, c.linetypeScale));
  if (c.invisible) out.push_back(Tag::integer(60, c.invisible));
  if (!c.graphics.empty()) {
    int64_t n = 0;
    for (const auto& g : c.graphics) n += int64_t(g.size());
    out.push_back(Tag::integer(92, n));
    for (const auto& g : c.graphics) out.push_back(textTag(310, g));
  }
  if (c.trueColor >= 0) out.push_back(Tag::integer(420, c.trueColor));
  if (!c.colorName.empty()) out.push_back(Tag::str(430, c.colorName));
  if (c.transparency >= 0) out.push_back(Tag::integer(440, c.transparency));
  if (c.plotStyle) out.push_back(Tag::handle(390, c.plotStyle));
  if (c.visualStyle) out.push_back(Tag::handle(348, c.visualStyle));
  if (c.shadow >= 0) out.push_back(Tag::integer(284, c.shadow));
}
inline bool decodeCommon(const Tag& t, EntityCommon& c) {
  switch (t.code) {
    case 67: c.paperSpace = int16_t(asInt(t)); return true;
    case 410: c.layout = t.s; return true;
    case 8: c.layer = t.s; return true;
    case 6: c.linetype = t.s; return true;
    case 347: c.material = Handle(asInt(t)); return true;
    case 62: c.color = int16_t(asInt(t)); return true;
    case 370: c.lineweight = int16_t(asInt(t)); return true;
    case 48: c.linetypeScale = asDouble(t); return true;
    case 60: c.invisible = int16_t(asInt(t)); return true;
    case 92: case 160: return true;  // the graphics size follows from the pieces
    case 310: c.graphics.push_back(t.s); return true;
    case 420: c.trueColor = int32_t(asInt(t)); return true;
    case 430: c.colorName = t.s; return true;
    case 440: c.transparency = int32_t(asInt(t)); return true;
    case 390: c.plotStyle = Handle(asInt(t)); return true;
    case 348: c.visualStyle = Handle(asInt(t)); return true;
    case 284: c.shadow = int16_t(asInt(t)); return true;
    default: return false;
  }
}
inline constexpr int kCommonCodes[] = {67, 410, 8, 6, 347, 62, 370, 48, 60, 92, 160, 310, 420, 430, 440, 390, 348, 284};

template <class M>
struct IsList : std::false_type {};
template <class E>
struct IsList<std::vector<E>> : std::true_type {};

template <class E>
Tag valueTag(int code, const E& f) {
  if constexpr (std::is_same_v<E, double>) return Tag::real(code, f);
  else if constexpr (std::is_same_v<E, std::string>) return textTag(code, f);
  else if constexpr (std::is_same_v<E, Handle>) return Tag::handle(code, f);
  else return Tag::integer(code, int64_t(f));
}
template <class E>
void valueFrom(E& f, const Tag& t) {
  if constexpr (std::is_same_v<E, double>) f = asDouble(t);
  else if constexpr (std::is_same_v<E, std::string>) f = t.s;
  else if constexpr (std::is_same_v<E, Handle>) f = Handle(asInt(t));
  else f = static_cast<E>(asInt(t));
}
inline void putPoint(int code, const Vec3& p, Tags& out) {
  out.push_back(Tag::real(code, p.x));
  out.push_back(Tag::real(code + 10, p.y));
  out.push_back(Tag::real(code + 20, p.z));
}

template <class T>
void put(const T& v, const Attr<T>& a, Tags& out) {
  std::visit(
      [&](auto mp) {
        using M = std::remove_cvref_t<decltype(v.*mp)>;
        const M& f = v.*mp;
        if constexpr (std::is_same_v<M, Vec3>) putPoint(a.code, f, out);
        else if constexpr (std::is_same_v<M, std::vector<Vec3>>)
          for (const auto& p : f) putPoint(a.code, p, out);
        else if constexpr (std::is_same_v<M, EntityCommon>) encodeCommon(f, out);
        else if constexpr (IsList<M>::value)
          for (const auto& e : f) out.push_back(valueTag(a.code, e));
        else out.push_back(valueTag(a.code, f));
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
        if constexpr (std::is_same_v<M, Vec3>) (axis == 0 ? f.x : axis == 1 ? f.y : f.z) = asDouble(t);
        else if constexpr (std::is_same_v<M, std::vector<Vec3>>) {
          if (axis == 0 || f.empty()) f.emplace_back();
          Vec3& p = f.back();
          (axis == 0 ? p.x : axis == 1 ? p.y : p.z) = asDouble(t);
        } else if constexpr (std::is_same_v<M, EntityCommon>) decodeCommon(t, f);
        else if constexpr (IsList<M>::value) valueFrom(f.emplace_back(), t);
        else valueFrom(f, t);
      },
      a.member);
}

template <class T>
bool isPoint(const Attr<T>& a) {
  return std::holds_alternative<Vec3 T::*>(a.member) || std::holds_alternative<std::vector<Vec3> T::*>(a.member);
}
template <class T>
bool isCommon(const Attr<T>& a) {
  return std::holds_alternative<EntityCommon T::*>(a.member);
}
template <class T>
bool isList(const Attr<T>& a) {
  return std::visit([](auto mp) { return IsList<std::remove_cvref_t<decltype(std::declval<const T&>().*mp)>>::value; }, a.member);
}

}  // namespace detail

// A hook position in a table: code 0 marks where a type's repeated groups go.
#define KEL_EXTRA(subclass) Attr<T>{subclass, 0, Member<T>{}}

template <class T>
struct DescriptionBase {
  static void decodeExtra(const Object&, T&) {}
  static void encodeExtra(const T&, Tags&) {}
  static std::vector<int> extraCodes() { return {}; }
  static void prepare(T&) {}
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
                                           {"AcDbPoint", 39, &T::thickness}, {"AcDbPoint", 210, &T::extrusion},
                                           {"AcDbPoint", 50, &T::xAxisAngle}};
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
  static std::vector<int> extraCodes() { return {70, 10, 11, 12, 13, 20, 21, 22, 23, 30, 31, 32, 33}; }
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
      else if (t.code == 91) p.id = int32_t(asInt(t));
    }
  }
  static std::vector<int> extraCodes() { return {10, 20, 40, 41, 42, 91}; }
  static void prepare(T& v) { v.count = int32_t(v.vertices.size()); }
  static void encodeExtra(const T& v, Tags& out) {
    for (const auto& p : v.vertices) {
      out.push_back(Tag::real(10, p.x));
      out.push_back(Tag::real(20, p.y));
      if (p.startWidth != 0 || p.endWidth != 0) {
        out.push_back(Tag::real(40, p.startWidth));
        out.push_back(Tag::real(41, p.endWidth));
      }
      if (p.bulge != 0) out.push_back(Tag::real(42, p.bulge));
      if (p.id != 0) out.push_back(Tag::integer(91, p.id));
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
namespace detail {
// The code of the last value group written so far (markers skipped): tells a type's one hook
// which of its table positions it is writing at, for types whose conditional groups sit at two
// places of the record.
inline int lastCode(const Tags& out) {
  for (auto it = out.rbegin(); it != out.rend(); ++it)
    if (it->code != 100) return it->code;
  return 0;
}
// The groups of a record before its first 101 (embedded object) group, as a record of the type
// given: the embedded part repeats codes of the main part, so the table reads only the head.
inline bool splitEmbedded(const Object& o, const char* type, Object& head, Tags& tail) {
  auto at = std::find_if(o.body.begin(), o.body.end(), [](const Tag& t) { return t.code == 101; });
  if (at == o.body.end()) return false;
  head.type = type;
  head.body.assign(o.body.begin(), at);
  tail.assign(at + 1, o.body.end());
  return true;
}
}  // namespace detail

template <>
struct Description<MText> : DescriptionBase<MText> {
  using T = MText;
  static constexpr const char* names[] = {"MTEXT"};
  // The text comes in 250-byte pieces: any number of 3-groups, then the last piece in group 1.
  // Background and columns follow the line spacing. A record may end in an embedded object (after
  // a 101 group) that repeats the frame and holds the column layout in codes of its own.
  static void decodeExtra(const Object& o, T& v) {
    Object head;
    Tags tail;
    if (detail::splitEmbedded(o, "MTEXT", head, tail)) {
      decode(head, v);  // the head has no 101: this does not come back here
      decodeEmbedded(tail, v);
      return;
    }
    std::string first, last;
    bool columns = false, rotationSeen = false;
    const bool markers = o.hasSubclasses();
    std::string_view sub;
    v.columnHeights.clear();
    for (const auto& t : o.body) {
      if (t.code == 100) sub = t.s.view();
      if (markers && sub != "AcDbMText") continue;
      switch (t.code) {
        case 3: first += t.s; break;
        case 1: last = t.s; break;
        case 420:  // how DWG records name the fill colour
        case 421: v.bgTrueColor = int32_t(asInt(t)); break;
        case 430:
        case 431: v.bgColorName = t.s; break;
        case 90: v.bgFill = int32_t(asInt(t)); break;
        case 63: v.bgColor = int16_t(asInt(t)); break;
        case 45: v.bgScale = asDouble(t); break;
        case 441: v.bgTransparency = int32_t(asInt(t)); break;
        case 75: v.columnType = int16_t(asInt(t)); columns = true; break;
        case 76: v.columnCount = int32_t(asInt(t)); break;
        case 78: v.columnFlowReversed = asInt(t) != 0; break;
        case 79: v.columnAutoHeight = asInt(t) != 0; break;
        case 48: v.columnWidth = asDouble(t); break;
        case 49: v.columnGutter = asDouble(t); break;
        case 50:
          // Rotation comes before the column data; after it, 50 gives each column's height.
          if (columns) v.columnHeights.push_back(asDouble(t));
          else rotationSeen = true;
          break;
        default: break;
      }
    }
    if (!rotationSeen) v.rotation = 0;
    v.text = first + last;
  }
  // The embedded object: 70 (its version), the direction 10, the insertion 11, the frame's width
  // and height 40/41 and extents 42/43 repeat the main part and are not kept; 71 column type,
  // 72 count, 44 width, 45 gutter, 73 auto height, 74 flow reversed, 46 each column's height.
  static void decodeEmbedded(const Tags& tail, T& v) {
    for (const auto& t : tail) {
      switch (t.code) {
        case 71: v.columnType = int16_t(asInt(t)); break;
        case 72: v.columnCount = int32_t(asInt(t)); break;
        case 44: v.columnWidth = asDouble(t); break;
        case 45: v.columnGutter = asDouble(t); break;
        case 73: v.columnAutoHeight = asInt(t) != 0; break;
        case 74: v.columnFlowReversed = asInt(t) != 0; break;
        case 46: v.columnHeights.push_back(asDouble(t)); break;
        default: break;
      }
    }
  }
  static std::vector<int> extraCodes() {
    return {1, 3, 420, 421, 430, 431, 90, 63, 45, 441, 75, 76, 78, 79, 48, 49, 50,
            101, 70, 10, 20, 30, 11, 21, 31, 40, 41, 42, 43, 71, 72, 44, 73, 74, 46};
  }
  static void encodeExtra(const T& v, Tags& out) {
    if (detail::lastCode(out) == 44) return encodeTail(v, out);
    size_t at = 0;
    while (v.text.size() - at > 250) {
      size_t n = 250;
      while (n > 0 && (static_cast<unsigned char>(v.text[at + n]) & 0xC0) == 0x80) --n;  // whole characters
      out.push_back(Tag::str(3, v.text.substr(at, n)));
      at += n;
    }
    out.push_back(Tag::str(1, v.text.substr(at)));
  }
  // Background and columns, each only when it differs from a record without it.
  static void encodeTail(const T& v, Tags& out) {
    const T d{};
    if (v.bgFill != d.bgFill || v.bgColor != d.bgColor || v.bgTrueColor != d.bgTrueColor ||
        v.bgColorName != d.bgColorName || v.bgScale != d.bgScale || v.bgTransparency != d.bgTransparency) {
      out.push_back(Tag::integer(90, v.bgFill));
      out.push_back(Tag::integer(63, v.bgColor));
      if (v.bgTrueColor >= 0) out.push_back(Tag::integer(421, v.bgTrueColor));
      if (!v.bgColorName.empty()) out.push_back(Tag::str(431, v.bgColorName));
      out.push_back(Tag::real(45, v.bgScale));
      out.push_back(Tag::integer(441, v.bgTransparency));
    }
    if (v.columnType != d.columnType || v.columnCount != d.columnCount || v.columnFlowReversed ||
        v.columnAutoHeight || v.columnWidth != d.columnWidth || v.columnGutter != d.columnGutter ||
        !v.columnHeights.empty()) {
      out.push_back(Tag::integer(75, v.columnType));
      out.push_back(Tag::integer(76, v.columnCount));
      out.push_back(Tag::integer(78, v.columnFlowReversed));
      out.push_back(Tag::integer(79, v.columnAutoHeight));
      out.push_back(Tag::real(48, v.columnWidth));
      out.push_back(Tag::real(49, v.columnGutter));
      for (double h : v.columnHeights) out.push_back(Tag::real(50, h));
    }
  }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {
        {"AcDbEntity", 8, &T::common},     {"AcDbMText", 10, &T::position},        {"AcDbMText", 40, &T::height},
        {"AcDbMText", 41, &T::width},      {"AcDbMText", 46, &T::definedHeight, 1021},
        {"AcDbMText", 71, &T::attachment}, {"AcDbMText", 72, &T::direction},       KEL_EXTRA("AcDbMText"),
        {"AcDbMText", 7, &T::style},       {"AcDbMText", 210, &T::extrusion},      {"AcDbMText", 11, &T::xDirection},
        {"AcDbMText", 50, &T::rotation},   {"AcDbMText", 73, &T::lineSpacingStyle, 1015},
        {"AcDbMText", 44, &T::lineSpacing}, KEL_EXTRA("AcDbMText")};
    return a;
  }
};

template <class T>
bool decode(const Object& o, T& out) {
  using D = Description<T>;
  bool typeOk = false;
  for (const char* n : D::names) typeOk = typeOk || o.type == n;
  if (!typeOk) return false;
  out = T{};
  const auto& attrs = D::attrs();
  const bool markers = o.hasSubclasses();
  std::string_view sub;
  // Bits 0..2: the x/y/z (or the value) of the entry is filled.
  std::vector<uint8_t> filled(attrs.size(), 0);
  for (const auto& t : o.body) {
    if (t.code == 100) {
      sub = t.s.view();
      continue;
    }
    for (size_t k = 0; k < attrs.size(); ++k) {
      const auto& a = attrs[k];
      if (a.code == 0) continue;
      if (markers && sub != a.subclass) continue;
      if (detail::isCommon(a)) {
        if (detail::decodeCommon(t, out.*std::get<EntityCommon T::*>(a.member))) break;
        continue;
      }
      int axis = 0;
      if (detail::isPoint(a)) {
        if (t.code != a.code && t.code != a.code + 10 && t.code != a.code + 20) continue;
        axis = (t.code - a.code) / 10;
      } else if (t.code != a.code) {
        continue;
      }
      if (!detail::isList(a)) {
        if (filled[k] & (1u << axis)) continue;
        filled[k] |= uint8_t(1u << axis);
      }
      detail::get(out, a, t, axis);
      break;
    }
  }
  D::decodeExtra(o, out);
  return true;
}

template <class T>
Object encode(const T& given, int version) {
  using D = Description<T>;
  T v = given;
  D::prepare(v);
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
  return o;
}

// Every body group code the description reads: its table's codes (a point's three), the entity
// part's codes and what its hooks handle.
template <class T>
std::vector<int> viewCodes() {
  using D = Description<T>;
  std::vector<int> codes = D::extraCodes();
  for (const auto& a : D::attrs()) {
    if (a.code == 0) continue;
    if (detail::isCommon(a)) codes.insert(codes.end(), std::begin(detail::kCommonCodes), std::end(detail::kCommonCodes));
    else if (detail::isPoint(a)) codes.insert(codes.end(), {a.code, a.code + 10, a.code + 20});
    else codes.push_back(a.code);
  }
  return codes;
}

// The view of one DXF record type, type-erased for lists of all modelled types.
template <class T>
bool viewRoundTrip(const Object& o, std::string& why) {
  T a, b;
  if (!decode(o, a)) {
    why = "not of the view's type";
    return false;
  }
  const Object e = encode(a, 1027);
  decode(e, b);
  if (a == b) return true;
  // Name the first group where writing what was read back differs.
  const Object f = encode(b, 1027);
  for (size_t k = 0; k < std::max(e.body.size(), f.body.size()); ++k) {
    if (k < e.body.size() && k < f.body.size()) {
      const Tag &x = e.body[k], &y = f.body[k];
      if (x.code == y.code && (x.isText() ? y.isText() && x.s == y.s : asDouble(x) == asDouble(y))) continue;
    }
    why = "group " + std::to_string(k < e.body.size() ? e.body[k].code : f.body[k].code) + " at " + std::to_string(k) +
          " changes when written and read back";
    return false;
  }
  why = "differs when written and read back";
  return false;
}

template <class T>
void addView(std::vector<ViewInfo>& out) {
  for (const char* n : Description<T>::names) out.push_back({n, &viewRoundTrip<T>, &viewCodes<T>});
}

}  // namespace kel::engine
