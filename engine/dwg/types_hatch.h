// Descriptions of HATCH, MLINE, TOLERANCE and SHAPE (see objects_types.h for the conventions).
//
// These types store their values in an order DXF does not follow (a hatch's gradient comes first
// in the file and last in DXF, a shape's thickness last in the file and first in DXF), and much
// of a hatch is counted structure. So the descriptions read their values structurally (code 0)
// and emit the DXF tags themselves with `implied`; on the writing side every such value comes
// from the type's preparation step (family_hatch.cpp), which pushes them in the order below.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/dwg/objects_io.h"

namespace kel::dwg::hatch {

using V = Version;
using HK = HandleKind;

// ---- small helpers: read structurally, emit the DXF tag ------------------------------------

template <class IO>
double bd(IO& io, int code) {
  double v = io.BD(0);
  io.implied(Tag::real(code, v));
  return v;
}
template <class IO>
int64_t bl(IO& io, int code) {
  int64_t v = io.BL(0);
  io.implied(Tag::integer(code, v));
  return v;
}
template <class IO>
int64_t bs(IO& io, int code) {
  int64_t v = io.BS(0);
  io.implied(Tag::integer(code, v));
  return v;
}
template <class IO>
bool b(IO& io, int code) {
  bool v = io.B(0);
  io.implied(Tag::integer(code, v ? 1 : 0));
  return v;
}
// A 2D point stored as two raw doubles; DXF gives it as x and y (code, code + 10).
template <class IO>
Point2 rd2(IO& io, int code) {
  Point2 p = io.RD2(0);
  io.implied(Tag::real(code, p.x));
  io.implied(Tag::real(code + 10, p.y));
  return p;
}
template <class IO>
void point3(IO& io, int code, const Point3& p) {
  io.implied(Tag::real(code, p.x));
  io.implied(Tag::real(code + 10, p.y));
  io.implied(Tag::real(code + 20, p.z));
}

// A count read from the file is believed only when the bits left could hold that many items of
// at least `minBits` each (a damaged count must not drive a huge loop).
template <class IO>
bool plausible(IO& io, int64_t n, size_t minBits) {
  if (n < 0 || size_t(n) > io.streams().data.remainingBits() / minBits) {
    io.fail();
    return false;
  }
  return true;
}
template <class IO>
bool plausibleHandles(IO& io, int64_t n) {
  if (n < 0 || size_t(n) > io.streams().handles.remainingBits() / 8) {
    io.fail();
    return false;
  }
  return true;
}

// ---- HATCH ------------------------------------------------------------------------------------

// A gradient colour given as RGB alone still needs an index in DXF (63, next to its 421): the
// nearest of the nine basic colours, so that a reader that ignores true colours sees about the
// right hue rather than "by block".
inline int nearestBasicColor(uint32_t rgb) {
  static constexpr uint32_t kBasic[9] = {0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0000FF,
                                         0xFF00FF, 0xFFFFFF, 0x808080, 0xC0C0C0};
  int best = 7;
  long bestDist = -1;
  for (int i = 0; i < 9; ++i) {
    long dist = 0;
    for (int shift : {16, 8, 0}) {
      long d = long((rgb >> shift) & 0xFF) - long((kBasic[i] >> shift) & 0xFF);
      dist += d * d;
    }
    if (bestDist < 0 || dist < bestDist) {
      bestDist = dist;
      best = i + 1;
    }
  }
  return best;
}

// One spline edge of a boundary path.
template <class IO>
bool hatchSplineEdge(IO& io) {
  bl(io, 94);
  bool rational = b(io, 73);
  b(io, 74);
  int64_t nk = bl(io, 95);
  int64_t nc = bl(io, 96);
  if (!plausible(io, nk, 2) || !plausible(io, nc, 4)) return false;
  for (int64_t i = 0; i < nk && !io.failed(); ++i) bd(io, 40);
  for (int64_t i = 0; i < nc && !io.failed(); ++i) {
    rd2(io, 10);
    if (rational) bd(io, 42);
  }
  // Fit data from R2010 on; the tangents at both ends follow only when there are fit points (as
  // the reference application's DXF shows: a 97 of 0 with no 12/13 after it).
  if (io.since(V::R2010)) {
    int64_t nf = bl(io, 97);
    if (!plausible(io, nf, 4)) return false;
    if (nf > 0) {
      for (int64_t i = 0; i < nf && !io.failed(); ++i) rd2(io, 11);
      rd2(io, 12);
      rd2(io, 13);
    }
  }
  return !io.failed();
}

// One boundary path; returns its flag word (bit 4: the pixel size is stored).
template <class IO>
int64_t hatchPath(IO& io) {
  int64_t flag = bl(io, 92);
  if (!(flag & 2)) {
    int64_t ne = bl(io, 93);
    if (!plausible(io, ne, 8)) return 0;
    for (int64_t e = 0; e < ne && !io.failed(); ++e) {
      int type = io.RC(0);
      io.implied(Tag::integer(72, type));
      switch (type) {
        case 1:  // line
          rd2(io, 10);
          rd2(io, 11);
          break;
        case 2:  // circular arc
          rd2(io, 10);
          bd(io, 40);
          bd(io, 50);
          bd(io, 51);
          b(io, 73);
          break;
        case 3:  // elliptic arc: centre, major axis end, minor/major ratio
          rd2(io, 10);
          rd2(io, 11);
          bd(io, 40);
          bd(io, 50);
          bd(io, 51);
          b(io, 73);
          break;
        case 4:
          if (!hatchSplineEdge(io)) return 0;
          break;
        default:
          io.fail();
          return 0;
      }
    }
  } else {
    bool bulges = b(io, 72);
    b(io, 73);
    int64_t n = bl(io, 93);
    if (!plausible(io, n, 4)) return 0;
    for (int64_t i = 0; i < n && !io.failed(); ++i) {
      rd2(io, 10);
      if (bulges) bd(io, 42);
    }
  }
  // The boundary objects the path follows (associative hatches), in the handle stream.
  int64_t nh = bl(io, 97);
  if (!plausibleHandles(io, nh)) return 0;
  for (int64_t i = 0; i < nh && !io.failed(); ++i) {
    Handle h = io.H(0, HK::SoftPointer);
    io.implied(Tag::handle(330, h));
  }
  return flag;
}

template <class IO>
void visitHATCH(IO& io) {
  io.marker("AcDbHatch");
  // The gradient (R2004+) comes first in the file; DXF gives it after the seed points.
  Tags gradient;
  bool hasGradient = false;
  if (io.since(V::R2004)) {
    int64_t isGradient = io.BL(0);
    int64_t reserved = io.BL(0);
    double angle = io.BD(0), shift = io.BD(0);
    int64_t single = io.BL(0);
    double tint = io.BD(0);
    int64_t n = io.BL(0);
    if (!plausible(io, n, 16)) return;
    gradient = {Tag::integer(450, isGradient), Tag::integer(451, reserved), Tag::real(460, angle),
                Tag::real(461, shift),         Tag::integer(452, single),   Tag::real(462, tint),
                Tag::integer(453, n)};
    for (int64_t i = 0; i < n && !io.failed(); ++i) {
      double value = io.BD(0);
      // A colour: index, colour word (method byte, RGB), name flags and names.
      int64_t index = io.BS(0);
      uint32_t word = uint32_t(io.BL(0));
      int flags = io.RC(0);
      if (flags & 1) io.T(0);
      if (flags & 2) io.T(0);
      switch (word >> 24) {
        case 0xC0: index = 256; break;
        case 0xC1: index = 0; break;
        case 0xC3: index = word & 0xFF; break;
        case 0xC2: if (index == 0) index = nearestBasicColor(word); break;
        default: break;
      }
      gradient.push_back(Tag::real(463, value));
      gradient.push_back(Tag::integer(63, index));
      if ((word >> 24) == 0xC2) gradient.push_back(Tag::integer(421, word & 0xFFFFFF));
    }
    std::string name = io.T(0);
    gradient.push_back(Tag::str(470, name));
    // DXF carries the gradient groups of gradient fills only.
    hasGradient = isGradient != 0;
  }
  double elevation = io.BD(0);
  point3(io, 10, Point3{0, 0, elevation});
  point3(io, 210, io.BD3(0));
  io.implied(Tag::str(2, io.T(0)));
  bool solid = b(io, 70);
  b(io, 71);
  int64_t paths = bl(io, 91);
  if (!plausible(io, paths, 8)) return;
  bool pixelSize = false;
  for (int64_t p = 0; p < paths && !io.failed(); ++p) pixelSize = (hatchPath(io) & 4) || pixelSize;
  if (io.failed()) return;
  bs(io, 75);
  bs(io, 76);
  if (!solid) {
    bd(io, 52);
    bd(io, 41);
    b(io, 77);
    int64_t lines = bs(io, 78);
    if (!plausible(io, lines, 12)) return;
    for (int64_t i = 0; i < lines && !io.failed(); ++i) {
      bd(io, 53);
      double x = io.BD(0), y = io.BD(0);
      io.implied(Tag::real(43, x));
      io.implied(Tag::real(44, y));
      double dx = io.BD(0), dy = io.BD(0);
      io.implied(Tag::real(45, dx));
      io.implied(Tag::real(46, dy));
      int64_t dashes = bs(io, 79);
      if (!plausible(io, dashes, 2)) return;
      for (int64_t k = 0; k < dashes && !io.failed(); ++k) bd(io, 49);
    }
  }
  if (pixelSize) bd(io, 47);
  int64_t seeds = bl(io, 98);
  if (!plausible(io, seeds, 128)) return;
  for (int64_t i = 0; i < seeds && !io.failed(); ++i) rd2(io, 10);
  if (hasGradient)
    for (const Tag& t : gradient) io.implied(t);
}

// ---- MLINE ------------------------------------------------------------------------------------

template <class IO>
void visitMLINE(IO& io) {
  io.marker("AcDbMline");
  // The style: DXF names it (2) and gives its handle (340).
  Handle style = io.H(0, HK::HardPointer);
  io.implied(Tag::handle(2, style));
  io.implied(Tag::handle(340, style));
  double scale = io.BD(0);
  int64_t justification = io.RC(0);
  Point3 base = io.BD3(0);
  Point3 extrusion = io.BD3(0);
  int64_t flags = io.BS(0);
  int64_t lines = io.RC(0);
  int64_t vertices = io.BS(0);
  io.implied(Tag::real(40, scale));
  io.implied(Tag::integer(70, justification));
  io.implied(Tag::integer(71, flags));
  io.implied(Tag::integer(72, vertices));
  io.implied(Tag::integer(73, lines));
  point3(io, 10, base);
  point3(io, 210, extrusion);
  if (!plausible(io, vertices, 18)) return;
  for (int64_t v = 0; v < vertices && !io.failed(); ++v) {
    io.BD3(11);  // the vertex
    io.BD3(12);  // direction of the segment that starts there
    io.BD3(13);  // miter direction
    for (int64_t l = 0; l < lines && !io.failed(); ++l) {
      int64_t segment = io.BS(74);
      if (!plausible(io, segment, 2)) return;
      for (int64_t k = 0; k < segment && !io.failed(); ++k) io.BD(41);
      int64_t fill = io.BS(75);
      if (!plausible(io, fill, 2)) return;
      for (int64_t k = 0; k < fill && !io.failed(); ++k) io.BD(42);
    }
  }
}

// ---- TOLERANCE --------------------------------------------------------------------------------

template <class IO>
void visitTOLERANCE(IO& io) {
  io.marker("AcDbFcf");
  io.H(3, HK::HardPointer);  // the dimension style
  if (io.until(V::R14)) {
    // R13 and R14 keep a short, the text height and the dimension gap of the time of creation.
    io.BS(0);
    io.BD(0);
    io.BD(0);
  }
  io.BD3(10);
  Point3 direction = io.BD3(0);
  Point3 extrusion = io.BD3(0);
  io.T(1);
  point3(io, 210, extrusion);
  point3(io, 11, direction);
}

// ---- SHAPE ------------------------------------------------------------------------------------

template <class IO>
void visitSHAPE(IO& io) {
  io.marker("AcDbShape");
  Point3 at = io.BD3(0);
  double size = io.BD(0), rotation = io.BD(0), width = io.BD(0), oblique = io.BD(0);
  double thickness = io.BD(0);
  int64_t number = io.BS(0);
  Point3 extrusion = io.BD3(0);
  io.H(0, HK::HardPointer);  // the text style that loads the shape file
  if (thickness != 0) io.implied(Tag::real(39, thickness));
  point3(io, 10, at);
  io.implied(Tag::real(40, size));
  // DXF names the shape; the name lives in the shape file, which the drawing does not hold. We
  // give the shape's number as its name, so that a DXF made from a DWG keeps which shape it is
  // and writing that DXF back to DWG restores the number.
  io.implied(Tag::str(2, std::to_string(uint16_t(number))));
  io.implied(Tag::real(50, rotation));
  io.implied(Tag::real(41, width));
  io.implied(Tag::real(51, oblique));
  point3(io, 210, extrusion);
}

}  // namespace kel::dwg::hatch
