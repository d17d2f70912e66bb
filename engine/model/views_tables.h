// Typed views (see entities.h) of the symbol table entries and of the records that frame block
// definitions and polylines: APPID, BLOCK_RECORD, DIMSTYLE, LAYER, LTYPE, STYLE, UCS, VIEW, VPORT;
// BLOCK, ENDBLK, SEQEND, POLYLINE, VERTEX, SHAPE.
//
// A table entry keeps its name (2) and standard flags (70) in its body, under its own subclass;
// handle and owner sit outside the body. Table entries begin with the AcDbSymbolTableRecord marker,
// which carries no groups: an empty hook in that subclass makes encode write it.
//
// Hooks here may sit at more than one place in a table. encodeExtra is then told apart by the
// group written just before it (table entries always write their group, so that one is fixed).
#pragma once
// Included at the end of entities.h.
#include "engine/model/entities_impl.h"

namespace kel::engine {

namespace tableviews {

// True when the record being built carries subclass markers (every version but R12).
inline bool withMarkers(const Tags& out) {
  return std::any_of(out.begin(), out.end(), [](const Tag& t) { return t.code == 100; });
}
inline int lastCode(const Tags& out) { return out.empty() ? -1 : out.back().code; }
inline void putHandleIfSet(Tags& out, int code, Handle h) {
  if (h) out.push_back(Tag::handle(code, h));
}
inline void putColorIfSet(Tags& out, int code, int32_t rgb) {
  if (rgb >= 0) out.push_back(Tag::integer(code, rgb));
}
// Calls f(tag) for each body group outside the AcDbEntity part (all groups of a record without
// markers).
template <class F>
void forEachOwnGroup(const Object& o, F&& f) {
  std::string_view sub;
  for (const auto& t : o.body) {
    if (t.code == 100) {
      sub = t.s.view();
      continue;
    }
    if (sub != "AcDbEntity") f(t);
  }
}
inline bool hasCode(const Object& o, int code) { return o.find(code) != nullptr; }
// VIEW and VPORT: the hook at the end follows the ambient colour (from 2007 on) or the UCS
// elevation (2000, 2004).
inline bool afterLighting(const Tags& out) { return lastCode(out) == 63 || lastCode(out) == 146; }

}  // namespace tableviews

// ---- APPID ---------------------------------------------------------------------------------

struct AppId {
  std::string name;
  int16_t flags = 0;
  int16_t dwgFlag = 0;  // 71: a byte the DWG form keeps after the name; DXF files leave it out
  bool operator==(const AppId&) const = default;
};

template <>
struct Description<AppId> : DescriptionBase<AppId> {
  using T = AppId;
  static constexpr const char* names[] = {"APPID"};
  static void decodeExtra(const Object& o, T& v) { v.dwgFlag = int16_t(o.integer(71)); }
  static void encodeExtra(const T& v, Tags& out) {
    if (tableviews::lastCode(out) == 70 && v.dwgFlag) out.push_back(Tag::integer(71, v.dwgFlag));
  }
  static std::vector<int> extraCodes() { return {71}; }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {KEL_EXTRA("AcDbSymbolTableRecord"),
                                           {"AcDbRegAppTableRecord", 2, &T::name},
                                           {"AcDbRegAppTableRecord", 70, &T::flags},
                                           KEL_EXTRA("AcDbRegAppTableRecord")};
    return a;
  }
};

// ---- BLOCK_RECORD --------------------------------------------------------------------------

struct BlockRecord {
  std::string name;
  Handle layout = 0;                  // 340: the LAYOUT of a paper or model space block
  std::vector<std::string> preview;   // 310: the preview image, its binary pieces as stored
  std::vector<Handle> references;     // 331 inside "102 {BLKREFS": the inserts of the block
  int16_t units = 0;                  // 70: insertion units
  int16_t explodable = 1;             // 280
  int16_t scaleUniformly = 0;         // 281
  bool operator==(const BlockRecord&) const = default;
};

template <>
struct Description<BlockRecord> : DescriptionBase<BlockRecord> {
  using T = BlockRecord;
  static constexpr const char* names[] = {"BLOCK_RECORD"};
  // The references sit in an application group inside the body: "102 {BLKREFS", 331..., "102 }".
  static void decodeExtra(const Object& o, T& v) {
    v.references.clear();
    bool inRefs = false;
    for (const auto& t : o.body) {
      if (t.code == 102) inRefs = t.s.view() == "{BLKREFS";
      else if (t.code == 331 && inRefs) v.references.push_back(Handle(asInt(t)));
    }
  }
  static void encodeExtra(const T& v, Tags& out) {
    const int after = tableviews::lastCode(out);
    if (v.references.empty() || (after != 340 && after != 310)) return;
    out.push_back(Tag::str(102, "{BLKREFS"));
    for (Handle h : v.references) out.push_back(Tag::handle(331, h));
    out.push_back(Tag::str(102, "}"));
  }
  static std::vector<int> extraCodes() { return {102, 331}; }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {
        KEL_EXTRA("AcDbSymbolTableRecord"),
        {"AcDbBlockTableRecord", 2, &T::name},
        {"AcDbBlockTableRecord", 340, &T::layout, 1015},
        {"AcDbBlockTableRecord", 310, &T::preview, 1015},
        Attr<T>{"AcDbBlockTableRecord", 0, Member<T>{}, 1015},
        {"AcDbBlockTableRecord", 70, &T::units, 1021},
        {"AcDbBlockTableRecord", 280, &T::explodable, 1021},
        {"AcDbBlockTableRecord", 281, &T::scaleUniformly, 1021}};
    return a;
  }
};

// ---- DIMSTYLE ------------------------------------------------------------------------------

