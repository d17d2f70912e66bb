// Leaders, multileaders and multileader styles in DWG: the corpus files' records decode (and agree
// with the DXF the same drawing was saved as), and DXF -> DWG -> model keeps their values, the
// multileader's nested leaders, lines, breaks and block content included.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/engine/dwg_family_test_util.h"
#include "engine/dwg/read_dwg.h"
#include "engine/dwg/types_leader.h"
#include "engine/dwg/write_dwg.h"
#include "engine/dxf/dxf.h"
#include "engine/model/drawing.h"
#include "engine/model/structure.h"

using namespace kel::dwg;
using kel::engine::Drawing;
using kel::engine::Handle;
using kel::engine::Object;
using kel::engine::Tag;
using kel::engine::Tags;
namespace fs = std::filesystem;

namespace {

using kel::test::load;
using kel::test::reals;
using kel::test::CorpusCensus;
using kel::test::dwgCorpusCensus;

const char* const kTypes[] = {"LEADER", "MULTILEADER", "MLEADERSTYLE"};

std::map<Handle, const Object*> ofType(const Drawing& d, const std::string& type) {
  std::map<Handle, const Object*> out;
  d.forEachObject([&](const Object& o) {
    if (o.type == type) out[o.handle] = &o;
  });
  return out;
}

// The same values to the precision of a DXF's text.
void expectNear(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-9) << i;
}

// A multileader's values as one comparable text (every field the walk over it visits).
struct Flatten {
  std::string out;
  bool since(Version v) const { return v <= Version::R2013; }
  bool until(Version v) const { return v >= Version::R2013; }
  bool ok() const { return true; }
  void b(bool& v) { out += v ? "T " : "F "; }
  void bs(int16_t& v) { out += std::to_string(v) + ' '; }
  void bl(int32_t& v) { out += std::to_string(v) + ' '; }
  void bd(double& v) { out += std::to_string(v) + ' '; }
  void p3(Point3& v) { out += '(' + std::to_string(v.x) + ',' + std::to_string(v.y) + ',' + std::to_string(v.z) + ") "; }
  void t(std::string& v) { out += '"' + v + "\" "; }
  void h(Handle& v, HandleKind) { out += 'h' + std::to_string(v) + ' '; }
  void color(int32_t& v) { out += 'c' + std::to_string(v) + ' '; }
  template <class T>
  bool count(std::vector<T>& v, size_t) {
    out += '#' + std::to_string(v.size()) + ' ';
    return true;
  }
};
std::string flatten(const Object& o) {
  types::MLeader m = types::parseMLeader(o.body);
  Flatten f;
  types::mleaderFields(f, m);
  return f.out;
}

// Where two flattened multileaders first differ (empty when they agree).
std::string difference(const std::string& a, const std::string& b) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  if (i == a.size() && i == b.size()) return {};
  size_t from = i > 60 ? i - 60 : 0;
  return "at " + std::to_string(i) + ": ..." + a.substr(from, 100) + " | ..." + b.substr(from, 100);
}

}  // namespace

