// Typed views (see entities.h) of the objects group of modelled types: dictionaries and their
// variables, extended records, layouts and page setups, groups, annotation scales, the raster
// image definitions and settings, draw order, the layer and spatial indexes, clip boundaries,
// named colours and geographic location.
#pragma once
// Included at the end of entities.h.
#include <array>
#include <bit>

#include "engine/model/entities_impl.h"

namespace kel::engine {

// Groups kept as read, for records whose data is free-form (an extended record's data). Two
// lists are equal when their groups have the same codes, kinds and values (reals compared by
// their bits, so a NaN read is equal to itself).
struct GroupList : Tags {
  using Tags::Tags;
  bool operator==(const GroupList& o) const {
    if (size() != o.size()) return false;
    for (size_t k = 0; k < size(); ++k) {
      const Tag &a = (*this)[k], &b = o[k];
      if (a.code != b.code || a.kind != b.kind) return false;
      if (a.isText() ? a.s != b.s
                     : a.kind == ValueKind::Double ? std::bit_cast<uint64_t>(a.d) != std::bit_cast<uint64_t>(b.d)
                                                   : a.i != b.i)
        return false;
    }
    return true;
  }
};

namespace objview {

// Calls f for each group of the record inside subclass `sub`, or for every group when the record
// has no subclass markers.
template <class F>
void eachIn(const Object& o, std::string_view sub, F&& f) {
  const bool markers = o.hasSubclasses();
  std::string_view cur;
  for (const Tag& t : o.body) {
    if (markers && t.code == 100) {
      cur = t.s.view();
      continue;
    }
    if (!markers || cur == sub) f(t);
  }
}

// The subclass the groups written so far end in: tells a type with hooks in two subclasses which
// of them is being written.
inline std::string_view currentSubclass(const Tags& out) {
  for (auto it = out.rbegin(); it != out.rend(); ++it)
    if (it->code == 100) return it->s.view();
  return {};
}

inline void put2d(int code, double x, double y, Tags& out) {
  out.push_back(Tag::real(code, x));
  out.push_back(Tag::real(code + 10, y));
}

}  // namespace objview

// ---- dictionaries -----------------------------------------------------------------------------

struct DictionaryEntry {
  std::string name;       // 3
  Handle object = 0;      // 350, or 360 when the dictionary owns it hard
  bool hardOwned = false;  // written as 360
  bool operator==(const DictionaryEntry&) const = default;
};
struct Dictionary {
  bool hardOwner = false;  // 280: the entries are owned hard (written as 360)
  int16_t cloning = 1;     // 281 (from R2000 on): duplicate record cloning, 1 keeps the existing record
  std::vector<DictionaryEntry> entries;
  bool operator==(const Dictionary&) const = default;
};
// A dictionary that answers a default object for names it does not hold.
struct DictionaryWithDefault : Dictionary {
  Handle defaultObject = 0;  // 340
  bool operator==(const DictionaryWithDefault&) const = default;
};

template <>
struct Description<Dictionary> : DescriptionBase<Dictionary> {
  using T = Dictionary;
  static constexpr const char* names[] = {"DICTIONARY"};
  // Each entry is a name (3) followed by its object; a handle without a name before it, or a
  // second handle after one, belongs to no entry and is dropped.
  static void decodeExtra(const Object& o, T& v) {
    bool open = false;
    objview::eachIn(o, "AcDbDictionary", [&](const Tag& t) {
      if (t.code == 3) {
        v.entries.push_back({std::string(t.s.view()), 0, false});
        open = true;
      } else if ((t.code == 350 || t.code == 360) && open) {
        v.entries.back().object = Handle(asInt(t));
        v.entries.back().hardOwned = t.code == 360;
        open = false;
      }
    });
  }
  static std::vector<int> extraCodes() { return {3, 350, 360}; }
  static void encodeExtra(const T& v, Tags& out) {
    for (const auto& e : v.entries) {
      out.push_back(Tag::str(3, e.name));
      out.push_back(Tag::handle(e.hardOwned ? 360 : 350, e.object));
    }
  }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbDictionary", 280, &T::hardOwner, 1015},
                                           {"AcDbDictionary", 281, &T::cloning, 1015},
                                           KEL_EXTRA("AcDbDictionary")};
    return a;
  }
};
template <>
struct Description<DictionaryWithDefault> : DescriptionBase<DictionaryWithDefault> {
  using T = DictionaryWithDefault;
  using D = Description<Dictionary>;
  static constexpr const char* names[] = {"ACDBDICTIONARYWDFLT"};
  static void decodeExtra(const Object& o, T& v) { D::decodeExtra(o, v); }
  static std::vector<int> extraCodes() { return D::extraCodes(); }
  static void encodeExtra(const T& v, Tags& out) { D::encodeExtra(v, out); }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbDictionary", 280, Member<T>{static_cast<bool T::*>(&T::hardOwner)}, 1015},
                                           {"AcDbDictionary", 281, Member<T>{static_cast<int16_t T::*>(&T::cloning)}, 1015},
                                           KEL_EXTRA("AcDbDictionary"),
                                           {"AcDbDictionaryWithDefault", 340, &T::defaultObject}};
    return a;
  }
};

