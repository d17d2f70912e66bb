// Decoding the classes section.
#include "engine/dwg/classes.h"

namespace kel::dwg {

using engine::Tag;

Acad::ErrorStatus decodeClasses(std::span<const uint8_t> payload, Version v, uint16_t codePage,
                                std::vector<DwgClass>& out) {
  out.clear();
  ObjectStreams s;
  s.data = BitReader(payload, v);
  size_t endBit = payload.size() * 8;
  if (v >= Version::R2007) {
    endBit = s.data.RL();
    if (s.data.error() || endBit > payload.size() * 8 || endBit < 32) return Acad::eDwgObjectImproperlyRead;
    s.separateStrings = true;
    if (!locateStringStream(s.data, 32, endBit, s.strings)) return Acad::eDwgObjectImproperlyRead;
    s.data.limitBits(endBit);
  }
  int maxClass = 0;
  if (v >= Version::R2004) {
    maxClass = s.data.BS();
    s.data.RC();
    s.data.RC();
    s.data.B();
  }
  engine::Tags scratch;
  ObjectReader io(s, v, 0, codePage, scratch);
  // A class record takes at least 2 BS + 3 texts + B + BS: stop when fewer bits remain than that.
  while (s.data.remainingBits() >= 18 && out.size() < 5000) {
    size_t mark = s.data.positionBits();
    DwgClass c;
    c.number = s.data.BS();
    c.proxyFlags = uint16_t(s.data.BS());
    c.appName = io.T(0);
    c.cppName = io.T(0);
    c.dxfName = io.T(0);
    c.wasZombie = s.data.B();
    int itemClass = s.data.BS();
    c.isEntity = itemClass == 0x1F2;
    if (v >= Version::R2004) {
      c.instances = s.data.BL();
      s.data.BL();  // drawing format
      s.data.BL();  // maintenance version
      s.data.BL();
      s.data.BL();
    }
    if (io.failed()) {
      // A partial record at the end is padding when nothing sensible was read.
      if (out.empty()) return Acad::eDwgObjectImproperlyRead;
      (void)mark;
      break;
    }
    if (c.number < 500 || (itemClass != 0x1F2 && itemClass != 0x1F3)) {
      if (v >= Version::R2004 || out.empty()) return out.empty() ? Acad::eDwgObjectImproperlyRead : Acad::eOk;
      break;
    }
    out.push_back(std::move(c));
    if (maxClass && out.back().number >= maxClass) break;
  }
  return Acad::eOk;
}

engine::Tags classTags(const DwgClass& c, Version v) {
  engine::Tags t = {Tag::str(1, c.dxfName), Tag::str(2, c.cppName), Tag::str(3, c.appName),
                    Tag::integer(90, c.proxyFlags)};
  if (v >= Version::R2004) t.push_back(Tag::integer(91, c.instances));
  t.push_back(Tag::integer(280, c.wasZombie ? 1 : 0));
  t.push_back(Tag::integer(281, c.isEntity ? 1 : 0));
  return t;
}

}  // namespace kel::dwg
