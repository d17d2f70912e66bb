// Typed views (see entities.h) of the annotation group of modelled types: attributes and their
// definitions, multileaders, viewports, raster images and wipeouts, OLE frames.
#pragma once
// Included at the end of entities.h.
#include "engine/model/entities_impl.h"

namespace kel::engine {

// ---- attributes -------------------------------------------------------------------------------

// What ATTRIB and ATTDEF share: the text part (as TEXT) and the attribute part. A multi-line
// attribute carries a whole MTEXT after a 101 group; `mtext` holds it (its own entity part unused).
struct AttributeBase {
  EntityCommon common;
  double thickness = 0;
  Vec3 position;
  double height = 1;
  std::string value;  // 1: the value (ATTRIB) or the default value (ATTDEF)
  double rotation = 0, widthFactor = 1, oblique = 0;
  std::string style = "Standard";
  int16_t generation = 0, hAlign = 0;
  Vec3 alignPoint;
  Vec3 extrusion{0, 0, 1};
  int16_t version = 0;  // 280 before the tag
  std::string tag;
  int16_t flags = 0;  // 1 invisible, 2 constant, 4 verify, 8 preset
  int16_t fieldLength = 0;
  int16_t vAlign = 0;
  bool lockPosition = false;  // 280 after the flags
  int16_t lineKind = 0;       // 71 after the lock: 1 single line, 2 multi-line, 4 multi-line definition
  int16_t lineKindFlags = 0;  // 72 with it
  Vec3 mtextAlignPoint;       // 11 with it
  bool hasMText = false;
  MText mtext;
  bool operator==(const AttributeBase&) const = default;
};
struct Attribute : AttributeBase {
  bool operator==(const Attribute&) const = default;
};
struct AttributeDefinition : AttributeBase {
  std::string prompt;  // 3
  bool operator==(const AttributeDefinition&) const = default;
};

namespace detail {

// The attribute part the table cannot say: the vertical alignment a DWG record gives in the text
// part, the two 280 groups told apart by their place (before the tag: the version; after it: the
// position lock), and the multi-line part with its embedded MTEXT.
template <class T>
void decodeAttributeExtra(const Object& o, T& v, const char* sub) {
  Object head;
  Tags tail;
  if (splitEmbedded(o, o.type.c_str(), head, tail)) {
    decode(head, v);  // the head has no 101: this does not come back here
    Object m;
    m.type = "MTEXT";
    m.body.push_back(Tag::str(100, "AcDbMText"));
    m.body.insert(m.body.end(), tail.begin(), tail.end());
    v.hasMText = decode(m, v.mtext);
    return;
  }
  const bool markers = o.hasSubclasses();
  std::string_view cur;
  bool tagSeen = false, versionSeen = false, lockSeen = false;
  for (const auto& t : o.body) {
    if (t.code == 100) {
      cur = t.s.view();
      continue;
    }
    if (t.code == 2) tagSeen = true;
    if (markers && cur == "AcDbText") {
      if (t.code == 74) v.vAlign = int16_t(asInt(t));
      continue;
    }
    if (markers && cur != sub) continue;
    if (t.code == 280) {
      if (!tagSeen && !versionSeen) {
        v.version = int16_t(asInt(t));
        versionSeen = true;
      } else if (tagSeen && !lockSeen) {
        v.lockPosition = asInt(t) != 0;
        lockSeen = true;
      }
    } else if (lockSeen && t.code == 71) {
      v.lineKind = int16_t(asInt(t));
    } else if (lockSeen && t.code == 72) {
      v.lineKindFlags = int16_t(asInt(t));
    } else if (lockSeen && t.code >= 11 && t.code <= 31 && t.code % 10 == 1) {
      (t.code == 11 ? v.mtextAlignPoint.x : t.code == 21 ? v.mtextAlignPoint.y : v.mtextAlignPoint.z) = asDouble(t);
    }
  }
  if (!versionSeen) v.version = 0;
}

template <class T>
void encodeAttributeExtra(const T& v, Tags& out) {
  out.push_back(Tag::integer(280, v.lockPosition));
  if (!v.lineKind && !v.hasMText) return;
  out.push_back(Tag::integer(71, v.lineKind));
  out.push_back(Tag::integer(72, v.lineKindFlags));
  putPoint(11, v.mtextAlignPoint, out);
  if (!v.hasMText) return;
  out.push_back(Tag::str(101, "Embedded Object"));
  // The MTEXT's own groups without its entity part and markers.
  const Object m = encode(v.mtext);
  bool inText = false;
  for (const auto& t : m.body) {
    if (t.code == 100) {
      inText = t.s.view() == "AcDbMText";
      continue;
    }
    if (inText) out.push_back(t);
  }
}

inline std::vector<int> attributeExtraCodes() {
  std::vector<int> c = {74, 280, 71, 72, 11, 21, 31, 101};
  for (int k : viewCodes<MText>()) c.push_back(k);
  return c;
}

}  // namespace detail

template <>
struct Description<Attribute> : DescriptionBase<Attribute> {
  using T = Attribute;
  static constexpr const char* names[] = {"ATTRIB"};
  static void decodeExtra(const Object& o, T& v) { detail::decodeAttributeExtra(o, v, "AcDbAttribute"); }
  static void encodeExtra(const T& v, Tags& out) { detail::encodeAttributeExtra(v, out); }
  static std::vector<int> extraCodes() { return detail::attributeExtraCodes(); }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {
        {"AcDbEntity", 8, &T::common},        {"AcDbText", 39, &T::thickness},      {"AcDbText", 10, &T::position},
        {"AcDbText", 40, &T::height},         {"AcDbText", 1, &T::value},           {"AcDbText", 50, &T::rotation},
        {"AcDbText", 41, &T::widthFactor},    {"AcDbText", 51, &T::oblique},        {"AcDbText", 7, &T::style},
        {"AcDbText", 71, &T::generation},     {"AcDbText", 72, &T::hAlign},         {"AcDbText", 11, &T::alignPoint},
        {"AcDbText", 210, &T::extrusion},     {"AcDbAttribute", 280, &T::version, 1024},
        {"AcDbAttribute", 2, &T::tag},        {"AcDbAttribute", 70, &T::flags},     {"AcDbAttribute", 73, &T::fieldLength},
        {"AcDbAttribute", 74, &T::vAlign},    KEL_EXTRA("AcDbAttribute")};
    return a;
  }
};
template <>
struct Description<AttributeDefinition> : DescriptionBase<AttributeDefinition> {
  using T = AttributeDefinition;
  static constexpr const char* names[] = {"ATTDEF"};
  static void decodeExtra(const Object& o, T& v) {
    detail::decodeAttributeExtra(o, v, "AcDbAttributeDefinition");
  }
  static void encodeExtra(const T& v, Tags& out) { detail::encodeAttributeExtra(v, out); }
  static std::vector<int> extraCodes() { return detail::attributeExtraCodes(); }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {
        {"AcDbEntity", 8, &T::common},     {"AcDbText", 39, &T::thickness},   {"AcDbText", 10, &T::position},
        {"AcDbText", 40, &T::height},      {"AcDbText", 1, &T::value},        {"AcDbText", 50, &T::rotation},
        {"AcDbText", 41, &T::widthFactor}, {"AcDbText", 51, &T::oblique},     {"AcDbText", 7, &T::style},
        {"AcDbText", 71, &T::generation},  {"AcDbText", 72, &T::hAlign},      {"AcDbText", 11, &T::alignPoint},
        {"AcDbText", 210, &T::extrusion},  {"AcDbAttributeDefinition", 280, &T::version, 1024},
        {"AcDbAttributeDefinition", 3, &T::prompt},      {"AcDbAttributeDefinition", 2, &T::tag},
        {"AcDbAttributeDefinition", 70, &T::flags},      {"AcDbAttributeDefinition", 73, &T::fieldLength},
        {"AcDbAttributeDefinition", 74, &T::vAlign},     KEL_EXTRA("AcDbAttributeDefinition")};
    return a;
  }
};

