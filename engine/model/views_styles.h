// Typed views (see entities.h) of the styles group of modelled types: multiline, multileader and
// table styles, visual styles and render materials.
#pragma once
// Included at the end of entities.h.
#include <array>
#include <variant>

#include "engine/model/entities_impl.h"

namespace kel::engine {

// A colour as styles give it: the index (256 by layer, 0 by block), then optionally a true colour
// (0x00RRGGBB, -1 none) and a colour-book name in the groups that follow the index.
struct StyleColor {
  int16_t index = 256;
  int32_t trueColor = -1;
  std::string name;
  bool operator==(const StyleColor&) const = default;
};

namespace style_views {

// Calls f(tag) for each body group under the marker `subclass` (every group when the record has
// no markers).
template <class F>
void forGroups(const Object& o, std::string_view subclass, F&& f) {
  bool inside = !o.hasSubclasses();
  for (const auto& t : o.body) {
    if (t.code == 100) inside = t.s.view() == subclass;
    else if (inside) f(t);
  }
}

inline void putColor(Tags& out, int code, int trueCode, const StyleColor& c) {
  out.push_back(Tag::integer(code, c.index));
  if (c.trueColor >= 0) out.push_back(Tag::integer(trueCode, c.trueColor));
  if (!c.name.empty()) out.push_back(Tag::str(430, c.name));
}

// The true-colour or name group that follows a colour index; false for any other group.
inline bool takeColorTail(const Tag& t, int trueCode, StyleColor* c) {
  if (t.code != trueCode && t.code != 430) return false;
  if (!c) return true;  // nothing to attach it to: dropped
  if (t.code == 430) c->name = t.s;
  else c->trueColor = int32_t(asInt(t));
  return true;
}

}  // namespace style_views

// ---- MLINESTYLE -----------------------------------------------------------------------------------

// One line of a multiline: its offset from the centre line, colour and linetype.
struct MlineStyleElement {
  double offset = 0;
  StyleColor color;
  std::string linetype = "BYLAYER";
  bool operator==(const MlineStyleElement&) const = default;
};

struct MlineStyle {
  std::string name;
  // 1 fill on, 2 miters shown; start caps 16 line, 32 inner arcs, 64 round; end caps 256, 512, 1024.
  int16_t flags = 0;
  std::string description;
  StyleColor fill;
  double startAngle = 90, endAngle = 90;  // degrees
  int16_t count = 0;                      // kept equal to elements.size() by encode
  std::vector<MlineStyleElement> elements;
  bool operator==(const MlineStyle&) const = default;
};

template <>
struct Description<MlineStyle> : DescriptionBase<MlineStyle> {
  using T = MlineStyle;
  static constexpr const char* names[] = {"MLINESTYLE"};
  // The fill colour comes before the angles and the count, each element's offset, colour and
  // linetype after them; an element starts at its offset.
  static void decodeExtra(const Object& o, T& v) {
    StyleColor* color = nullptr;
    bool counted = false;
    style_views::forGroups(o, "AcDbMlineStyle", [&](const Tag& t) {
      if (style_views::takeColorTail(t, 420, color)) return;
      color = nullptr;
      switch (t.code) {
        case 62:
          color = counted && !v.elements.empty() ? &v.elements.back().color : &v.fill;
          color->index = int16_t(asInt(t));
          break;
        case 51: v.startAngle = asDouble(t); break;
        case 52: v.endAngle = asDouble(t); break;
        case 71: v.count = int16_t(asInt(t)); counted = true; break;
        case 49:
          counted = true;
          v.elements.push_back({asDouble(t), {}, "BYLAYER"});
          break;
        case 6:
          if (!v.elements.empty()) v.elements.back().linetype = t.s;
          break;
        default: break;
      }
    });
  }
  static std::vector<int> extraCodes() { return {62, 420, 430, 51, 52, 71, 49, 6}; }
  static void prepare(T& v) { v.count = int16_t(v.elements.size()); }
  static void encodeExtra(const T& v, Tags& out) {
    style_views::putColor(out, 62, 420, v.fill);
    out.push_back(Tag::real(51, v.startAngle));
    out.push_back(Tag::real(52, v.endAngle));
    out.push_back(Tag::integer(71, v.count));
    for (const auto& e : v.elements) {
      out.push_back(Tag::real(49, e.offset));
      style_views::putColor(out, 62, 420, e.color);
      out.push_back(Tag::str(6, e.linetype));
    }
  }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbMlineStyle", 2, &T::name},
                                           {"AcDbMlineStyle", 70, &T::flags},
                                           {"AcDbMlineStyle", 3, &T::description},
                                           KEL_EXTRA("AcDbMlineStyle")};
    return a;
  }
};

// ---- MLEADERSTYLE ---------------------------------------------------------------------------------