// A dimension style: every dimension variable under its own group code, named after the variable.
struct DimStyle {
  std::string name;
  int16_t flags = 0;
  std::string dimpost, dimapost;                     // 3, 4
  std::string dimblkName, dimblk1Name, dimblk2Name;  // 5, 6, 7: arrow block names of older files
  double dimscale = 1, dimasz = 0.18, dimexo = 0.0625, dimdli = 0.38, dimexe = 0.18;  // 40..44
  double dimrnd = 0, dimdle = 0, dimtp = 0, dimtm = 0;                                // 45..48
  double dimfxl = 1, dimjogang = 0.7853981633974483;                                  // 49, 50
  int16_t dimtfill = 0;                                                                // 69
  int16_t dimtfillclr = 0;                                  // 70 (the second 70 of the record)
  int32_t dimtfillclrRgb = -1;                              // its 420
  double dimtxt = 0.18, dimcen = 0.09, dimtsz = 0, dimaltf = 25.4, dimlfac = 1;        // 140..144
  double dimtvp = 0, dimtfac = 1, dimgap = 0.09, dimaltrnd = 0;                        // 145..148
  int16_t dimtol = 0, dimlim = 0, dimtih = 1, dimtoh = 1, dimse1 = 0, dimse2 = 0;      // 71..76
  int16_t dimtad = 0, dimzin = 0, dimazin = 0;                                         // 77..79
  int32_t dimarcsym = 0;                                                                // 90
  int16_t dimalt = 0, dimaltd = 2, dimtofl = 0, dimsah = 0, dimtix = 0, dimsoxd = 0;   // 170..175
  int16_t dimclrd = 0, dimclre = 0, dimclrt = 0;                                       // 176..178
  int32_t dimclrdRgb = -1, dimclreRgb = -1, dimclrtRgb = -1;                           // their 420s
  int16_t dimadec = 0;                                                                  // 179
  int16_t dimdec = 4, dimtdec = 4, dimaltu = 2, dimalttd = 2, dimaunit = 0;            // 271..275
  int16_t dimfrac = 0, dimlunit = 2, dimdsep = '.', dimtmove = 0, dimjust = 0;         // 276..280
  int16_t dimsd1 = 0, dimsd2 = 0, dimtolj = 1, dimtzin = 0, dimaltz = 0, dimalttz = 0; // 281..286
  int16_t dimupt = 0, dimatfit = 3;                                                    // 288, 289
  bool dimfxlon = false, dimtxtdirection = false;                                       // 290, 295
  Handle dimtxsty = 0;                                                                  // 340
  Handle dimldrblk = 0, dimblk = 0, dimblk1 = 0, dimblk2 = 0;                          // 341..344
  Handle dimltype = 0, dimltex1 = 0, dimltex2 = 0;                                     // 345..347
  int16_t dimlwd = -2, dimlwe = -2;                                                     // 371, 372
  bool operator==(const DimStyle&) const = default;
};

template <>
struct Description<DimStyle> : DescriptionBase<DimStyle> {
  using T = DimStyle;
  static constexpr const char* names[] = {"DIMSTYLE"};

  // Older files (R13, R14) say DIMUNIT (270) where later ones have DIMLUNIT and DIMFRAC, and
  // DIMFIT (287) where later ones have DIMATFIT and DIMTMOVE. Read, they become the later pair (as
  // the DWG reader does); written for those versions, the pair goes back into the one value.
  static void unitFromOld(int unit, T& v) {
    static constexpr int16_t kLunit[] = {2, 1, 2, 3, 4, 5, 4, 5, 6};
    v.dimlunit = kLunit[unit >= 1 && unit <= 8 ? unit : 0];
    v.dimfrac = (unit == 6 || unit == 7) ? 2 : 0;
  }
  static int unitToOld(const T& v) {
    switch (v.dimlunit) {
      case 1: return 1;
      case 3: return 3;
      case 4: return v.dimfrac == 2 ? 6 : 4;
      case 5: return v.dimfrac == 2 ? 7 : 5;
      case 6: return 8;
      default: return 2;
    }
  }
  static void fitFromOld(int fit, T& v) {
    v.dimatfit = int16_t(fit <= 3 ? fit : 3);
    v.dimtmove = int16_t(fit == 4 ? 1 : fit == 5 ? 2 : 0);
  }
  static int fitToOld(const T& v) { return v.dimtmove == 1 ? 4 : v.dimtmove == 2 ? 5 : v.dimatfit; }

