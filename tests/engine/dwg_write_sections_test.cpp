// The AC1027 writer's parts, read back through the reader's decoders: object records, the header
// variables, classes, the object map and the string streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/dwg/classes.h"
#include "engine/dwg/container2000.h"
#include "engine/dwg/crc.h"
#include "engine/dwg/header.h"
#include "engine/dwg/objects.h"
#include "engine/dwg/objects_write.h"
#include "engine/dwg/write_sections.h"
#include "engine/model/drawing.h"

using namespace kel::dwg;
using kel::engine::Drawing;
using kel::engine::Object;
using kel::engine::Tag;
using kel::engine::Tags;

namespace {

// Strips MS size, handle-stream size and CRC: what decodeObject wants (from the UMC on).
std::vector<uint8_t> recordOf(const std::vector<uint8_t>& encoded) {
  BitReader r(encoded);
  uint32_t size = r.MS();
  size_t after = r.positionBits() / 8;
  BitReader u(std::span<const uint8_t>(encoded).subspan(after));
  u.UMC();
  size_t umc = u.positionBits() / 8;
  return std::vector<uint8_t>(encoded.begin() + long(after), encoded.begin() + long(after + umc + size));
}

const Tag* find(const Tags& t, int code, int nth = 0) {
  for (const auto& x : t)
    if (x.code == code && nth-- == 0) return &x;
  return nullptr;
}

struct Fixture {
  NameIndex names;
  WriteContext ctx;
  Fixture() {
    names.add("LAYER", "0", 0x10);
    names.add("LAYER", "Walls", 0x11);
    names.add("LTYPE", "Dashed", 0x12);
    names.add("STYLE", "Standard", 0x13);
    names.add("APPID", "ACAD", 0x14);
    ctx.names = &names;
  }
  DecodedObject roundTrip(const Object& o, const std::string& dwgType, uint8_t entmode = 2) {
    RecordPlan plan;
    plan.dwgType = dwgType;
    plan.type = fixedTypeNumber(dwgType);
    plan.kind = RecordKind::Entity;
    plan.entmode = entmode;
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(encodeRecord(o, plan, ctx, bytes));
    // The CRC over size fields and record.
    EXPECT_EQ(crc16(kCrc16Seed, bytes.data(), bytes.size() - 2),
              uint16_t(bytes[bytes.size() - 2] | bytes[bytes.size() - 1] << 8));
    std::vector<uint8_t> rec = recordOf(bytes);
    DecodeContext dc{Version::R2013, 30, nullptr};
    DecodedObject out;
    EXPECT_EQ(decodeObject(rec, dc, out), Acad::eOk);
    return out;
  }
};

Object entity(const std::string& type, Tags own, Handle h = 0x40) {
  Object o;
  o.type = type;
  o.handle = h;
  o.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "Walls")};
  o.body.insert(o.body.end(), own.begin(), own.end());
  return o;
}

}  // namespace

TEST(DwgWriteObjects, SimpleEntitiesRoundTripThroughTheReader) {
  Fixture f;
  Object line = entity("LINE", {Tag::str(100, "AcDbLine"), Tag::real(10, 1.5), Tag::real(20, -2), Tag::real(30, 0),
                                Tag::real(11, 4), Tag::real(21, 8.25), Tag::real(31, 0)});
  line.body.insert(line.body.begin() + 2, Tag::integer(62, 3));
  line.body.insert(line.body.begin() + 2, Tag::str(6, "Dashed"));
  DecodedObject d = f.roundTrip(line, "LINE");
  ASSERT_TRUE(d.decoded);
  EXPECT_EQ(d.type, 19);
  EXPECT_EQ(d.handle, 0x40u);
  EXPECT_EQ(d.entmode, 2);
  EXPECT_DOUBLE_EQ(find(d.body, 10)->d, 1.5);
  EXPECT_DOUBLE_EQ(find(d.body, 21)->d, 8.25);
  EXPECT_EQ(Handle(find(d.body, 8)->i), 0x11u);  // the layer by name
  EXPECT_EQ(Handle(find(d.body, 6)->i), 0x12u);  // the linetype by name
  EXPECT_EQ(find(d.body, 62)->i, 3);

  Object circle = entity("CIRCLE", {Tag::str(100, "AcDbCircle"), Tag::real(10, 1), Tag::real(20, 2), Tag::real(30, 3),
                                    Tag::real(40, 7.5), Tag::real(39, 2)});
  d = f.roundTrip(circle, "CIRCLE");
  ASSERT_TRUE(d.decoded);
  EXPECT_DOUBLE_EQ(find(d.body, 40)->d, 7.5);
  EXPECT_DOUBLE_EQ(find(d.body, 39)->d, 2);
  EXPECT_DOUBLE_EQ(find(d.body, 230)->d, 1);  // a missing extrusion is 0,0,1
}