// Colours here are whole colour words: 0xC1000000 by block, 0xC2RRGGBB a true colour, 0xC3000000 |
// index an indexed colour.
struct MLeaderStyle {
  static constexpr int32_t kByBlock = int32_t(0xC1000000u);
  int16_t version = 2;
  int16_t contentType = 2;  // 0 none, 1 block, 2 mtext
  int16_t drawMLeaderOrder = 1, drawLeaderOrder = 0;
  int32_t maxLeaderPoints = 2;
  double firstSegmentAngle = 0, secondSegmentAngle = 0;  // angle constraints, radians
  int16_t leaderLineType = 1;                             // 0 invisible, 1 straight, 2 spline
  int32_t leaderColor = kByBlock;
  Handle leaderLinetype = 0;
  int32_t leaderLineweight = -2;
  bool landing = true;
  double landingGap = 2;
  bool dogleg = true;
  double doglegLength = 8;
  std::string description;
  Handle arrowhead = 0;
  double arrowheadSize = 4;
  std::string defaultText;
  Handle textStyle = 0;
  int16_t textLeftAttachment = 1, textRightAttachment = 1;
  int16_t textAngleType = 1, textAlignment = 0;
  int32_t textColor = kByBlock;
  double textHeight = 4;
  bool textFrame = false, textAlignAlwaysLeft = false;
  double alignSpace = 4;
  Handle block = 0;
  int32_t blockColor = kByBlock;
  Vec3 blockScale{1, 1, 1};  // groups 47, 49, 140
  bool blockScaleOn = true;
  double blockRotation = 0;
  bool blockRotationOn = true;
  int16_t blockConnection = 0;  // 0 extents, 1 base point
  double scale = 1;
  bool overwriteProperties = false;
  bool annotative = true;
  double breakGapSize = 3.75;
  int16_t textAttachmentDirection = 0;  // 0 horizontal, 1 vertical
  int16_t bottomAttachment = 9, topAttachment = 9;
  bool textExtendedToLeader = false;
  bool operator==(const MLeaderStyle&) const = default;
};

template <>
struct Description<MLeaderStyle> : DescriptionBase<MLeaderStyle> {
  using T = MLeaderStyle;
  static constexpr const char* names[] = {"MLEADERSTYLE"};
  // The block scale's three values have codes of their own (47, 49, 140), not a point's.
  static void decodeExtra(const Object& o, T& v) {
    style_views::forGroups(o, "AcDbMLeaderStyle", [&](const Tag& t) {
      if (t.code == 47) v.blockScale.x = asDouble(t);
      else if (t.code == 49) v.blockScale.y = asDouble(t);
      else if (t.code == 140) v.blockScale.z = asDouble(t);
    });
  }
  static std::vector<int> extraCodes() { return {47, 49, 140}; }
  static void encodeExtra(const T& v, Tags& out) {
    out.push_back(Tag::real(47, v.blockScale.x));
    out.push_back(Tag::real(49, v.blockScale.y));
    out.push_back(Tag::real(140, v.blockScale.z));
  }
  static const std::vector<Attr<T>>& attrs() {
    static const char* const S = "AcDbMLeaderStyle";
    static const std::vector<Attr<T>> a = {
        {S, 179, &T::version, 1024},        {S, 170, &T::contentType},
        {S, 171, &T::drawMLeaderOrder},     {S, 172, &T::drawLeaderOrder},
        {S, 90, &T::maxLeaderPoints},       {S, 40, &T::firstSegmentAngle},
        {S, 41, &T::secondSegmentAngle},    {S, 173, &T::leaderLineType},
        {S, 91, &T::leaderColor},           {S, 340, &T::leaderLinetype},
        {S, 92, &T::leaderLineweight},      {S, 290, &T::landing},
        {S, 42, &T::landingGap},            {S, 291, &T::dogleg},
        {S, 43, &T::doglegLength},          {S, 3, &T::description},
        {S, 341, &T::arrowhead},            {S, 44, &T::arrowheadSize},
        {S, 300, &T::defaultText},          {S, 342, &T::textStyle},
        {S, 174, &T::textLeftAttachment},   {S, 178, &T::textRightAttachment},
        {S, 175, &T::textAngleType},        {S, 176, &T::textAlignment},
        {S, 93, &T::textColor},             {S, 45, &T::textHeight},
        {S, 292, &T::textFrame},            {S, 297, &T::textAlignAlwaysLeft},
        {S, 46, &T::alignSpace},            {S, 343, &T::block},
        {S, 94, &T::blockColor},            KEL_EXTRA(S),
        {S, 293, &T::blockScaleOn},         {S, 141, &T::blockRotation},
        {S, 294, &T::blockRotationOn},      {S, 177, &T::blockConnection},
        {S, 142, &T::scale},                {S, 295, &T::overwriteProperties},
        {S, 296, &T::annotative},           {S, 143, &T::breakGapSize},
        {S, 271, &T::textAttachmentDirection, 1024}, {S, 272, &T::bottomAttachment, 1024},
        {S, 273, &T::topAttachment, 1024},  {S, 298, &T::textExtendedToLeader, 1027}};
    return a;
  }
};