// ---- viewports ----------------------------------------------------------------------------------

// A paper-space window onto model space. The view centre and the snap and grid values are 2D
// points (x and y only; z stays 0).
struct Viewport {
  EntityCommon common;
  Vec3 center;  // in paper space
  double width = 0, height = 0;
  int16_t status = 0;  // 68: 0 off, -1 on but off screen, else the stacking order (1 active)
  int16_t id = 0;      // 69
  Vec3 viewCenter, snapBase, snapSpacing, gridSpacing;
  Vec3 viewDirection{0, 0, 1}, viewTarget;
  double lensLength = 50, frontClip = 0, backClip = 0, viewHeight = 0;
  double snapAngle = 0, twistAngle = 0;
  int16_t circleSides = 1000;
  std::vector<Handle> frozenLayers;  // 331
  int32_t flags = 0;  // 90: the viewport status bits (perspective, clipping, UCS follow, ...)
  Handle clipBoundary = 0;  // 340: the entity a non-rectangular viewport is clipped by
  std::string plotStyleSheet;
  int16_t renderMode = 0;  // 281: 0 2D wireframe, 1 3D wireframe, 2 hidden, 3 flat, 4 Gouraud, ...
  int16_t ucsPerViewport = 0, ucsIcon = 0;  // 71, 74
  Vec3 ucsOrigin, ucsXAxis{1, 0, 0}, ucsYAxis{0, 1, 0};
  Handle namedUcs = 0, baseUcs = 0;  // 345, 346
  int16_t orthoType = 0;  // 79
  double elevation = 0;   // 146
  int16_t shadePlotMode = 0;  // 170: 0 as displayed, 1 wireframe, 2 hidden, 3 rendered
  int16_t gridMajor = 5;      // 61: grid lines between major lines
  Handle background = 0, shadePlot = 0, visualStyle = 0;  // 332, 333, 348
  bool defaultLighting = true;
  int16_t lightingType = 1;  // 282: 0 one distant light, 1 two distant lights
  double brightness = 0, contrast = 0;
  int16_t ambientColor = 250;  // 63
  int32_t ambientTrueColor = -1;  // 421, -1 none
  std::string ambientColorName;   // 431
  Handle sun = 0;  // 361
  bool operator==(const Viewport&) const = default;
};