  // The colours carry their true colour (420) right after them, so they are read here: each 420
  // belongs to the colour group before it. The second 70 is DIMTFILLCLR (the first: the flags).
  static void decodeExtra(const Object& o, T& v) {
    int seen70 = 0;
    int32_t* rgb = nullptr;
    for (const auto& t : o.body) {
      const int16_t value = int16_t(asInt(t));
      switch (t.code) {
        case 70:
          rgb = nullptr;
          if (++seen70 == 2) v.dimtfillclr = value, rgb = &v.dimtfillclrRgb;
          continue;
        case 176: v.dimclrd = value, rgb = &v.dimclrdRgb; continue;
        case 177: v.dimclre = value, rgb = &v.dimclreRgb; continue;
        case 178: v.dimclrt = value, rgb = &v.dimclrtRgb; continue;
        case 420:
          if (rgb) *rgb = int32_t(asInt(t));
          break;
        case 341: v.dimldrblk = Handle(asInt(t)); break;
        case 342: v.dimblk = Handle(asInt(t)); break;
        case 343: v.dimblk1 = Handle(asInt(t)); break;
        case 344: v.dimblk2 = Handle(asInt(t)); break;
        case 345: v.dimltype = Handle(asInt(t)); break;
        case 346: v.dimltex1 = Handle(asInt(t)); break;
        case 347: v.dimltex2 = Handle(asInt(t)); break;
        case 5: v.dimblkName = t.s; break;
        case 6: v.dimblk1Name = t.s; break;
        case 7: v.dimblk2Name = t.s; break;
        case 270:
          if (!tableviews::hasCode(o, 277) && !tableviews::hasCode(o, 276)) unitFromOld(int(asInt(t)), v);
          break;
        case 287:
          if (!tableviews::hasCode(o, 289) && !tableviews::hasCode(o, 279)) fitFromOld(int(asInt(t)), v);
          break;
        default: break;
      }
      rgb = nullptr;
    }
  }
  static void putColor(Tags& out, int code, int16_t aci, int32_t rgb) {
    out.push_back(Tag::integer(code, aci));
    tableviews::putColorIfSet(out, 420, rgb);
  }
  static void encodeExtra(const T& v, Tags& out) {
    switch (tableviews::lastCode(out)) {
      case 4:  // before 2000: arrow block names, DIMUNIT and DIMFIT (the last two from R13 on)
        out.push_back(Tag::str(5, v.dimblkName));
        out.push_back(Tag::str(6, v.dimblk1Name));
        out.push_back(Tag::str(7, v.dimblk2Name));
        if (tableviews::withMarkers(out)) {
          out.push_back(Tag::integer(270, unitToOld(v)));
          out.push_back(Tag::integer(287, fitToOld(v)));
        }
        break;
      case 69: putColor(out, 70, v.dimtfillclr, v.dimtfillclrRgb); break;
      case 175:
        putColor(out, 176, v.dimclrd, v.dimclrdRgb);
        putColor(out, 177, v.dimclre, v.dimclreRgb);
        putColor(out, 178, v.dimclrt, v.dimclrtRgb);
        break;
      case 340:  // pointers other than the text style: only when set
        for (auto [code, h] : {std::pair{341, v.dimldrblk}, {342, v.dimblk}, {343, v.dimblk1}, {344, v.dimblk2},
                               {345, v.dimltype}, {346, v.dimltex1}, {347, v.dimltex2}})
          tableviews::putHandleIfSet(out, code, h);
        break;
      default: break;
    }
  }
  static std::vector<int> extraCodes() {
    return {5, 6, 7, 70, 176, 177, 178, 420, 270, 287, 341, 342, 343, 344, 345, 346, 347};
  }
  static const std::vector<Attr<T>>& attrs() {
    static const char* const S = "AcDbDimStyleTableRecord";
    static const std::vector<Attr<T>> a = {
        KEL_EXTRA("AcDbSymbolTableRecord"),
        {S, 2, &T::name}, {S, 70, &T::flags}, {S, 3, &T::dimpost}, {S, 4, &T::dimapost},
        Attr<T>{S, 0, Member<T>{}, 1009, 1014},  // arrow names, DIMUNIT, DIMFIT
        {S, 40, &T::dimscale}, {S, 41, &T::dimasz}, {S, 42, &T::dimexo}, {S, 43, &T::dimdli},
        {S, 44, &T::dimexe}, {S, 45, &T::dimrnd}, {S, 46, &T::dimdle}, {S, 47, &T::dimtp}, {S, 48, &T::dimtm},
        {S, 49, &T::dimfxl, 1021}, {S, 50, &T::dimjogang, 1021}, {S, 69, &T::dimtfill, 1021},
        Attr<T>{S, 0, Member<T>{}, 1021},  // DIMTFILLCLR
        {S, 140, &T::dimtxt}, {S, 141, &T::dimcen}, {S, 142, &T::dimtsz}, {S, 143, &T::dimaltf},
        {S, 144, &T::dimlfac}, {S, 145, &T::dimtvp}, {S, 146, &T::dimtfac}, {S, 147, &T::dimgap},
        {S, 148, &T::dimaltrnd, 1015},
        {S, 71, &T::dimtol}, {S, 72, &T::dimlim}, {S, 73, &T::dimtih}, {S, 74, &T::dimtoh},
        {S, 75, &T::dimse1}, {S, 76, &T::dimse2}, {S, 77, &T::dimtad}, {S, 78, &T::dimzin},
        {S, 79, &T::dimazin, 1015}, {S, 90, &T::dimarcsym, 1021},
        {S, 170, &T::dimalt}, {S, 171, &T::dimaltd}, {S, 172, &T::dimtofl}, {S, 173, &T::dimsah},
        {S, 174, &T::dimtix}, {S, 175, &T::dimsoxd},
        KEL_EXTRA("AcDbDimStyleTableRecord"),  // DIMCLRD, DIMCLRE, DIMCLRT
        {S, 179, &T::dimadec, 1015},
        {S, 271, &T::dimdec, 1012}, {S, 272, &T::dimtdec, 1012}, {S, 273, &T::dimaltu, 1012},
        {S, 274, &T::dimalttd, 1012}, {S, 275, &T::dimaunit, 1012}, {S, 276, &T::dimfrac, 1015},
        {S, 277, &T::dimlunit, 1015}, {S, 278, &T::dimdsep, 1015}, {S, 279, &T::dimtmove, 1015},
        {S, 280, &T::dimjust, 1012}, {S, 281, &T::dimsd1, 1012}, {S, 282, &T::dimsd2, 1012},
        {S, 283, &T::dimtolj, 1012}, {S, 284, &T::dimtzin, 1012}, {S, 285, &T::dimaltz, 1012},
        {S, 286, &T::dimalttz, 1012}, {S, 288, &T::dimupt, 1012}, {S, 289, &T::dimatfit, 1015},
        {S, 290, &T::dimfxlon, 1021}, {S, 295, &T::dimtxtdirection, 1024},
        {S, 340, &T::dimtxsty, 1012},
        Attr<T>{S, 0, Member<T>{}, 1015},  // the other pointers
        {S, 371, &T::dimlwd, 1015}, {S, 372, &T::dimlwe, 1015}};
    return a;
  }
};

// ---- LAYER ---------------------------------------------------------------------------------

struct Layer {
  std::string name;
  int16_t flags = 0;  // 1 frozen, 4 locked
  int16_t color = 7;  // negative: off
  int32_t trueColor = -1;  // 420: 0x00RRGGBB, -1 none
  std::string colorName;   // 430
  std::string linetype = "Continuous";
  bool plot = true;
  int16_t lineweight = -3;
  Handle plotStyle = 0;    // 390
  Handle material = 0;     // 347
  Handle visualStyle = 0;  // 348
  bool operator==(const Layer&) const = default;
};