// ---- TABLESTYLE -----------------------------------------------------------------------------------

// One border of a row style: lineweight, whether it shows, colour.
struct TableStyleBorder {
  int16_t lineweight = -2;  // by block
  bool visible = true;
  StyleColor color{0, -1, {}};
  bool operator==(const TableStyleBorder&) const = default;
};

// The cell style of one kind of row (data, title, header). Files from R2010 on keep cell styles
// of their own; DXF and our DWG reader give the three row styles in this form.
struct TableStyleRow {
  std::string textStyle = "Standard";
  double textHeight = 0.18;
  int16_t alignment = 5;  // 1..9: top/middle/bottom by left/centre/right
  StyleColor textColor{0, -1, {}};
  StyleColor fillColor{7, -1, {}};
  bool fillOn = false;
  int32_t dataType = 512, unitType = 0;  // the cell value's format, R2007 on
  std::string format;
  // Top, inside horizontal, bottom, left, inside vertical, right.
  std::array<TableStyleBorder, 6> borders;
  bool operator==(const TableStyleRow&) const = default;
};

// The three row styles of a new table style: data (top centre), title and header (middle centre).
inline std::vector<TableStyleRow> standardTableRows() {
  std::vector<TableStyleRow> rows(3);
  rows[0].alignment = 2;
  rows[1].textHeight = 0.25;
  return rows;
}

struct TableStyle {
  int16_t version = 0;
  std::string description;
  int16_t flowDirection = 0;  // 0 down, 1 up
  int16_t flags = 0;
  double horizontalMargin = 0.06, verticalMargin = 0.06;
  bool suppressTitle = false, suppressHeader = false;
  std::vector<TableStyleRow> rows = standardTableRows();  // data, title, header
  bool operator==(const TableStyle&) const = default;
};

template <>
struct Description<TableStyle> : DescriptionBase<TableStyle> {
  using T = TableStyle;
  static constexpr const char* names[] = {"TABLESTYLE"};
  // The style's version (280) opens the subclass from R2007 on, where the suppress-title flag has
  // the same code further down: a 280 is the version only as the first group, and not when the
  // suppress-header flag follows it directly. Each row starts at its text style.
  static void decodeExtra(const Object& o, T& v) {
    v.version = 0;
    v.suppressTitle = false;
    v.rows.clear();
    std::vector<const Tag*> groups;
    style_views::forGroups(o, "AcDbTableStyle", [&](const Tag& t) { groups.push_back(&t); });
    StyleColor* color = nullptr;
    for (size_t k = 0; k < groups.size(); ++k) {
      const Tag& t = *groups[k];
      if (t.code == 280) {
        const bool first = k == 0 && !(k + 1 < groups.size() && groups[k + 1]->code == 281);
        if (first) v.version = int16_t(asInt(t));
        else v.suppressTitle = asInt(t) != 0;
        continue;
      }
      if (style_views::takeColorTail(t, 420, color)) continue;
      color = nullptr;
      if (t.code == 7) {
        v.rows.emplace_back();
        v.rows.back().textStyle = t.s;
        continue;
      }
      if (v.rows.empty()) continue;
      TableStyleRow& r = v.rows.back();
      const int c = t.code;
      if (c == 140) r.textHeight = asDouble(t);
      else if (c == 170) r.alignment = int16_t(asInt(t));
      else if (c == 62) color = &r.textColor;
      else if (c == 63) color = &r.fillColor;
      else if (c == 283) r.fillOn = asInt(t) != 0;
      else if (c == 90) r.dataType = int32_t(asInt(t));
      else if (c == 91) r.unitType = int32_t(asInt(t));
      else if (c == 1) r.format = t.s;
      else if (c >= 274 && c <= 279) r.borders[size_t(c - 274)].lineweight = int16_t(asInt(t));
      else if (c >= 284 && c <= 289) r.borders[size_t(c - 284)].visible = asInt(t) != 0;
      else if (c >= 64 && c <= 69) color = &r.borders[size_t(c - 64)].color;
      if (color) color->index = int16_t(asInt(t));
    }
  }
  static std::vector<int> extraCodes() {
    std::vector<int> c = {7, 140, 170, 62, 63, 283, 90, 91, 1, 420};
    for (int k = 0; k < 6; ++k) c.insert(c.end(), {274 + k, 284 + k, 64 + k});
    return c;
  }
  // The rows' value formats came in with R2007, as did the version group: they are written when
  // the version group was (this hook is not told the version it writes for).
  static void encodeExtra(const T& v, Tags& out) {
    size_t marker = out.size();
    while (marker > 0 && out[marker - 1].code != 100) --marker;
    const bool formats = marker < out.size() && out[marker].code == 280 &&
                         std::count_if(out.begin() + std::ptrdiff_t(marker), out.end(),
                                       [](const Tag& t) { return t.code == 280; }) == 2;
    for (const auto& r : v.rows) {
      out.push_back(Tag::str(7, r.textStyle));
      out.push_back(Tag::real(140, r.textHeight));
      out.push_back(Tag::integer(170, r.alignment));
      style_views::putColor(out, 62, 420, r.textColor);
      style_views::putColor(out, 63, 420, r.fillColor);
      out.push_back(Tag::integer(283, r.fillOn));
      if (formats) {
        out.push_back(Tag::integer(90, r.dataType));
        out.push_back(Tag::integer(91, r.unitType));
        out.push_back(Tag::str(1, r.format));
      }
      for (int k = 0; k < 6; ++k) {
        const TableStyleBorder& b = r.borders[size_t(k)];
        out.push_back(Tag::integer(274 + k, b.lineweight));
        out.push_back(Tag::integer(284 + k, b.visible));
        style_views::putColor(out, 64 + k, 420, b.color);
      }
    }
  }
  static const std::vector<Attr<T>>& attrs() {
    static const char* const S = "AcDbTableStyle";
    static const std::vector<Attr<T>> a = {
        {S, 280, &T::version, 1021},      {S, 3, &T::description},      {S, 70, &T::flowDirection},
        {S, 71, &T::flags},               {S, 40, &T::horizontalMargin}, {S, 41, &T::verticalMargin},
        {S, 280, &T::suppressTitle},      {S, 281, &T::suppressHeader}, KEL_EXTRA(S)};
    return a;
  }
};