TEST(DwgWriteObjects, StructuralValuesComeFromThePreparation) {
  Fixture f;
  // Widths, bulges and a closed flag: everything of an LWPOLYLINE is structural.
  Object pl = entity("LWPOLYLINE", {Tag::str(100, "AcDbPolyline"), Tag::integer(90, 3), Tag::integer(70, 1),
                                    Tag::real(10, 0), Tag::real(20, 0), Tag::real(42, 0.5), Tag::real(10, 10),
                                    Tag::real(20, 0), Tag::real(40, 1), Tag::real(41, 2), Tag::real(10, 10),
                                    Tag::real(20, 5)});
  DecodedObject d = f.roundTrip(pl, "LWPOLYLINE");
  ASSERT_TRUE(d.decoded);
  EXPECT_EQ(find(d.body, 90)->i, 3);
  EXPECT_EQ(find(d.body, 70)->i, 1);
  EXPECT_DOUBLE_EQ(find(d.body, 10, 2)->d, 10);
  EXPECT_DOUBLE_EQ(find(d.body, 20, 2)->d, 5);
  EXPECT_DOUBLE_EQ(find(d.body, 42, 0)->d, 0.5);
  EXPECT_DOUBLE_EQ(find(d.body, 41, 1)->d, 2);

  // TEXT: the data flags leave out the defaults; style by name; the alignment point is kept.
  Object text = entity("TEXT", {Tag::str(100, "AcDbText"), Tag::real(10, 1), Tag::real(20, 2), Tag::real(30, 0),
                                Tag::real(40, 2.5), Tag::str(1, "Hello \xC3\xA9"), Tag::real(50, 30),
                                Tag::str(7, "Standard"), Tag::integer(72, 1), Tag::real(11, 5), Tag::real(21, 2),
                                Tag::real(31, 0), Tag::str(100, "AcDbText"), Tag::integer(73, 2)});
  d = f.roundTrip(text, "TEXT");
  ASSERT_TRUE(d.decoded);
  EXPECT_EQ(find(d.body, 1)->s, "Hello \xC3\xA9");
  EXPECT_DOUBLE_EQ(find(d.body, 50)->d, 30);
  EXPECT_DOUBLE_EQ(find(d.body, 11)->d, 5);
  EXPECT_EQ(find(d.body, 72)->i, 1);
  EXPECT_EQ(find(d.body, 73)->i, 2);
  EXPECT_EQ(Handle(find(d.body, 7)->i), 0x13u);

  // INSERT with unequal scales and attributes owned through the plan.
  Object ins = entity("INSERT", {Tag::str(100, "AcDbBlockReference"), Tag::integer(66, 1), Tag::str(2, "B"),
                                 Tag::real(10, 1), Tag::real(20, 1), Tag::real(30, 0), Tag::real(41, 2),
                                 Tag::real(42, 3), Tag::real(43, 1)});
  RecordPlan plan;
  plan.dwgType = "INSERT";
  plan.type = 7;
  plan.kind = RecordKind::Entity;
  plan.entmode = 2;
  plan.links.owned = {0x41, 0x42};
  plan.links.seqend = 0x43;
  HandleSet present(std::vector<Handle>{0x41, 0x42, 0x43, 0x10, 0x11});
  f.ctx.present = &present;
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(encodeRecord(ins, plan, f.ctx, bytes));
  DecodedObject out;
  DecodeContext dc{Version::R2013, 30, nullptr};
  ASSERT_EQ(decodeObject(recordOf(bytes), dc, out), Acad::eOk);
  ASSERT_TRUE(out.decoded);
  EXPECT_DOUBLE_EQ(find(out.body, 42)->d, 3);
  EXPECT_EQ(find(out.body, 66)->i, 1);
  EXPECT_EQ(out.links.owned, (std::vector<Handle>{0x41, 0x42}));
  EXPECT_EQ(out.links.seqend, 0x43u);
  EXPECT_EQ(find(out.body, 2)->i, 0);  // the block is not in the file: a null reference
}