// A named drawing variable kept in the dictionary of variables.
struct DictionaryVar {
  int16_t schema = 0;  // 280
  std::string value;   // 1
  bool operator==(const DictionaryVar&) const = default;
};
template <>
struct Description<DictionaryVar> : DescriptionBase<DictionaryVar> {
  using T = DictionaryVar;
  static constexpr const char* names[] = {"DICTIONARYVAR"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"DictionaryVariables", 280, &T::schema},
                                           {"DictionaryVariables", 1, &T::value}};
    return a;
  }
};

// ---- extended records -------------------------------------------------------------------------

// An application's own data: any groups, in the order the application wrote them.
struct Xrecord {
  int16_t cloning = 1;  // 280 (from R2000 on): duplicate record cloning
  GroupList data;
  bool operator==(const Xrecord&) const = default;
};
template <>
struct Description<Xrecord> : DescriptionBase<Xrecord> {
  using T = Xrecord;
  static constexpr const char* names[] = {"XRECORD"};
  // The cloning flag is the 280 right after the marker; everything after it is data, subclass
  // markers and application brackets included. Records of releases before R2000 have no flag:
  // there, data that starts with a 280 reads as the flag. The flag is always written (the hook
  // does not know the version).
  static void decodeExtra(const Object& o, T& v) {
    size_t k = 0;
    if (o.hasSubclasses()) {
      while (k < o.body.size() && !(o.body[k].code == 100 && o.body[k].s == "AcDbXrecord")) ++k;
      k = k < o.body.size() ? k + 1 : 0;  // no marker of ours: all of the body is data
    }
    if (k < o.body.size() && o.body[k].code == 280) v.cloning = int16_t(asInt(o.body[k++]));
    v.data.assign(o.body.begin() + std::ptrdiff_t(k), o.body.end());
  }
  static std::vector<int> extraCodes() {
    std::vector<int> all;
    for (int c = 1; c <= 1071; ++c)
      if (c != 100) all.push_back(c);
    return all;
  }
  static void encodeExtra(const T& v, Tags& out) {
    out.push_back(Tag::integer(280, v.cloning));
    out.insert(out.end(), v.data.begin(), v.data.end());
  }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {KEL_EXTRA("AcDbXrecord")};
    return a;
  }
};

// ---- page setups and layouts ------------------------------------------------------------------

// A page setup: the plotter, paper and what part of the drawing is plotted how. Margins and
// paper sizes are in millimetres.
struct PlotSettings {
  std::string pageSetupName;  // 1
  std::string plotter;        // 2: printer or plotter configuration file
  std::string paperSize;      // 4
  // 6: the view plotted. A DWG record of R2004 on names the view by handle, which reads as
  // no name here.
  std::string plotView;
  double marginLeft = 0, marginBottom = 0, marginRight = 0, marginTop = 0;  // 40..43
  double paperWidth = 0, paperHeight = 0;                                   // 44, 45
  double originX = 0, originY = 0;                                          // 46, 47
  double windowMinX = 0, windowMinY = 0, windowMaxX = 0, windowMaxY = 0;    // 48, 49, 140, 141
  double scaleNumerator = 1, scaleDenominator = 1;  // 142, 143: paper units per drawing units
  // 70: 16 standard scale, 32 plot styles, 128 lineweights, 512 viewports first, 1024 model
  // type, ... (a new page setup has 688)
  int16_t plotFlags = 688;
  int16_t paperUnits = 0;      // 72: 0 inches, 1 millimetres, 2 pixels
  int16_t rotation = 0;        // 73: quarter turns
  int16_t plotType = 5;        // 74: 0 display, 1 extents, 2 limits, 3 view, 4 window, 5 layout
  std::string styleSheet;      // 7
  int16_t standardScale = 16;  // 75: 16 is 1:1
  double scaleFactor = 1;      // 147
  int16_t shadePlotMode = 0;   // 76
  int16_t shadePlotResolution = 2;  // 77: 2 normal
  int16_t shadePlotDpi = 300;  // 78
  double imageOriginX = 0, imageOriginY = 0;  // 148, 149
  Handle shadePlot = 0;        // 333 (from R2007 on; written when set)
  bool operator==(const PlotSettings&) const = default;
};