// ---- VISUALSTYLE ----------------------------------------------------------------------------------

// A setting of a visual style beyond the ones named in VisualStyle (files from R2013 on have 58,
// of which the first 28 are the named ones): its group tells the kind of value (90 number, 290
// switch, 40 real, 62 colour, 1 text).
struct VisualStyleSetting {
  int16_t code = 90;
  int32_t number = 0;  // 90, 290
  double real = 0;     // 40
  StyleColor color;    // 62
  std::string text;    // 1
  bool operator==(const VisualStyleSetting&) const = default;
};

// The settings after the named ones that a style made by code gets: the values the standard
// styles have.
inline std::vector<VisualStyleSetting> standardLaterSettings() {
  std::vector<VisualStyleSetting> out;
  auto add = [&](int16_t code, int32_t number, double real = 0) {
    VisualStyleSetting& s = out.emplace_back();
    s.code = code;
    s.real = real;
    if (code == 62) s.color.index = int16_t(number);
    else s.number = number;
  };
  for (int on : {0, 1, 1, 0, 0, 0, 0, 0, 0}) add(290, on);
  add(90, 50);
  add(40, 0, 0);
  add(40, 0, 1);
  add(90, 0);
  add(62, 8);
  add(90, 50);
  add(90, 3);
  add(62, 5);
  add(290, 0);
  for (int k = 0; k < 3; ++k) add(90, 50);
  add(290, 0);
  add(90, 50);
  add(62, 256);
  add(40, 0, 1);
  add(90, 2);
  out.emplace_back().code = 1;
  out.back().text = "strokes_ogs.tif";
  add(290, 0);
  add(40, 0, 1);
  add(40, 0, 1);
  return out;
}

// The settings are kept in the layout the record has, as each release's layout holds values the
// others lack: `layout` 0 is the fixed list of files before R2010, 1 the R2010 list (each setting
// followed by a flag saying whether the style sets it), 2 the numbered list from R2013 on. A style
// made by code is written in the current layout, 2.
struct VisualStyle {
  std::string description;
  int16_t type = 0;
  int16_t layout = 2;
  int16_t lightingModelVersion = 3;  // 177, layouts 1 and 2
  bool internalUse = false;          // 291
  // The named settings, in their order in every layout.
  int32_t faceLightingModel = 0, faceLightingQuality = 0, faceColorMode = 0, faceModifier = 0;
  double faceOpacity = 0, faceSpecular = 0;
  StyleColor faceMonoColor{7, -1, {}};
  int32_t edgeModel = 0, edgeStyle = 0;
  StyleColor edgeIntersectionColor{7, -1, {}}, edgeObscuredColor{7, -1, {}};
  int32_t edgeObscuredLinetype = 0, edgeIntersectionLinetype = 0;
  double edgeCreaseAngle = 1;
  int32_t edgeModifier = 0;
  StyleColor edgeColor{7, -1, {}};
  double edgeOpacity = 1;
  int32_t edgeWidth = 1, edgeOverhang = 0, edgeJitter = 0;
  StyleColor edgeSilhouetteColor{7, -1, {}};
  int32_t edgeSilhouetteWidth = 3, edgeHaloGap = 0, edgeIsolines = 0;
  bool edgeHidePrecision = false;
  int32_t displaySettings = 0;
  double brightness = 0;
  int32_t shadowType = 0;
  // Layout 0 only: a colour index ahead of the mono colour, the edge style apply flag and a real
  // after the internal flag.
  int16_t legacyColor = 5;
  int16_t edgeStyleApply = 0;
  double legacyReal = 0;
  // Layouts 1 and 2: whether the style sets each setting, in setting order (0 past the end).
  std::vector<int16_t> overrides;
  // Layout 2: the settings after the named ones.
  std::vector<VisualStyleSetting> more = standardLaterSettings();
  bool operator==(const VisualStyle&) const = default;
};