template <>
struct Description<Layer> : DescriptionBase<Layer> {
  using T = Layer;
  static constexpr const char* names[] = {"LAYER"};
  static void decodeExtra(const Object& o, T& v) {
    v.trueColor = int32_t(o.integer(420, -1));
    v.colorName = o.text(430);
    v.material = Handle(o.integer(347));
    v.visualStyle = Handle(o.integer(348));
  }
  static void encodeExtra(const T& v, Tags& out) {
    if (tableviews::lastCode(out) == 62) {  // the true colour follows the colour number
      tableviews::putColorIfSet(out, 420, v.trueColor);
      if (!v.colorName.empty()) out.push_back(Tag::str(430, v.colorName));
    } else if (tableviews::lastCode(out) == 390) {
      tableviews::putHandleIfSet(out, 347, v.material);
      tableviews::putHandleIfSet(out, 348, v.visualStyle);
    }
  }
  static std::vector<int> extraCodes() { return {420, 430, 347, 348}; }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {
        KEL_EXTRA("AcDbSymbolTableRecord"),
        {"AcDbLayerTableRecord", 2, &T::name},         {"AcDbLayerTableRecord", 70, &T::flags},
        {"AcDbLayerTableRecord", 62, &T::color},       KEL_EXTRA("AcDbLayerTableRecord"),
        {"AcDbLayerTableRecord", 6, &T::linetype},     {"AcDbLayerTableRecord", 290, &T::plot, 1015},
        {"AcDbLayerTableRecord", 370, &T::lineweight, 1015}, {"AcDbLayerTableRecord", 390, &T::plotStyle, 1015},
        Attr<T>{"AcDbLayerTableRecord", 0, Member<T>{}, 1015}};
    return a;
  }
};

// ---- LTYPE ---------------------------------------------------------------------------------

// One element of a linetype pattern: a dash (positive length), a gap (negative) or a dot (0),
// optionally with a shape or a text drawn at it.
struct LinetypeDash {
  double length = 0;     // 49
  int16_t type = 0;      // 74: 1 rotation absolute, 2 text, 4 shape
  int16_t shape = 0;     // 75: shape number (0 for a text)
  Handle style = 0;      // 340: the STYLE holding the shape or the text's font
  double scale = 1;      // 46
  double rotation = 0;   // 50
  double xOffset = 0, yOffset = 0;  // 44, 45
  std::string text;      // 9
  bool operator==(const LinetypeDash&) const = default;
  // Whether the element carries the shape/text groups.
  bool embedded() const {
    return (type & 6) || shape || style || scale != 1 || rotation != 0 || xOffset != 0 || yOffset != 0 ||
           !text.empty();
  }
};

struct Linetype {
  std::string name;
  int16_t flags = 0;
  std::string description;     // 3
  int16_t alignment = 'A';     // 72
  int16_t count = 0;           // 73: kept equal to dashes.size()
  double patternLength = 0;    // 40
  std::vector<LinetypeDash> dashes;
  bool operator==(const Linetype&) const = default;
};

template <>
struct Description<Linetype> : DescriptionBase<Linetype> {
  using T = Linetype;
  static constexpr const char* names[] = {"LTYPE"};
  // Each 49 starts an element; the groups after it, up to the next 49, describe it.
  static void decodeExtra(const Object& o, T& v) {
    v.dashes.clear();
    for (const auto& t : o.body) {
      if (t.code == 49) {
        v.dashes.push_back({});
        v.dashes.back().length = asDouble(t);
        continue;
      }
      if (v.dashes.empty()) continue;
      LinetypeDash& d = v.dashes.back();
      switch (t.code) {
        case 74: d.type = int16_t(asInt(t)); break;
        case 75: d.shape = int16_t(asInt(t)); break;
        case 340: d.style = Handle(asInt(t)); break;
        case 46: d.scale = asDouble(t); break;
        case 50: d.rotation = asDouble(t); break;
        case 44: d.xOffset = asDouble(t); break;
        case 45: d.yOffset = asDouble(t); break;
        case 9: d.text = t.s; break;
        default: break;
      }
    }
    v.count = int16_t(v.dashes.size());
  }
  static void prepare(T& v) { v.count = int16_t(v.dashes.size()); }
  static void encodeExtra(const T& v, Tags& out) {
    if (tableviews::lastCode(out) != 40) return;
    const bool markers = tableviews::withMarkers(out);
    for (const auto& d : v.dashes) {
      out.push_back(Tag::real(49, d.length));
      if (!markers) continue;  // R12 knows the lengths only
      out.push_back(Tag::integer(74, d.type));
      if (!d.embedded()) continue;
      out.push_back(Tag::integer(75, d.shape));
      out.push_back(Tag::handle(340, d.style));
      out.push_back(Tag::real(46, d.scale));
      out.push_back(Tag::real(50, d.rotation));
      out.push_back(Tag::real(44, d.xOffset));
      out.push_back(Tag::real(45, d.yOffset));
      if ((d.type & 2) || !d.text.empty()) out.push_back(Tag::str(9, d.text));
    }
  }
  static std::vector<int> extraCodes() { return {49, 74, 75, 340, 46, 50, 44, 45, 9}; }
  static const std::vector<Attr<T>>& attrs() {
    static const char* const S = "AcDbLinetypeTableRecord";
    static const std::vector<Attr<T>> a = {KEL_EXTRA("AcDbSymbolTableRecord"),
                                           {S, 2, &T::name},
                                           {S, 70, &T::flags},
                                           {S, 3, &T::description},
                                           {S, 72, &T::alignment},
                                           {S, 73, &T::count},
                                           {S, 40, &T::patternLength},
                                           KEL_EXTRA("AcDbLinetypeTableRecord")};
    return a;
  }
};

// ---- STYLE ---------------------------------------------------------------------------------