namespace objview {

// The page setup part, shared by PLOTSETTINGS and LAYOUT (whose struct derives from it).
template <class T>
std::vector<Attr<T>> plotSettingsAttrs() {
  using P = PlotSettings;
  const char* s = "AcDbPlotSettings";
  auto m = [](auto P::*p) {
    using M = std::remove_reference_t<decltype(std::declval<P&>().*p)>;
    return Member<T>{static_cast<M T::*>(p)};
  };
  return {{s, 1, m(&P::pageSetupName)},    {s, 2, m(&P::plotter)},         {s, 4, m(&P::paperSize)},
          {s, 6, m(&P::plotView)},         {s, 40, m(&P::marginLeft)},     {s, 41, m(&P::marginBottom)},
          {s, 42, m(&P::marginRight)},     {s, 43, m(&P::marginTop)},      {s, 44, m(&P::paperWidth)},
          {s, 45, m(&P::paperHeight)},     {s, 46, m(&P::originX)},        {s, 47, m(&P::originY)},
          {s, 48, m(&P::windowMinX)},      {s, 49, m(&P::windowMinY)},     {s, 140, m(&P::windowMaxX)},
          {s, 141, m(&P::windowMaxY)},     {s, 142, m(&P::scaleNumerator)}, {s, 143, m(&P::scaleDenominator)},
          {s, 70, m(&P::plotFlags)},       {s, 72, m(&P::paperUnits)},     {s, 73, m(&P::rotation)},
          {s, 74, m(&P::plotType)},        {s, 7, m(&P::styleSheet)},      {s, 75, m(&P::standardScale)},
          {s, 147, m(&P::scaleFactor)},    {s, 76, m(&P::shadePlotMode), 1018},
          {s, 77, m(&P::shadePlotResolution), 1018}, {s, 78, m(&P::shadePlotDpi), 1018},
          {s, 148, m(&P::imageOriginX)},   {s, 149, m(&P::imageOriginY)},  Attr<T>{s, 0, Member<T>{}}};
}

inline void decodeShadePlot(const Object& o, PlotSettings& v) {
  eachIn(o, "AcDbPlotSettings", [&](const Tag& t) {
    if (t.code == 333) v.shadePlot = Handle(asInt(t));
  });
}
inline void encodeShadePlot(const PlotSettings& v, Tags& out) {
  if (v.shadePlot) out.push_back(Tag::handle(333, v.shadePlot));
}

}  // namespace objview

template <>
struct Description<PlotSettings> : DescriptionBase<PlotSettings> {
  using T = PlotSettings;
  static constexpr const char* names[] = {"PLOTSETTINGS"};
  static void decodeExtra(const Object& o, T& v) { objview::decodeShadePlot(o, v); }
  static std::vector<int> extraCodes() { return {333}; }
  static void encodeExtra(const T& v, Tags& out) { objview::encodeShadePlot(v, out); }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = objview::plotSettingsAttrs<T>();
    return a;
  }
};

// A layout (model space or a paper-space sheet) with its page setup. The limits are 2D.
struct Layout : PlotSettings {
  std::string name;                      // 1
  int16_t layoutFlags = 1;               // 70: 1 linetype scaling by viewport, 2 limits check
  int16_t tabOrder = 0;                  // 71
  double limitsMinX = 0, limitsMinY = 0;  // 10, 20
  double limitsMaxX = 12, limitsMaxY = 9;  // 11, 21
  Vec3 insertionBase;                    // 12
  Vec3 extentsMin, extentsMax;           // 14, 15
  double elevation = 0;                  // 146
  Vec3 ucsOrigin;                        // 13
  Vec3 ucsXAxis{1, 0, 0};                // 16
  Vec3 ucsYAxis{0, 1, 0};                // 17
  int16_t ucsOrthographic = 0;           // 76
  Handle blockRecord = 0;                // 330: the layout's block (*Model_Space, *Paper_Space...)
  // Written when set:
  Handle lastViewport = 0;               // 331: the viewport last active
  Handle namedUcs = 0;                   // 345
  Handle baseUcs = 0;                    // 346
  bool operator==(const Layout&) const = default;
};
template <>
struct Description<Layout> : DescriptionBase<Layout> {
  using T = Layout;
  static constexpr const char* names[] = {"LAYOUT"};
  static void decodeExtra(const Object& o, T& v) {
    objview::decodeShadePlot(o, v);
    // The shade plot is written with the page setup but read from either part.
    objview::eachIn(o, "AcDbLayout", [&](const Tag& t) {
      if (t.code == 333 && !v.shadePlot) v.shadePlot = Handle(asInt(t));
      else if (t.code == 331 && !v.lastViewport) v.lastViewport = Handle(asInt(t));
      else if (t.code == 345 && !v.namedUcs) v.namedUcs = Handle(asInt(t));
      else if (t.code == 346 && !v.baseUcs) v.baseUcs = Handle(asInt(t));
    });
  }
  static std::vector<int> extraCodes() { return {333, 331, 345, 346}; }
  // Runs at the end of each of the two parts.
  static void encodeExtra(const T& v, Tags& out) {
    if (objview::currentSubclass(out) == "AcDbPlotSettings") {
      objview::encodeShadePlot(v, out);
      return;
    }
    if (v.lastViewport) out.push_back(Tag::handle(331, v.lastViewport));
    if (v.namedUcs) out.push_back(Tag::handle(345, v.namedUcs));
    if (v.baseUcs) out.push_back(Tag::handle(346, v.baseUcs));
  }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = [] {
      std::vector<Attr<T>> a = objview::plotSettingsAttrs<T>();
      const char* s = "AcDbLayout";
      a.insert(a.end(), {{s, 1, &T::name},           {s, 70, &T::layoutFlags},     {s, 71, &T::tabOrder},
                         {s, 10, &T::limitsMinX},    {s, 20, &T::limitsMinY},      {s, 11, &T::limitsMaxX},
                         {s, 21, &T::limitsMaxY},    {s, 12, &T::insertionBase},   {s, 14, &T::extentsMin},
                         {s, 15, &T::extentsMax},    {s, 146, &T::elevation},      {s, 13, &T::ucsOrigin},
                         {s, 16, &T::ucsXAxis},      {s, 17, &T::ucsYAxis},        {s, 76, &T::ucsOrthographic},
                         {s, 330, &T::blockRecord},  KEL_EXTRA("AcDbLayout")});
      return a;
    }();
    return a;
  }
};