namespace style_views {

using VsMember = std::variant<int32_t VisualStyle::*, double VisualStyle::*, bool VisualStyle::*,
                              StyleColor VisualStyle::*>;
struct VsField {
  int code;  // its group in layouts 0 and 1
  VsMember member;
};
inline const std::array<VsField, 28>& visualStyleFields() {
  using V = VisualStyle;
  static const std::array<VsField, 28> f = {{
      {71, &V::faceLightingModel},     {72, &V::faceLightingQuality},   {73, &V::faceColorMode},
      {90, &V::faceModifier},          {40, &V::faceOpacity},           {41, &V::faceSpecular},
      {63, &V::faceMonoColor},         {74, &V::edgeModel},             {91, &V::edgeStyle},
      {64, &V::edgeIntersectionColor}, {65, &V::edgeObscuredColor},     {75, &V::edgeObscuredLinetype},
      {175, &V::edgeIntersectionLinetype}, {42, &V::edgeCreaseAngle},   {92, &V::edgeModifier},
      {66, &V::edgeColor},             {43, &V::edgeOpacity},           {76, &V::edgeWidth},
      {77, &V::edgeOverhang},          {78, &V::edgeJitter},            {67, &V::edgeSilhouetteColor},
      {79, &V::edgeSilhouetteWidth},   {170, &V::edgeHaloGap},          {171, &V::edgeIsolines},
      {290, &V::edgeHidePrecision},    {93, &V::displaySettings},       {44, &V::brightness},
      {173, &V::shadowType},
  }};
  return f;
}

// Stores a value group into the named setting; returns its colour when it is one (for the groups
// that follow).
inline StyleColor* setField(VisualStyle& v, const VsField& f, const Tag& t) {
  return std::visit(
      [&](auto mp) -> StyleColor* {
        auto& m = v.*mp;
        using M = std::remove_cvref_t<decltype(m)>;
        if constexpr (std::is_same_v<M, StyleColor>) {
          m.index = int16_t(asInt(t));
          return &m;
        } else if constexpr (std::is_same_v<M, double>) {
          m = asDouble(t);
        } else if constexpr (std::is_same_v<M, bool>) {
          m = asInt(t) != 0;
        } else {
          m = int32_t(asInt(t));
        }
        return nullptr;
      },
      f.member);
}

// Writes a named setting under `code` (0: its layout 0/1 group; else the value-kind group of
// layout 2), a colour with its true colour under `trueCode`.
inline void putField(const VisualStyle& v, const VsField& f, bool numbered, Tags& out) {
  std::visit(
      [&](auto mp) {
        const auto& m = v.*mp;
        using M = std::remove_cvref_t<decltype(m)>;
        if constexpr (std::is_same_v<M, StyleColor>) {
          putColor(out, numbered ? 62 : f.code, numbered ? 420 : f.code + 358, m);
        } else if constexpr (std::is_same_v<M, double>) {
          out.push_back(Tag::real(numbered ? 40 : f.code, m));
        } else if constexpr (std::is_same_v<M, bool>) {
          out.push_back(Tag::integer(numbered ? 290 : f.code, m));
        } else {
          out.push_back(Tag::integer(numbered ? 90 : f.code, m));
        }
      },
      f.member);
}

}  // namespace style_views