template <>
struct Description<Viewport> : DescriptionBase<Viewport> {
  using T = Viewport;
  static constexpr const char* names[] = {"VIEWPORT"};
  static Vec3* flat(T& v, int code) {
    switch (code % 10) {
      case 2: return &v.viewCenter;
      case 3: return &v.snapBase;
      case 4: return &v.snapSpacing;
      case 5: return &v.gridSpacing;
      default: return nullptr;
    }
  }
  // The four 2D points, and frozen layers as DWG records name them (341).
  static void decodeExtra(const Object& o, T& v) {
    std::string_view sub;
    const bool markers = o.hasSubclasses();
    for (const auto& t : o.body) {
      if (t.code == 100) sub = t.s.view();
      if (markers && sub != "AcDbViewport") continue;
      if ((t.code >= 12 && t.code <= 15) || (t.code >= 22 && t.code <= 25))
        (t.code < 20 ? flat(v, t.code)->x : flat(v, t.code)->y) = asDouble(t);
      else if (t.code == 341)
        v.frozenLayers.push_back(Handle(asInt(t)));
    }
  }
  static std::vector<int> extraCodes() { return {12, 13, 14, 15, 22, 23, 24, 25, 341}; }
  static void encodeExtra(const T& v, Tags& out) {
    const std::pair<int, const Vec3*> points[] = {
        {12, &v.viewCenter}, {13, &v.snapBase}, {14, &v.snapSpacing}, {15, &v.gridSpacing}};
    for (const auto& [code, p] : points) {
      out.push_back(Tag::real(code, p->x));
      out.push_back(Tag::real(code + 10, p->y));
    }
  }
  static const std::vector<Attr<T>>& attrs() {
    static const char* const S = "AcDbViewport";
    static const std::vector<Attr<T>> a = {
        {"AcDbEntity", 8, &T::common},
        {S, 10, &T::center},          {S, 40, &T::width},           {S, 41, &T::height},
        {S, 68, &T::status},          {S, 69, &T::id},              KEL_EXTRA("AcDbViewport"),
        {S, 16, &T::viewDirection},   {S, 17, &T::viewTarget},      {S, 42, &T::lensLength},
        {S, 43, &T::frontClip},       {S, 44, &T::backClip},        {S, 45, &T::viewHeight},
        {S, 50, &T::snapAngle},       {S, 51, &T::twistAngle},      {S, 72, &T::circleSides},
        {S, 331, &T::frozenLayers},   {S, 90, &T::flags},           {S, 340, &T::clipBoundary},
        {S, 1, &T::plotStyleSheet, 1015},   {S, 281, &T::renderMode, 1015},
        {S, 71, &T::ucsPerViewport, 1015},  {S, 74, &T::ucsIcon, 1015},
        {S, 110, &T::ucsOrigin, 1015},      {S, 111, &T::ucsXAxis, 1015},
        {S, 112, &T::ucsYAxis, 1015},       {S, 345, &T::namedUcs, 1015},
        {S, 346, &T::baseUcs, 1015},        {S, 79, &T::orthoType, 1015},
        {S, 146, &T::elevation, 1015},      {S, 170, &T::shadePlotMode, 1018},
        {S, 61, &T::gridMajor, 1021},       {S, 332, &T::background, 1021},
        {S, 333, &T::shadePlot, 1021},      {S, 348, &T::visualStyle, 1021},
        {S, 292, &T::defaultLighting, 1021}, {S, 282, &T::lightingType, 1021},
        {S, 141, &T::brightness, 1021},     {S, 142, &T::contrast, 1021},
        {S, 63, &T::ambientColor, 1021},    {S, 421, &T::ambientTrueColor, 1021},
        {S, 431, &T::ambientColorName, 1021}, {S, 361, &T::sun, 1021}};
    return a;
  }
};

// ---- raster images and wipeouts ---------------------------------------------------------------

// IMAGE and WIPEOUT: a picture (or a blank area) placed by its corner and one pixel's u and v
// vectors, clipped by a rectangle or polygon. Size and clip vertices are 2D (z stays 0).
struct RasterImageBase {
  EntityCommon common;
  int32_t classVersion = 0;  // 90
  Vec3 position, uVector{1, 0, 0}, vVector{0, 1, 0};
  double pixelsU = 0, pixelsV = 0;  // 13/23
  Handle definition = 0;  // 340 (IMAGEDEF; none for a wipeout)
  int16_t display = 0;    // 70: 1 shown, 2 shown when not aligned with the screen, 4 clipped, 8 transparent
  bool clipping = false;  // 280
  int16_t brightness = 50, contrast = 50, fade = 0;  // 281..283, 0..100
  Handle reactor = 0;     // 360 (IMAGEDEF_REACTOR)
  int16_t clipType = 1;   // 71: 1 rectangle (two corners), 2 polygon
  int32_t clipCount = 0;  // kept equal to clipVertices.size() by encode
  std::vector<Vec3> clipVertices;
  bool clipInverted = false;  // 290
  bool operator==(const RasterImageBase&) const = default;
};
struct RasterImage : RasterImageBase {
  bool operator==(const RasterImage&) const = default;
};
struct Wipeout : RasterImageBase {
  bool operator==(const Wipeout&) const = default;
};

namespace detail {
// The size and the clip vertices (2D), and proxy graphics a DWG record gives after the image part.
inline void decodeRasterExtra(const Object& o, RasterImageBase& v, std::string_view part) {
  std::string_view sub;
  const bool markers = o.hasSubclasses();
  v.clipVertices.clear();
  for (const auto& t : o.body) {
    if (t.code == 100) sub = t.s.view();
    if (markers && sub != part) continue;
    switch (t.code) {
      case 13: v.pixelsU = asDouble(t); break;
      case 23: v.pixelsV = asDouble(t); break;
      case 14: v.clipVertices.push_back({asDouble(t), 0, 0}); break;
      case 24:
        if (v.clipVertices.empty()) v.clipVertices.emplace_back();
        v.clipVertices.back().y = asDouble(t);
        break;
      case 310: v.common.graphics.push_back(t.s); break;
      default: break;
    }
  }
}
// The table has two hook places: after the v vector (the size) and after the vertex count.
inline void encodeRasterExtra(const RasterImageBase& v, Tags& out) {
  if (lastCode(out) == 91) {
    for (const auto& p : v.clipVertices) {
      out.push_back(Tag::real(14, p.x));
      out.push_back(Tag::real(24, p.y));
    }
    return;
  }
  out.push_back(Tag::real(13, v.pixelsU));
  out.push_back(Tag::real(23, v.pixelsV));
}
template <class T>
const std::vector<Attr<T>>& rasterAttrs(const char* s) {
  static const std::vector<Attr<T>> a = {
      {"AcDbEntity", 8, &T::common}, {s, 90, &T::classVersion}, {s, 10, &T::position},
      {s, 11, &T::uVector},          {s, 12, &T::vVector},      Attr<T>{s, 0, Member<T>{}},
      {s, 340, &T::definition},      {s, 70, &T::display},      {s, 280, &T::clipping},
      {s, 281, &T::brightness},      {s, 282, &T::contrast},    {s, 283, &T::fade},
      {s, 360, &T::reactor},         {s, 71, &T::clipType},     {s, 91, &T::clipCount},
      Attr<T>{s, 0, Member<T>{}},    {s, 290, &T::clipInverted, 1024}};
  return a;
}
}  // namespace detail