TEST(DwgWriteObjects, ExtendedDataAndUnknownTypes) {
  Fixture f;
  Object pt = entity("POINT", {Tag::str(100, "AcDbPoint"), Tag::real(10, 1), Tag::real(20, 2), Tag::real(30, 3)});
  pt.xdata = {Tag::str(1001, "ACAD"), Tag::str(1000, "note"), Tag::integer(1070, 7), Tag::real(1010, 1),
              Tag::real(1020, 2), Tag::real(1030, 3), Tag::str(1001, "NOT_REGISTERED"), Tag::str(1000, "lost")};
  DecodedObject d = f.roundTrip(pt, "POINT");
  ASSERT_TRUE(d.decoded);
  ASSERT_GE(d.xdata.size(), 6u);
  EXPECT_EQ(Handle(d.xdata[0].i), 0x14u);
  EXPECT_EQ(d.xdata[1].s, "note");
  EXPECT_EQ(d.xdata[2].i, 7);
  EXPECT_DOUBLE_EQ(d.xdata[5].d, 3);
  EXPECT_EQ(d.xdata.size(), 6u);  // an application without a registration is left out

  EXPECT_EQ(dwgTypeFor(entity("ACME_GADGET", {}), ""), "");
  EXPECT_EQ(dwgTypeFor(entity("POLYLINE", {Tag::integer(70, 8)}), ""), "POLYLINE_3D");
  EXPECT_EQ(dwgTypeFor(entity("VERTEX", {Tag::integer(70, 128)}), "POLYLINE_PFACE"), "VERTEX_PFACE_FACE");
  EXPECT_EQ(dwgTypeFor(entity("DIMENSION", {Tag::integer(70, 32 | 3)}), ""), "DIMENSION_DIAMETER");
  EXPECT_EQ(dwgTypeFor(entity("INSERT", {Tag::integer(70, 2)}), ""), "MINSERT");
}

TEST(DwgWriteSections, StringStreamIsFoundBackwards) {
  for (size_t units : {0u, 3u, 1200u, 3000u}) {  // 3000 units: a size above 0x7FFF bits
    BitWriter data(Version::R2013), strings(Version::R2013);
    data.BL(1234);
    std::u16string s(units, u'x');
    if (units) strings.TU(s);
    appendStringStream(data, strings);
    auto bytes = data.bytes();
    BitReader r(bytes, Version::R2013);
    BitReader out;
    ASSERT_TRUE(locateStringStream(r, 0, data.sizeBits(), out)) << units;
    if (units) EXPECT_EQ(out.TU(), s);
    else EXPECT_EQ(out.sizeBits(), 0u);
    EXPECT_EQ(r.BL(), 1234);
  }
}

TEST(DwgWriteSections, HeaderVariablesDecodeWithTheSettings) {
  Drawing d;
  d.setHeader("$LTSCALE", {Tag::real(40, 2.5)});
  d.setHeader("$CLAYER", {Tag::str(8, "Walls")});
  d.setHeader("$EXTMIN", {Tag::real(10, -1), Tag::real(20, -2), Tag::real(30, 0)});
  d.setHeader("$MENU", {Tag::str(1, "acad")});
  d.settings.saveProxyGraphics = 0;
  d.settings.indexCtl = 3;
  d.settings.drawOrderCtl = 17;
  NameIndex names;
  names.add("LAYER", "Walls", 0x22);
  WriteContext ctx;
  ctx.names = &names;
  HeaderLinks links;
  links.seed = 0x345;
  links.handles["_BLOCK_CONTROL"] = 1;
  links.handles["_DICTIONARY_NAMED_OBJECT"] = 0xC;
  std::vector<uint8_t> section = writeHeaderSection(d, links, ctx);
  std::span<const uint8_t> payload;
  ASSERT_TRUE(std::equal(kSentinelHeaderVars.begin(), kSentinelHeaderVars.end(), section.begin()));
  ASSERT_TRUE(framedPayload(section, true, &payload));
  DwgHeader h;
  ASSERT_EQ(decodeHeader(payload, Version::R2013, 30, h), Acad::eOk);
  EXPECT_EQ(h.handle("HANDSEED"), 0x345u);
  EXPECT_EQ(h.handle("CLAYER"), 0x22u);
  EXPECT_EQ(h.handle("_BLOCK_CONTROL"), 1u);
  EXPECT_EQ(h.handle("_DICTIONARY_NAMED_OBJECT"), 0xCu);
  EXPECT_DOUBLE_EQ(h.find("LTSCALE")->values[0].d, 2.5);
  EXPECT_DOUBLE_EQ(h.find("EXTMIN")->values[1].d, -2);
  EXPECT_EQ(h.find("MENU")->values[0].s, "acad");
  EXPECT_EQ(h.integer("PROXYGRAPHICS", -1), 0);
  EXPECT_EQ(h.integer("INDEXCTL"), 3);
  EXPECT_EQ(h.integer("SORTENTS"), 17);
  EXPECT_EQ(h.integer("EXTNAMES"), 1);
  // CRC over the size fields and payload.
  size_t crcAt = section.size() - 18;
  EXPECT_EQ(crc16(kCrc16Seed, section.data() + 16, crcAt - 16), uint16_t(section[crcAt] | section[crcAt + 1] << 8));
}