template <>
struct Description<VisualStyle> : DescriptionBase<VisualStyle> {
  using T = VisualStyle;
  static constexpr const char* names[] = {"VISUALSTYLE"};
  static void decodeExtra(const Object& o, T& v) {
    namespace sv = style_views;
    const auto& fields = sv::visualStyleFields();
    std::vector<const Tag*> g;
    sv::forGroups(o, "AcDbVisualStyle", [&](const Tag& t) { g.push_back(&t); });
    // The table took the description and the first 70 (the type). A lighting model version
    // marks the later layouts; a second 70 (the number of settings) the numbered one.
    size_t start = 0, seventies = 0;
    v.layout = 0;
    v.more.clear();
    for (size_t k = 0; k < g.size(); ++k) {
      if (g[k]->code == 177 && v.layout == 0) v.layout = 1;
      if (g[k]->code == 70 && ++seventies == 2) {
        v.layout = 2;
        start = k + 1;
      }
    }
    StyleColor* color = nullptr;
    if (v.layout == 2) {
      size_t index = 0;
      for (size_t k = 0; k < g.size(); ++k) {
        const Tag& t = *g[k];
        if (t.code == 177) v.lightingModelVersion = int16_t(asInt(t));
        else if (t.code == 291 && k < start) v.internalUse = asInt(t) != 0;
        if (k < start) continue;
        if (sv::takeColorTail(t, 420, color)) continue;
        color = nullptr;
        if (t.code == 176) {
          v.overrides.push_back(int16_t(asInt(t)));
          continue;
        }
        if (t.code != 90 && t.code != 40 && t.code != 62 && t.code != 290 && t.code != 1) continue;
        if (index < fields.size()) {
          color = sv::setField(v, fields[index++], t);
          continue;
        }
        ++index;
        VisualStyleSetting& s = v.more.emplace_back();
        s.code = t.code;
        if (t.code == 40) s.real = asDouble(t);
        else if (t.code == 62) (color = &s.color)->index = int16_t(asInt(t));
        else if (t.code == 1) s.text = t.s;
        else s.number = int32_t(asInt(t));
      }
      trimOverrides(v);
      return;
    }
    int tailCode = 0;  // the true-colour group of the colour just read: its group + 358
    for (const Tag* p : g) {
      const Tag& t = *p;
      if (sv::takeColorTail(t, tailCode, color)) continue;
      color = nullptr;
      tailCode = 0;
      switch (t.code) {
        case 2: case 70: continue;  // the description and the type: the table's
        case 177: v.lightingModelVersion = int16_t(asInt(t)); continue;
        case 291: v.internalUse = asInt(t) != 0; continue;
        case 62: v.legacyColor = int16_t(asInt(t)); continue;
        case 174: v.edgeStyleApply = int16_t(asInt(t)); continue;
        case 45: v.legacyReal = asDouble(t); continue;
        case 176: v.overrides.push_back(int16_t(asInt(t))); continue;
        default: break;
      }
      for (const auto& f : fields)
        if (f.code == t.code) {
          color = sv::setField(v, f, t);
          tailCode = t.code + 358;
          break;
        }
    }
    trimOverrides(v);
  }
  static void trimOverrides(T& v) {
    while (!v.overrides.empty() && v.overrides.back() == 0) v.overrides.pop_back();
  }
  static std::vector<int> extraCodes() {
    std::vector<int> c = {177, 291, 62, 174, 45, 176, 420, 421, 422, 423, 424, 425, 430, 1};
    for (const auto& f : style_views::visualStyleFields()) c.push_back(f.code);
    return c;
  }
  static void encodeExtra(const T& v, Tags& out) {
    namespace sv = style_views;
    const auto& fields = sv::visualStyleFields();
    auto flag = [&](size_t k) {
      out.push_back(Tag::integer(176, k < v.overrides.size() ? v.overrides[k] : 0));
    };
    if (v.layout == 0) {
      for (size_t k = 0; k < fields.size(); ++k) {
        if (fields[k].code == 63) out.push_back(Tag::integer(62, v.legacyColor));
        sv::putField(v, fields[k], false, out);
        if (fields[k].code == 290) out.push_back(Tag::integer(174, v.edgeStyleApply));
      }
      out.push_back(Tag::integer(291, v.internalUse));
      out.push_back(Tag::real(45, v.legacyReal));
      return;
    }
    out.push_back(Tag::integer(177, v.lightingModelVersion));
    out.push_back(Tag::integer(291, v.internalUse));
    const bool numbered = v.layout == 2;
    if (numbered) out.push_back(Tag::integer(70, int64_t(fields.size() + v.more.size())));
    for (size_t k = 0; k < fields.size(); ++k) {
      sv::putField(v, fields[k], numbered, out);
      flag(k);
    }
    if (!numbered) return;
    for (size_t k = 0; k < v.more.size(); ++k) {
      const VisualStyleSetting& s = v.more[k];
      if (s.code == 40) out.push_back(Tag::real(40, s.real));
      else if (s.code == 62) sv::putColor(out, 62, 420, s.color);
      else if (s.code == 1) out.push_back(Tag::str(1, s.text));
      else out.push_back(Tag::integer(s.code, s.number));
      flag(fields.size() + k);
    }
  }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {
        {"AcDbVisualStyle", 2, &T::description}, {"AcDbVisualStyle", 70, &T::type}, KEL_EXTRA("AcDbVisualStyle")};
    return a;
  }
};