template <>
struct Description<RasterImage> : DescriptionBase<RasterImage> {
  using T = RasterImage;
  static constexpr const char* names[] = {"IMAGE"};
  static void decodeExtra(const Object& o, T& v) { detail::decodeRasterExtra(o, v, "AcDbRasterImage"); }
  static void encodeExtra(const T& v, Tags& out) { detail::encodeRasterExtra(v, out); }
  static std::vector<int> extraCodes() { return {13, 23, 14, 24}; }
  static void prepare(T& v) { v.clipCount = int32_t(v.clipVertices.size()); }
  static const std::vector<Attr<T>>& attrs() { return detail::rasterAttrs<T>("AcDbRasterImage"); }
};
template <>
struct Description<Wipeout> : DescriptionBase<Wipeout> {
  using T = Wipeout;
  static constexpr const char* names[] = {"WIPEOUT"};
  static void decodeExtra(const Object& o, T& v) { detail::decodeRasterExtra(o, v, "AcDbWipeout"); }
  static void encodeExtra(const T& v, Tags& out) { detail::encodeRasterExtra(v, out); }
  static std::vector<int> extraCodes() { return {13, 23, 14, 24}; }
  static void prepare(T& v) { v.clipCount = int32_t(v.clipVertices.size()); }
  static const std::vector<Attr<T>>& attrs() { return detail::rasterAttrs<T>("AcDbWipeout"); }
};

// ---- OLE frames -----------------------------------------------------------------------------------

// An embedded or linked OLE object: its frame's corners and the object's bytes, kept in the
// pieces the file stored them in.
struct Ole2Frame {
  EntityCommon common;
  int16_t oleVersion = 2;  // 70
  std::string description;  // 3: the object's kind as the application named it
  Vec3 upperLeft, lowerRight;
  int16_t objectType = 2;  // 71: 1 link, 2 embedded, 3 static
  int16_t tileMode = 0;    // 72: 0 in paper space, 1 in model space
  int32_t dataSize = 0;    // kept equal to the bytes in `data` by encode
  std::vector<std::string> data;  // 310 pieces
  std::string endMark = "OLE";    // 1
  bool operator==(const Ole2Frame&) const = default;
};

template <>
struct Description<Ole2Frame> : DescriptionBase<Ole2Frame> {
  using T = Ole2Frame;
  static constexpr const char* names[] = {"OLE2FRAME"};
  static void prepare(T& v) {
    size_t n = 0;
    for (const auto& d : v.data) n += d.size();
    v.dataSize = int32_t(n);
  }
  static const std::vector<Attr<T>>& attrs() {
    static const char* const S = "AcDbOle2Frame";
    static const std::vector<Attr<T>> a = {
        {"AcDbEntity", 8, &T::common}, {S, 70, &T::oleVersion}, {S, 3, &T::description},
        {S, 10, &T::upperLeft},        {S, 11, &T::lowerRight}, {S, 71, &T::objectType},
        {S, 72, &T::tileMode},         {S, 90, &T::dataSize},   {S, 310, &T::data},
        {S, 1, &T::endMark}};
    return a;
  }
};

// ---- multileaders --------------------------------------------------------------------------------