struct TextStyle {
  std::string name;
  int16_t flags = 0;          // 1 shape file, 4 vertical text
  double fixedHeight = 0;     // 40: 0 when not fixed
  double widthFactor = 1;     // 41
  double oblique = 0;         // 50, degrees
  int16_t generation = 0;     // 71: 2 backwards, 4 upside down
  double lastHeight = 0;      // 42
  std::string font;           // 3: primary font file
  std::string bigFont;        // 4
  bool operator==(const TextStyle&) const = default;
};

template <>
struct Description<TextStyle> : DescriptionBase<TextStyle> {
  using T = TextStyle;
  static constexpr const char* names[] = {"STYLE"};
  static const std::vector<Attr<T>>& attrs() {
    static const char* const S = "AcDbTextStyleTableRecord";
    static const std::vector<Attr<T>> a = {
        KEL_EXTRA("AcDbSymbolTableRecord"), {S, 2, &T::name},   {S, 70, &T::flags},       {S, 40, &T::fixedHeight},
        {S, 41, &T::widthFactor},           {S, 50, &T::oblique}, {S, 71, &T::generation}, {S, 42, &T::lastHeight},
        {S, 3, &T::font},                   {S, 4, &T::bigFont}};
    return a;
  }
};

// ---- UCS -----------------------------------------------------------------------------------

struct UcsOrthographic {
  int16_t type = 0;  // 71: 1 top, 2 bottom, 3 front, 4 back, 5 left, 6 right
  Vec3 origin;       // 13
  bool operator==(const UcsOrthographic&) const = default;
};

struct Ucs {
  std::string name;
  int16_t flags = 0;
  Vec3 origin;                 // 10
  Vec3 xAxis{1, 0, 0};         // 11
  Vec3 yAxis{0, 1, 0};         // 12
  int16_t reserved = 0;        // 79: always 0
  double elevation = 0;        // 146
  Handle baseUcs = 0;          // 346
  std::vector<UcsOrthographic> orthographic;  // 71 with its 13 (a 71 alone: origin 0)
  bool operator==(const Ucs&) const = default;
};

template <>
struct Description<Ucs> : DescriptionBase<Ucs> {
  using T = Ucs;
  static constexpr const char* names[] = {"UCS"};
  static void decodeExtra(const Object& o, T& v) {
    v.baseUcs = Handle(o.integer(346));
    v.orthographic.clear();
    for (const auto& t : o.body) {
      if (t.code == 71) v.orthographic.push_back({int16_t(asInt(t)), {}});
      if (v.orthographic.empty()) continue;
      Vec3& p = v.orthographic.back().origin;
      if (t.code == 13) p.x = asDouble(t);
      else if (t.code == 23) p.y = asDouble(t);
      else if (t.code == 33) p.z = asDouble(t);
    }
  }
  static void encodeExtra(const T& v, Tags& out) {
    if (tableviews::lastCode(out) != 146) return;
    tableviews::putHandleIfSet(out, 346, v.baseUcs);
    for (const auto& u : v.orthographic) {
      out.push_back(Tag::integer(71, u.type));
      detail::putPoint(13, u.origin, out);
    }
  }
  static std::vector<int> extraCodes() { return {346, 71, 13, 23, 33}; }
  static const std::vector<Attr<T>>& attrs() {
    static const char* const S = "AcDbUCSTableRecord";
    static const std::vector<Attr<T>> a = {
        KEL_EXTRA("AcDbSymbolTableRecord"),
        {S, 2, &T::name},  {S, 70, &T::flags}, {S, 10, &T::origin}, {S, 11, &T::xAxis}, {S, 12, &T::yAxis},
        {S, 79, &T::reserved, 1015}, {S, 146, &T::elevation, 1015}, Attr<T>{S, 0, Member<T>{}, 1015}};
    return a;
  }
};

// ---- VIEW and VPORT ------------------------------------------------------------------------

// What VIEW and VPORT share after their own groups: the lighting, the ambient colour's true colour
// (421 in DXF; the DWG reader gives it as 420) and the pointers, written only when set.
struct ViewExtras {
  int32_t ambientTrueColor = -1;  // 421
  std::string ambientColorName;   // 431
  Handle background = 0;          // 332
  Handle shadePlot = 0;           // 333
  Handle liveSection = 0;         // 334
  Handle namedUcs = 0;            // 345
  Handle baseUcs = 0;             // 346
  Handle visualStyle = 0;         // 348
  Handle sun = 0;                 // 361
  bool operator==(const ViewExtras&) const = default;

  void decode(const Object& o) {
    ambientTrueColor = int32_t(o.integer(421, o.integer(420, -1)));
    ambientColorName = o.text(431);
    background = Handle(o.integer(332));
    shadePlot = Handle(o.integer(333));
    liveSection = Handle(o.integer(334));
    namedUcs = Handle(o.integer(345));
    baseUcs = Handle(o.integer(346));
    visualStyle = Handle(o.integer(348));
    sun = Handle(o.integer(361));
  }
  void encode(Tags& out) const {
    tableviews::putColorIfSet(out, 421, ambientTrueColor);
    if (!ambientColorName.empty()) out.push_back(Tag::str(431, ambientColorName));
    for (auto [code, h] : {std::pair{345, namedUcs}, {346, baseUcs}, {332, background}, {333, shadePlot},
                           {334, liveSection}, {348, visualStyle}, {361, sun}})
      tableviews::putHandleIfSet(out, code, h);
  }
  static std::vector<int> codes() { return {420, 421, 431, 332, 333, 334, 345, 346, 348, 361}; }
};

struct View {
  std::string name;
  int16_t flags = 0;              // 1 paper space
  double height = 1;              // 40
  double centerX = 0, centerY = 0;  // 10, 20 (DCS)
  double width = 1;               // 41
  Vec3 direction{0, 0, 1};        // 11: from the target
  Vec3 target;                    // 12
  double lensLength = 50;         // 42
  double frontClip = 0, backClip = 0;  // 43, 44
  double twist = 0;               // 50
  int16_t viewMode = 0;           // 71
  int16_t renderMode = 0;         // 281
  int16_t hasUcs = 0;             // 72
  int16_t cameraPlottable = 0;    // 73
  Vec3 ucsOrigin;                 // 110
  Vec3 ucsXAxis{1, 0, 0};         // 111
  Vec3 ucsYAxis{0, 1, 0};         // 112
  int16_t ucsOrthoType = 0;       // 79
  double ucsElevation = 0;        // 146
  int16_t defaultLighting = 1;    // 292
  int16_t lightingType = 1;       // 282
  double brightness = 0, contrast = 0;  // 141, 142
  int16_t ambientColor = 250;     // 63
  ViewExtras extras;
  bool operator==(const View&) const = default;
};