// ---- groups and scales ------------------------------------------------------------------------

// A named (or anonymous) selection of entities.
struct EntityGroup {
  std::string description;  // 300
  int16_t unnamed = 0;      // 70: 1 anonymous
  int16_t selectable = 1;   // 71
  std::vector<Handle> entities;  // 340
  bool operator==(const EntityGroup&) const = default;
};
template <>
struct Description<EntityGroup> : DescriptionBase<EntityGroup> {
  using T = EntityGroup;
  static constexpr const char* names[] = {"GROUP"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbGroup", 300, &T::description},
                                           {"AcDbGroup", 70, &T::unnamed},
                                           {"AcDbGroup", 71, &T::selectable},
                                           {"AcDbGroup", 340, &T::entities}};
    return a;
  }
};

// An annotation scale: so many paper units for so many drawing units.
struct AnnotationScale {
  int16_t flags = 0;        // 70
  std::string name;         // 300, e.g. "1:50"
  double paperUnits = 1;    // 140
  double drawingUnits = 1;  // 141
  bool unitScale = false;   // 290: the 1:1 scale
  bool operator==(const AnnotationScale&) const = default;
};
template <>
struct Description<AnnotationScale> : DescriptionBase<AnnotationScale> {
  using T = AnnotationScale;
  static constexpr const char* names[] = {"SCALE"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbScale", 70, &T::flags},        {"AcDbScale", 300, &T::name},
                                           {"AcDbScale", 140, &T::paperUnits},  {"AcDbScale", 141, &T::drawingUnits},
                                           {"AcDbScale", 290, &T::unitScale}};
    return a;
  }
};

// ---- raster images and wipeouts ----------------------------------------------------------------

// The image file an IMAGE shows.
struct ImageDef {
  int32_t classVersion = 0;        // 90
  std::string fileName;            // 1
  double widthPixels = 0, heightPixels = 0;  // 10, 20
  double pixelWidth = 1, pixelHeight = 1;    // 11, 21: size of one pixel in drawing units
  int16_t loaded = 1;              // 280
  int16_t resolutionUnits = 0;     // 281: 0 none, 2 centimetres, 5 inches
  bool operator==(const ImageDef&) const = default;
};
template <>
struct Description<ImageDef> : DescriptionBase<ImageDef> {
  using T = ImageDef;
  static constexpr const char* names[] = {"IMAGEDEF"};
  static const std::vector<Attr<T>>& attrs() {
    const char* s = "AcDbRasterImageDef";
    static const std::vector<Attr<T>> a = {{s, 90, &T::classVersion}, {s, 1, &T::fileName},
                                           {s, 10, &T::widthPixels},  {s, 20, &T::heightPixels},
                                           {s, 11, &T::pixelWidth},   {s, 21, &T::pixelHeight},
                                           {s, 280, &T::loaded},      {s, 281, &T::resolutionUnits}};
    return a;
  }
};

// Links an image to its definition.
struct ImageDefReactor {
  int32_t classVersion = 2;  // 90
  Handle image = 0;          // 330
  bool operator==(const ImageDefReactor&) const = default;
};
template <>
struct Description<ImageDefReactor> : DescriptionBase<ImageDefReactor> {
  using T = ImageDefReactor;
  static constexpr const char* names[] = {"IMAGEDEF_REACTOR"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbRasterImageDefReactor", 90, &T::classVersion},
                                           {"AcDbRasterImageDefReactor", 330, &T::image}};
    return a;
  }
};

// The drawing-wide raster image settings.
struct RasterVariables {
  int32_t classVersion = 0;  // 90
  int16_t frame = 0;         // 70: image frames shown
  int16_t quality = 1;       // 71: 0 draft, 1 high
  int16_t units = 0;         // 72: 0 none, 1 mm, 2 cm, 3 m, 4 km, 5 in, 6 ft, 7 yd, 8 mi
  bool operator==(const RasterVariables&) const = default;
};
template <>
struct Description<RasterVariables> : DescriptionBase<RasterVariables> {
  using T = RasterVariables;
  static constexpr const char* names[] = {"RASTERVARIABLES"};
  static const std::vector<Attr<T>>& attrs() {
    const char* s = "AcDbRasterVariables";
    static const std::vector<Attr<T>> a = {{s, 90, &T::classVersion}, {s, 70, &T::frame},
                                           {s, 71, &T::quality},      {s, 72, &T::units}};
    return a;
  }
};