// ---- MATERIAL -------------------------------------------------------------------------------------

// A colour of a material: whether it replaces the object's colour, a factor, and the colour word.
struct MaterialColor {
  int16_t override = 0;  // 0 the object's colour, 1 this one
  double factor = 1;
  int32_t color = 0;
  bool operator==(const MaterialColor&) const = default;
};

// A map of a material: blend factor, source (0 the scene, 1 a file, 2 procedural), file name,
// projection (1 planar, 2 box, 3 cylinder, 4 sphere), tiling (1 tile, 2 crop, 3 clamp),
// automatic transform flags and the mapper's 4x4 matrix by rows (empty: identity).
struct MaterialMap {
  double blend = 1;
  int16_t source = 1;
  std::string file;
  // Source 2: a procedural texture, 0 wood, 1 marble, with its two colours (wood: light and dark;
  // marble: stone and vein), given after the source.
  int16_t texture = 0;
  MaterialColor textureColor1, textureColor2;
  int16_t projection = 1, tiling = 1, autoTransform = 1;
  std::vector<double> matrix;
  bool operator==(const MaterialMap&) const = default;
};

struct Material {
  std::string name, description;
  MaterialColor ambient, diffuse;
  MaterialMap diffuseMap;
  double gloss = 0.5;
  MaterialColor specular;
  MaterialMap specularMap, reflectionMap;
  double opacity = 1;
  MaterialMap opacityMap, bumpMap;
  double refractionIndex = 1;
  MaterialMap refractionMap;
  // R2007 on.
  double translucence = 0, selfIllumination = 0, reflectivity = 0;
  int32_t illuminationModel = 0, channels = 0, mode = 0;
  bool operator==(const Material&) const = default;
};

namespace style_views {

// The groups of one map: blend, source, file, projection, tiling, automatic transform, matrix.
struct MaterialMapCodes {
  MaterialMap Material::*map;
  int blend, source, file, projection, tiling, autoTransform, matrix;
};
inline constexpr MaterialMapCodes kMaterialMaps[] = {
    {&Material::diffuseMap, 42, 72, 3, 73, 74, 75, 43},        {&Material::specularMap, 46, 77, 4, 78, 79, 170, 47},
    {&Material::reflectionMap, 48, 171, 6, 172, 173, 174, 49}, {&Material::opacityMap, 141, 175, 7, 176, 177, 178, 142},
    {&Material::bumpMap, 143, 179, 8, 270, 271, 272, 144},     {&Material::refractionMap, 146, 273, 9, 274, 275, 276, 147}};

inline void putMaterialColor(const MaterialColor& c, int flagCode, int factorCode, int colorCode, Tags& out) {
  out.push_back(Tag::integer(flagCode, c.override));
  out.push_back(Tag::real(factorCode, c.factor));
  // The colour itself means something only when it replaces the object's.
  if (c.override == 1) out.push_back(Tag::integer(colorCode, c.color));
}

// The groups of a procedural texture's two colours (flag, factor, colour), wood then marble.
inline constexpr int kTextureColorCodes[2][2][3] = {{{278, 460, 95}, {279, 461, 96}},
                                                    {{280, 465, 97}, {281, 466, 98}}};

inline void putMap(const MaterialMap& m, const MaterialMapCodes& c, Tags& out) {
  out.push_back(Tag::real(c.blend, m.blend));
  out.push_back(Tag::integer(c.source, m.source));
  out.push_back(Tag::str(c.file, m.file));
  if (m.source == 2) {
    out.push_back(Tag::integer(277, m.texture));
    const auto& k = kTextureColorCodes[m.texture == 1 ? 1 : 0];
    putMaterialColor(m.textureColor1, k[0][0], k[0][1], k[0][2], out);
    putMaterialColor(m.textureColor2, k[1][0], k[1][1], k[1][2], out);
  }
  out.push_back(Tag::integer(c.projection, m.projection));
  out.push_back(Tag::integer(c.tiling, m.tiling));
  out.push_back(Tag::integer(c.autoTransform, m.autoTransform));
  for (double d : m.matrix) out.push_back(Tag::real(c.matrix, d));
}

// Stores a group of any map; false when the code is no map's. The procedural texture groups are
// the same for every map: they go to `current`, the map whose source was read last.
inline bool takeMapGroup(Material& v, const Tag& t, MaterialMap*& current) {
  if (t.code == 277 && current) {
    current->texture = int16_t(asInt(t));
    return true;
  }
  for (int which = 0; which < 2; ++which)
    for (int n = 0; n < 2; ++n) {
      const int* k = kTextureColorCodes[which][n];
      if (t.code != k[0] && t.code != k[1] && t.code != k[2]) continue;
      if (!current) return true;
      MaterialColor& col = n == 0 ? current->textureColor1 : current->textureColor2;
      if (t.code == k[0]) col.override = int16_t(asInt(t));
      else if (t.code == k[1]) col.factor = asDouble(t);
      else col.color = int32_t(asInt(t));
      return true;
    }
  for (const auto& c : kMaterialMaps) {
    MaterialMap& m = v.*c.map;
    const int k = t.code;
    if (k == c.blend) m.blend = asDouble(t);
    else if (k == c.source) (current = &m)->source = int16_t(asInt(t));
    else if (k == c.file) m.file = t.s;
    else if (k == c.projection) m.projection = int16_t(asInt(t));
    else if (k == c.tiling) m.tiling = int16_t(asInt(t));
    else if (k == c.autoTransform) m.autoTransform = int16_t(asInt(t));
    else if (k == c.matrix) m.matrix.push_back(asDouble(t));
    else continue;
    return true;
  }
  return false;
}

}  // namespace style_views