TEST(DwgWriteSections, ClassesDecodeWithTheirNumbers) {
  std::vector<DwgClass> in;
  for (int i = 0; i < 3; ++i) {
    DwgClass c;
    c.number = 500 + i;
    c.dxfName = "TYPE" + std::to_string(i);
    c.cppName = "AcDbType" + std::to_string(i);
    c.appName = "ObjectDBX Classes";
    c.isEntity = i == 1;
    c.instances = i * 10;
    c.proxyFlags = 1152;
    in.push_back(c);
  }
  std::vector<uint8_t> section = writeClassesSection(in, Version::R2013);
  std::span<const uint8_t> payload;
  ASSERT_TRUE(framedPayload(section, true, &payload));
  std::vector<DwgClass> out;
  ASSERT_EQ(decodeClasses(payload, Version::R2013, 30, out), Acad::eOk);
  ASSERT_EQ(out.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(out[i].number, 500 + i);
    EXPECT_EQ(out[i].dxfName, in[i].dxfName);
    EXPECT_EQ(out[i].cppName, in[i].cppName);
    EXPECT_EQ(out[i].isEntity, i == 1);
    EXPECT_EQ(out[i].instances, i * 10);
    EXPECT_EQ(out[i].proxyFlags, 1152);
  }
}

TEST(DwgWriteSections, ObjectMapChunksDecodeAndCheck) {
  // Enough entries for several chunks, given out of order.
  std::vector<std::pair<Handle, uint64_t>> entries;
  uint64_t off = 4;
  for (Handle h = 1; h < 3000; h += 1 + h % 7) {
    entries.emplace_back(h, off);
    off += 20 + h % 300;
  }
  std::vector<std::pair<Handle, uint64_t>> shuffled(entries.rbegin(), entries.rend());
  std::vector<uint8_t> map = writeObjectMap(shuffled);
  std::vector<ObjectMapEntry> out;
  ASSERT_EQ(decodeObjectMap(map, off + 1, out), Acad::eOk);  // eOk: every chunk CRC matches
  ASSERT_EQ(out.size(), entries.size());
  for (size_t i = 0; i < out.size(); ++i) {
    EXPECT_EQ(out[i].handle, entries[i].first);
    EXPECT_EQ(out[i].offset, entries[i].second);
  }
  // Chunks stay within the size readers accept.
  size_t pos = 0, chunks = 0;
  while (pos + 2 <= map.size()) {
    size_t size = size_t(map[pos]) << 8 | map[pos + 1];
    EXPECT_LE(size, 2032u);
    ++chunks;
    if (size == 2) break;
    pos += size + 2;
  }
  EXPECT_GT(chunks, 2u);
  EXPECT_EQ(writeObjectMap({}).size(), 4u);  // only the closing chunk
}

TEST(DwgWriteSections, BookkeepingSectionsHaveTheirFixedShapes) {
  FileInfo f;
  f.created = 2458000.25;
  f.seed = 0x1234;
  std::vector<uint8_t> aux = writeAuxHeader(f);
  EXPECT_EQ(aux.size(), 123u);
  EXPECT_EQ(aux[3], 31);  // AC1027
  std::vector<uint8_t> pre = writePreview(f);
  EXPECT_EQ(pre.size(), 16u + 4 + 1 + 16);
  Drawing d;
  f.thumbnail = renderThumbnail(d, 32);
  EXPECT_EQ(f.thumbnail.size(), 40u + 1024 + 32 * 32);
  pre = writePreview(f);
  EXPECT_EQ(pre[20], 1);  // one picture
  EXPECT_EQ(pre[21], 2);  // a BMP
  EXPECT_EQ(writeObjFreeSpace(f).size(), 89u);
  uint32_t day = 0, ms = 0;
  julian(2458000.25, day, ms);
  EXPECT_EQ(day, 2458000u);
  EXPECT_EQ(ms, 21600000u);
}
