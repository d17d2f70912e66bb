// Images, wipeouts, underlays and the small objects in DWG: the corpus files' records decode (and
// agree with the DXF the same drawing was saved as), and a drawing holding every type survives
// writing and reading back with its values.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/engine/dwg_family_test_util.h"
#include "engine/dwg/read_dwg.h"
#include "engine/dwg/write_dwg.h"
#include "engine/model/drawing.h"
#include "engine/io.h"
#include "engine/model/structure.h"
#include "platform/utf.h"

using namespace kel::dwg;
using kel::engine::Drawing;
using kel::engine::Handle;
using kel::engine::Object;
using kel::engine::Tag;
namespace fs = std::filesystem;

namespace {

using namespace kel::test;

const char* const kTypes[] = {"IMAGE",  "WIPEOUT",        "IMAGEDEF",    "IMAGEDEF_REACTOR", "RASTERVARIABLES",
                              "WIPEOUTVARIABLES", "SCALE", "SORTENTSTABLE", "DBCOLOR", "SPATIAL_FILTER",
                              "IDBUFFER", "LAYER_INDEX", "PDFUNDERLAY", "PDFDEFINITION"};

}  // namespace

// The same drawing saved by the reference application as DWG of four releases and as DXF: every
// record of these types decodes, and the values match the DXF's (a field read at the wrong place
// shifts everything after it).
TEST(DwgFamilyImage, CorpusRecordsDecodeAndMatchTheirDxf) {
  const fs::path corpus = fs::path(KEL_SHARED_DIR) / "corpus";
  const CorpusCensus& census = dwgCorpusCensus();
  if (!census.present) GTEST_SKIP() << "no corpus";
  for (const char* t : kTypes)
    if (census.rawOf(t)) ADD_FAILURE() << census.rawOf(t) << " " << t << " kept raw in" << census.rawFilesOf(t);
  for (const char* t : {"IMAGE", "WIPEOUT", "IMAGEDEF", "SCALE", "SORTENTSTABLE", "DBCOLOR", "SPATIAL_FILTER"})
    EXPECT_GT(census.decodedOf(t), 0u) << t;

  // Underlays (read only): rotation back in degrees, clip vertices of an R2004 file.
  {
    Drawing d;
    ASSERT_EQ(readDwgBytes(d, load(corpus / "dwg" / "libredwg_2004_Underlay.dwg")), Acad::eOk);
    auto under = ofType(d, "PDFUNDERLAY");
    ASSERT_EQ(under.size(), 3u);
    EXPECT_NEAR(under[0]->real(50), 5, 1e-9);
    EXPECT_EQ(under[0]->integer(280), 30);
    EXPECT_EQ(reals(*under[0], 11).size(), 6u);
    EXPECT_NEAR(under[0]->real(41), 1.1, 1e-12);
    EXPECT_EQ(Handle(under[0]->find(340)->i), ofType(d, "PDFDEFINITION").at(0)->handle);
  }
  for (const char* ver : {"AC1015", "AC1018", "AC1027", "AC1032"}) {
    SCOPED_TRACE(ver);
    Drawing d;
    ASSERT_EQ(readDwgBytes(d, load(corpus / "dwg" / (std::string("acadsharp_sample_") + ver + ".dwg"))), Acad::eOk);
    auto image = ofType(d, "IMAGE"), wipeout = ofType(d, "WIPEOUT"), def = ofType(d, "IMAGEDEF");
    ASSERT_EQ(image.size(), 1u);
    EXPECT_EQ(image[0]->real(13), 994);
    EXPECT_EQ(image[0]->real(23), 965);
    EXPECT_EQ(image[0]->integer(71), 1);
    EXPECT_EQ(reals(*image[0], 14), (std::vector<double>{-0.5, 993.5}));
    ASSERT_EQ(def.size(), 1u);
    EXPECT_EQ(def[0]->text(1), ".\\image.JPG");
    EXPECT_EQ(Handle(image[0]->find(340)->i), def[0]->handle);
    ASSERT_EQ(wipeout.size(), 1u);
    EXPECT_EQ(wipeout[0]->integer(91), 5);  // four stored vertices, closed as DXF gives them
    EXPECT_EQ(reals(*wipeout[0], 14).front(), reals(*wipeout[0], 14).back());
    EXPECT_NEAR(wipeout[0]->real(10), 271.9211288808192, 1e-9);
    auto color = ofType(d, "DBCOLOR");
    ASSERT_FALSE(color.empty());
    if (std::string(ver) != "AC1015") {
      EXPECT_EQ(color[0]->text(430), "RAL CLASSIC$RAL 1006");
    }
    auto filter = ofType(d, "SPATIAL_FILTER");
    ASSERT_EQ(filter.size(), 1u);
    EXPECT_EQ(reals(*filter[0], 40).size(), 24u);
    EXPECT_NEAR(reals(*filter[0], 40)[0], 25.4, 1e-12);
    bool unitScale = false;
    for (const Object* s : ofType(d, "SCALE")) unitScale |= s->text(300) == "1:1" && s->integer(290) == 1;
    EXPECT_TRUE(unitScale);
  }
}