// The drawing-wide wipeout setting.
struct WipeoutVariables {
  int16_t frame = 0;  // 70: wipeout frames shown
  bool operator==(const WipeoutVariables&) const = default;
};
template <>
struct Description<WipeoutVariables> : DescriptionBase<WipeoutVariables> {
  using T = WipeoutVariables;
  static constexpr const char* names[] = {"WIPEOUTVARIABLES"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbWipeoutVariables", 70, &T::frame}};
    return a;
  }
};

// ---- draw order -------------------------------------------------------------------------------

struct SortentsEntry {
  Handle entity = 0;  // 331
  Handle sortKey = 0;  // 5: the handle the entity sorts as
  bool operator==(const SortentsEntry&) const = default;
};
// The draw order of a block's entities, where it differs from their handle order.
struct SortentsTable {
  Handle block = 0;  // 330: the block record
  std::vector<SortentsEntry> entries;
  bool operator==(const SortentsTable&) const = default;
};
template <>
struct Description<SortentsTable> : DescriptionBase<SortentsTable> {
  using T = SortentsTable;
  static constexpr const char* names[] = {"SORTENTSTABLE"};
  // Pairs of 331 (entity) then 5 (its sort handle); a 5 without an entity before it is dropped.
  static void decodeExtra(const Object& o, T& v) {
    bool open = false;
    objview::eachIn(o, "AcDbSortentsTable", [&](const Tag& t) {
      if (t.code == 331) {
        v.entries.push_back({Handle(asInt(t)), 0});
        open = true;
      } else if (t.code == 5 && open) {
        v.entries.back().sortKey = Handle(asInt(t));
        open = false;
      }
    });
  }
  static std::vector<int> extraCodes() { return {331, 5}; }
  static void encodeExtra(const T& v, Tags& out) {
    for (const auto& e : v.entries) {
      out.push_back(Tag::handle(331, e.entity));
      out.push_back(Tag::handle(5, e.sortKey));
    }
  }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbSortentsTable", 330, &T::block}, KEL_EXTRA("AcDbSortentsTable")};
    return a;
  }
};

// ---- place holder, indexes and filters --------------------------------------------------------

// The object a dictionary with default points its unset names at: it has no data.
struct Placeholder {
  bool operator==(const Placeholder&) const = default;
};
template <>
struct Description<Placeholder> : DescriptionBase<Placeholder> {
  using T = Placeholder;
  static constexpr const char* names[] = {"ACDBPLACEHOLDER"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a;
    return a;
  }
};

struct LayerIndexEntry {
  std::string layer;    // 8
  Handle idBuffer = 0;  // 360: the buffer holding the entities' handles
  int32_t count = 0;    // 90: entities of the layer
  bool operator==(const LayerIndexEntry&) const = default;
};
// Per layer, the entities on it (to load a drawing in part).
struct LayerIndex {
  double timestamp = 0;  // 40: Julian date of the last update
  std::vector<LayerIndexEntry> entries;
  bool operator==(const LayerIndex&) const = default;
};
template <>
struct Description<LayerIndex> : DescriptionBase<LayerIndex> {
  using T = LayerIndex;
  static constexpr const char* names[] = {"LAYER_INDEX"};
  // An entry starts at its layer name (8); a buffer or count before any name is dropped.
  static void decodeExtra(const Object& o, T& v) {
    objview::eachIn(o, "AcDbLayerIndex", [&](const Tag& t) {
      if (t.code == 8) v.entries.push_back({std::string(t.s.view()), 0, 0});
      else if (v.entries.empty()) return;
      else if (t.code == 360) v.entries.back().idBuffer = Handle(asInt(t));
      else if (t.code == 90) v.entries.back().count = int32_t(asInt(t));
    });
  }
  static std::vector<int> extraCodes() { return {8, 360, 90}; }
  static void encodeExtra(const T& v, Tags& out) {
    for (const auto& e : v.entries) {
      out.push_back(Tag::str(8, e.layer));
      out.push_back(Tag::handle(360, e.idBuffer));
      out.push_back(Tag::integer(90, e.count));
    }
  }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbIndex", 40, &T::timestamp}, KEL_EXTRA("AcDbLayerIndex")};
    return a;
  }
};

// The spatial index of a drawing. Only its time stamp is modelled: the index itself is rebuilt
// by whoever needs it.
struct SpatialIndex {
  double timestamp = 0;  // 40: Julian date of the last update
  bool operator==(const SpatialIndex&) const = default;
};
template <>
struct Description<SpatialIndex> : DescriptionBase<SpatialIndex> {
  using T = SpatialIndex;
  static constexpr const char* names[] = {"SPATIAL_INDEX"};
  static const std::vector<Attr<T>>& attrs() {
    // The empty hook entry only writes the subclass marker of the index proper.
    static const std::vector<Attr<T>> a = {{"AcDbIndex", 40, &T::timestamp}, KEL_EXTRA("AcDbSpatialIndex")};
    return a;
  }
};