// A multileader: leaders (each with its leader lines) pointing at text or block content. The DXF
// form nests the drawing-ready values in a context section ("CONTEXT_DATA{" ... "}") holding the
// leaders ("LEADER{" ... "}") and their lines ("LEADER_LINE{" ... "}"); the multileader's own
// properties follow the context. Colours are colour words as stored (a method in the high byte).
struct MLeaderBreak {
  Vec3 start, end;
  bool operator==(const MLeaderBreak&) const = default;
};
// The breaks of one segment of a leader line.
struct MLeaderSegmentBreaks {
  int32_t segment = 0;
  std::vector<MLeaderBreak> breaks;
  bool operator==(const MLeaderSegmentBreaks&) const = default;
};
struct MLeaderLine {
  std::vector<Vec3> points;
  std::vector<MLeaderSegmentBreaks> breaks;
  int32_t index = 0;
  // The line's own look, where `overrides` says it differs from the multileader's.
  int32_t overrides = 0;  // 93
  int16_t leaderType = 1;  // 170
  int32_t color = int32_t(0xC1000000u);  // 92
  Handle linetype = 0;    // 340
  int32_t lineWeight = -2;  // 171
  double arrowSize = 0;   // 40
  Handle arrow = 0;       // 341
  bool operator==(const MLeaderLine&) const = default;
};
struct MLeaderLeader {
  bool hasLastPoint = true, hasDogleg = true;  // 290, 291
  Vec3 connection;                 // 10: where the leader meets the content
  Vec3 doglegDirection{1, 0, 0};   // 11
  std::vector<MLeaderBreak> breaks;  // on the dogleg
  int32_t index = 0;               // 90
  double doglegLength = 0;         // 40
  std::vector<MLeaderLine> lines;
  int16_t attachDirection = 0;     // 271: 0 horizontal, 1 vertical
  bool operator==(const MLeaderLeader&) const = default;
};
// Text content: an MTEXT's values in the multileader's own codes.
struct MLeaderText {
  std::string text;            // 304
  Vec3 normal{0, 0, 1};        // 11
  Handle style = 0;            // 340
  Vec3 location, direction{1, 0, 0};  // 12, 13
  double rotation = 0, width = 0, definedHeight = 0, lineSpacingFactor = 1;  // 42..45
  int16_t lineSpacingStyle = 1;  // 170
  int32_t color = int32_t(0xC1000000u);  // 90
  int16_t attachment = 1, flowDirection = 1;  // 171, 172
  int32_t bgColor = int32_t(0xC2FFFFFFu);  // 91
  double bgScale = 1.5;        // 141
  int32_t bgTransparency = 0;  // 92
  bool bgFill = false, bgMask = false;  // 291, 292
  int16_t columnType = 0;      // 173
  bool columnAutoHeight = false;  // 293
  double columnWidth = 0, columnGutter = 0;  // 142, 143
  bool columnFlowReversed = false;  // 294
  std::vector<double> columnSizes;  // 144
  bool wordBreak = true;       // 295
  bool operator==(const MLeaderText&) const = default;
};
// Block content: the block placed and its transform.
struct MLeaderBlock {
  Handle block = 0;            // 341
  Vec3 normal{0, 0, 1}, location, scale{1, 1, 1};  // 14, 15, 16
  double rotation = 0;         // 46
  int32_t color = int32_t(0xC1000000u);  // 93
  std::vector<double> matrix;  // 47: the 4x4 transform, row by row
  bool operator==(const MLeaderBlock&) const = default;
};
struct MLeaderContext {
  double scale = 1;            // 40
  Vec3 contentBase;            // 10
  double textHeight = 0, arrowSize = 0, landingGap = 0;  // 41, 140, 145
  int16_t textLeftAttach = 1, textRightAttach = 1, textAlign = 0, blockConnection = 0;  // 174..177
  bool hasText = false;        // 290
  MLeaderText text;
  bool hasBlock = false;       // 296
  MLeaderBlock block;
  Vec3 planeOrigin, planeXAxis{1, 0, 0}, planeYAxis{0, 1, 0};  // 110, 111, 112
  bool planeNormalReversed = false;  // 297
  std::vector<MLeaderLeader> leaders;
  int16_t textBottomAttach = 9, textTopAttach = 9;  // 272, 273
  bool operator==(const MLeaderContext&) const = default;
};
struct MLeaderArrow {
  int32_t isDefault = 0;  // 94
  Handle arrow = 0;       // 345
  bool operator==(const MLeaderArrow&) const = default;
};
// A block attribute's value shown by block content.
struct MLeaderLabel {
  Handle attdef = 0;  // 330
  int16_t index = 0;  // 177
  double width = 0;   // 44
  std::string text;   // 302
  bool operator==(const MLeaderLabel&) const = default;
};
struct MultiLeader {
  EntityCommon common;
  int16_t version = 2;  // 270
  MLeaderContext context;
  Handle style = 0;       // 340: MLEADERSTYLE
  int32_t overrides = 0;  // 90: which properties differ from the style
  int16_t leaderType = 1; // 170: 0 invisible, 1 straight, 2 spline
  int32_t lineColor = int32_t(0xC1000000u);  // 91
  Handle linetype = 0;    // 341
  int16_t lineWeight = -2;  // 171
  bool landing = true, dogleg = true;  // 290, 291
  double doglegLength = 0;  // 41
  Handle arrow = 0;        // 342, written when set
  double arrowSize = 0;    // 42
  int16_t contentType = 2; // 172: 0 none, 1 block, 2 text, 3 tolerance
  Handle textStyle = 0;    // 343
  int16_t textLeftAttach = 1, textRightAttach = 1, textAngleType = 1, textAlign = 0;  // 173, 95, 174, 175
  int32_t textColor = int32_t(0xC1000000u);  // 92
  bool textFrame = false;  // 292
  Handle blockStyle = 0;   // 344, written when set
  int32_t blockColor = int32_t(0xC1000000u);  // 93
  Vec3 blockScale{1, 1, 1};  // 10
  double blockRotation = 0;  // 43
  int16_t blockConnection = 0;  // 176
  bool annotative = false;  // 293
  std::vector<MLeaderArrow> arrows;
  std::vector<MLeaderLabel> labels;
  bool textDirectionNegative = false;  // 294
  int16_t ipeAlign = 0, justification = 0;  // 178, 179
  double scaleFactor = 1;  // 45
  int16_t attachDirection = 0, textBottomAttach = 9, textTopAttach = 9;  // 271, 272, 273
  bool textExtended = false;  // 295
  bool operator==(const MultiLeader&) const = default;
};

namespace detail {

inline void setAxis(Vec3& p, int code, double d) {
  const int axis = (code % 100) / 10 - 1;  // 10/20/30 and 110/120/130
  (axis == 0 ? p.x : axis == 1 ? p.y : p.z) = d;
}
// The base code (10, 11, 110, ...) of a point group, or 0.
inline int pointBase(int code) {
  if (code >= 10 && code <= 39) return 10 + code % 10;
  if (code >= 110 && code <= 139) return 110 + code % 10;
  return 0;
}
inline bool isX(int code) { return (code >= 10 && code <= 19) || (code >= 110 && code <= 119); }

// Reads the AcDbMLeader part: a walk over its groups with the section it is in.
class MLeaderReader {
 public:
  explicit MLeaderReader(MultiLeader& m) : m_(m) {}
  void read(const Tags& body, size_t from, size_t to) {
    for (size_t k = from; k < to; ++k) {
      const Tag& t = body[k];
      const int base = pointBase(t.code);
      if (section_ == Top && t.code == 92 && k + 1 < to && body[k + 1].code == 310) continue;  // graphics size
      if (section_ == Top && t.code == 310) {  // proxy graphics a DWG record gives last
        m_.common.graphics.push_back(t.s);
        continue;
      }
      if (base) {
        Vec3* p = point(base, isX(t.code));
        if (p) setAxis(*p, t.code, asDouble(t));
        continue;
      }
      switch (section_) {
        case Top: top(t); break;
        case Context: context(t); break;
        case Leader: leader(t); break;
        case Line: line(t); break;
      }
    }
  }