namespace {

std::vector<Tag> points(int code, std::vector<std::pair<double, double>> pts) {
  std::vector<Tag> out;
  for (auto [x, y] : pts) {
    out.push_back(Tag::real(code, x));
    out.push_back(Tag::real(code + 10, y));
  }
  return out;
}

}  // namespace

// The written types with values the file stores differently from DXF, written and read back:
// boundary kinds and counts, handle pairs, colour names, optional clip distances, time stamps.
TEST(DwgFamilyImage, DrawingRoundTripKeepsValues) {
  SampleDrawing sample;
  Drawing& d = sample.d;
  const Handle root = sample.root, ms = sample.ms;
  const Handle imageH = d.newHandle(), reactorH = d.newHandle(), defH = d.newHandle();
  auto entity = [&](const std::string& type, Handle h, std::vector<Tag> own) {
    own.insert(own.begin(), {Tag::str(100, "AcDbEntity"), Tag::str(8, "0")});
    return sample.add(d.entities, type, ms, std::move(own), h).handle;
  };
  Tag graphics;  // graphics other readers reject on an image record: not written
  graphics.code = 310;
  graphics.kind = kel::engine::ValueKind::Binary;
  graphics.s = std::string(8, '\0');
  std::vector<Tag> img = {Tag::integer(92, 8),        graphics,           Tag::str(100, "AcDbRasterImage"),
                          Tag::real(10, 5),            Tag::real(11, 0.5), Tag::real(22, 0.5),
                          Tag::real(13, 640),          Tag::real(23, 480), Tag::handle(340, defH),
                          Tag::integer(290, 1),        Tag::handle(360, reactorH), Tag::integer(71, 2),
                          Tag::integer(91, 4)};
  auto poly = points(14, {{0, 0}, {100, 0}, {50, 80}, {0, 0}});
  img.insert(img.end(), poly.begin(), poly.end());
  entity("IMAGE", imageH, img);
  std::vector<Tag> wipe = {Tag::str(100, "AcDbWipeout"), Tag::real(13, 1), Tag::real(23, 1), Tag::integer(71, 1)};
  auto rect = points(14, {{-0.5, -0.5}, {0.5, 0.5}});
  wipe.insert(wipe.end(), rect.begin(), rect.end());
  const Handle wipeH = entity("WIPEOUT", 0, wipe);
  auto object = [&](const std::string& type, Handle owner, std::vector<Tag> body, Handle h = 0) {
    sample.add(d.objects, type, owner, std::move(body), h);
  };
  object("IMAGEDEF", root, {Tag::str(100, "AcDbRasterImageDef"), Tag::str(1, "pic.png"), Tag::real(10, 640),
                            Tag::real(20, 480), Tag::real(11, 0.25), Tag::real(21, 0.5), Tag::integer(280, 0)},
         defH);
  object("IMAGEDEF_REACTOR", imageH, {Tag::str(100, "AcDbRasterImageDefReactor"), Tag::integer(90, 2)}, reactorH);
  object("SORTENTSTABLE", root, {Tag::str(100, "AcDbSortentsTable"), Tag::handle(330, ms), Tag::handle(331, imageH),
                                 Tag::handle(5, wipeH), Tag::handle(331, wipeH), Tag::handle(5, imageH)});
  object("DBCOLOR", root, {Tag::str(100, "AcDbColor"), Tag::integer(62, 42), Tag::integer(420, 0xE29000),
                           Tag::str(430, "RAL CLASSIC$RAL 1006")});
  std::vector<Tag> filter = {Tag::str(100, "AcDbFilter"), Tag::str(100, "AcDbSpatialFilter"), Tag::integer(70, 3)};
  auto fpts = points(10, {{0, 0}, {4, 0}, {4, 3}});
  filter.insert(filter.end(), fpts.begin(), fpts.end());
  for (Tag t : {Tag::real(210, 0), Tag::real(220, 0), Tag::real(230, 1), Tag::real(11, 0), Tag::real(21, 0),
                Tag::real(31, 0), Tag::integer(71, 1), Tag::integer(72, 1), Tag::real(40, 2.5), Tag::integer(73, 0)})
    filter.push_back(t);
  for (int i = 0; i < 24; ++i) filter.push_back(Tag::real(40, i));
  object("SPATIAL_FILTER", root, filter);
  const Handle bufferH = d.newHandle();
  object("LAYER_INDEX", root, {Tag::str(100, "AcDbIndex"), Tag::real(40, 2460000.25), Tag::str(100, "AcDbLayerIndex"),
                               Tag::str(8, "0"), Tag::handle(360, bufferH), Tag::integer(90, 2)});
  object("IDBUFFER", root, {Tag::str(100, "AcDbIdBuffer"), Tag::handle(330, imageH), Tag::handle(330, wipeH)}, bufferH);
  kel::engine::Notes notes;
  kel::engine::completeStructure(d, notes);

  Drawing back;
  DwgReadInfo ri;
  ASSERT_TRUE(writeAndReadBack(d, back, {std::begin(kTypes), std::end(kTypes)}, nullptr, &ri));
  EXPECT_EQ(ri.raw, 0u);

  auto one = [&](const char* type) -> const Object& {
    auto v = ofType(back, type);
    EXPECT_EQ(v.size(), 1u) << type;
    static const Object none;
    return v.empty() ? none : *v[0];
  };
  const Object& image = one("IMAGE");
  EXPECT_EQ(reals(image, 14), (std::vector<double>{0, 100, 50, 0}));
  EXPECT_EQ(image.integer(91), 4);
  EXPECT_EQ(image.integer(290), 1);
  EXPECT_EQ(image.find(92), nullptr);
  EXPECT_EQ(Handle(image.find(340)->i), defH);
  EXPECT_EQ(Handle(image.find(360)->i), reactorH);
  EXPECT_EQ(one("WIPEOUT").integer(71), 1);
  EXPECT_EQ(reals(one("WIPEOUT"), 24), (std::vector<double>{-0.5, 0.5}));
  const Object& def = one("IMAGEDEF");
  EXPECT_EQ(def.integer(280), 0);
  EXPECT_EQ(reals(def, 21), (std::vector<double>{0.5}));
  EXPECT_EQ(one("IMAGEDEF_REACTOR").owner, imageH);
  const Object& sort = one("SORTENTSTABLE");
  std::vector<Handle> pairs;
  for (const auto& t : sort.body)
    if (t.code == 331 || t.code == 5) pairs.push_back(Handle(t.i));
  EXPECT_EQ(pairs, (std::vector<Handle>{imageH, wipeH, wipeH, imageH}));
  EXPECT_EQ(one("DBCOLOR").text(430), "RAL CLASSIC$RAL 1006");
  EXPECT_EQ(one("DBCOLOR").integer(62), 42);
  const Object& filt = one("SPATIAL_FILTER");
  EXPECT_EQ(reals(filt, 40).size(), 25u);  // the front distance and the two matrices
  EXPECT_EQ(reals(filt, 40)[0], 2.5);
  const Object& index = one("LAYER_INDEX");
  EXPECT_EQ(index.real(40), 2460000.25);
  EXPECT_EQ(index.integer(90), 2);
  EXPECT_EQ(Handle(index.find(360)->i), bufferH);
  EXPECT_EQ(reals(one("IDBUFFER"), 330).size(), 2u);
}

