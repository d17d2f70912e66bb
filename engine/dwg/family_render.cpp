// The render family of types (see families.h): lights, the sun, helixes, visual styles and
// materials. The descriptions are in types_render.h; the preparation steps below supply what
// DXF spells differently.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "engine/dwg/families.h"
#include "engine/dwg/types_render.h"

namespace kel::dwg {

namespace {

using namespace types;
using engine::ValueKind;
using K = RecordKind;

// The spline part of a helix, counted within AcDbSpline: the helix part reuses its codes.
// A helix is always given by its control points (fit data is not kept for one).
void prepHELIX(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  const auto part = subclassRange(b, "AcDbSpline");
  const int64_t flags = intIn(b, part, 70, 0);
  const size_t nk = countIn(b, part, 40), nc = countIn(b, part, 10), nw = countIn(b, part, 41);
  w.pushInt(1);  // scenario: control points
  if (w.since(Version::R2013)) {
    w.pushInt(0);
    w.pushInt(15);
  }
  w.pushInt(intIn(b, part, 71, 3));
  w.pushInt((flags & 4) ? 1 : 0);
  w.pushInt((flags & 1) ? 1 : 0);
  w.pushInt((flags & 2) ? 1 : 0);
  w.pushReal(realIn(b, part, 42, 1e-10));
  w.pushReal(realIn(b, part, 43, 1e-10));
  w.pushInt(int64_t(nk));
  w.pushInt(int64_t(nc));
  w.pushInt(nw == nc && nc > 0 ? 1 : 0);
}

// What the R2013 properties of a visual style are when the record's DXF form predates them (the
// values the reference application gives its own styles).
struct PropValue {
  double number;
  const char* text;
  int set;
};
constexpr PropValue kLaterPropDefaults[kVisualProps - kVisualProps2010] = {
    {1, nullptr, 1},  {1, nullptr, 1},  {0, nullptr, 1},  {0, nullptr, 1}, {0, nullptr, 1},
    {0, nullptr, 1},  {0, nullptr, 1},  {0, nullptr, 1},  {0, nullptr, 1}, {50, nullptr, 1},
    {0, nullptr, 1},  {1, nullptr, 1},  {0, nullptr, 1},  {18, nullptr, 1}, {50, nullptr, 1},
    {3, nullptr, 1},  {5, nullptr, 1},  {0, nullptr, 1},  {50, nullptr, 1}, {50, nullptr, 1},
    {50, nullptr, 1}, {0, nullptr, 1},  {50, nullptr, 1}, {256, nullptr, 0}, {1, nullptr, 0},
    {2, nullptr, 1},  {0, "strokes_ogs.tif", 1}, {0, nullptr, 1}, {1, nullptr, 1}, {1, nullptr, 1},
};

void pushProp(ObjectWriter& w, PropKind kind, const Tag* value, double dflt, const char* dfltText) {
  switch (kind) {
    case PropKind::Text:
      w.pushText(value && value->kind == ValueKind::String ? value->s : std::string(dfltText ? dfltText : ""));
      break;
    case PropKind::Real:
      w.pushReal(value ? (value->kind == ValueKind::String ? std::atof(value->s.c_str()) : engine::asDouble(*value))
                       : dflt);
      break;
    default:
      w.pushInt(value ? (value->kind == ValueKind::String ? std::atoll(value->s.c_str()) : engine::asInt(*value))
                      : int64_t(dflt));
      break;
  }
}

// The 58 properties (value, then whether the style sets it) from any of the three DXF forms: the
// R2013 list (a second 70 giving the count, then value/176 pairs in order), the R2010 one (each
// property under its own group, followed by its 176) or the older one (the same groups, no 176).
// Properties the form lacks get the reference application's values.
void prepVISUALSTYLE(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  const auto part = subclassRange(b, "AcDbVisualStyle");
  size_t listAt = 0;
  for (size_t i = part.first, seen = 0; i < part.second; ++i)
    if (b[i].code == 70 && ++seen == 2) listAt = i + 1;
  // The lighting model version as the file stores it: DXF's R2013 form counts one higher.
  const int64_t model = intIn(b, part, 177, listAt ? 3 : 2);
  w.pushInt(std::max<int64_t>(0, model - (listAt ? 1 : 0)));
  std::vector<std::pair<const Tag*, int>> props;  // value, set flag
  props.reserve(kVisualProps);
  if (listAt) {
    for (size_t i = listAt; i < part.second && props.size() < size_t(kVisualProps); ++i) {
      const int c = b[i].code;
      if (c == 176 || c == 420 || c == 421 || c == 430) continue;
      int set = 1;
      size_t j = i + 1;
      while (j < part.second && (b[j].code == 420 || b[j].code == 421 || b[j].code == 430)) ++j;
      if (j < part.second && b[j].code == 176) set = int(engine::asInt(b[j]));
      props.push_back({&b[i], set});
    }
  } else {
    for (int i = 0; i < kVisualProps2010; ++i) {
      const int code = kVisualPropTable[size_t(i)].code2010;
      const Tag* t = nullptr;
      int set = 1;
      for (size_t j = part.first; j < part.second; ++j)
        if (b[j].code == code) {
          t = &b[j];
          size_t k = j + 1;
          while (k < part.second && (b[k].code == 420 || b[k].code == 421 || b[k].code == 430)) ++k;
          if (k < part.second && b[k].code == 176) set = int(engine::asInt(b[k]));
          break;
        }
      props.push_back({t, set});
    }
  }
  for (int i = 0; i < kVisualProps; ++i) {
    const PropKind kind = kVisualPropTable[size_t(i)].kind;
    const bool later = i >= kVisualProps2010;
    const PropValue dflt = later ? kLaterPropDefaults[i - kVisualProps2010] : PropValue{0, nullptr, 1};
    const Tag* value = size_t(i) < props.size() ? props[size_t(i)].first : nullptr;
    if (i == 4 && !listAt && value) {
      // The older forms mark an opacity that is off by its sign; the later ones keep the value
      // and say whether it applies through the face modifier.
      w.pushReal(std::fabs(engine::asDouble(*value)));
      w.pushInt(props[size_t(i)].second);
      continue;
    }
    pushProp(w, kind, value, dflt.number, dflt.text);
    w.pushInt(size_t(i) < props.size() && value ? props[size_t(i)].second : dflt.set);
  }
}

// The flags, factors and other values of a material DXF leaves out at their defaults, in
// description order: a map's blend factor 1, projection 2, tiling 1, automatic transform 1 (what
// the reference application's files store when their DXF gives none), an image file as source
// (the refraction map: the scene); gloss 0.5, opacity 1, refraction index 1. A procedural texture
// (source 2) is written as a scene map: the writer does not store texture data.
void prepMATERIAL(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  const auto part = subclassRange(b, "AcDbMaterial");
  auto color = [&](int flagCode, int factorCode) {
    w.pushInt(intIn(b, part, flagCode, 0));
    w.pushReal(realIn(b, part, factorCode, 1.0));
  };
  auto map = [&](const MaterialMapCodes& c) {
    w.pushReal(realIn(b, part, c.blend, 1.0));
    w.pushInt(intIn(b, part, c.projection, 2));
    w.pushInt(intIn(b, part, c.tiling, 1));
    w.pushInt(intIn(b, part, c.autoTransform, 1));
    // The matrix: the identity unless the record gives all 16 values.
    std::vector<double> matrix;
    for (size_t i = part.first; i < part.second; ++i)
      if (b[i].code == c.matrix) matrix.push_back(engine::asDouble(b[i]));
    for (size_t i = 0; i < 16; ++i) w.pushReal(matrix.size() == 16 ? matrix[i] : (i % 5 == 0 ? 1.0 : 0.0));
    const int64_t source = intIn(b, part, c.source, c.source == kRefractionMap.source ? 0 : 1);
    w.pushInt(source == 2 ? 0 : source);
  };
  color(70, 40);
  color(71, 41);
  map(kDiffuseMap);
  color(76, 45);
  map(kSpecularMap);
  w.pushReal(realIn(b, part, 44, 0.5));
  map(kReflectionMap);
  w.pushReal(realIn(b, part, 140, 1.0));
  map(kOpacityMap);
  map(kBumpMap);
  w.pushReal(realIn(b, part, 145, 1.0));
  map(kRefractionMap);
  for (int code : {148, 149, 468}) w.pushReal(realIn(b, part, code, 0));
  for (int code : {93, 94, 282}) w.pushInt(intIn(b, part, code, 0));
}

#define KEL_R(num, name, kind, prep, cpp, ...) \
  FamilyType { num, #name, #name, kind, &visit##name<ObjectReader>, &visit##name<ObjectWriter>, prep, cpp, {__VA_ARGS__} }

const FamilyType kRender[] = {
    KEL_R(0, LIGHT, K::Entity, nullptr, "AcDbLight", 50, 51),
    KEL_R(0, SUN, K::Object, nullptr, "AcDbSun"),
    KEL_R(0, HELIX, K::Entity, prepHELIX, "AcDbHelix"),
    KEL_R(0, VISUALSTYLE, K::Object, prepVISUALSTYLE, "AcDbVisualStyle"),
    KEL_R(0, MATERIAL, K::Object, prepMATERIAL, "AcDbMaterial"),
};

#undef KEL_R

}  // namespace

std::span<const FamilyType> renderFamily() { return kRender; }

}  // namespace kel::dwg