template <>
struct Description<View> : DescriptionBase<View> {
  using T = View;
  static constexpr const char* names[] = {"VIEW"};
  static void decodeExtra(const Object& o, T& v) { v.extras.decode(o); }
  static void encodeExtra(const T& v, Tags& out) {
    if (tableviews::afterLighting(out)) v.extras.encode(out);
  }
  static std::vector<int> extraCodes() { return ViewExtras::codes(); }
  static const std::vector<Attr<T>>& attrs() {
    static const char* const S = "AcDbViewTableRecord";
    static const std::vector<Attr<T>> a = {
        KEL_EXTRA("AcDbSymbolTableRecord"),
        {S, 2, &T::name},           {S, 70, &T::flags},         {S, 40, &T::height},
        {S, 10, &T::centerX},       {S, 20, &T::centerY},       {S, 41, &T::width},
        {S, 11, &T::direction},     {S, 12, &T::target},        {S, 42, &T::lensLength},
        {S, 43, &T::frontClip},     {S, 44, &T::backClip},      {S, 50, &T::twist},
        {S, 71, &T::viewMode},      {S, 281, &T::renderMode, 1015}, {S, 72, &T::hasUcs, 1015},
        {S, 73, &T::cameraPlottable, 1021},
        {S, 110, &T::ucsOrigin, 1015}, {S, 111, &T::ucsXAxis, 1015}, {S, 112, &T::ucsYAxis, 1015},
        {S, 79, &T::ucsOrthoType, 1015}, {S, 146, &T::ucsElevation, 1015},
        {S, 292, &T::defaultLighting, 1021}, {S, 282, &T::lightingType, 1021},
        {S, 141, &T::brightness, 1021}, {S, 142, &T::contrast, 1021}, {S, 63, &T::ambientColor, 1021},
        Attr<T>{S, 0, Member<T>{}, 1015}};
    return a;
  }
};

struct Vport {
  std::string name;
  int16_t flags = 0;
  double lowerLeftX = 0, lowerLeftY = 0;      // 10, 20
  double upperRightX = 1, upperRightY = 1;    // 11, 21
  double centerX = 0, centerY = 0;            // 12, 22 (DCS)
  double snapBaseX = 0, snapBaseY = 0;        // 13, 23
  double snapSpacingX = 1, snapSpacingY = 1;  // 14, 24
  double gridSpacingX = 0, gridSpacingY = 0;  // 15, 25
  Vec3 direction{0, 0, 1};                    // 16: from the target
  Vec3 target;                                // 17
  double height = 1;                          // 40
  double aspect = 1;                          // 41: width / height
  double lensLength = 50;                     // 42
  double frontClip = 0, backClip = 0;         // 43, 44
  double snapRotation = 0;                    // 50
  double twist = 0;                           // 51
  int16_t viewMode = 0;                       // 71
  int16_t circleZoom = 1000;                  // 72
  int16_t fastZoom = 1;                       // 73
  int16_t ucsIcon = 3;                        // 74
  int16_t snapOn = 0, gridOn = 0;             // 75, 76
  int16_t snapStyle = 0, snapIsoPair = 0;     // 77, 78
  int16_t renderMode = 0;                     // 281
  int16_t ucsPerViewport = 1;                 // 65
  Vec3 ucsOrigin;                             // 110
  Vec3 ucsXAxis{1, 0, 0};                     // 111
  Vec3 ucsYAxis{0, 1, 0};                     // 112
  int16_t ucsOrthoType = 0;                   // 79
  double ucsElevation = 0;                    // 146
  int16_t gridFlags = 0;                      // 60
  int16_t majorGridLines = 5;                 // 61
  int16_t defaultLighting = 1;                // 292
  int16_t lightingType = 1;                   // 282
  double brightness = 0, contrast = 0;        // 141, 142
  int16_t ambientColor = 250;                 // 63
  ViewExtras extras;
  bool operator==(const Vport&) const = default;
};

template <>
struct Description<Vport> : DescriptionBase<Vport> {
  using T = Vport;
  static constexpr const char* names[] = {"VPORT"};
  static void decodeExtra(const Object& o, T& v) { v.extras.decode(o); }
  static void encodeExtra(const T& v, Tags& out) {
    if (tableviews::afterLighting(out)) v.extras.encode(out);
  }
  static std::vector<int> extraCodes() { return ViewExtras::codes(); }
  static const std::vector<Attr<T>>& attrs() {
    static const char* const S = "AcDbViewportTableRecord";
    static const std::vector<Attr<T>> a = {
        KEL_EXTRA("AcDbSymbolTableRecord"),
        {S, 2, &T::name},            {S, 70, &T::flags},
        {S, 10, &T::lowerLeftX},     {S, 20, &T::lowerLeftY},     {S, 11, &T::upperRightX},
        {S, 21, &T::upperRightY},    {S, 12, &T::centerX},        {S, 22, &T::centerY},
        {S, 13, &T::snapBaseX},      {S, 23, &T::snapBaseY},      {S, 14, &T::snapSpacingX},
        {S, 24, &T::snapSpacingY},   {S, 15, &T::gridSpacingX},   {S, 25, &T::gridSpacingY},
        {S, 16, &T::direction},      {S, 17, &T::target},         {S, 40, &T::height},
        {S, 41, &T::aspect},         {S, 42, &T::lensLength},     {S, 43, &T::frontClip},
        {S, 44, &T::backClip},       {S, 50, &T::snapRotation},   {S, 51, &T::twist},
        {S, 71, &T::viewMode},       {S, 72, &T::circleZoom},     {S, 73, &T::fastZoom},
        {S, 74, &T::ucsIcon},        {S, 75, &T::snapOn},         {S, 76, &T::gridOn},
        {S, 77, &T::snapStyle},      {S, 78, &T::snapIsoPair},    {S, 281, &T::renderMode, 1015},
        {S, 65, &T::ucsPerViewport, 1015}, {S, 110, &T::ucsOrigin, 1015}, {S, 111, &T::ucsXAxis, 1015},
        {S, 112, &T::ucsYAxis, 1015}, {S, 79, &T::ucsOrthoType, 1015}, {S, 146, &T::ucsElevation, 1015},
        {S, 60, &T::gridFlags, 1021}, {S, 61, &T::majorGridLines, 1021},
        {S, 292, &T::defaultLighting, 1021}, {S, 282, &T::lightingType, 1021},
        {S, 141, &T::brightness, 1021}, {S, 142, &T::contrast, 1021}, {S, 63, &T::ambientColor, 1021},
        Attr<T>{S, 0, Member<T>{}, 1015}};
    return a;
  }
};