// Underlays read from DXF, written and read back: placement, scale, rotation (degrees in DXF),
// flags, contrast, fade, clip vertices and the definition link survive, also for an inverted
// clip (whose record carries a second boundary the reader does not need) and for the DGN kind;
// an underlay without clip vertices is written and comes back without them.
TEST(DwgFamilyImage, UnderlayRoundTripKeepsValues) {
  const fs::path dxf = fs::path(KEL_SHARED_DIR) / "corpus" / "dxf-ref" / "libredwg_2004_Underlay.dxf";
  if (!fs::exists(dxf)) GTEST_SKIP() << "no corpus";
  Drawing src;
  const std::u16string in = plat::fromUtf8(dxf.string());
  ASSERT_EQ(kel::engine::readDxf(src, in.c_str(), nullptr), Acad::eOk);
  ASSERT_EQ(ofType(src, "PDFUNDERLAY").size(), 3u);
  // The second one becomes a DGN underlay, the third loses its clip boundary.
  std::vector<Object*> under;
  for (Object& e : src.entities)
    if (e.type == "PDFUNDERLAY") under.push_back(&e);
  under[1]->type = "DGNUNDERLAY";
  std::erase_if(under[2]->body, [](const Tag& t) { return t.code == 11 || t.code == 21; });
  const Handle cut = under[2]->handle;
  const Object want[] = {*under[0], *under[1]};

  Drawing back;
  ASSERT_TRUE(writeAndReadBack(src, back, {"PDFUNDERLAY", "DGNUNDERLAY"}));

  auto pdf = ofType(back, "PDFUNDERLAY"), dgn = ofType(back, "DGNUNDERLAY");
  ASSERT_EQ(pdf.size(), 2u);
  ASSERT_EQ(dgn.size(), 1u);
  const Object* bare = pdf[0]->handle == cut ? pdf[0] : pdf[1];
  const Object* clipped = pdf[0]->handle == cut ? pdf[1] : pdf[0];
  EXPECT_EQ(bare->handle, cut);
  EXPECT_EQ(bare->find(11), nullptr);
  EXPECT_NE(dgn[0]->handle, cut);
  const Object* got[] = {clipped, dgn[0]};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    for (int code : {10, 20, 30, 41, 42, 43, 50}) EXPECT_NEAR(got[i]->real(code), want[i].real(code, code >= 41 && code <= 43 ? 1 : 0), 1e-9) << code;
    for (int code : {280, 281, 282}) EXPECT_EQ(got[i]->integer(code), want[i].integer(code)) << code;
    EXPECT_EQ(reals(*got[i], 11), reals(want[i], 11));
    EXPECT_EQ(reals(*got[i], 21), reals(want[i], 21));
    EXPECT_EQ(got[i]->integer(280) & 16, 16);  // both clips are inverted
    EXPECT_EQ(Handle(got[i]->find(340)->i), ofType(back, "PDFDEFINITION").at(0)->handle);
  }
  EXPECT_NEAR(clipped->real(50), 5, 1e-9);
}