// The drawing saved by the reference application as DWG of seven releases (R14 .. R2018), and
// LibreDWG's leader samples: no record of these types stays raw, and the values agree with the
// DXF of the same drawing (a field read at the wrong place shifts everything after it).
TEST(DwgFamilyLeader, CorpusRecordsDecodeAndMatchTheirDxf) {
  const fs::path corpus = fs::path(KEL_SHARED_DIR) / "corpus";
  const CorpusCensus& census = dwgCorpusCensus();
  if (!census.present) GTEST_SKIP() << "no corpus";
  for (const char* t : kTypes)
    if (census.rawOf(t)) ADD_FAILURE() << census.rawOf(t) << " " << t << " kept raw in" << census.rawFilesOf(t);
  for (const char* t : kTypes) {
    EXPECT_GT(census.decodedOf(t), 10u) << t;
  }

  Drawing ref;
  std::ifstream f(corpus / "dxf" / "acadsharp_sample_AC1027_ascii.dxf", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  ASSERT_EQ(kel::engine::dxf::readDxfData(ref, text, nullptr), Acad::eOk);
  const auto refLeaders = ofType(ref, "LEADER"), refMl = ofType(ref, "MULTILEADER");
  const auto refStyles = ofType(ref, "MLEADERSTYLE");
  ASSERT_FALSE(refMl.empty());
  for (const char* ver : {"AC1018", "AC1021", "AC1024", "AC1027", "AC1032"}) {
    SCOPED_TRACE(ver);
    Drawing d;
    ASSERT_EQ(readDwgBytes(d, load(corpus / "dwg" / (std::string("acadsharp_sample_") + ver + ".dwg"))), Acad::eOk);
    const auto leaders = ofType(d, "LEADER"), ml = ofType(d, "MULTILEADER"), styles = ofType(d, "MLEADERSTYLE");
    ASSERT_EQ(leaders.size(), refLeaders.size());
    ASSERT_EQ(ml.size(), refMl.size());
    for (const auto& [h, r] : refLeaders) {
      ASSERT_TRUE(leaders.count(h));
      const Object& o = *leaders.at(h);
      // DXF shows a hookline as one more vertex before the last; the file does not store it.
      std::vector<double> x = reals(*r, 10), y = reals(*r, 20);
      if (r->integer(75) && x.size() > 2) {
        x.erase(x.end() - 2);
        y.erase(y.end() - 2);
      }
      expectNear(reals(o, 10), x);
      expectNear(reals(o, 20), y);
      EXPECT_EQ(o.integer(76), int64_t(x.size()));
      for (int code : {71, 72, 73, 74}) EXPECT_EQ(o.integer(code, -1), r->integer(code, code == 71 ? 1 : 0)) << code;
      EXPECT_EQ(o.text(3), r->text(3));
      EXPECT_EQ(o.find(340)->i, r->find(340)->i);
      if (std::string(ver) < "AC1024") {
        EXPECT_NEAR(o.real(41), r->real(41), 1e-9);
      }
    }
    for (const auto& [h, r] : refMl) {
      ASSERT_TRUE(ml.count(h));
      if (std::string(ver) < "AC1024") {
        // Files before R2010 do not store the leader lines' own look nor the attachment sides.
        EXPECT_EQ(ml.at(h)->text(304), r->text(304));
        EXPECT_NEAR(ml.at(h)->real(110), r->real(110), 1e-9);
      } else {
        EXPECT_EQ(difference(flatten(*ml.at(h)), flatten(*r)), "") << "handle " << std::hex << h;
      }
    }
    for (const auto& [h, r] : refStyles) {
      if (!styles.count(h)) continue;  // styles differ between releases' templates
      const Object& o = *styles.at(h);
      for (int code : {170, 171, 172, 173, 91, 92, 174, 178, 93, 94, 177}) EXPECT_EQ(o.integer(code), r->integer(code)) << code;
      for (int code : {42, 43, 44, 45, 47, 49, 140, 142}) EXPECT_EQ(o.real(code), r->real(code)) << code;
      EXPECT_EQ(o.text(3), r->text(3));
    }
  }
}

// A corpus DXF written as DWG and read back: nothing of these types is left out or kept raw, and
// every value survives.
TEST(DwgFamilyLeader, DxfToDwgRoundTripKeepsValues) {
  const fs::path src = fs::path(KEL_SHARED_DIR) / "corpus" / "dxf" / "acadsharp_sample_AC1027_ascii.dxf";
  if (!fs::exists(src)) GTEST_SKIP() << "no corpus";
  std::ifstream f(src, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  Drawing d;
  ASSERT_EQ(kel::engine::dxf::readDxfData(d, text, nullptr), Acad::eOk);
  Drawing back;
  ASSERT_TRUE(kel::test::writeAndReadBack(d, back, {std::begin(kTypes), std::end(kTypes)}));

  const auto ml = ofType(d, "MULTILEADER"), mlBack = ofType(back, "MULTILEADER");
  ASSERT_EQ(mlBack.size(), ml.size());
  for (const auto& [h, o] : ml) {
    ASSERT_TRUE(mlBack.count(h));
    EXPECT_EQ(difference(flatten(*mlBack.at(h)), flatten(*o)), "");
  }
  const auto leaders = ofType(d, "LEADER"), leadersBack = ofType(back, "LEADER");
  ASSERT_EQ(leadersBack.size(), leaders.size());
  for (const auto& [h, o] : leaders) {
    const Object& b = *leadersBack.at(h);
    // Every vertex is kept (a hookline's among them); the box size is not stored from R2010 on.
    for (int code : {10, 20, 30}) EXPECT_EQ(reals(b, code), reals(*o, code)) << code;
    for (int code : {71, 72, 73, 74}) EXPECT_EQ(b.integer(code), o->integer(code, code == 71 ? 1 : 0)) << code;
    EXPECT_EQ(b.integer(76), int64_t(reals(*o, 10).size()));
    EXPECT_EQ(b.text(3), o->text(3));
    EXPECT_EQ(b.find(340)->i, o->find(340)->i);
  }
  const auto styles = ofType(d, "MLEADERSTYLE"), stylesBack = ofType(back, "MLEADERSTYLE");
  ASSERT_EQ(stylesBack.size(), styles.size());
  for (const auto& [h, o] : styles) {
    const Object& b = *stylesBack.at(h);
    for (const Tag& t : o->body) {
      if (t.code == 100 || t.code == 330 || t.code == 5 || t.code == 102) continue;
      const Tag* got = b.find(t.code);
      ASSERT_NE(got, nullptr) << t.code;
      if (t.kind == kel::engine::ValueKind::Double) EXPECT_EQ(got->d, t.d) << t.code;
      else if (t.kind == kel::engine::ValueKind::String) EXPECT_EQ(got->s, t.s) << t.code;
      else EXPECT_EQ(got->i, t.i) << t.code;
    }
  }
}

// The branches the corpus barely reaches: block content with its transform, two leaders, a leader
// with breaks on the root and on a line, lines with their own look, block attribute labels and a
// true-colour text.
TEST(DwgFamilyLeader, MultileaderBranchesRoundTrip) {
  kel::test::SampleDrawing sample;
  Drawing& d = sample.d;
  const Handle ms = sample.ms;
  ASSERT_NE(ms, 0u);
  auto pt = [](Tags& b, int code, double x, double y, double z) {
    b.push_back(Tag::real(code, x));
    b.push_back(Tag::real(code + 10, y));
    b.push_back(Tag::real(code + 20, z));
  };
  Tags b = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0"), Tag::str(100, "AcDbMLeader"), Tag::integer(270, 2),
            Tag::str(300, "CONTEXT_DATA{"), Tag::real(40, 2.0)};
  pt(b, 10, 5, 6, 0);
  for (Tag t : {Tag::real(41, 0.25), Tag::real(140, 0.5), Tag::real(145, 0.1), Tag::integer(174, 1),
                Tag::integer(175, 3), Tag::integer(176, 0), Tag::integer(177, 0), Tag::integer(290, 0),
                Tag::integer(296, 1), Tag::handle(341, ms)})
    b.push_back(t);
  pt(b, 14, 0, 0, 1);
  pt(b, 15, 7, 8, 0);
  pt(b, 16, 2, 2, 2);
  b.push_back(Tag::real(46, 0.75));
  b.push_back(Tag::integer(93, int32_t(0xC2123456u)));
  for (int i = 0; i < 16; ++i) b.push_back(Tag::real(47, i * 0.5));
  pt(b, 110, 1, 2, 0);
  pt(b, 111, 1, 0, 0);
  pt(b, 112, 0, 1, 0);
  b.push_back(Tag::integer(297, 0));
  for (int root = 0; root < 2; ++root) {
    b.push_back(Tag::str(302, "LEADER{"));
    b.push_back(Tag::integer(290, 1));
    b.push_back(Tag::integer(291, 1));
    pt(b, 10, 4 + root, 6, 0);
    pt(b, 11, root ? -1 : 1, 0, 0);
    if (root == 1) {
      pt(b, 11, 1, 1, 0);
      pt(b, 12, 2, 2, 0);
    }
    b.push_back(Tag::integer(90, root));
    b.push_back(Tag::real(40, 0.36));
    b.push_back(Tag::str(304, "LEADER_LINE{"));
    pt(b, 10, 0, 0, 0);
    pt(b, 10, 1, root, 0);
    if (root == 1) {
      b.push_back(Tag::integer(90, 0));
      pt(b, 11, 0.2, 0.1, 0);
      pt(b, 12, 0.4, 0.2, 0);
      pt(b, 11, 0.6, 0.3, 0);
      pt(b, 12, 0.8, 0.4, 0);
    }
    b.push_back(Tag::integer(91, root));
    if (root == 1)
      for (Tag t : {Tag::integer(170, 2), Tag::integer(92, int32_t(0xC3000005u)), Tag::handle(340, 0),
                    Tag::integer(171, 35), Tag::real(40, 0.7), Tag::handle(341, 0), Tag::integer(93, 3)})
        b.push_back(t);
    b.push_back(Tag::str(305, "}"));
    b.push_back(Tag::integer(271, root));
    b.push_back(Tag::str(303, "}"));
  }
  for (Tag t : {Tag::integer(272, 9), Tag::integer(273, 5), Tag::str(301, "}"), Tag::integer(90, 0x40000),
                Tag::integer(170, 1), Tag::integer(91, int32_t(0xC2FF8000u)), Tag::integer(171, -2),
                Tag::integer(290, 1), Tag::integer(291, 0), Tag::real(41, 0.3), Tag::real(42, 0.2),
                Tag::integer(172, 1), Tag::integer(173, 1), Tag::integer(95, 1), Tag::integer(174, 1),
                Tag::integer(175, 0), Tag::integer(92, kel::dwg::types::kColorByBlock), Tag::integer(292, 1),
                Tag::handle(344, ms), Tag::integer(93, kel::dwg::types::kColorByLayer)})
    b.push_back(t);
  pt(b, 10, 1.5, 1.5, 1.5);
  for (Tag t : {Tag::real(43, 0.5), Tag::integer(176, 1), Tag::integer(293, 0), Tag::handle(330, 0),
                Tag::integer(177, 1), Tag::real(44, 2.5), Tag::str(302, "TAG-A"), Tag::handle(330, 0),
                Tag::integer(177, 2), Tag::real(44, 0), Tag::str(302, "Zweite Marke"), Tag::integer(294, 1),
                Tag::integer(178, 2), Tag::integer(179, 3), Tag::real(45, 1.25), Tag::integer(271, 1),
                Tag::integer(272, 9), Tag::integer(273, 5), Tag::integer(295, 1)})
    b.push_back(t);
  Object e;
  e.type = "MULTILEADER";
  e.handle = d.newHandle();
  e.owner = ms;
  e.body = b;
  d.entities.push_back(e);
  kel::engine::Notes notes;
  kel::engine::completeStructure(d, notes);

  Drawing back;
  ASSERT_TRUE(kel::test::writeAndReadBack(d, back, {"MULTILEADER"}));
  const auto got = ofType(back, "MULTILEADER");
  ASSERT_EQ(got.size(), 1u);
  const Object& o = *got.begin()->second;
  EXPECT_EQ(flatten(o), flatten(e));
  types::MLeader m = types::parseMLeader(o.body);
  ASSERT_EQ(m.ctx.roots.size(), 2u);
  EXPECT_EQ(m.ctx.roots[1].breaks.size(), 1u);
  ASSERT_EQ(m.ctx.roots[1].lines.size(), 1u);
  ASSERT_EQ(m.ctx.roots[1].lines[0].breaks.size(), 1u);
  EXPECT_EQ(m.ctx.roots[1].lines[0].breaks[0].pairs.size(), 2u);
  EXPECT_EQ(m.ctx.roots[1].lines[0].color, int32_t(0xC3000005u));
  EXPECT_TRUE(m.ctx.hasBlock);
  EXPECT_EQ(m.ctx.block.block, ms);
  EXPECT_EQ(m.ctx.block.matrix[15], 7.5);
  EXPECT_EQ(m.ctx.block.color, int32_t(0xC2123456u));
  EXPECT_EQ(m.lineColor, int32_t(0xC2FF8000u));
  ASSERT_EQ(m.labels.size(), 2u);
  EXPECT_EQ(m.labels[1].text, "Zweite Marke");
  EXPECT_EQ(m.ctx.textTop, 5);
}