 private:
  enum Section { Top, Context, Leader, Line };
  MultiLeader& m_;
  Section section_ = Top;
  bool leaderDirectionSeen_ = false;

  MLeaderLeader& lastLeader() {
    if (m_.context.leaders.empty()) m_.context.leaders.emplace_back();
    return m_.context.leaders.back();
  }
  MLeaderLine& lastLine() {
    auto& lines = lastLeader().lines;
    if (lines.empty()) lines.emplace_back();
    return lines.back();
  }
  MLeaderSegmentBreaks& lastSegment() {
    auto& b = lastLine().breaks;
    if (b.empty()) b.emplace_back();
    return b.back();
  }
  // Where a point group goes; `start` when it is the x (a repeated point begins there).
  Vec3* point(int base, bool start) {
    MLeaderContext& c = m_.context;
    switch (section_) {
      case Top: return base == 10 ? &m_.blockScale : nullptr;
      case Context:
        switch (base) {
          case 10: return &c.contentBase;
          case 11: return &c.text.normal;
          case 12: return &c.text.location;
          case 13: return &c.text.direction;
          case 14: return &c.block.normal;
          case 15: return &c.block.location;
          case 16: return &c.block.scale;
          case 110: return &c.planeOrigin;
          case 111: return &c.planeXAxis;
          case 112: return &c.planeYAxis;
          default: return nullptr;
        }
      case Leader: {
        MLeaderLeader& l = lastLeader();
        if (base == 10) return &l.connection;
        // The first 11 is the dogleg direction; 11/12 after it are the dogleg's breaks.
        if (base == 11) {
          if (start && !leaderDirectionSeen_) {
            leaderDirectionSeen_ = true;
            return &l.doglegDirection;
          }
          if (start) l.breaks.emplace_back();
          return l.breaks.empty() ? &l.doglegDirection : &l.breaks.back().start;
        }
        if (base == 12) {
          if (l.breaks.empty()) l.breaks.emplace_back();
          return &l.breaks.back().end;
        }
        return nullptr;
      }
      case Line: {
        MLeaderLine& l = lastLine();
        if (base == 10) {
          if (start || l.points.empty()) l.points.emplace_back();
          return &l.points.back();
        }
        if (base == 11) {
          auto& b = lastSegment().breaks;
          if (start || b.empty()) b.emplace_back();
          return &b.back().start;
        }
        if (base == 12) {
          auto& b = lastSegment().breaks;
          if (b.empty()) b.emplace_back();
          return &b.back().end;
        }
        return nullptr;
      }
    }
    return nullptr;
  }
  void top(const Tag& t) {
    const int64_t i = asInt(t);
    const double d = asDouble(t);
    switch (t.code) {
      case 270: m_.version = int16_t(i); break;
      case 300: section_ = Context; break;
      case 340: m_.style = Handle(i); break;
      case 90: m_.overrides = int32_t(i); break;
      case 170: m_.leaderType = int16_t(i); break;
      case 91: m_.lineColor = int32_t(i); break;
      case 341: m_.linetype = Handle(i); break;
      case 171: m_.lineWeight = int16_t(i); break;
      case 290: m_.landing = i != 0; break;
      case 291: m_.dogleg = i != 0; break;
      case 41: m_.doglegLength = d; break;
      case 342: m_.arrow = Handle(i); break;
      case 42: m_.arrowSize = d; break;
      case 172: m_.contentType = int16_t(i); break;
      case 343: m_.textStyle = Handle(i); break;
      case 173: m_.textLeftAttach = int16_t(i); break;
      case 95: m_.textRightAttach = int16_t(i); break;
      case 174: m_.textAngleType = int16_t(i); break;
      case 175: m_.textAlign = int16_t(i); break;
      case 92: m_.textColor = int32_t(i); break;
      case 292: m_.textFrame = i != 0; break;
      case 344: m_.blockStyle = Handle(i); break;
      case 93: m_.blockColor = int32_t(i); break;
      case 43: m_.blockRotation = d; break;
      case 176: m_.blockConnection = int16_t(i); break;
      case 293: m_.annotative = i != 0; break;
      case 94: m_.arrows.push_back({int32_t(i), 0}); break;
      case 345:
        if (m_.arrows.empty()) m_.arrows.emplace_back();
        m_.arrows.back().arrow = Handle(i);
        break;
      case 330: m_.labels.push_back({Handle(i), 0, 0, {}}); break;
      case 177: label().index = int16_t(i); break;
      case 44: label().width = d; break;
      case 302: label().text = t.s; break;
      case 294: m_.textDirectionNegative = i != 0; break;
      case 178: m_.ipeAlign = int16_t(i); break;
      case 179: m_.justification = int16_t(i); break;
      case 45: m_.scaleFactor = d; break;
      case 271: m_.attachDirection = int16_t(i); break;
      case 272: m_.textBottomAttach = int16_t(i); break;
      case 273: m_.textTopAttach = int16_t(i); break;
      case 295: m_.textExtended = i != 0; break;
      default: break;
    }
  }
  MLeaderLabel& label() {
    if (m_.labels.empty()) m_.labels.emplace_back();
    return m_.labels.back();
  }
  void context(const Tag& t) {
    MLeaderContext& c = m_.context;
    const int64_t i = asInt(t);
    const double d = asDouble(t);
    switch (t.code) {
      case 301: section_ = Top; break;
      case 302:
        section_ = Leader;
        c.leaders.emplace_back();
        leaderDirectionSeen_ = false;
        break;
      case 40: c.scale = d; break;
      case 41: c.textHeight = d; break;
      case 140: c.arrowSize = d; break;
      case 145: c.landingGap = d; break;
      case 174: c.textLeftAttach = int16_t(i); break;
      case 175: c.textRightAttach = int16_t(i); break;
      case 176: c.textAlign = int16_t(i); break;
      case 177: c.blockConnection = int16_t(i); break;
      case 290: c.hasText = i != 0; break;
      case 304: c.text.text = t.s; break;
      case 340: c.text.style = Handle(i); break;
      case 42: c.text.rotation = d; break;
      case 43: c.text.width = d; break;
      case 44: c.text.definedHeight = d; break;
      case 45: c.text.lineSpacingFactor = d; break;
      case 170: c.text.lineSpacingStyle = int16_t(i); break;
      case 90: c.text.color = int32_t(i); break;
      case 171: c.text.attachment = int16_t(i); break;
      case 172: c.text.flowDirection = int16_t(i); break;
      case 91: c.text.bgColor = int32_t(i); break;
      case 141: c.text.bgScale = d; break;
      case 92: c.text.bgTransparency = int32_t(i); break;
      case 291: c.text.bgFill = i != 0; break;
      case 292: c.text.bgMask = i != 0; break;
      case 173: c.text.columnType = int16_t(i); break;
      case 293: c.text.columnAutoHeight = i != 0; break;
      case 142: c.text.columnWidth = d; break;
      case 143: c.text.columnGutter = d; break;
      case 294: c.text.columnFlowReversed = i != 0; break;
      case 144: c.text.columnSizes.push_back(d); break;
      case 295: c.text.wordBreak = i != 0; break;
      case 296: c.hasBlock = i != 0; break;
      case 341: c.block.block = Handle(i); break;
      case 46: c.block.rotation = d; break;
      case 93: c.block.color = int32_t(i); break;
      case 47: c.block.matrix.push_back(d); break;
      case 297: c.planeNormalReversed = i != 0; break;
      case 272: c.textBottomAttach = int16_t(i); break;
      case 273: c.textTopAttach = int16_t(i); break;
      default: break;
    }
  }
  void leader(const Tag& t) {
    MLeaderLeader& l = lastLeader();
    switch (t.code) {
      case 303: section_ = Context; break;
      case 304:
        section_ = Line;
        l.lines.emplace_back();
        break;
      case 290: l.hasLastPoint = asInt(t) != 0; break;
      case 291: l.hasDogleg = asInt(t) != 0; break;
      case 90: l.index = int32_t(asInt(t)); break;
      case 40: l.doglegLength = asDouble(t); break;
      case 271: l.attachDirection = int16_t(asInt(t)); break;
      default: break;
    }
  }
  void line(const Tag& t) {
    MLeaderLine& l = lastLine();
    const int64_t i = asInt(t);
    switch (t.code) {
      case 305: section_ = Leader; break;
      case 90: l.breaks.push_back({int32_t(i), {}}); break;
      case 91: l.index = int32_t(i); break;
      case 170: l.leaderType = int16_t(i); break;
      case 92: l.color = int32_t(i); break;
      case 340: l.linetype = Handle(i); break;
      case 171: l.lineWeight = int32_t(i); break;
      case 40: l.arrowSize = asDouble(t); break;
      case 341: l.arrow = Handle(i); break;
      case 93: l.overrides = int32_t(i); break;
      default: break;
    }
  }
};

// Writes the AcDbMLeader part in the order DXF readers expect. The text part is written when the
// content is text or the record carried text values all the same; likewise the block part.
inline void writeMLeader(const MultiLeader& m, Tags& out) {
  auto i = [&](int code, int64_t v) { out.push_back(Tag::integer(code, v)); };
  auto r = [&](int code, double v) { out.push_back(Tag::real(code, v)); };
  auto h = [&](int code, Handle v) { out.push_back(Tag::handle(code, v)); };
  auto s = [&](int code, const std::string& v) { out.push_back(Tag::str(code, v)); };
  auto p = [&](int code, const Vec3& v) { putPoint(code, v, out); };
  const MLeaderContext& c = m.context;
  i(270, m.version);
  s(300, "CONTEXT_DATA{");
  r(40, c.scale);
  p(10, c.contentBase);
  r(41, c.textHeight);
  r(140, c.arrowSize);
  r(145, c.landingGap);
  i(174, c.textLeftAttach);
  i(175, c.textRightAttach);
  i(176, c.textAlign);
  i(177, c.blockConnection);
  i(290, c.hasText);
  if (c.hasText || c.text != MLeaderText{}) {
    const MLeaderText& t = c.text;
    s(304, t.text);
    p(11, t.normal);
    h(340, t.style);
    p(12, t.location);
    p(13, t.direction);
    r(42, t.rotation);
    r(43, t.width);
    r(44, t.definedHeight);
    r(45, t.lineSpacingFactor);
    i(170, t.lineSpacingStyle);
    i(90, t.color);
    i(171, t.attachment);
    i(172, t.flowDirection);
    i(91, t.bgColor);
    r(141, t.bgScale);
    i(92, t.bgTransparency);
    i(291, t.bgFill);
    i(292, t.bgMask);
    i(173, t.columnType);
    i(293, t.columnAutoHeight);
    r(142, t.columnWidth);
    r(143, t.columnGutter);
    i(294, t.columnFlowReversed);
    for (double w : t.columnSizes) r(144, w);
    i(295, t.wordBreak);
  }
  i(296, c.hasBlock);
  if (c.hasBlock || c.block != MLeaderBlock{}) {
    const MLeaderBlock& b = c.block;
    h(341, b.block);
    p(14, b.normal);
    p(15, b.location);
    p(16, b.scale);
    r(46, b.rotation);
    i(93, b.color);
    for (double v : b.matrix) r(47, v);
  }
  p(110, c.planeOrigin);
  p(111, c.planeXAxis);
  p(112, c.planeYAxis);
  i(297, c.planeNormalReversed);
  for (const MLeaderLeader& l : c.leaders) {
    s(302, "LEADER{");
    i(290, l.hasLastPoint);
    i(291, l.hasDogleg);
    p(10, l.connection);
    p(11, l.doglegDirection);
    for (const MLeaderBreak& b : l.breaks) {
      p(11, b.start);
      p(12, b.end);
    }
    i(90, l.index);
    r(40, l.doglegLength);
    for (const MLeaderLine& n : l.lines) {
      s(304, "LEADER_LINE{");
      for (const Vec3& q : n.points) p(10, q);
      for (const MLeaderSegmentBreaks& g : n.breaks) {
        i(90, g.segment);
        for (const MLeaderBreak& b : g.breaks) {
          p(11, b.start);
          p(12, b.end);
        }
      }
      i(91, n.index);
      // The line's own look only where it overrides the multileader's (or was given anyway).
      const MLeaderLine d{};
      if (n.overrides || n.leaderType != d.leaderType || n.color != d.color || n.linetype || n.lineWeight != d.lineWeight ||
          n.arrowSize != d.arrowSize || n.arrow) {
        i(170, n.leaderType);
        i(92, n.color);
        h(340, n.linetype);
        i(171, n.lineWeight);
        r(40, n.arrowSize);
        h(341, n.arrow);
        i(93, n.overrides);
      }
      s(305, "}");
    }
    i(271, l.attachDirection);
    s(303, "}");
  }
  i(272, c.textBottomAttach);
  i(273, c.textTopAttach);
  s(301, "}");

  h(340, m.style);
  i(90, m.overrides);
  i(170, m.leaderType);
  i(91, m.lineColor);
  h(341, m.linetype);
  i(171, m.lineWeight);
  i(290, m.landing);
  i(291, m.dogleg);
  r(41, m.doglegLength);
  if (m.arrow) h(342, m.arrow);
  r(42, m.arrowSize);
  i(172, m.contentType);
  h(343, m.textStyle);
  i(173, m.textLeftAttach);
  i(95, m.textRightAttach);
  i(174, m.textAngleType);
  i(175, m.textAlign);
  i(92, m.textColor);
  i(292, m.textFrame);
  if (m.blockStyle) h(344, m.blockStyle);
  i(93, m.blockColor);
  p(10, m.blockScale);
  r(43, m.blockRotation);
  i(176, m.blockConnection);
  i(293, m.annotative);
  for (const MLeaderArrow& a : m.arrows) {
    i(94, a.isDefault);
    h(345, a.arrow);
  }
  for (const MLeaderLabel& l : m.labels) {
    h(330, l.attdef);
    i(177, l.index);
    r(44, l.width);
    s(302, l.text);
  }
  i(294, m.textDirectionNegative);
  i(178, m.ipeAlign);
  i(179, m.justification);
  r(45, m.scaleFactor);
  i(271, m.attachDirection);
  i(272, m.textBottomAttach);
  i(273, m.textTopAttach);
  i(295, m.textExtended);
}

}  // namespace detail

