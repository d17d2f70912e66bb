// Decoding the header variables section from the variable list in header_vars_dwg.def.
#include "engine/dwg/header.h"

#include <cstring>

#include "engine/dwg/objects_io.h"

namespace kel::dwg {

using engine::Tag;
using engine::Tags;

namespace {

constexpr Version R13 = Version::R13, R14 = Version::R14, R2000 = Version::R2000, R2004 = Version::R2004,
                  R2007 = Version::R2007, R2010 = Version::R2010, R2013 = Version::R2013, R2018 = Version::R2018;

const HeaderVarSpec kSpecs[] = {
#define KEL_DWG_HV(name, type, code, since, until) {#name, #type, code, since, until},
#include "engine/dwg/header_vars_dwg.def"
#undef KEL_DWG_HV
};

}  // namespace

std::span<const HeaderVarSpec> headerVarSpecs() { return kSpecs; }

const DwgHeaderVar* DwgHeader::find(const std::string& name) const {
  for (const auto& v : vars)
    if (v.name == name) return &v;
  return nullptr;
}
engine::Handle DwgHeader::handle(const std::string& name) const {
  const DwgHeaderVar* v = find(name);
  return v && !v->values.empty() ? engine::Handle(engine::asInt(v->values[0])) : 0;
}
int64_t DwgHeader::integer(const std::string& name, int64_t dflt) const {
  const DwgHeaderVar* v = find(name);
  return v && !v->values.empty() ? engine::asInt(v->values[0]) : dflt;
}

Acad::ErrorStatus decodeHeader(std::span<const uint8_t> payload, Version v, uint16_t codePage, DwgHeader& out) {
  out = DwgHeader{};
  ObjectStreams s;
  s.data = BitReader(payload, v);
  s.handles = BitReader(payload, v);
  if (v >= R2007) {
    // Data, strings and handles are separate streams from R2007 on.
    size_t endBit = s.data.RL();
    if (s.data.error() || endBit > payload.size() * 8 || endBit < 32) return Acad::eDwgObjectImproperlyRead;
    s.separateStrings = true;
    if (!locateStringStream(s.data, 32, endBit, s.strings)) return Acad::eDwgObjectImproperlyRead;
    s.data.limitBits(endBit);
    s.handles.setPositionBits(endBit);
  }
  Tags scratch;
  ObjectReader io(s, v, 0, codePage, scratch);
  int64_t lastPlotStyleType = 0;
  for (const HeaderVarSpec& spec : kSpecs) {
    if (v < spec.since || v > spec.until) continue;
    std::string name = spec.name;
    if (name == "CPSNID" && lastPlotStyleType != 3) continue;
    const std::string type = spec.type;
    const int code = spec.code ? spec.code : 0;
    // Internal values still need a code to be stored under; 1 (text), 70 (number) or 5 (handle).
    scratch.clear();
    if (type == "B") io.B(code ? code : 290);
    else if (type == "BB") io.BB(code ? code : 70);
    else if (type == "BS") io.BS(code ? code : 70);
    else if (type == "BL") io.BL(code ? code : 90);
    else if (type == "BLL") io.BLL(code ? code : 160);
    else if (type == "BD") io.BD(code ? code : 40);
    else if (type == "RC") io.RC(code ? code : 280);
    else if (type == "RS") io.RS(code ? code : 70);
    else if (type == "RL") io.RL(code ? code : 90);
    else if (type == "RD") io.RD(code ? code : 40);
    else if (type == "TV") io.T(code ? code : 1);
    else if (type == "CMC") io.CMC(code ? code : 62);
    else if (type == "BD3") io.BD3(code ? code : 10);
    else if (type == "RD2") io.RD2(code ? code : 10);
    else if (type == "SEED") io.dataH(5);
    else if (type == "H") {
      if (v >= R2007) io.H(code ? code : 5, HandleKind::HardPointer);
      else io.dataH(code ? code : 5);
    } else if (type == "TIME") {
      int32_t days = s.data.BL();
      int32_t ms = s.data.BL();
      scratch.push_back(Tag::real(code ? code : 40, double(days) + double(ms) / 86400000.0));
    } else if (type == "FLAGS") {
      int32_t f = s.data.BL();
      out.vars.push_back({"_FLAGS", {Tag::integer(90, f)}});
      out.vars.push_back({"CELWEIGHT", {Tag::integer(370, lineweightFromIndex(f & 0x1F))}});
      out.vars.push_back({"ENDCAPS", {Tag::integer(280, (f & 0x60) >> 5)}});
      out.vars.push_back({"JOINSTYLE", {Tag::integer(280, (f & 0x180) >> 7)}});
      out.vars.push_back({"LWDISPLAY", {Tag::integer(290, (f & 0x200) ? 0 : 1)}});
      out.vars.push_back({"XEDIT", {Tag::integer(290, (f & 0x400) ? 0 : 1)}});
      out.vars.push_back({"EXTNAMES", {Tag::integer(290, (f & 0x800) ? 1 : 0)}});
      out.vars.push_back({"PSTYLEMODE", {Tag::integer(290, (f & 0x2000) ? 1 : 0)}});
      out.vars.push_back({"OLESTARTUP", {Tag::integer(290, (f & 0x4000) ? 1 : 0)}});
      continue;
    }
    if (io.failed()) return Acad::eDwgObjectImproperlyRead;
    if (name == "CEPSNTYPE" && !scratch.empty()) lastPlotStyleType = engine::asInt(scratch[0]);
    // The R13/R14 and R2000+ positions of a variable both land under its one name.
    if (DwgHeaderVar* old = const_cast<DwgHeaderVar*>(out.find(name))) old->values = scratch;
    else out.vars.push_back({name, scratch});
  }
  return Acad::eOk;
}

bool framedPayload(std::span<const uint8_t> section, bool hiSize, std::span<const uint8_t>* payload) {
  size_t head = 16 + 4 + (hiSize ? 4 : 0);
  if (section.size() < head + 2) return false;
  uint32_t size = uint32_t(section[16]) | uint32_t(section[17]) << 8 | uint32_t(section[18]) << 16 |
                  uint32_t(section[19]) << 24;
  if (size > section.size() - head) return false;
  *payload = section.subspan(head, size);
  return true;
}

}  // namespace kel::dwg
