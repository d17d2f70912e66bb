// Descriptions of the render family (family_render.cpp): lights, the sun, helixes, visual styles
// and materials. Conventions as in objects_types.h: each value is named by the DXF group code it
// becomes; code 0 marks a value the record's DXF form spells differently, which a writer takes
// from the type's preparation step in the order the description asks for it.
#pragma once
#include <array>
#include <cstddef>
#include <string>

#include "engine/dwg/objects_types.h"
#include "engine/dwg/types_hatch.h"

namespace kel::dwg::types {

// ---- colours ---------------------------------------------------------------------------------

// A colour as these records' DXF forms give it: the index in `code` and a true colour in
// `rgbCode` (421..425 for the colours 63..67, where most records use 420). From R2004 on the
// stored index is often 0 and the colour word says what the colour is: the index then comes from
// the word (257 for "no colour"; an RGB colour gets the nearest basic colour, as DXF always names
// an index). The writer stores the index; a true colour under 421..425 is not carried back (the
// index keeps the hue close).
template <class IO>
int renderColor(IO& io, int code, int rgbCode) {
  if constexpr (IO::reading) {
    auto& s = io.streams();
    CmColor c = s.data.CMC(s.separateStrings ? &s.strings : nullptr);
    int index = c.index;
    const uint32_t top = c.rgb >> 24;
    if (io.since(V::R2004) && index == 0) {
      if (top == 0xC0) index = 256;
      else if (top == 0xC3) index = int(c.rgb & 0xFFFF);
      else if (top == 0xC8) index = 257;  // no colour
      else if (top == 0xC2) index = hatch::nearestBasicColor(c.rgb & 0xFFFFFF);
    }
    io.implied(Tag::integer(code, index));
    if (io.since(V::R2004) && top == 0xC2) io.implied(Tag::integer(rgbCode, int64_t(c.rgb & 0xFFFFFF)));
    if (io.since(V::R2004) && !c.name.empty()) {
      std::string name = utf16ToUtf8(c.name);
      if (!c.bookName.empty()) name = utf16ToUtf8(c.bookName) + "$" + name;
      io.implied(Tag::str(430, name));
    }
    return index;
  } else {
    (void)rgbCode;
    return io.CMC(code);
  }
}

// ---- lights -----------------------------------------------------------------------------------

// The data bits a reading description has left before the string area (R2007+) or the handle
// stream. `stringsStart` is where the string stream began before the description read any text.
template <class IO>
size_t dataBitsLeft(IO& io, size_t stringsStart) {
  if constexpr (IO::reading) {
    auto& s = io.streams();
    const size_t at = s.data.positionBits();
    if (!s.separateStrings) return s.data.remainingBits();
    if (s.strings.sizeBits() > 0 && stringsStart >= at) return stringsStart - at;
    // No string area: only the flag bit that says so follows the data.
    return s.data.remainingBits() > 0 ? s.data.remainingBits() - 1 : 0;
  } else {
    (void)io;
    (void)stringsStart;
    return 0;
  }
}

template <class IO>
size_t stringsStartOf(IO& io) {
  if constexpr (IO::reading) {
    return io.streams().strings.positionBits();
  } else {
    (void)io;
    return 0;
  }
}

// Spot, point and distant lights. Photometric lights (drawings whose lighting units are
// photometric) carry a flag and, when it is set, the lamp and web data after the shadow values.
// A reader cannot see the drawing's lighting units from the record, so the flag is read when the
// record still holds data after the shadow values. The writer always stores the flag (set for a
// record with photometric values, group 295): readers of other drawings skip the spare bit.
template <class IO>
void visitLIGHT(IO& io) {
  const size_t stringsStart = stringsStartOf(io);
  io.marker("AcDbLight");
  io.BL(90);  // class version
  io.T(1);
  io.BL(70);  // kind: distant, point, spot
  io.B(290);  // on
  renderColor(io, 63, 421);
  io.B(291);  // glyph plotted
  io.BD(40);  // intensity
  io.BD3(10);
  io.BD3(11);  // target
  io.BL(72);   // attenuation
  io.B(292);   // attenuation limits used
  io.BD(41);
  io.BD(42);
  io.BD(50);  // hotspot and falloff angles
  io.BD(51);
  io.B(293);  // casts shadows
  io.BL(73);  // shadow kind
  io.BS(91);  // shadow map size
  io.RC(280);  // shadow softness
  bool photometric = false;
  if constexpr (IO::reading) {
    photometric = dataBitsLeft(io, stringsStart) >= 1 && io.B(0);
    if (photometric) io.implied(Tag::integer(295, 1));
  } else {
    photometric = io.B(295);
  }
  if (!photometric) return;
  io.B(290);  // has a web file
  io.T(300);
  io.BS(70);  // intensity method
  io.BD(40);
  io.BD(41);  // illuminance distance
  io.BS(71);  // lamp colour kind
  io.BD(42);  // colour temperature
  io.BS(72);  // colour preset
  io.BD3(43);  // web rotation
  io.BS(73);   // shape of an extended light
  io.BD(46);
  io.BD(47);
  io.BD(48);
  io.BS(74);  // web file kind
  io.BS(75);  // symmetry
  io.BS(76);  // target grip
  io.BD(49);  // web flux
  for (int code = 50; code <= 54; ++code) io.BD(code);
  io.BS(77);  // glyph display
}

// The sun of a viewport: on, colour, intensity, shadows, the date and time it shines at.
template <class IO>
void visitSUN(IO& io) {
  io.marker("AcDbSun");
  io.BL(90);
  io.B(290);
  renderColor(io, 63, 421);
  io.BD(40);
  io.B(291);  // shadows on
  io.BL(91);  // Julian day
  io.BL(92);  // milliseconds into the day
  io.B(292);  // daylight saving time
  io.BL(70);  // shadow kind
  io.BS(71);  // shadow map size
  io.RC(280);  // shadow softness
}

// ---- helix ------------------------------------------------------------------------------------

// A spline (control points of the curve) followed by the helix that made it.
template <class IO>
void visitHELIX(IO& io) {
  visitSPLINE(io);
  if (io.failed()) return;
  io.marker("AcDbHelix");
  io.BL(90);  // major and maintenance versions
  io.BL(91);
  io.BD3(10);  // axis base point
  io.BD3(11);  // start point
  io.BD3(12);  // axis direction
  io.BD(40);   // radius
  io.BD(41);   // turns
  io.BD(42);   // turn height
  io.B(290);   // turns clockwise
  io.RC(280);  // what stays fixed when edited: turn height, turns or height
}

// ---- visual styles ------------------------------------------------------------------------------

// From R2010 a visual style stores its settings as properties, each value followed by a flag
// (176) that says whether the style sets it. R2010 has the first 28, R2013 on the full 58.
enum class PropKind : uint8_t { Bool, Short, Long, Real, Color, Text };

struct VisualProp {
  PropKind kind;
  int code2010;  // the group of the R2010 form (0: not in R2010)
};

inline constexpr int kVisualProps2010 = 28;
inline constexpr int kVisualProps = 58;

inline constexpr std::array<VisualProp, kVisualProps> kVisualPropTable = {{
    {PropKind::Long, 71},  {PropKind::Long, 72},  {PropKind::Long, 73},   {PropKind::Short, 90},
    {PropKind::Real, 40},  {PropKind::Real, 41},  {PropKind::Color, 63},  {PropKind::Long, 74},
    {PropKind::Long, 91},  {PropKind::Color, 64}, {PropKind::Color, 65},  {PropKind::Long, 75},
    {PropKind::Long, 175}, {PropKind::Real, 42},  {PropKind::Long, 92},   {PropKind::Color, 66},
    {PropKind::Real, 43},  {PropKind::Long, 76},  {PropKind::Long, 77},   {PropKind::Long, 78},
    {PropKind::Color, 67}, {PropKind::Long, 79},  {PropKind::Long, 170},  {PropKind::Long, 171},
    {PropKind::Bool, 290}, {PropKind::Long, 93},  {PropKind::Real, 44},   {PropKind::Long, 173},
    // R2013 on: nine switches, then numbers, colours, the stroke texture and more numbers.
    {PropKind::Bool, 0},   {PropKind::Bool, 0},   {PropKind::Bool, 0},    {PropKind::Bool, 0},
    {PropKind::Bool, 0},   {PropKind::Bool, 0},   {PropKind::Bool, 0},    {PropKind::Bool, 0},
    {PropKind::Bool, 0},   {PropKind::Long, 0},   {PropKind::Real, 0},    {PropKind::Real, 0},
    {PropKind::Long, 0},   {PropKind::Color, 0},  {PropKind::Long, 0},    {PropKind::Long, 0},
    {PropKind::Color, 0},  {PropKind::Bool, 0},   {PropKind::Long, 0},    {PropKind::Long, 0},
    {PropKind::Long, 0},   {PropKind::Bool, 0},   {PropKind::Long, 0},    {PropKind::Color, 0},
    {PropKind::Real, 0},   {PropKind::Long, 0},   {PropKind::Text, 0},    {PropKind::Bool, 0},
    {PropKind::Real, 0},   {PropKind::Real, 0},
}};

// The group a property's value has in the R2013 form.
constexpr int visualPropCode(PropKind k) {
  switch (k) {
    case PropKind::Bool: return 290;
    case PropKind::Real: return 40;
    case PropKind::Color: return 62;
    case PropKind::Text: return 1;
    default: return 90;
  }
}

template <class IO>
void visualProp(IO& io, PropKind kind, int code) {
  switch (kind) {
    case PropKind::Bool: io.B(code); break;
    case PropKind::Short: io.BS(code); break;
    case PropKind::Long: io.BL(code); break;
    case PropKind::Real: io.BD(code); break;
    case PropKind::Color: renderColor(io, code, code == 62 ? 420 : code + 358); break;
    case PropKind::Text: io.T(code); break;
  }
}

// Before R2010 the settings are fixed fields in an order of their own; DXF lists them as below.
// Only a reader meets this layout (the writer stores the R2013 one).
template <class IO>
void visualStyleBefore2010(IO& io, size_t stringsStart) {
  io.BL(71);  // lighting model, quality, colour mode
  io.BL(72);
  io.BL(73);
  const size_t modifierAt = io.out().size();
  io.BD(40);  // opacity, specular
  io.BD(41);
  io.implied(Tag::integer(62, 5));
  renderColor(io, 63, 421);  // mono colour
  const int modifier = io.BL(0);
  io.BL(74);  // edge model, style
  io.BL(91);
  renderColor(io, 64, 422);
  renderColor(io, 65, 423);
  io.BL(75);  // obscured linetype
  const size_t intersectionAt = io.out().size();
  io.BD(42);  // crease angle
  io.BL(92);
  renderColor(io, 66, 424);
  io.BD(43);
  io.BS(76);
  io.BS(77);
  io.BL(78);
  renderColor(io, 67, 425);
  io.BS(79);
  io.RC(170);
  io.BS(171);
  io.B(290);
  io.BS(174);
  const int intersection = io.BS(0);
  io.BL(93);
  io.implied(Tag::real(44, double(io.BL(0))));  // brightness, stored whole
  // DXF puts the face modifier after the colour mode and the intersection linetype after the
  // obscured one.
  Tags& b = io.out();
  if (intersectionAt <= b.size()) b.insert(b.begin() + std::ptrdiff_t(intersectionAt), Tag::integer(175, intersection));
  if (modifierAt <= b.size()) b.insert(b.begin() + std::ptrdiff_t(modifierAt), Tag::integer(90, modifier));
  // Older records end here; the shadow kind, R2007's extra value and the internal flag follow
  // when present.
  if (io.failed() || dataBitsLeft(io, stringsStart) < 2) return;
  io.BL(173);
  double extra = 0;
  if (io.since(V::R2007)) extra = io.BD(0);
  io.B(291);  // internal
  io.implied(Tag::real(45, extra));  // DXF gives it for every release
}

template <class IO>
void visitVISUALSTYLE(IO& io) {
  constexpr bool r = IO::reading;
  const size_t stringsStart = stringsStartOf(io);
  io.marker("AcDbVisualStyle");
  io.T(2);
  io.BL(70);  // the style's kind
  if (io.until(V::R2007)) {
    if constexpr (r) visualStyleBefore2010(io, stringsStart);
    else io.fail();
    return;
  }
  // The lighting model version: DXF's R2013 form counts it one higher than the file stores it.
  const int model = io.BS(0);
  io.implied(Tag::integer(177, model + (io.since(V::R2013) ? 1 : 0)));
  io.B(291);  // internal
  if (io.until(V::R2010)) {
    for (int i = 0; i < kVisualProps2010 && !io.failed(); ++i) {
      visualProp(io, kVisualPropTable[size_t(i)].kind, kVisualPropTable[size_t(i)].code2010);
      io.BS(176);
    }
    return;
  }
  io.implied(Tag::integer(70, kVisualProps));
  for (int i = 0; i < kVisualProps && !io.failed(); ++i) {
    const PropKind k = kVisualPropTable[size_t(i)].kind;
    visualProp(io, k, r ? visualPropCode(k) : 0);
    io.BS(r ? 176 : 0);
  }
}

// ---- materials --------------------------------------------------------------------------------

// The groups of one map of a material: blend factor, source, file name, projection, tiling,
// automatic transform and the 16 values of its matrix.
struct MaterialMapCodes {
  int blend, source, file, projection, tiling, autoTransform, matrix;
};

inline constexpr MaterialMapCodes kDiffuseMap{42, 72, 3, 73, 74, 75, 43};
inline constexpr MaterialMapCodes kSpecularMap{46, 77, 4, 78, 79, 170, 47};
inline constexpr MaterialMapCodes kReflectionMap{48, 171, 6, 172, 173, 174, 49};
inline constexpr MaterialMapCodes kOpacityMap{141, 175, 7, 176, 177, 178, 142};
inline constexpr MaterialMapCodes kBumpMap{143, 179, 8, 270, 271, 272, 144};
inline constexpr MaterialMapCodes kRefractionMap{146, 273, 9, 274, 275, 276, 147};

// A colour of a material: whether it overrides the object's colour, a factor, and the colour
// itself (a colour word) when it does. The flag and factor come from the preparation step when
// writing (DXF leaves out the defaults: not overriding, factor 1).
template <class IO>
void materialColor(IO& io, int flagCode, int factorCode, int rgbCode) {
  const int flag = io.RC(0);
  const double factor = io.BD(0);
  io.implied(Tag::integer(flagCode, flag));
  io.implied(Tag::real(factorCode, factor));
  if (flag == 1) io.BL(rgbCode);
}

// A map: stored as blend, mapper (projection, tiling, transform, matrix), then its source and
// the file (source 1) or a procedural texture (source 2); DXF lists blend, source and file before
// the mapper. Of the procedural textures the wood and marble ones are read; the generic kind (a
// nested list of textures) is not. The writer stores maps of scene and file sources only.
template <class IO>
void materialMap(IO& io, const MaterialMapCodes& c) {
  constexpr bool r = IO::reading;
  const double blend = io.BD(0);
  const int projection = io.RC(0), tiling = io.RC(0), autoTransform = io.RC(0);
  std::array<double, 16> matrix{};
  for (double& m : matrix) m = io.BD(0);
  const int source = io.RC(0);
  io.implied(Tag::real(c.blend, blend));
  io.implied(Tag::integer(c.source, source));
  if (source == 1) {
    io.T(c.file);
  } else if (source == 2) {
    if constexpr (r) {
      const int mode = io.BS(277);
      if (mode == 0) {
        materialColor(io, 278, 460, 95);
        materialColor(io, 279, 461, 96);
      } else if (mode == 1) {
        materialColor(io, 280, 465, 97);
        materialColor(io, 281, 466, 98);
      } else {
        return io.fail();
      }
    } else {
      return io.fail();
    }
  }
  io.implied(Tag::integer(c.projection, projection));
  io.implied(Tag::integer(c.tiling, tiling));
  io.implied(Tag::integer(c.autoTransform, autoTransform));
  for (double m : matrix) io.implied(Tag::real(c.matrix, m));
}

// A render material: name, description, the ambient, diffuse and specular colours, six maps
// with the values between them, and from R2007 the translucence, self-illumination,
// reflectivity, illumination model, channels and mode. Later releases store more after these
// (the advanced material values); the reader stops before them and the writer leaves them out.
template <class IO>
void visitMATERIAL(IO& io) {
  io.marker("AcDbMaterial");
  io.T(1);
  io.T(2);
  materialColor(io, 70, 40, 90);
  materialColor(io, 71, 41, 91);
  materialMap(io, kDiffuseMap);
  materialColor(io, 76, 45, 92);
  size_t glossAt = 0;
  if constexpr (IO::reading) glossAt = io.out().size();
  materialMap(io, kSpecularMap);
  const double gloss = io.BD(0);
  if constexpr (IO::reading) {
    // DXF gives the gloss before the specular map.
    if (glossAt <= io.out().size()) io.out().insert(io.out().begin() + std::ptrdiff_t(glossAt), Tag::real(44, gloss));
  } else {
    (void)glossAt;
    (void)gloss;
  }
  materialMap(io, kReflectionMap);
  io.implied(Tag::real(140, io.BD(0)));  // opacity
  materialMap(io, kOpacityMap);
  materialMap(io, kBumpMap);
  io.implied(Tag::real(145, io.BD(0)));  // refraction index
  materialMap(io, kRefractionMap);
  if (io.since(V::R2007)) {
    for (int code : {148, 149, 468}) io.implied(Tag::real(code, io.BD(0)));
    for (int code : {93, 94, 282}) io.implied(Tag::integer(code, io.BL(0)));
  }
}

}  // namespace kel::dwg::types