template <>
struct Description<MultiLeader> : DescriptionBase<MultiLeader> {
  using T = MultiLeader;
  static constexpr const char* names[] = {"MULTILEADER"};
  static void decodeExtra(const Object& o, T& v) {
    size_t from = 0;
    while (from < o.body.size() && !(o.body[from].code == 100 && o.body[from].s.view() == "AcDbMLeader")) ++from;
    if (from == o.body.size()) return;
    detail::MLeaderReader(v).read(o.body, from + 1, o.body.size());
  }
  static void encodeExtra(const T& v, Tags& out) { detail::writeMLeader(v, out); }
  static std::vector<int> extraCodes() {
    std::vector<int> c = {270, 300, 301, 302, 303, 304, 305, 330, 340, 341, 342, 343, 344, 345, 40, 41, 42, 43,
                          44, 45, 46, 47, 140, 141, 142, 143, 144, 145, 90, 91, 92, 93, 94, 95, 170, 171, 172, 173,
                          174, 175, 176, 177, 178, 179, 271, 272, 273, 290, 291, 292, 293, 294, 295, 296, 297, 310};
    for (int base : {10, 11, 12, 13, 14, 15, 16, 110, 111, 112}) c.insert(c.end(), {base, base + 10, base + 20});
    return c;
  }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbEntity", 8, &T::common}, KEL_EXTRA("AcDbMLeader")};
    return a;
  }
};

inline void addAnnotationViews(std::vector<ViewInfo>& out) {
  addView<Attribute>(out);
  addView<AttributeDefinition>(out);
  addView<Viewport>(out);
  addView<RasterImage>(out);
  addView<Wipeout>(out);
  addView<Ole2Frame>(out);
  addView<MultiLeader>(out);
}

}  // namespace kel::engine