// ---- BLOCK, ENDBLK, SEQEND -----------------------------------------------------------------

struct BlockBegin {
  EntityCommon common;
  std::string name;         // 2
  int16_t flags = 0;        // 1 anonymous, 2 attributes, 4 xref, 8 overlay, 16 xref-dependent
  Vec3 base;                // 10
  std::string name3;        // 3: the name once more
  std::string xrefPath;     // 1
  std::string description;  // 4
  bool operator==(const BlockBegin&) const = default;
};

template <>
struct Description<BlockBegin> : DescriptionBase<BlockBegin> {
  using T = BlockBegin;
  static constexpr const char* names[] = {"BLOCK"};
  static void encodeExtra(const T& v, Tags& out) {
    if (!v.description.empty()) out.push_back(Tag::str(4, v.description));
  }
  static std::vector<int> extraCodes() { return {4}; }
  static void decodeExtra(const Object& o, T& v) { v.description = o.text(4); }
  static const std::vector<Attr<T>>& attrs() {
    static const char* const S = "AcDbBlockBegin";
    static const std::vector<Attr<T>> a = {{"AcDbEntity", 8, &T::common}, {S, 2, &T::name}, {S, 70, &T::flags},
                                           {S, 10, &T::base},             {S, 3, &T::name3}, {S, 1, &T::xrefPath},
                                           KEL_EXTRA("AcDbBlockBegin")};
    return a;
  }
};

struct BlockEnd {
  EntityCommon common;
  bool operator==(const BlockEnd&) const = default;
};

template <>
struct Description<BlockEnd> : DescriptionBase<BlockEnd> {
  using T = BlockEnd;
  static constexpr const char* names[] = {"ENDBLK"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbEntity", 8, &T::common}, KEL_EXTRA("AcDbBlockEnd")};
    return a;
  }
};

struct SeqEnd {
  EntityCommon common;
  bool operator==(const SeqEnd&) const = default;
};

template <>
struct Description<SeqEnd> : DescriptionBase<SeqEnd> {
  using T = SeqEnd;
  static constexpr const char* names[] = {"SEQEND"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbEntity", 8, &T::common}};
    return a;
  }
};

// ---- POLYLINE, VERTEX ----------------------------------------------------------------------

// The subclass of a POLYLINE and of a VERTEX follows from its flags, so the view keeps only the
// flags: the hook reads the groups under whichever marker the record has and writes the marker
// the flags call for.
struct Polyline {
  EntityCommon common;
  int16_t vertexFollow = 1;   // 66
  Vec3 origin;                // 10: x and y 0, z the elevation
  double thickness = 0;       // 39
  int16_t flags = 0;          // 70: 1 closed, 8 3D, 16 mesh, 64 polyface, ...
  double startWidth = 0, endWidth = 0;  // 40, 41: default widths
  int16_t meshM = 0, meshN = 0;         // 71, 72 (polyface: vertex and face counts)
  int16_t smoothM = 0, smoothN = 0;     // 73, 74
  int16_t curveType = 0;                // 75: 5 quadratic, 6 cubic, 8 Bezier
  Vec3 extrusion{0, 0, 1};              // 210
  bool operator==(const Polyline&) const = default;

  const char* marker() const {
    return (flags & 8) ? "AcDb3dPolyline" : (flags & 16) ? "AcDbPolygonMesh" : (flags & 64) ? "AcDbPolyFaceMesh"
                                                                                            : "AcDb2dPolyline";
  }
};

template <>
struct Description<Polyline> : DescriptionBase<Polyline> {
  using T = Polyline;
  static constexpr const char* names[] = {"POLYLINE"};
  static void decodeExtra(const Object& o, T& v) {
    tableviews::forEachOwnGroup(o, [&](const Tag& t) {
      const double d = asDouble(t);
      const int16_t i = int16_t(asInt(t));
      switch (t.code) {
        case 66: v.vertexFollow = i; break;
        case 10: v.origin.x = d; break;
        case 20: v.origin.y = d; break;
        case 30: v.origin.z = d; break;
        case 39: v.thickness = d; break;
        case 70: v.flags = i; break;
        case 40: v.startWidth = d; break;
        case 41: v.endWidth = d; break;
        case 71: v.meshM = i; break;
        case 72: v.meshN = i; break;
        case 73: v.smoothM = i; break;
        case 74: v.smoothN = i; break;
        case 75: v.curveType = i; break;
        case 210: v.extrusion.x = d; break;
        case 220: v.extrusion.y = d; break;
        case 230: v.extrusion.z = d; break;
        default: break;
      }
    });
  }
  static void encodeExtra(const T& v, Tags& out) {
    if (tableviews::withMarkers(out)) out.push_back(Tag::str(100, v.marker()));
    out.push_back(Tag::integer(66, v.vertexFollow));
    detail::putPoint(10, v.origin, out);
    if (v.thickness != 0) out.push_back(Tag::real(39, v.thickness));
    out.push_back(Tag::integer(70, v.flags));
    if (v.startWidth != 0 || v.endWidth != 0) {
      out.push_back(Tag::real(40, v.startWidth));
      out.push_back(Tag::real(41, v.endWidth));
    }
    for (auto [code, n] : {std::pair{71, v.meshM}, {72, v.meshN}, {73, v.smoothM}, {74, v.smoothN}, {75, v.curveType}})
      if (n) out.push_back(Tag::integer(code, n));
    if (v.extrusion != Vec3{0, 0, 1}) detail::putPoint(210, v.extrusion, out);
  }
  static std::vector<int> extraCodes() {
    return {66, 10, 20, 30, 39, 70, 40, 41, 71, 72, 73, 74, 75, 210, 220, 230};
  }
  static const std::vector<Attr<T>>& attrs() {
    // The hook shares the entity part's subclass, so encode writes no marker of its own for it.
    static const std::vector<Attr<T>> a = {{"AcDbEntity", 8, &T::common}, KEL_EXTRA("AcDbEntity")};
    return a;
  }
};