// The clip boundary of a block reference or external reference: a polygon (or, with two points,
// the corners of a rectangle) in the boundary's own plane, with optional front and back planes.
struct SpatialFilter {
  struct Point2 {
    double x = 0, y = 0;
    bool operator==(const Point2&) const = default;
  };
  int16_t count = 0;  // 70, kept equal to boundary.size() by encode
  std::vector<Point2> boundary;  // 10, 20
  Vec3 normal{0, 0, 1};          // 210
  Vec3 origin;                   // 11
  int16_t showBoundary = 1;      // 71
  int16_t frontClip = 0;         // 72: the front plane is used
  double frontDistance = 0;      // 40 (when 72 is set)
  int16_t backClip = 0;          // 73
  double backDistance = 0;       // 41 (when 73 is set)
  // Two 3x4 matrices, row by row (the last column is the translation): the inverse of the block
  // reference's transform, then the transform of the boundary.
  std::array<double, 12> inverseInsert{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
  std::array<double, 12> clipTransform{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
  bool operator==(const SpatialFilter&) const = default;
};
template <>
struct Description<SpatialFilter> : DescriptionBase<SpatialFilter> {
  using T = SpatialFilter;
  static constexpr const char* names[] = {"SPATIAL_FILTER"};
  // Code 40 serves the front distance (first, when 72 is set) and then the 24 matrix values.
  static void decodeExtra(const Object& o, T& v) {
    bool frontSeen = false, backSeen = false;
    size_t matrix = 0;
    objview::eachIn(o, "AcDbSpatialFilter", [&](const Tag& t) {
      switch (t.code) {
        case 10: v.boundary.push_back({asDouble(t), 0}); break;
        case 20:
          if (!v.boundary.empty()) v.boundary.back().y = asDouble(t);
          break;
        case 210: v.normal.x = asDouble(t); break;
        case 220: v.normal.y = asDouble(t); break;
        case 230: v.normal.z = asDouble(t); break;
        case 11: v.origin.x = asDouble(t); break;
        case 21: v.origin.y = asDouble(t); break;
        case 31: v.origin.z = asDouble(t); break;
        case 71: v.showBoundary = int16_t(asInt(t)); break;
        case 72: v.frontClip = int16_t(asInt(t)); break;
        case 73: v.backClip = int16_t(asInt(t)); break;
        case 41:
          if (!backSeen) v.backDistance = asDouble(t);
          backSeen = true;
          break;
        case 40:
          if (v.frontClip && !frontSeen && matrix == 0) {
            v.frontDistance = asDouble(t);
            frontSeen = true;
          } else if (matrix < 24) {
            (matrix < 12 ? v.inverseInsert[matrix] : v.clipTransform[matrix - 12]) = asDouble(t);
            ++matrix;
          }
          break;
        default: break;
      }
    });
    v.count = int16_t(v.boundary.size());  // the points tell, whatever the record said
  }
  static std::vector<int> extraCodes() { return {10, 20, 210, 220, 230, 11, 21, 31, 71, 72, 73, 40, 41}; }
  static void prepare(T& v) { v.count = int16_t(v.boundary.size()); }
  // Runs at the end of each of the two parts; only the second one has groups.
  static void encodeExtra(const T& v, Tags& out) {
    if (objview::currentSubclass(out) != "AcDbSpatialFilter") return;
    for (const auto& p : v.boundary) objview::put2d(10, p.x, p.y, out);
    detail::putPoint(210, v.normal, out);
    detail::putPoint(11, v.origin, out);
    out.push_back(Tag::integer(71, v.showBoundary));
    out.push_back(Tag::integer(72, v.frontClip));
    if (v.frontClip) out.push_back(Tag::real(40, v.frontDistance));
    out.push_back(Tag::integer(73, v.backClip));
    if (v.backClip) out.push_back(Tag::real(41, v.backDistance));
    for (double d : v.inverseInsert) out.push_back(Tag::real(40, d));
    for (double d : v.clipTransform) out.push_back(Tag::real(40, d));
  }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {KEL_EXTRA("AcDbFilter"), {"AcDbSpatialFilter", 70, &T::count},
                                           KEL_EXTRA("AcDbSpatialFilter")};
    return a;
  }
};

// ---- colours ----------------------------------------------------------------------------------

// A named colour of a colour book. Each group is written only when set.
struct DbColor {
  int16_t index = -1;      // 62: colour index, -1 not given
  int32_t trueColor = -1;  // 420: 0x00RRGGBB, -1 not given
  std::string name;        // 430: "BOOK$NAME"
  bool operator==(const DbColor&) const = default;
};
template <>
struct Description<DbColor> : DescriptionBase<DbColor> {
  using T = DbColor;
  static constexpr const char* names[] = {"DBCOLOR"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {KEL_EXTRA("AcDbColor")};
    return a;
  }
  static void decodeExtra(const Object& o, T& v) {
    objview::eachIn(o, "AcDbColor", [&](const Tag& t) {
      if (t.code == 62) v.index = int16_t(asInt(t));
      else if (t.code == 420) v.trueColor = int32_t(asInt(t));
      else if (t.code == 430) v.name = t.s.view();
    });
  }
  static std::vector<int> extraCodes() { return {62, 420, 430}; }
  static void encodeExtra(const T& v, Tags& out) {
    if (v.index >= 0) out.push_back(Tag::integer(62, v.index));
    if (v.trueColor >= 0) out.push_back(Tag::integer(420, v.trueColor));
    if (!v.name.empty()) out.push_back(Tag::str(430, v.name));
  }
};

// ---- geographic location ----------------------------------------------------------------------

// Where the drawing sits on the earth: a design point of the drawing and the point of the
// coordinate system it stands for, the units and directions, and a mesh that maps drawing
// points to grid points. The members describe the form written since 2010 (version 2). Records
// of the 2009 form (version 1) use many of the same codes with other meanings; their groups are
// kept as read in `legacy` and written back as they are.
struct GeoData {
  struct MeshPoint {
    double sourceX = 0, sourceY = 0;  // 13, 23
    double destX = 0, destY = 0;      // 14, 24
    bool operator==(const MeshPoint&) const = default;
  };
  struct MeshFace {
    int32_t a = 0, b = 0, c = 0;  // 97, 98, 99: indexes into the mesh points
    bool operator==(const MeshFace&) const = default;
  };
  int32_t version = 2;             // 90
  int16_t coordinateType = 0;      // 70: 0 unknown, 1 local grid, 2 projected grid, 3 geographic
  Handle hostBlock = 0;            // 330: the block record the location belongs to
  Vec3 designPoint;                // 10: in drawing coordinates
  Vec3 referencePoint;             // 11: in the coordinate system's coordinates
  double horizontalUnitScale = 1;  // 40
  int32_t horizontalUnits = 0;     // 91
  double verticalUnitScale = 1;    // 41
  int32_t verticalUnits = 0;       // 92
  Vec3 upDirection{0, 0, 1};       // 210
  double northX = 0, northY = 1;   // 12, 22: the north direction, in the drawing's plane
  int32_t scaleEstimation = 1;     // 95: 1 none, 2 user factor, 3 grid scale at the point, 4 prismoidal
  double userScaleFactor = 1;      // 141
  bool seaLevelCorrection = false;  // 294
  double seaLevelElevation = 0;    // 142
  double projectionRadius = 0;     // 143
  std::string coordinateSystem;    // 303 pieces then 301: the definition, whole
  std::string geoRssTag;           // 302
  std::string observationFrom;     // 305
  std::string observationTo;       // 306
  std::string observationCoverage;  // 307
  std::vector<MeshPoint> mesh;     // after 93, their count
  std::vector<MeshFace> faces;     // after 96, their count
  GroupList legacy;                // the 2009 form: every group after the version
  bool operator==(const GeoData&) const = default;
};
template <>
struct Description<GeoData> : DescriptionBase<GeoData> {
  using T = GeoData;
  static constexpr const char* names[] = {"GEODATA"};
  static void decodeExtra(const Object& o, T& v) {
    bool versionSeen = false;
    std::string head;  // 303 pieces of the definition
    objview::eachIn(o, "AcDbGeoData", [&](const Tag& t) {
      if (t.code == 90 && !versionSeen) {
        versionSeen = true;
        return;
      }
      if (v.version < 2) {
        v.legacy.push_back(t);
        return;
      }
      const double d = asDouble(t);
      switch (t.code) {
        case 70: v.coordinateType = int16_t(asInt(t)); break;
        case 330: v.hostBlock = Handle(asInt(t)); break;
        case 10: v.designPoint.x = d; break;
        case 20: v.designPoint.y = d; break;
        case 30: v.designPoint.z = d; break;
        case 11: v.referencePoint.x = d; break;
        case 21: v.referencePoint.y = d; break;
        case 31: v.referencePoint.z = d; break;
        case 40: v.horizontalUnitScale = d; break;
        case 91: v.horizontalUnits = int32_t(asInt(t)); break;
        case 41: v.verticalUnitScale = d; break;
        case 92: v.verticalUnits = int32_t(asInt(t)); break;
        case 210: v.upDirection.x = d; break;
        case 220: v.upDirection.y = d; break;
        case 230: v.upDirection.z = d; break;
        case 12: v.northX = d; break;
        case 22: v.northY = d; break;
        case 95: v.scaleEstimation = int32_t(asInt(t)); break;
        case 141: v.userScaleFactor = d; break;
        case 294: v.seaLevelCorrection = asInt(t) != 0; break;
        case 142: v.seaLevelElevation = d; break;
        case 143: v.projectionRadius = d; break;
        case 303: head += t.s.view(); break;
        case 301: v.coordinateSystem = head + std::string(t.s.view()); break;
        case 302: v.geoRssTag = t.s.view(); break;
        case 305: v.observationFrom = t.s.view(); break;
        case 306: v.observationTo = t.s.view(); break;
        case 307: v.observationCoverage = t.s.view(); break;
        // The counts (93, 96) follow from the lists.
        case 13: v.mesh.push_back({d, 0, 0, 0}); break;
        case 23: if (!v.mesh.empty()) v.mesh.back().sourceY = d; break;
        case 14: if (!v.mesh.empty()) v.mesh.back().destX = d; break;
        case 24: if (!v.mesh.empty()) v.mesh.back().destY = d; break;
        case 97: v.faces.push_back({int32_t(asInt(t)), 0, 0}); break;
        case 98: if (!v.faces.empty()) v.faces.back().b = int32_t(asInt(t)); break;
        case 99: if (!v.faces.empty()) v.faces.back().c = int32_t(asInt(t)); break;
        default: break;
      }
    });
  }
  static std::vector<int> extraCodes() {
    return {// the current form
            70, 330, 10, 20, 30, 11, 21, 31, 40, 91, 41, 92, 210, 220, 230, 12, 22, 95, 141, 294, 142, 143, 301,
            303, 302, 305, 306, 307, 93, 13, 23, 14, 24, 96, 97, 98, 99,
            // the 2009 form, kept as read
            3, 4, 15, 25, 16, 26, 17, 27, 42, 43, 44, 45, 46, 52, 54, 94, 140, 292, 293, 304};
  }
  static void encodeExtra(const T& v, Tags& out) {
    if (v.version < 2) {
      out.insert(out.end(), v.legacy.begin(), v.legacy.end());
      return;
    }
    out.push_back(Tag::integer(70, v.coordinateType));
    out.push_back(Tag::handle(330, v.hostBlock));
    detail::putPoint(10, v.designPoint, out);
    detail::putPoint(11, v.referencePoint, out);
    out.push_back(Tag::real(40, v.horizontalUnitScale));
    out.push_back(Tag::integer(91, v.horizontalUnits));
    out.push_back(Tag::real(41, v.verticalUnitScale));
    out.push_back(Tag::integer(92, v.verticalUnits));
    detail::putPoint(210, v.upDirection, out);
    objview::put2d(12, v.northX, v.northY, out);
    out.push_back(Tag::integer(95, v.scaleEstimation));
    out.push_back(Tag::real(141, v.userScaleFactor));
    out.push_back(Tag::integer(294, v.seaLevelCorrection ? 1 : 0));
    out.push_back(Tag::real(142, v.seaLevelElevation));
    out.push_back(Tag::real(143, v.projectionRadius));
    // A long definition goes in 255-byte pieces, the last in 301 (cut between whole characters).
    const std::string& cs = v.coordinateSystem;
    size_t at = 0;
    while (cs.size() - at > 255) {
      size_t n = 255;
      while (n > 0 && (static_cast<unsigned char>(cs[at + n]) & 0xC0) == 0x80) --n;
      out.push_back(Tag::str(303, cs.substr(at, n)));
      at += n;
    }
    out.push_back(Tag::str(301, cs.substr(at)));
    out.push_back(Tag::str(302, v.geoRssTag));
    out.push_back(Tag::str(305, v.observationFrom));
    out.push_back(Tag::str(306, v.observationTo));
    out.push_back(Tag::str(307, v.observationCoverage));
    out.push_back(Tag::integer(93, int64_t(v.mesh.size())));
    for (const auto& p : v.mesh) {
      objview::put2d(13, p.sourceX, p.sourceY, out);
      objview::put2d(14, p.destX, p.destY, out);
    }
    out.push_back(Tag::integer(96, int64_t(v.faces.size())));
    for (const auto& f : v.faces) {
      out.push_back(Tag::integer(97, f.a));
      out.push_back(Tag::integer(98, f.b));
      out.push_back(Tag::integer(99, f.c));
    }
  }
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {{"AcDbGeoData", 90, &T::version}, KEL_EXTRA("AcDbGeoData")};
    return a;
  }
};

inline void addObjectViews(std::vector<ViewInfo>& out) {
  addView<Dictionary>(out);
  addView<DictionaryWithDefault>(out);
  addView<DictionaryVar>(out);
  addView<Xrecord>(out);
  addView<PlotSettings>(out);
  addView<Layout>(out);
  addView<EntityGroup>(out);
  addView<AnnotationScale>(out);
  addView<ImageDef>(out);
  addView<ImageDefReactor>(out);
  addView<RasterVariables>(out);
  addView<WipeoutVariables>(out);
  addView<SortentsTable>(out);
  addView<Placeholder>(out);
  addView<LayerIndex>(out);
  addView<SpatialIndex>(out);
  addView<SpatialFilter>(out);
  addView<DbColor>(out);
  addView<GeoData>(out);
}

}  // namespace kel::engine