template <>
struct Description<Material> : DescriptionBase<Material> {
  using T = Material;
  static constexpr const char* names[] = {"MATERIAL"};
  // The three colours (flag, factor, colour) and the six maps, with gloss, opacity and the
  // refraction index between them.
  static void decodeExtra(const Object& o, T& v) {
    MaterialMap* current = nullptr;
    style_views::forGroups(o, "AcDbMaterial", [&](const Tag& t) {
      switch (t.code) {
        case 70: v.ambient.override = int16_t(asInt(t)); return;
        case 40: v.ambient.factor = asDouble(t); return;
        case 90: v.ambient.color = int32_t(asInt(t)); return;
        case 71: v.diffuse.override = int16_t(asInt(t)); return;
        case 41: v.diffuse.factor = asDouble(t); return;
        case 91: v.diffuse.color = int32_t(asInt(t)); return;
        case 76: v.specular.override = int16_t(asInt(t)); return;
        case 45: v.specular.factor = asDouble(t); return;
        case 92: v.specular.color = int32_t(asInt(t)); return;
        case 44: v.gloss = asDouble(t); return;
        case 140: v.opacity = asDouble(t); return;
        case 145: v.refractionIndex = asDouble(t); return;
        default: style_views::takeMapGroup(v, t, current); return;
      }
    });
  }
  static std::vector<int> extraCodes() {
    std::vector<int> c = {70, 40, 90, 71, 41, 91, 76, 45, 92, 44, 140, 145};
    for (const auto& m : style_views::kMaterialMaps)
      c.insert(c.end(), {m.blend, m.source, m.file, m.projection, m.tiling, m.autoTransform, m.matrix});
    c.push_back(277);
    for (const auto& texture : style_views::kTextureColorCodes)
      for (const auto& color : texture) c.insert(c.end(), std::begin(color), std::end(color));
    return c;
  }
  static void encodeExtra(const T& v, Tags& out) {
    namespace sv = style_views;
    const auto& maps = sv::kMaterialMaps;
    sv::putMaterialColor(v.ambient, 70, 40, 90, out);
    sv::putMaterialColor(v.diffuse, 71, 41, 91, out);
    sv::putMap(v.diffuseMap, maps[0], out);
    out.push_back(Tag::real(44, v.gloss));
    sv::putMaterialColor(v.specular, 76, 45, 92, out);
    sv::putMap(v.specularMap, maps[1], out);
    sv::putMap(v.reflectionMap, maps[2], out);
    out.push_back(Tag::real(140, v.opacity));
    sv::putMap(v.opacityMap, maps[3], out);
    sv::putMap(v.bumpMap, maps[4], out);
    out.push_back(Tag::real(145, v.refractionIndex));
    sv::putMap(v.refractionMap, maps[5], out);
  }
  static const std::vector<Attr<T>>& attrs() {
    static const char* const S = "AcDbMaterial";
    static const std::vector<Attr<T>> a = {
        {S, 1, &T::name},
        {S, 2, &T::description},
        KEL_EXTRA(S),
        {S, 148, &T::translucence, 1021},
        {S, 149, &T::selfIllumination, 1021},
        {S, 468, &T::reflectivity, 1021},
        {S, 93, &T::illuminationModel, 1021},
        {S, 94, &T::channels, 1021},
        {S, 282, &T::mode, 1021}};
    return a;
  }
};

inline void addStyleViews(std::vector<ViewInfo>& out) {
  addView<MlineStyle>(out);
  addView<MLeaderStyle>(out);
  addView<TableStyle>(out);
  addView<VisualStyle>(out);
  addView<Material>(out);
}

}  // namespace kel::engine
