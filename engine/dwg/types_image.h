// Descriptions of the image family: raster images and wipeouts with their definitions, reactors
// and settings objects, and the small bookkeeping objects most drawings carry (scales, draw-order
// tables, book colours, clip filters, id buffers, layer indexes). Conventions as in
// objects_types.h: each value is named by the DXF group code it becomes; code 0 marks a value
// the record's DXF form spells differently, which a writer takes from the type's preparation step
// (family_image.cpp) in the order the description asks for it.
#pragma once
#include <cmath>
#include <string>
#include <vector>

#include "engine/dwg/objects_io.h"

namespace kel::dwg::types {

// ---- raster images and wipeouts ------------------------------------------------------------

// IMAGE and WIPEOUT share one layout; DXF names the part AcDbRasterImage or AcDbWipeout.
template <class IO>
void visitRasterImage(IO& io, const char* subclass) {
  io.marker(subclass);
  io.BL(90);  // class version
  io.BD3(10);
  io.BD3(11);  // one pixel along u
  io.BD3(12);  // one pixel along v
  io.RD2(13);  // size in pixels
  io.H(340, HandleKind::HardPointer);  // the image definition (none for a wipeout)
  io.BS(70);   // display flags
  io.B(280);   // clipping on
  io.RC(281);  // brightness
  io.RC(282);  // contrast
  io.RC(283);  // fade
  if (io.since(Version::R2010)) io.B(290);  // clip inverted
  io.H(360, HandleKind::HardOwner);  // the reactor linking image and definition
  // The boundary: a rectangle stores its two corners only, a polygon its vertex count first.
  const int kind = io.BS(0);
  io.implied(Tag::integer(71, kind));
  if (kind == 1) {
    io.implied(Tag::integer(91, 2));
    io.RD2(14);
    io.RD2(14);
    return;
  }
  const int n = io.BL(0);
  if (n < 0 || size_t(n) > io.streams().data.remainingBits() / 128) return io.fail();
  std::vector<Point2> pts(static_cast<size_t>(n));
  for (auto& p : pts) p = io.RD2(0);
  // DXF closes a polygon by repeating its first vertex at the end; the file does not.
  const bool close = n >= 3 && (pts.front().x != pts.back().x || pts.front().y != pts.back().y);
  io.implied(Tag::integer(91, n + (close ? 1 : 0)));
  if (close) pts.push_back(pts.front());
  for (const auto& p : pts) {
    io.implied(Tag::real(14, p.x));
    io.implied(Tag::real(24, p.y));
  }
}

template <class IO> void visitIMAGE(IO& io) { visitRasterImage(io, "AcDbRasterImage"); }
template <class IO> void visitWIPEOUT(IO& io) { visitRasterImage(io, "AcDbWipeout"); }

template <class IO>
void visitIMAGEDEF(IO& io) {
  io.marker("AcDbRasterImageDef");
  io.BL(90);
  // Stored as size, path, loaded, units, pixel size; DXF lists path, size, pixel size, flags.
  Point2 size = io.RD2(0);
  io.T(1);
  io.implied(Tag::real(10, size.x));
  io.implied(Tag::real(20, size.y));
  const bool loaded = io.B(0);
  const int units = io.RC(0);
  io.RD2(11);
  io.implied(Tag::integer(280, loaded ? 1 : 0));
  io.implied(Tag::integer(281, units));
}

template <class IO>
void visitIMAGEDEF_REACTOR(IO& io) {
  io.marker("AcDbRasterImageDefReactor");
  io.BL(90);
}

template <class IO>
void visitRASTERVARIABLES(IO& io) {
  io.marker("AcDbRasterVariables");
  io.BL(90);
  io.BS(70);  // frame shown
  io.BS(71);  // display quality
  io.BS(72);  // units
}

template <class IO>
void visitWIPEOUTVARIABLES(IO& io) {
  io.marker("AcDbWipeoutVariables");
  io.BS(70);  // frame shown
}

// ---- small objects --------------------------------------------------------------------------

template <class IO>
void visitSCALE(IO& io) {
  io.marker("AcDbScale");
  io.BS(70);
  io.T(300);
  io.BD(140);  // paper units
  io.BD(141);  // drawing units
  io.B(290);   // the 1:1 scale
}

// The draw order of a block: pairs of (entity, sort handle). The sort handles sit in the data
// stream, the block and the entities in the handle stream.
template <class IO>
void visitSORTENTSTABLE(IO& io) {
  io.marker("AcDbSortentsTable");
  const int n = io.BL(0);
  if (n < 0 || size_t(n) > io.streams().data.remainingBits() / 8) return io.fail();
  std::vector<Handle> sort(static_cast<size_t>(n));
  for (auto& h : sort) h = io.dataH(0);
  io.H(330, HandleKind::SoftPointer);
  // Pairs whose entity is gone (a null reference) are left out, as DXF cannot name them.
  for (int i = 0; i < n && !io.failed(); ++i) {
    const Handle entity = io.H(0, HandleKind::SoftPointer);
    if (!entity) continue;
    io.implied(Tag::handle(331, entity));
    io.implied(Tag::handle(5, sort[size_t(i)]));
  }
}

// A named colour (colour book entry). DXF gives the index, the true colour and "book$name".
// From R2004 on the colour word says what the colour is and the stored index is often 0: the
// index then comes from the word, and a true colour without one gets no 62 group.
template <class IO>
void visitDBCOLOR(IO& io) {
  io.marker("AcDbColor");
  int index = io.BS(0);
  if (!io.since(Version::R2004)) {
    io.implied(Tag::integer(62, index));
    return;
  }
  const uint32_t rgb = uint32_t(io.BL(0));
  const int flags = io.RC(0);
  const std::string name = (flags & 1) ? io.T(0) : std::string();
  const std::string book = (flags & 2) ? io.T(0) : std::string();
  if (index == 0 && (rgb >> 24) == 0xC3) index = int(rgb & 0xFF);
  if (index == 0 && (rgb >> 24) == 0xC0) index = 256;
  if (index != 0 || (rgb >> 24) != 0xC2) io.implied(Tag::integer(62, index));
  if ((rgb >> 24) == 0xC2) io.implied(Tag::integer(420, int64_t(rgb & 0xFFFFFF)));
  if (!name.empty()) io.implied(Tag::str(430, book.empty() ? name : book + "$" + name));
}

// The clip boundary of an external reference or block reference.
template <class IO>
void visitSPATIAL_FILTER(IO& io) {
  io.marker("AcDbFilter");
  io.marker("AcDbSpatialFilter");
  const int n = io.BS(0);
  if (n < 0 || size_t(n) > io.streams().data.remainingBits() / 128) return io.fail();
  io.implied(Tag::integer(70, n));
  for (int i = 0; i < n && !io.failed(); ++i) io.RD2(10);
  io.BD3(210);
  io.BD3(11);  // boundary origin
  io.BS(71);   // boundary shown
  if (io.BS(72)) io.BD(40);  // front clip distance
  if (io.BS(73)) io.BD(41);  // back clip distance
  // Two 3x4 matrices: the inverse block transform and the boundary transform.
  for (int i = 0; i < 24 && !io.failed(); ++i) io.BD(40);
}

template <class IO>
void visitIDBUFFER(IO& io) {
  io.marker("AcDbIdBuffer");
  io.RC(0);
  const int n = io.BL(0);
  if (n < 0 || size_t(n) > io.streams().handles.remainingBits() / 8) return io.fail();
  for (int i = 0; i < n && !io.failed(); ++i) io.H(330, HandleKind::SoftPointer);
}

// A time stamp as two longs (day, milliseconds) that DXF gives as one Julian date.
template <class IO>
void julianDate(IO& io, int code) {
  const uint32_t day = uint32_t(io.BL(0));
  const uint32_t ms = uint32_t(io.BL(0));
  io.implied(Tag::real(code, double(day) + double(ms) / 86400000.0));
}

// Per layer: how many entities the index holds for it, its name and the buffer of their ids.
template <class IO>
void visitLAYER_INDEX(IO& io) {
  io.marker("AcDbIndex");
  julianDate(io, 40);
  io.marker("AcDbLayerIndex");
  const int n = io.BL(0);
  if (n < 0 || size_t(n) > io.streams().handles.remainingBits() / 8) return io.fail();
  for (int i = 0; i < n && !io.failed(); ++i) {
    const int count = io.BL(0);
    io.T(8);
    io.H(360, HandleKind::HardOwner);
    io.implied(Tag::integer(90, count));
  }
}

// ---- underlays ------------------------------------------------------------------------------

// PDF, DWF and DGN underlays: a reference to a definition object placed like a block. DWG keeps
// the rotation in radians; DXF gives degrees, converted here rather than by the common angle
// tables so the reading and writing sides stay symmetrical within this file. A writer takes the
// values stored with code 0 (normal, rotation, scale, contrast, vertex count) from prepUnderlay.
template <class IO>
void visitUnderlay(IO& io) {
  io.marker("AcDbUnderlayReference");
  io.H(340, HandleKind::HardPointer);
  const Point3 normal = io.BD3(0);
  io.BD3(10);
  const double angle = io.BD(0);
  const double sx = io.BD(0), sy = io.BD(0), sz = io.BD(0);
  io.implied(Tag::real(41, sx));
  io.implied(Tag::real(42, sy));
  io.implied(Tag::real(43, sz));
  io.implied(Tag::real(50, angle * 180.0 / 3.14159265358979323846));
  io.implied(Tag::real(210, normal.x));
  io.implied(Tag::real(220, normal.y));
  io.implied(Tag::real(230, normal.z));
  const int flags = io.RC(280);  // 1 clipped, 2 on, 4 monochrome, 8 adjusted for background, 16 clip inverted
  io.implied(Tag::integer(281, io.RC(0)));  // contrast
  io.RC(282);                               // fade
  const int n = io.BL(0);
  if (n < 0 || size_t(n) > io.streams().data.remainingBits() / 128) return io.fail();
  for (int i = 0; i < n && !io.failed(); ++i) io.RD2(11);
  // With the clip inverted (16) one independent reader expects a second, non-empty vertex list
  // after the first, while the reference application's files end after the clip; the writer
  // repeats the boundary as that second list, which readers that stop after the clip never
  // reach. An underlay without clip vertices is written as the reference application writes it,
  // although that reader refuses such a record.
  if constexpr (!IO::reading) {
    if (n > 0 && (flags & 16)) {
      const int m = io.BS(0);
      for (int i = 0; i < m && !io.failed(); ++i) io.RD2(0);
    }
  } else {
    (void)flags;
  }
}

template <class IO> void visitPDFUNDERLAY(IO& io) { visitUnderlay(io); }
template <class IO> void visitDWFUNDERLAY(IO& io) { visitUnderlay(io); }
template <class IO> void visitDGNUNDERLAY(IO& io) { visitUnderlay(io); }

// The file an underlay shows and the sheet or model inside it.
template <class IO>
void visitUnderlayDefinition(IO& io) {
  io.marker("AcDbUnderlayDefinition");
  io.T(1);
  io.T(2);
}

}  // namespace kel::dwg::types