struct Vertex {
  EntityCommon common;
  Vec3 position;              // 10
  double startWidth = 0, endWidth = 0;  // 40, 41
  double bulge = 0;           // 42
  int16_t flags = 0;          // 70: 1 extra, 2 tangent, 8 spline, 16 frame, 32 3D, 64 mesh, 128 polyface
  double tangent = 0;         // 50
  int16_t face[4] = {0, 0, 0, 0};  // 71..74: vertex numbers of a polyface face (negative: edge hidden)
  int32_t id = 0;             // 91
  bool operator==(const Vertex&) const = default;

  // The face record of a polyface mesh has one marker; other vertices two.
  bool faceRecord() const { return (flags & 128) && !(flags & 64); }
  const char* marker() const {
    return faceRecord()     ? "AcDbFaceRecord"
           : (flags & 32)   ? "AcDb3dPolylineVertex"
           : (flags & 128)  ? "AcDbPolyFaceMeshVertex"
           : (flags & 64)   ? "AcDbPolygonMeshVertex"
                            : "AcDb2dVertex";
  }
};

template <>
struct Description<Vertex> : DescriptionBase<Vertex> {
  using T = Vertex;
  static constexpr const char* names[] = {"VERTEX"};
  static void decodeExtra(const Object& o, T& v) {
    tableviews::forEachOwnGroup(o, [&](const Tag& t) {
      const double d = asDouble(t);
      switch (t.code) {
        case 10: v.position.x = d; break;
        case 20: v.position.y = d; break;
        case 30: v.position.z = d; break;
        case 40: v.startWidth = d; break;
        case 41: v.endWidth = d; break;
        case 42: v.bulge = d; break;
        case 70: v.flags = int16_t(asInt(t)); break;
        case 50: v.tangent = d; break;
        case 71: case 72: case 73: case 74: v.face[t.code - 71] = int16_t(asInt(t)); break;
        case 91: v.id = int32_t(asInt(t)); break;
        default: break;
      }
    });
  }
  static void encodeExtra(const T& v, Tags& out) {
    if (tableviews::withMarkers(out)) {
      if (!v.faceRecord()) out.push_back(Tag::str(100, "AcDbVertex"));
      out.push_back(Tag::str(100, v.marker()));
    }
    detail::putPoint(10, v.position, out);
    if (v.startWidth != 0 || v.endWidth != 0) {
      out.push_back(Tag::real(40, v.startWidth));
      out.push_back(Tag::real(41, v.endWidth));
    }
    if (v.bulge != 0) out.push_back(Tag::real(42, v.bulge));
    out.push_back(Tag::integer(70, v.flags));
    if (v.tangent != 0 || (v.flags & 2)) out.push_back(Tag::real(50, v.tangent));
    for (int k = 0; k < 4; ++k)
      if (v.face[k]) out.push_back(Tag::integer(71 + k, v.face[k]));
    if (v.id) out.push_back(Tag::integer(91, v.id));
  }
  static std::vector<int> extraCodes() { return {10, 20, 30, 40, 41, 42, 70, 50, 71, 72, 73, 74, 91}; }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbEntity", 8, &T::common}, KEL_EXTRA("AcDbEntity")};
    return a;
  }
};

// ---- SHAPE ---------------------------------------------------------------------------------

struct Shape {
  EntityCommon common;
  double thickness = 0;     // 39
  Vec3 position;            // 10
  double size = 1;          // 40
  std::string name;         // 2
  double rotation = 0;      // 50, degrees
  double xScale = 1;        // 41
  double oblique = 0;       // 51, degrees
  Vec3 extrusion{0, 0, 1};  // 210
  bool operator==(const Shape&) const = default;
};

template <>
struct Description<Shape> : DescriptionBase<Shape> {
  using T = Shape;
  static constexpr const char* names[] = {"SHAPE"};
  static const std::vector<Attr<T>>& attrs() {
    static const char* const S = "AcDbShape";
    static const std::vector<Attr<T>> a = {
        {"AcDbEntity", 8, &T::common}, {S, 39, &T::thickness}, {S, 10, &T::position}, {S, 40, &T::size},
        {S, 2, &T::name},              {S, 50, &T::rotation},  {S, 41, &T::xScale},   {S, 51, &T::oblique},
        {S, 210, &T::extrusion}};
    return a;
  }
};

inline void addTableViews(std::vector<ViewInfo>& out) {
  addView<AppId>(out);
  addView<BlockRecord>(out);
  addView<DimStyle>(out);
  addView<Layer>(out);
  addView<Linetype>(out);
  addView<TextStyle>(out);
  addView<Ucs>(out);
  addView<View>(out);
  addView<Vport>(out);
  addView<BlockBegin>(out);
  addView<BlockEnd>(out);
  addView<SeqEnd>(out);
  addView<Polyline>(out);
  addView<Vertex>(out);
  addView<Shape>(out);
}

}  // namespace kel::engine
