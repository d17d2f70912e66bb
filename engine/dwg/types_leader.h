// Descriptions of the leader family: LEADER, MLEADERSTYLE and MULTILEADER (see objects_types.h
// for the conventions). A multileader nests leaders, leader lines and breaks, and DXF gives its
// annotation context before the leaders while the file stores the leaders first; so its values are
// gathered into an `MLeader` by one walk over the fields (`mleaderFields`) that serves the reader,
// the writer and the writer's preparation step alike, and the DXF groups are made from that.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/dwg/objects_io.h"

namespace kel::dwg::types {

using V = Version;
using HK = HandleKind;

// Colour words as DXF gives them in these types: the whole 32-bit value, method byte included.
inline constexpr int32_t kColorByLayer = int32_t(0xC0000000u);
inline constexpr int32_t kColorByBlock = int32_t(0xC1000000u);

// The stored index that goes with a colour word.
inline int16_t colorIndexOfWord(int32_t word) {
  switch (uint32_t(word) >> 24) {
    case 0xC0: return 256;
    case 0xC1: return 0;
    case 0xC3: return int16_t(word & 0xFF);
    default: return 0;
  }
}
// The colour word of a stored index (files before R2004 keep the index alone).
inline int32_t colorWordOfIndex(int index) {
  if (index == 256) return kColorByLayer;
  if (index == 0) return kColorByBlock;
  return int32_t(0xC3000000u | uint32_t(index & 0xFF));
}

// A colour kept as its DXF word: index, word and name flags (names, when present, are read and
// dropped; the writer stores none).
template <class IO>
int32_t colorWord(IO& io) {
  int16_t index = io.BS(0);
  if (io.until(V::R2000)) return colorWordOfIndex(index);
  int32_t word = io.BL(0);
  int flags = io.RC(0);
  if (flags & 1) io.T(0);
  if (flags & 2) io.T(0);
  return word;
}


// ---- LEADER ---------------------------------------------------------------------------------------

// The place of each group in DXF's order of the AcDbLeader part.
inline int leaderGroupRank(int code) {
  switch (code) {
    case 3: return 0;
    case 71: return 1;
    case 72: return 2;
    case 73: return 3;
    case 74: return 4;
    case 75: return 5;
    case 40: return 6;
    case 41: return 7;
    case 76: return 8;
    case 10: case 20: case 30: return 9;
    case 77: return 10;
    case 340: return 11;
    case 210: case 220: case 230: return 12;
    case 211: case 221: case 231: return 13;
    case 212: case 222: case 232: return 14;
    case 213: case 223: case 233: return 15;
    default: return 16;
  }
}

template <class IO>
void visitLEADER(IO& io) {
  io.marker("AcDbLeader");
  size_t from = 0;
  if constexpr (IO::reading) from = io.out().size();
  io.B(0);  // unknown
  // Annotation type: 0 text, 1 tolerance, 2 block reference, 3 none (DXF's default when absent).
  io.implied(Tag::integer(73, io.BS(0)));
  io.BS(72);  // path type: 0 straight segments, 1 spline
  int n = io.BL(0);
  if (n < 0 || size_t(n) > io.streams().data.remainingBits() / 6) return io.fail();
  io.implied(Tag::integer(76, n));
  for (int i = 0; i < n && !io.failed(); ++i) io.BD3(10);
  io.BD3(0);  // origin: the first vertex (DXF has no group for it)
  io.BD3(210);
  Point3 xdir = io.BD3(0);  // DXF may leave the x direction out when it is the x axis
  io.implied(Tag::real(211, xdir.x));
  io.implied(Tag::real(221, xdir.y));
  io.implied(Tag::real(231, xdir.z));
  io.BD3(212);
  io.BD3(213);
  if (io.until(V::R14)) io.BD(0);  // dimension gap
  // From R2010 on the annotation box's size is not stored (it follows from the annotation).
  if (io.until(V::R2007)) {
    io.BD(40);
    io.BD(41);
  }
  io.B(74);
  io.implied(Tag::integer(71, io.B(0)));  // arrowhead on (DXF's default when absent: on)
  io.BS(0);  // arrowhead type
  if (io.until(V::R14)) {
    io.BD(0);  // arrowhead size
    io.B(0);
    io.B(0);
    io.BS(0);
    io.BS(77);
  }
  // Two flags of unknown meaning. The hookline DXF shows (75) is not stored: DXF adds it as an
  // extra vertex one arrowhead size before the last one when the last segment does not run along
  // the x direction. That size comes from the dimension style, so the leader is given here as
  // stored, without a hookline, which draws the same path less the short hook.
  io.B(0);
  io.B(0);
  io.H(340, HK::HardPointer);
  io.H(3, HK::HardPointer);
  if constexpr (IO::reading) {
    Tags& out = io.out();
    if (from <= out.size())
      std::stable_sort(out.begin() + std::ptrdiff_t(from), out.end(),
                       [](const Tag& a, const Tag& b) { return leaderGroupRank(a.code) < leaderGroupRank(b.code); });
  }
}

// ---- MLEADERSTYLE -----------------------------------------------------------------------------------

template <class IO>
void mleaderStyleColor(IO& io, int code) {
  int32_t word = colorWord(io);
  io.implied(Tag::integer(code, word));
}

template <class IO>
void visitMLEADERSTYLE(IO& io) {
  io.marker("AcDbMLeaderStyle");
  int version = 2;  // files before R2010 keep the style's version in extended data; 2 is current
  if (io.since(V::R2010)) {
    version = io.BS(0);
    io.implied(Tag::integer(179, version));
  }
  io.BS(170);
  io.BS(171);
  io.BS(172);
  io.BL(90);
  io.BD(40);
  io.BD(41);
  io.BS(173);
  mleaderStyleColor(io, 91);
  io.H(340, HK::HardPointer);
  io.BL(92);
  io.B(290);
  io.BD(42);
  io.B(291);
  io.BD(43);
  io.T(3);
  io.H(341, HK::HardPointer);
  io.BD(44);
  io.T(300);
  io.H(342, HK::HardPointer);
  io.BS(174);
  io.BS(178);
  if (version >= 2) io.BS(175);
  io.BS(176);
  mleaderStyleColor(io, 93);
  io.BD(45);
  io.B(292);
  if (version >= 2) io.B(297);
  io.BD(46);
  io.H(343, HK::HardPointer);
  mleaderStyleColor(io, 94);
  io.BD(47);
  io.BD(49);
  io.BD(140);
  io.B(293);
  io.BD(141);
  io.B(294);
  io.BS(177);
  io.BD(142);
  io.B(295);
  io.B(296);
  io.BD(143);
  if (io.since(V::R2010)) {
    io.BS(271);
    int top = io.BS(0);  // stored before the bottom attachment; DXF gives it after
    io.BS(272);
    io.implied(Tag::integer(273, top));
  }
  if (io.since(V::R2013)) io.B(298);
}

// ---- MULTILEADER ------------------------------------------------------------------------------------

struct MlBreak {
  Point3 start, end;
};
struct MlBreakInfo {
  int32_t segment = 0;
  std::vector<MlBreak> pairs;
};
struct MlLine {
  std::vector<Point3> points;
  std::vector<MlBreakInfo> breaks;
  int32_t index = 0;
  // R2010+: the line's own look (used where its override flags say so).
  int16_t type = 1;
  int32_t color = kColorByBlock;
  Handle linetype = 0;
  int32_t weight = -2;
  double arrowSize = 0;
  Handle arrow = 0;
  int32_t flags = 0;
};
struct MlRoot {
  bool valid = true, unknown = true;
  Point3 connection, direction{1, 0, 0};
  std::vector<MlBreak> breaks;
  int32_t index = 0;
  double landing = 0;
  std::vector<MlLine> lines;
  int16_t attachDir = 0;
};
struct MlText {
  std::string label;
  Point3 normal{0, 0, 1};
  Handle style = 0;
  Point3 location, direction{1, 0, 0};
  double rotation = 0, width = 0, height = 0, spacingFactor = 1;
  int16_t spacingStyle = 1;
  int32_t color = kColorByBlock;
  int16_t alignment = 1, flow = 1;
  int32_t bgColor = int32_t(0xC2FFFFFFu);
  double bgScale = 1.5;
  int32_t bgTransparency = 0;
  bool bgFill = false, bgMask = false;
  int16_t columnType = 0;
  bool autoHeight = false;
  double columnWidth = 0, gutter = 0;
  bool flowReversed = false;
  std::vector<double> columnSizes;
  bool wordBreak = true, unknown = false;
};
struct MlBlock {
  Handle block = 0;
  Point3 normal{0, 0, 1}, location, scale{1, 1, 1};
  double rotation = 0;
  int32_t color = kColorByBlock;
  std::array<double, 16> matrix{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};
struct MlContext {
  std::vector<MlRoot> roots;
  double scale = 1;
  Point3 contentBase;
  double textHeight = 0, arrowSize = 0, landingGap = 0;
  int16_t textLeft = 1, textRight = 1, textAlign = 0, attachType = 0;
  bool hasText = false;
  MlText text;
  bool hasBlock = false;
  MlBlock block;
  Point3 base, baseDir{1, 0, 0}, baseVert{0, 1, 0};
  bool normalReversed = false;
  int16_t textTop = 9, textBottom = 9;
};
struct MlArrow {
  bool isDefault = false;
  Handle arrow = 0;
};
struct MlLabel {
  Handle attdef = 0;
  std::string text;
  int16_t uiIndex = 0;
  double width = 0;
};
struct MLeader {
  int16_t version = 2;
  MlContext ctx;
  Handle style = 0;
  int32_t overrides = 0;
  int16_t leaderType = 1;
  int32_t lineColor = kColorByBlock;
  Handle linetype = 0;
  int32_t lineWeight = -2;
  bool landing = true, dogleg = true;
  double landingDist = 0;
  Handle arrow = 0;
  double arrowSize = 0;
  int16_t contentType = 2;
  Handle textStyle = 0;
  int16_t textLeft = 1, textRight = 1, textAngle = 1, textAlign = 0;
  int32_t textColor = kColorByBlock;
  bool frame = false;
  Handle blockStyle = 0;
  int32_t blockColor = kColorByBlock;
  Point3 blockScale{1, 1, 1};
  double blockRotation = 0;
  int16_t blockConnection = 0;
  bool annotative = false;
  std::vector<MlArrow> arrows;  // files up to R2007
  std::vector<MlLabel> labels;
  bool negTextDir = false;
  int16_t ipeAlign = 0, justification = 0;
  double scaleFactor = 1;
  int16_t attachDir = 0, attachTop = 9, attachBottom = 9;
  bool textExtended = false;
};

// Moves values between an MLeader and a description stream: the reader fills the structure from
// the file; the writer ignores it and takes every value from the queue its preparation step filled
// with the same walk (see MLeaderPusher).
template <class IO>
struct MLeaderStream {
  IO& io;
  bool since(V v) const { return io.since(v); }
  bool until(V v) const { return io.until(v); }
  bool ok() const { return !io.failed(); }
  void b(bool& v) { v = io.B(0); }
  void bs(int16_t& v) { v = io.BS(0); }
  void bl(int32_t& v) { v = io.BL(0); }
  void bd(double& v) { v = io.BD(0); }
  void p3(Point3& v) { v = io.BD3(0); }
  void t(std::string& v) { v = io.T(0); }
  void h(Handle& v, HK k) { v = io.H(0, k); }
  void color(int32_t& v) { v = colorWord(io); }
  // A count, bounded by the bits left (each item takes at least `minBits`).
  template <class T>
  bool count(std::vector<T>& v, size_t minBits) {
    int32_t n = io.BL(0);
    if (n < 0 || size_t(n) > io.streams().data.remainingBits() / minBits) {
      io.fail();
      return false;
    }
    v.assign(size_t(n), T{});
    return true;
  }
};

// The walk over a multileader's values in stored order.
template <class S>
void mleaderFields(S& s, MLeader& m) {
  if (s.since(V::R2010)) s.bs(m.version);
  MlContext& c = m.ctx;
  if (!s.count(c.roots, 8)) return;
  for (MlRoot& r : c.roots) {
    if (!s.ok()) return;
    s.b(r.valid);
    s.b(r.unknown);
    s.p3(r.connection);
    s.p3(r.direction);
    if (!s.count(r.breaks, 6)) return;
    for (MlBreak& k : r.breaks) {
      s.p3(k.start);
      s.p3(k.end);
    }
    s.bl(r.index);
    s.bd(r.landing);
    if (!s.count(r.lines, 4)) return;
    for (MlLine& l : r.lines) {
      if (!s.ok()) return;
      if (!s.count(l.points, 6)) return;
      for (Point3& p : l.points) s.p3(p);
      if (!s.count(l.breaks, 4)) return;
      for (MlBreakInfo& k : l.breaks) {
        s.bl(k.segment);
        if (!s.count(k.pairs, 6)) return;
        for (MlBreak& p : k.pairs) {
          s.p3(p.start);
          s.p3(p.end);
        }
      }
      s.bl(l.index);
      if (s.since(V::R2010)) {
        s.bs(l.type);
        s.color(l.color);
        s.h(l.linetype, HK::HardPointer);
        s.bl(l.weight);
        s.bd(l.arrowSize);
        s.h(l.arrow, HK::HardPointer);
        s.bl(l.flags);
      }
    }
    if (s.since(V::R2010)) s.bs(r.attachDir);
  }
  s.bd(c.scale);
  s.p3(c.contentBase);
  s.bd(c.textHeight);
  s.bd(c.arrowSize);
  s.bd(c.landingGap);
  s.bs(c.textLeft);
  s.bs(c.textRight);
  s.bs(c.textAlign);
  s.bs(c.attachType);
  s.b(c.hasText);
  if (c.hasText) {
    MlText& t = c.text;
    s.t(t.label);
    s.p3(t.normal);
    s.h(t.style, HK::HardPointer);
    s.p3(t.location);
    s.p3(t.direction);
    s.bd(t.rotation);
    s.bd(t.width);
    s.bd(t.height);
    s.bd(t.spacingFactor);
    s.bs(t.spacingStyle);
    s.color(t.color);
    s.bs(t.alignment);
    s.bs(t.flow);
    s.color(t.bgColor);
    s.bd(t.bgScale);
    s.bl(t.bgTransparency);
    s.b(t.bgFill);
    s.b(t.bgMask);
    s.bs(t.columnType);
    s.b(t.autoHeight);
    s.bd(t.columnWidth);
    s.bd(t.gutter);
    s.b(t.flowReversed);
    if (!s.count(t.columnSizes, 2)) return;
    for (double& w : t.columnSizes) s.bd(w);
    s.b(t.wordBreak);
    s.b(t.unknown);
  } else {
    s.b(c.hasBlock);
    if (c.hasBlock) {
      MlBlock& k = c.block;
      s.h(k.block, HK::SoftPointer);
      s.p3(k.normal);
      s.p3(k.location);
      s.p3(k.scale);
      s.bd(k.rotation);
      s.color(k.color);
      for (double& v : k.matrix) s.bd(v);
    }
  }
  s.p3(c.base);
  s.p3(c.baseDir);
  s.p3(c.baseVert);
  s.b(c.normalReversed);
  if (s.since(V::R2010)) {
    s.bs(c.textTop);
    s.bs(c.textBottom);
  }

  s.h(m.style, HK::HardPointer);
  s.bl(m.overrides);
  s.bs(m.leaderType);
  s.color(m.lineColor);
  s.h(m.linetype, HK::HardPointer);
  s.bl(m.lineWeight);
  s.b(m.landing);
  s.b(m.dogleg);
  s.bd(m.landingDist);
  s.h(m.arrow, HK::HardPointer);
  s.bd(m.arrowSize);
  s.bs(m.contentType);
  s.h(m.textStyle, HK::HardPointer);
  s.bs(m.textLeft);
  s.bs(m.textRight);
  s.bs(m.textAngle);
  s.bs(m.textAlign);
  s.color(m.textColor);
  s.b(m.frame);
  s.h(m.blockStyle, HK::HardPointer);
  s.color(m.blockColor);
  s.p3(m.blockScale);
  s.bd(m.blockRotation);
  s.bs(m.blockConnection);
  s.b(m.annotative);
  if (s.until(V::R2007)) {
    if (!s.count(m.arrows, 2)) return;
    for (MlArrow& a : m.arrows) {
      s.b(a.isDefault);
      s.h(a.arrow, HK::HardPointer);
    }
  }
  if (!s.count(m.labels, 4)) return;
  for (MlLabel& l : m.labels) {
    s.h(l.attdef, HK::SoftPointer);
    s.t(l.text);
    s.bs(l.uiIndex);
    s.bd(l.width);
  }
  s.b(m.negTextDir);
  s.bs(m.ipeAlign);
  s.bs(m.justification);
  s.bd(m.scaleFactor);
  if (s.since(V::R2010)) {
    s.bs(m.attachDir);
    s.bs(m.attachTop);
    s.bs(m.attachBottom);
  }
  if (s.since(V::R2013)) s.b(m.textExtended);
}

// The DXF groups of a multileader read from a file, in DXF's order.
void emitMLeader(ObjectReader& io, const MLeader& m);
// A multileader's values from its DXF groups (the AcDbMLeader part).
MLeader parseMLeader(const Tags& body);

template <class IO>
void visitMULTILEADER(IO& io) {
  io.marker("AcDbMLeader");
  MLeader m;
  MLeaderStream<IO> s{io};
  mleaderFields(s, m);
  if constexpr (IO::reading) {
    if (!io.failed()) emitMLeader(io, m);
  }
}

}  // namespace kel::dwg::types
