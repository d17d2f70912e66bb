// Per-type descriptions of DWG object data, in the order the values are stored, each value named
// by the DXF group code it becomes. The common part of every record (type, handle, extended data,
// the common entity/object data, owner, reactors, extension dictionary and, for table entries, the
// name and xref flags) is handled in objects.cpp; a description starts after it.
//
// The data stream and the handle stream are separate, so a description may read a handle where
// DXF wants it (a text's style before its flags); only the order among handles and the order
// among data values must follow the file.
#pragma once
#include <cmath>
#include <vector>

#include "engine/dwg/objects_io.h"
#include "engine/dwg/spline_fit.h"

namespace kel::dwg::types {

using V = Version;
using HK = HandleKind;

// ---- table controls -----------------------------------------------------------------------

template <class IO>
void visitTableControl(IO& io) {
  io.marker("AcDbSymbolTable");
  int n = io.BL(70);
  for (int i = 0; i < n && !io.failed(); ++i) io.ownedH(0, HK::SoftOwner);
}

template <class IO>
void visitBlockControl(IO& io) {
  visitTableControl(io);
  io.linkH(&ObjectLinks::modelSpace, HK::HardOwner);
  io.linkH(&ObjectLinks::paperSpace, HK::HardOwner);
}

template <class IO>
void visitDimStyleControl(IO& io) {
  io.marker("AcDbSymbolTable");
  int n = io.BL(70);
  int extra = io.since(V::R2000) ? io.RC(0) : 0;
  for (int i = 0; i < n && !io.failed(); ++i) io.ownedH(0, HK::SoftOwner);
  if (io.since(V::R2000)) {
    io.marker("AcDbDimStyleTable");
    io.implied(Tag::integer(71, extra));
    for (int i = 0; i < extra && !io.failed(); ++i) io.H(340, HK::SoftPointer);
  }
}

// ---- table entries (after the name, 64-flag, xref index and xref-dependence bit) -------------

template <class IO>
void visitLAYER(IO& io) {
  int flags = 0, lw = -3;
  bool off = false, plot = true;
  if (io.until(V::R14)) {
    bool frozen = io.B(0), offBit = io.B(0), frozenNew = io.B(0), locked = io.B(0);
    flags = (frozen ? 1 : 0) | (frozenNew ? 2 : 0) | (locked ? 4 : 0);
    off = offBit;  // set for a layer that is off
  } else {
    int f = io.BS(0);
    flags = (f & 1) | ((f & 4) ? 2 : 0) | ((f & 8) ? 4 : 0);
    off = f & 2;
    plot = f & 16;
    lw = lineweightFromIndex((f >> 5) & 31);
  }
  io.implied(Tag::integer(70, flags));
  int16_t color = io.CMC(0);
  if (io.until(V::R14) && color < 0) off = true;  // an off layer may also carry a negative colour
  io.implied(Tag::integer(62, off ? -std::abs(color) : std::abs(color)));
  if (io.since(V::R2000)) io.H(390, HK::HardPointer);
  if (io.since(V::R2007)) io.H(347, HK::HardPointer);
  io.H(6, HK::HardPointer);
  if (io.since(V::R2000)) {
    io.implied(Tag::integer(290, plot ? 1 : 0));
    io.implied(Tag::integer(370, lw));
  }
}

template <class IO>
void visitSTYLE(IO& io) {
  bool vertical = io.B(0), shape = io.B(0);
  io.implied(Tag::integer(70, (shape ? 1 : 0) | (vertical ? 4 : 0)));
  io.BD(40);
  io.BD(41);
  io.BD(50);
  io.RC(71);
  io.BD(42);
  io.T(3);
  io.T(4);
}

template <class IO>
void visitLTYPE(IO& io) {
  io.implied(Tag::integer(70, 0));
  io.T(3);
  double length = io.BD(0);
  io.RC(72);
  int n = io.RC(73);
  io.implied(Tag::real(40, length));
  struct Dash {
    double len = 0, x = 0, y = 0, scale = 0, rot = 0;
    int shape = 0, flags = 0;
  };
  std::vector<Dash> dashes;
  bool anyText = false;
  for (int i = 0; i < n && !io.failed(); ++i) {
    Dash d;
    d.len = io.BD(0);
    d.shape = io.BS(0);
    d.x = io.RD(0);
    d.y = io.RD(0);
    d.scale = io.BD(0);
    d.rot = io.BD(0);
    d.flags = io.BS(0);
    anyText = anyText || (d.flags & 2);
    dashes.push_back(d);
  }
  std::string area;
  if (io.until(V::R2004)) area = io.bytes(256, 0);
  else if (anyText) area = io.bytes(512, 0);
  for (const Dash& d : dashes) {
    io.implied(Tag::real(49, d.len));
    io.implied(Tag::integer(74, d.flags));
    if (d.flags & 2) io.implied(Tag::integer(75, 0));
    else if (d.flags & 4) io.implied(Tag::integer(75, d.shape));
    if (d.flags & 6) {
      io.H(340, HK::HardPointer);
      io.implied(Tag::real(46, d.scale));
      io.implied(Tag::real(50, d.rot));
      io.implied(Tag::real(44, d.x));
      io.implied(Tag::real(45, d.y));
    } else {
      io.H(0, HK::HardPointer);
    }
    if (d.flags & 2) {
      // The dash's text sits in the strings area at the offset its shape number gives.
      std::string text;
      size_t at = size_t(d.shape);
      if (io.since(V::R2007)) {
        for (size_t k = at; k + 1 < area.size(); k += 2) {
          char16_t c = char16_t(uint8_t(area[k]) | (uint8_t(area[k + 1]) << 8));
          if (!c) break;
          text += utf16ToUtf8(std::u16string(1, c));
        }
      } else {
        for (size_t k = at; k < area.size() && area[k]; ++k) text += area[k];
      }
      io.implied(Tag::str(9, text));
    }
  }
}

template <class IO>
void visitVIEW(IO& io) {
  io.BD(40);
  io.BD(41);
  io.RD2(10);
  io.BD3(12);
  io.BD3(11);
  io.BD(50);
  io.BD(42);
  io.BD(43);
  io.BD(44);
  io.bits(4, 71);
  if (io.since(V::R2000)) io.RC(281);
  if (io.since(V::R2007)) {
    io.B(292);
    io.RC(282);
    io.BD(141);
    io.BD(142);
    io.CMC(63);
  }
  bool pspace = io.B(0);
  io.implied(Tag::integer(70, pspace ? 1 : 0));
  bool ucs = false;
  if (io.since(V::R2000)) {
    ucs = io.B(72);
    if (ucs) {
      io.BD3(110);
      io.BD3(111);
      io.BD3(112);
      io.BD(146);
      io.BS(79);
    }
  }
  if (io.since(V::R2007)) io.B(73);
  if (io.since(V::R2007)) {
    io.H(332, HK::SoftPointer);
    io.H(348, HK::HardPointer);
    io.H(361, HK::HardOwner);
  }
  if (io.since(V::R2000) && ucs) {
    io.H(346, HK::HardPointer);
    io.H(345, HK::HardPointer);
  }
  if (io.since(V::R2007)) io.H(334, HK::HardPointer);
}

template <class IO>
void visitUCS(IO& io) {
  io.implied(Tag::integer(70, 0));
  io.BD3(10);
  io.BD3(11);
  io.BD3(12);
  if (io.since(V::R2000)) {
    io.BD(146);
    io.BS(79);
    io.BS(71);
    io.H(346, HK::HardPointer);
    io.H(0, HK::HardPointer);
  }
}

template <class IO>
void visitVPORT(IO& io) {
  io.implied(Tag::integer(70, 0));
  double height = io.BD(40);
  double width = io.BD(0);
  io.implied(Tag::real(41, height != 0 ? width / height : 1.0));
  io.RD2(12);
  io.BD3(17);
  io.BD3(16);
  io.BD(51);
  io.BD(42);
  io.BD(43);
  io.BD(44);
  int mode = int(io.bits(4, 0));
  if (io.since(V::R2000)) io.RC(281);
  if (io.since(V::R2007)) {
    io.B(292);
    io.RC(282);
    io.BD(141);
    io.BD(142);
    io.CMC(63);
  }
  io.RD2(10);
  io.RD2(11);
  bool follow = io.B(0);
  io.implied(Tag::integer(71, mode | (follow ? 4 : 0)));
  io.BS(72);
  io.B(73);
  int icon0 = io.B(0), icon1 = io.B(0);
  io.implied(Tag::integer(74, icon0 | (icon1 << 1)));
  io.B(76);
  io.RD2(15);
  io.B(75);
  io.B(77);
  io.BS(78);
  io.BD(50);
  io.RD2(13);
  io.RD2(14);
  if (io.since(V::R2000)) {
    io.B(0);
    io.B(65);
    io.BD3(110);
    io.BD3(111);
    io.BD3(112);
    io.BD(146);
    io.BS(79);
  }
  if (io.since(V::R2007)) {
    io.BS(60);
    io.BS(61);
    io.H(332, HK::SoftPointer);
    io.H(348, HK::HardPointer);
    io.H(361, HK::HardOwner);
  }
  if (io.since(V::R2000)) {
    io.H(345, HK::HardPointer);
    io.H(346, HK::HardPointer);
  }
}

template <class IO>
void visitAPPID(IO& io) {
  io.implied(Tag::integer(70, 0));
  io.RC(71);
}

// R13 and R14 keep the switches first (one bit or byte each), then the sizes, then the texts. The
// later form spells two of these differently: the fit setting (287) became DIMATFIT (289) plus
// DIMTMOVE (279), the unit setting (270) DIMLUNIT (277) plus DIMFRAC (276); the arrow block names
// (5, 6, 7) became handles, so they are read and dropped (the arrows fall back to the default).
template <class IO>
void visitDimStyle14(IO& io) {
  io.implied(Tag::integer(70, 0));
  for (int c : {71, 72, 73, 74, 75, 76, 170, 172, 173, 174, 175}) io.B(c);
  io.RC(171);
  io.RC(78);
  io.B(281);
  io.B(282);
  io.RC(283);
  io.RC(280);
  int fit = io.RC(0);
  io.implied(Tag::integer(289, fit <= 3 ? fit : 3));
  io.implied(Tag::integer(279, fit == 4 ? 1 : fit == 5 ? 2 : 0));
  io.B(288);
  for (int c : {284, 285, 286}) io.RC(c);
  io.RC(77);
  int unit = io.BS(0);
  // 1-3 scientific, decimal, engineering; 4/6 architectural stacked/not; 5/7 fractional
  // stacked/not; 8 the system's own format.
  static constexpr int kLunit[] = {2, 1, 2, 3, 4, 5, 4, 5, 6};
  io.implied(Tag::integer(277, kLunit[unit >= 1 && unit <= 8 ? unit : 0]));
  io.implied(Tag::integer(276, unit == 6 || unit == 7 ? 2 : 0));
  io.BS(275);
  for (int c : {271, 272, 273, 274}) io.BS(c);
  for (int c : {40, 41, 42, 43, 44, 45, 46, 47, 48}) io.BD(c);
  for (int c : {140, 141, 142, 143, 144, 145, 146, 147}) io.BD(c);
  io.T(3);
  io.T(4);
  for (int i = 0; i < 3; ++i) io.T(0);
  io.CMC(176);
  io.CMC(177);
  io.CMC(178);
  io.B(0);
  io.H(340, HK::HardPointer);
}

template <class IO>
void visitDIMSTYLE(IO& io) {
  if (io.until(V::R14)) {
    visitDimStyle14(io);
    return;
  }
  io.implied(Tag::integer(70, 0));
  io.T(3);
  io.T(4);
  for (int c : {40, 41, 42, 43, 44, 45, 46, 47, 48}) io.BD(c);
  if (io.since(V::R2007)) {
    io.BD(49);
    io.BD(50);
    io.BS(69);
    io.CMC(70);
  }
  for (int c : {71, 72, 73, 74, 75, 76}) io.B(c);
  io.BS(77);
  io.BS(78);
  io.BS(79);
  if (io.since(V::R2007)) io.BS(90);
  for (int c : {140, 141, 142, 143, 144, 145, 146, 147, 148}) io.BD(c);
  io.B(170);
  io.BS(171);
  for (int c : {172, 173, 174, 175}) io.B(c);
  io.CMC(176);
  io.CMC(177);
  io.CMC(178);
  io.BS(179);
  for (int c : {271, 272, 273, 274, 275, 276, 277, 278, 279, 280}) io.BS(c);
  io.B(281);
  io.B(282);
  for (int c : {283, 284, 285, 286}) io.BS(c);
  io.B(288);
  io.BS(289);
  if (io.since(V::R2007)) io.B(290);
  if (io.since(V::R2010)) {
    io.B(295);
    io.BD(0);
    io.T(0);
    io.BD(0);
    io.T(0);
  }
  io.BS(371);
  io.BS(372);
  io.B(0);
  io.H(340, HK::HardPointer);
  io.H(341, HK::HardPointer);
  io.H(342, HK::HardPointer);
  io.H(343, HK::HardPointer);
  io.H(344, HK::HardPointer);
  if (io.since(V::R2007)) {
    io.H(345, HK::HardPointer);
    io.H(346, HK::HardPointer);
    io.H(347, HK::HardPointer);
  }
}

// A block record: its own DXF groups, and the BLOCK entity's (flags, base point, xref path,
// description) set aside for that record.
template <class IO>
void visitBLOCK_RECORD(IO& io) {
  bool anon = io.B(0), attrs = io.B(0), xref = io.B(0), overlay = io.B(0);
  bool loaded = io.since(V::R2000) ? io.B(0) : false;
  int flags = (anon ? 1 : 0) | (attrs ? 2 : 0) | (xref ? 4 : 0) | (overlay ? 8 : 0) | (loaded ? 32 : 0);
  int owned = 0;
  if (io.since(V::R2004) && !xref && !overlay) owned = io.BL(0);
  Point3 base = io.BD3(0);
  std::string path = io.T(0);
  int inserts = 0;
  std::string description;
  if (io.since(V::R2000)) {
    while (io.RC(0) != 0 && !io.failed()) ++inserts;
    description = io.T(0);
    int preview = io.BL(0);
    if (preview < 0 || size_t(preview) * 8 > io.streams().data.remainingBits()) io.fail();
    else io.bytes(size_t(preview), 310);
  }
  if (io.since(V::R2007)) {
    io.BS(70);
    io.B(280);
    io.RC(281);
  }
  io.side().push_back(Tag::integer(70, flags));
  io.side().push_back(Tag::real(10, base.x));
  io.side().push_back(Tag::real(20, base.y));
  io.side().push_back(Tag::real(30, base.z));
  io.side().push_back(Tag::str(1, path));
  io.side().push_back(Tag::str(4, description));
  io.linkH(&ObjectLinks::blockEntity, HK::HardOwner);
  if (io.until(V::R2000)) {
    if (!xref && !overlay) {
      io.linkH(&ObjectLinks::first, HK::SoftPointer);
      io.linkH(&ObjectLinks::last, HK::SoftPointer);
    }
  } else {
    for (int i = 0; i < owned && !io.failed(); ++i) io.ownedH(0, HK::HardOwner);
  }
  io.linkH(&ObjectLinks::endblk, HK::HardOwner);
  for (int i = 0; i < inserts && !io.failed(); ++i) io.H(0, HK::SoftPointer);
  if (io.since(V::R2000)) io.H(340, HK::HardPointer);
}

// ---- entities -------------------------------------------------------------------------------

template <class IO>
void visitBLOCK(IO& io) {
  io.marker("AcDbBlockBegin");
  io.T(2);
}

template <class IO>
void visitENDBLK(IO& io) {
  io.marker("AcDbBlockEnd");
}

template <class IO>
void visitSEQEND(IO&) {}

template <class IO>
void visitLINE(IO& io) {
  io.marker("AcDbLine");
  if (io.until(V::R14)) {
    io.BD3(10);
    io.BD3(11);
    io.BD(39);
    io.BD3(210);
    return;
  }
  bool zZero = io.B(0);
  double x1 = io.RD(10);
  io.DD(11, x1);
  double y1 = io.RD(20);
  io.DD(21, y1);
  if (!zZero) {
    double z1 = io.RD(30);
    io.DD(31, z1);
  } else {
    io.implied(Tag::real(30, 0));
    io.implied(Tag::real(31, 0));
  }
  io.BT(39);
  io.BE(210);
}

template <class IO>
void visitPOINT(IO& io) {
  io.marker("AcDbPoint");
  io.BD(10);
  io.BD(20);
  io.BD(30);
  io.BT(39);
  io.BE(210);
  io.BD(50);
}

template <class IO>
void visitCIRCLE(IO& io) {
  io.marker("AcDbCircle");
  io.BD3(10);
  io.BD(40);
  io.BT(39);
  io.BE(210);
}

template <class IO>
void visitARC(IO& io) {
  visitCIRCLE(io);
  io.marker("AcDbArc");
  io.BD(50);
  io.BD(51);
}

template <class IO>
void visitSOLID(IO& io) {
  io.marker("AcDbTrace");
  io.BT(39);
  double z = io.BD(0);
  io.RD2z(10, z);
  io.RD2z(11, z);
  io.RD2z(12, z);
  io.RD2z(13, z);
  io.BE(210);
}

template <class IO>
void visit3DFACE(IO& io) {
  io.marker("AcDbFace");
  if (io.until(V::R14)) {
    for (int c : {10, 11, 12, 13}) io.BD3(c);
    io.BS(70);
    return;
  }
  bool noFlags = io.B(0), zZero = io.B(0);
  Point3 p;
  p.x = io.RD(10);
  p.y = io.RD(20);
  if (zZero) io.implied(Tag::real(30, 0));
  else p.z = io.RD(30);
  for (int c : {11, 12, 13}) {
    p.x = io.DD(c, p.x);
    p.y = io.DD(c + 10, p.y);
    p.z = io.DD(c + 20, p.z);
  }
  if (!noFlags) io.BS(70);
}

template <class IO>
void visitELLIPSE(IO& io) {
  io.marker("AcDbEllipse");
  io.BD3(10);
  io.BD3(11);
  io.BD3(210);
  io.BD(40);
  io.BD(41);
  io.BD(42);
}

template <class IO>
void visitRAY(IO& io) {
  io.marker("AcDbRay");
  io.BD3(10);
  io.BD3(11);
}

template <class IO>
void visitXLINE(IO& io) {
  io.marker("AcDbXline");
  io.BD3(10);
  io.BD3(11);
}

// TEXT, ATTRIB and ATTDEF share the text part.
template <class IO>
void visitTextPart(IO& io, bool text) {
  io.marker("AcDbText");
  int valign = 0;
  if (io.until(V::R14)) {
    double elev = io.BD(0);
    io.RD2z(10, elev);
    io.RD2z(11, elev);
    io.BD3(210);
    io.BD(39);
    io.BD(51);
    io.BD(50);
    io.BD(40);
    io.BD(41);
    io.T(1);
    io.BS(71);
    io.BS(72);
    valign = io.BS(0);
  } else {
    int df = io.RC(0);
    double elev = (df & 1) ? 0.0 : io.RD(0);
    Point2 ins = io.RD2(0);
    io.implied(Tag::real(10, ins.x));
    io.implied(Tag::real(20, ins.y));
    io.implied(Tag::real(30, elev));
    if (!(df & 2)) {
      io.DD(11, ins.x);
      io.DD(21, ins.y);
      io.implied(Tag::real(31, elev));
    }
    io.BE(210);
    io.BT(39);
    if (!(df & 4)) io.RD(51);
    if (!(df & 8)) io.RD(50);
    io.RD(40);
    if (!(df & 16)) io.RD(41);
    io.T(1);
    if (!(df & 32)) io.BS(71);
    if (!(df & 64)) io.BS(72);
    if (!(df & 128)) valign = io.BS(0);
  }
  io.H(7, HK::HardPointer);
  if (text) {
    io.marker("AcDbText");
    io.implied(Tag::integer(73, valign));
  } else {
    io.implied(Tag::integer(74, valign));
  }
}

template <class IO>
void visitTEXT(IO& io) {
  visitTextPart(io, true);
}

template <class IO>
void visitAttributePart(IO& io, bool definition) {
  if (io.since(V::R2010)) io.RC(280);
  if (io.since(V::R2018)) {
    int kind = io.RC(0);
    if (kind > 1) {
      io.fail();  // multi-line attributes keep their bits
      return;
    }
  }
  io.T(2);
  io.BS(73);
  io.RC(70);
  if (io.since(V::R2007)) io.B(280);
  (void)definition;
}

template <class IO>
void visitATTRIB(IO& io) {
  visitTextPart(io, false);
  io.marker("AcDbAttribute");
  visitAttributePart(io, false);
}

template <class IO>
void visitATTDEF(IO& io) {
  visitTextPart(io, false);
  io.marker("AcDbAttributeDefinition");
  visitAttributePart(io, true);
  if (io.since(V::R2010)) io.RC(0);
  io.T(3);
}

// Sub-entity links of POLYLINE and INSERT: first/last before R2004, an owned list after.
template <class IO>
void visitSubEntities(IO& io, int ownedCount, bool present) {
  if (!present) return;
  if (io.until(V::R2000)) {
    io.linkH(&ObjectLinks::first, HK::SoftPointer);
    io.linkH(&ObjectLinks::last, HK::SoftPointer);
  } else {
    for (int i = 0; i < ownedCount && !io.failed(); ++i) io.ownedH(0, HK::HardOwner);
  }
  io.linkH(&ObjectLinks::seqend, HK::HardOwner);
}

template <class IO>
void visitInsertPart(IO& io, bool multiple) {
  io.marker(multiple ? "AcDbMInsertBlock" : "AcDbBlockReference");
  io.H(2, HK::HardPointer);
  io.BD3(10);
  if (io.until(V::R14)) {
    io.BD(41);
    io.BD(42);
    io.BD(43);
  } else {
    int sf = io.BB(0);
    double x = 1, y = 1, z = 1;
    if (sf == 0) {
      x = io.RD(0);
      y = io.DD(0, x);
      z = io.DD(0, x);
    } else if (sf == 2) {
      x = y = z = io.RD(0);
    }
    io.implied(Tag::real(41, x));
    io.implied(Tag::real(42, y));
    io.implied(Tag::real(43, z));
  }
  io.BD(50);
  io.BD3(210);
  bool attribs = io.B(0);
  io.implied(Tag::integer(66, attribs ? 1 : 0));
  int owned = (attribs && io.since(V::R2004)) ? io.BL(0) : 0;
  if (multiple) {
    io.BS(70);
    io.BS(71);
    io.BD(44);
    io.BD(45);
  }
  visitSubEntities(io, owned, attribs);
}

template <class IO>
void visitINSERT(IO& io) {
  visitInsertPart(io, false);
}
template <class IO>
void visitMINSERT(IO& io) {
  visitInsertPart(io, true);
}

// VERTEX records: the marker names their polyline's kind.
template <class IO>
void visitVertexPoint(IO& io, const char* marker) {
  io.marker("AcDbVertex");
  io.marker(marker);
  io.RC(70);
  io.BD3(10);
}

template <class IO>
void visitVERTEX_2D(IO& io) {
  io.marker("AcDbVertex");
  io.marker("AcDb2dVertex");
  io.RC(70);
  io.BD3(10);
  double sw = io.BD(0);
  double ew = sw < 0 ? -sw : io.BD(0);
  io.implied(Tag::real(40, std::abs(sw)));
  io.implied(Tag::real(41, ew));
  io.BD(42);
  if (io.since(V::R2010)) io.BL(91);
  io.BD(50);
}
template <class IO>
void visitVERTEX_3D(IO& io) {
  visitVertexPoint(io, "AcDb3dPolylineVertex");
}
template <class IO>
void visitVERTEX_MESH(IO& io) {
  visitVertexPoint(io, "AcDbPolygonMeshVertex");
}
template <class IO>
void visitVERTEX_PFACE(IO& io) {
  visitVertexPoint(io, "AcDbPolyFaceMeshVertex");
}
template <class IO>
void visitVERTEX_PFACE_FACE(IO& io) {
  io.marker("AcDbFaceRecord");
  io.implied(Tag::real(10, 0));
  io.implied(Tag::real(20, 0));
  io.implied(Tag::real(30, 0));
  io.implied(Tag::integer(70, 128));
  for (int c : {71, 72, 73, 74}) io.BS(c);
}

template <class IO>
void visitPOLYLINE_2D(IO& io) {
  io.marker("AcDb2dPolyline");
  io.implied(Tag::integer(66, 1));
  io.BS(70);
  io.BS(75);
  io.BD(40);
  io.BD(41);
  io.BT(39);
  double elev = io.BD(0);
  io.implied(Tag::real(10, 0));
  io.implied(Tag::real(20, 0));
  io.implied(Tag::real(30, elev));
  io.BE(210);
  int owned = io.since(V::R2004) ? io.BL(0) : 0;
  visitSubEntities(io, owned, true);
}

template <class IO>
void visitPOLYLINE_3D(IO& io) {
  io.marker("AcDb3dPolyline");
  io.implied(Tag::integer(66, 1));
  int curve = io.RC(0);
  int closed = io.RC(0);
  int flags = 8 | ((closed & 1) ? 1 : 0) | (curve ? 4 : 0);
  io.implied(Tag::real(10, 0));
  io.implied(Tag::real(20, 0));
  io.implied(Tag::real(30, 0));
  io.implied(Tag::integer(70, flags));
  if (curve == 5 || curve == 6) io.implied(Tag::integer(75, curve));
  int owned = io.since(V::R2004) ? io.BL(0) : 0;
  visitSubEntities(io, owned, true);
}

template <class IO>
void visitPOLYLINE_PFACE(IO& io) {
  io.marker("AcDbPolyFaceMesh");
  io.implied(Tag::integer(66, 1));
  io.implied(Tag::real(10, 0));
  io.implied(Tag::real(20, 0));
  io.implied(Tag::real(30, 0));
  io.implied(Tag::integer(70, 64));
  io.BS(71);
  io.BS(72);
  int owned = io.since(V::R2004) ? io.BL(0) : 0;
  visitSubEntities(io, owned, true);
}

template <class IO>
void visitPOLYLINE_MESH(IO& io) {
  io.marker("AcDbPolygonMesh");
  io.implied(Tag::integer(66, 1));
  io.implied(Tag::real(10, 0));
  io.implied(Tag::real(20, 0));
  io.implied(Tag::real(30, 0));
  io.BS(70);
  io.BS(75);
  io.BS(71);
  io.BS(72);
  io.BS(73);
  io.BS(74);
  int owned = io.since(V::R2004) ? io.BL(0) : 0;
  visitSubEntities(io, owned, true);
}

template <class IO>
void visitLWPOLYLINE(IO& io) {
  io.marker("AcDbPolyline");
  int flag = io.BS(0);
  double constWidth = (flag & 4) ? io.BD(0) : 0.0;
  double elevation = (flag & 8) ? io.BD(0) : 0.0;
  double thickness = (flag & 2) ? io.BD(0) : 0.0;
  Point3 normal{0, 0, 1};
  if (flag & 1) normal = io.BD3(0);
  int n = io.BL(0);
  int nb = (flag & 16) ? io.BL(0) : 0;
  int nid = (io.since(V::R2010) && (flag & 1024)) ? io.BL(0) : 0;
  int nw = (flag & 32) ? io.BL(0) : 0;
  // Counts are checked against the bits left so a damaged count cannot drive a huge allocation.
  size_t left = io.streams().data.remainingBits();
  if (n < 0 || nb < 0 || nid < 0 || nw < 0 || size_t(n) > left / 2 || size_t(nb) > left / 2 ||
      size_t(nid) > left / 2 || size_t(nw) > left / 4) {
    io.fail();
    return;
  }
  std::vector<Point2> pts(static_cast<size_t>(n));
  for (int i = 0; i < n && !io.failed(); ++i) {
    if (io.until(V::R14) || i == 0) {
      pts[size_t(i)] = io.RD2(0);
    } else {
      pts[size_t(i)].x = io.DD(0, pts[size_t(i) - 1].x);
      pts[size_t(i)].y = io.DD(0, pts[size_t(i) - 1].y);
    }
  }
  std::vector<double> bulges(static_cast<size_t>(nb));
  for (auto& b : bulges) b = io.BD(0);
  std::vector<int32_t> ids(static_cast<size_t>(nid));
  for (auto& v : ids) v = io.BL(0);
  std::vector<std::pair<double, double>> widths(static_cast<size_t>(nw));
  for (auto& w : widths) {
    w.first = io.BD(0);
    w.second = io.BD(0);
  }
  io.implied(Tag::integer(90, n));
  io.implied(Tag::integer(70, ((flag & 512) ? 1 : 0) | ((flag & 256) ? 128 : 0)));
  io.implied(Tag::real(43, constWidth));
  if (elevation != 0) io.implied(Tag::real(38, elevation));
  if (thickness != 0) io.implied(Tag::real(39, thickness));
  for (size_t i = 0; i < pts.size(); ++i) {
    io.implied(Tag::real(10, pts[i].x));
    io.implied(Tag::real(20, pts[i].y));
    if (i < widths.size()) {
      io.implied(Tag::real(40, widths[i].first));
      io.implied(Tag::real(41, widths[i].second));
    }
    if (i < bulges.size()) io.implied(Tag::real(42, bulges[i]));
    if (i < ids.size()) io.implied(Tag::integer(91, ids[i]));
  }
  io.implied(Tag::real(210, normal.x));
  io.implied(Tag::real(220, normal.y));
  io.implied(Tag::real(230, normal.z));
}

template <class IO>
void visitSPLINE(IO& io) {
  io.marker("AcDbSpline");
  int scenario = io.BL(0);
  if (io.since(V::R2013)) {
    int flags1 = io.BL(0);
    int knotParam = io.BL(0);
    if (flags1 & 1) scenario = 2;
    if (knotParam == 15) scenario = 1;
  }
  int degree = io.BL(0);
  size_t left = io.streams().data.remainingBits();
  if (scenario == 2) {
    io.implied(Tag::integer(70, 8 | 1024));
    io.implied(Tag::integer(71, degree));
    double fitTol = io.BD(IO::reading ? 0 : 44);
    Point3 t0 = io.BD3(0), t1 = io.BD3(0);
    int n = io.BL(0);
    if (n < 0 || size_t(n) > left / 6) return io.fail();
    auto tangents = [&] {
      io.implied(Tag::real(12, t0.x));
      io.implied(Tag::real(22, t0.y));
      io.implied(Tag::real(32, t0.z));
      io.implied(Tag::real(13, t1.x));
      io.implied(Tag::real(23, t1.y));
      io.implied(Tag::real(33, t1.z));
    };
    if constexpr (IO::reading) {
      // DXF gives the control polygon and knots of a fit-point spline as well.
      std::vector<Point3> fit;
      fit.reserve(size_t(n));
      for (int i = 0; i < n && !io.failed(); ++i) fit.push_back(io.BD3(0));
      SplineCurve curve;
      if (degree == 3) splineThroughFitPoints(fit, t0, t1, curve);
      io.implied(Tag::integer(72, int64_t(curve.knots.size())));
      io.implied(Tag::integer(73, int64_t(curve.control.size())));
      io.implied(Tag::integer(74, n));
      if (!curve.knots.empty()) {
        io.implied(Tag::real(42, 1e-9));
        io.implied(Tag::real(43, 1e-10));
      }
      io.implied(Tag::real(44, fitTol));
      tangents();
      for (double k : curve.knots) io.implied(Tag::real(40, k));
      for (const Point3& c : curve.control)
        for (int a = 0; a < 3; ++a) io.implied(Tag::real(10 + 10 * a, a == 0 ? c.x : a == 1 ? c.y : c.z));
      for (const Point3& f : fit)
        for (int a = 0; a < 3; ++a) io.implied(Tag::real(11 + 10 * a, a == 0 ? f.x : a == 1 ? f.y : f.z));
    } else {
      io.implied(Tag::integer(72, 0));
      io.implied(Tag::integer(73, 0));
      io.implied(Tag::integer(74, n));
      tangents();
      for (int i = 0; i < n && !io.failed(); ++i) io.BD3(11);
    }
  } else if (scenario == 1) {
    bool rational = io.B(0), closed = io.B(0), periodic = io.B(0);
    io.implied(Tag::integer(70, 8 | (closed ? 1 : 0) | (periodic ? 2 : 0) | (rational ? 4 : 0)));
    io.implied(Tag::integer(71, degree));
    double knotTol = io.BD(0), ctrlTol = io.BD(0);
    int nk = io.BL(0), nc = io.BL(0);
    bool weighted = io.B(0);
    if (nk < 0 || nc < 0 || size_t(nk) > left / 2 || size_t(nc) > left / 6) return io.fail();
    io.implied(Tag::integer(72, nk));
    io.implied(Tag::integer(73, nc));
    io.implied(Tag::integer(74, 0));
    io.implied(Tag::real(42, knotTol));
    io.implied(Tag::real(43, ctrlTol));
    for (int i = 0; i < nk && !io.failed(); ++i) io.BD(40);
    for (int i = 0; i < nc && !io.failed(); ++i) {
      io.BD3(10);
      if (weighted) io.BD(41);
    }
  } else {
    io.fail();
  }
}

// R2018 texts that are not annotative repeat their frame (insertion point, direction, sizes) and
// then describe their columns; DXF keeps only the columns (type 75, count 76, width 48, gutter
// 49, auto height 79, flow reversed 78, and the heights 50 of dynamic columns sized by hand).
template <class IO>
void visitMTextColumns(IO& io) {
  if (!io.B(0)) return;  // annotative: nothing more is stored
  io.BS(0);              // the embedded part's version
  io.B(0);               // its default flag
  io.H(0, HK::HardPointer);
  io.BL(0);   // attachment, again
  io.BD3(0);  // direction, again
  io.BD3(0);  // insertion point, again
  for (int i = 0; i < 4; ++i) io.BD(0);  // frame and extents sizes, again
  int type = io.BS(75);
  if (type == 0) return;
  int n = io.BL(76);
  io.BD(48);
  io.BD(49);
  bool autoHeight = io.B(79);
  io.B(78);
  if (type == 2 && !autoHeight) {
    if (n < 0 || size_t(n) > io.streams().data.remainingBits() / 2) return io.fail();
    for (int i = 0; i < n && !io.failed(); ++i) io.BD(50);
  }
}

template <class IO>
void visitMTEXT(IO& io) {
  io.marker("AcDbMText");
  io.BD3(10);
  io.BD3(210);
  io.BD3(11);
  io.BD(41);
  if (io.since(V::R2007)) io.BD(46);
  io.BD(40);
  io.BS(71);
  io.BS(72);
  io.BD(0);  // extents height
  io.BD(0);  // extents width
  io.longText(1, 3);
  io.H(7, HK::HardPointer);
  if (io.since(V::R2000)) {
    io.BS(73);
    io.BD(44);
    io.B(0);
  }
  if (io.since(V::R2004)) {
    int bg = io.BL(90);
    // From R2018 a text frame (16) carries the fill values too.
    if ((bg & 1) || (io.since(V::R2018) && (bg & 16))) {
      io.BD(45);
      io.CMC(63);
      io.BL(441);
    }
  }
  if (io.since(V::R2018)) visitMTextColumns(io);
}

// DIMENSION: the common part, then the kind's own points. Kinds whose own part reuses the
// attachment (71) or line spacing (41) codes write those two from their preparation step
// (`ownCodes`), so that a value DXF leaves out here is not taken from the kind's part.
template <class IO>
int visitDimensionCommon(IO& io, int kind, bool ownCodes = false) {
  const bool queued = ownCodes && !IO::reading;
  io.marker("AcDbDimension");
  if (io.since(V::R2010)) io.RC(280);
  io.BD3(210);
  Point2 mid = io.RD2(0);
  double elev = io.BD(0);
  io.implied(Tag::real(11, mid.x));
  io.implied(Tag::real(21, mid.y));
  io.implied(Tag::real(31, elev));
  int flags = io.RC(0);
  io.longText(1, 1);
  io.BD(53);
  io.BD(51);
  io.BD3(0);  // insertion scale
  io.BD(54);
  if (io.since(V::R2000)) {
    io.BS(queued ? 0 : 71);
    io.BS(72);
    io.BD(queued ? 0 : 41);
    io.BD(42);
  }
  if (io.since(V::R2007)) {
    io.B(73);
    io.B(74);
    io.B(75);
  }
  io.RD2(12);
  io.H(3, HK::HardPointer);
  io.H(2, HK::HardPointer);
  // Bit 0 clear: the text sits where the user put it (DXF 128); bit 1: the dimension's block is
  // used by this dimension only (DXF 32).
  int dxfFlags = kind | ((flags & 2) ? 32 : 0) | ((flags & 1) ? 0 : 128);
  return dxfFlags;
}

template <class IO>
void visitDimension(IO& io, int kind) {
  int flags = visitDimensionCommon(io, kind);
  switch (kind) {
    case 6: {  // ordinate
      io.marker("AcDbOrdinateDimension");
      io.BD3(10);
      io.BD3(13);
      io.BD3(14);
      int f2 = io.RC(0);
      if (f2 & 1) flags |= 64;
      break;
    }
    case 0:  // linear
    case 1:  // aligned
      io.marker("AcDbAlignedDimension");
      io.BD3(13);
      io.BD3(14);
      io.BD3(10);
      io.BD(52);
      if (kind == 0) {
        io.BD(50);
        io.marker("AcDbRotatedDimension");
      }
      break;
    case 5:  // angular, three points
      io.marker("AcDb3PointAngularDimension");
      io.BD3(10);
      io.BD3(13);
      io.BD3(14);
      io.BD3(15);
      break;
    case 2: {  // angular, two lines
      io.marker("AcDb2LineAngularDimension");
      Point2 arc = io.RD2(0);
      io.implied(Tag::real(16, arc.x));
      io.implied(Tag::real(26, arc.y));
      io.implied(Tag::real(36, 0));
      io.BD3(13);
      io.BD3(14);
      io.BD3(15);
      io.BD3(10);
      break;
    }
    case 4:  // radius: centre (10), then the point on the arc (15)
      io.marker("AcDbRadialDimension");
      io.BD3(10);
      io.BD3(15);
      io.BD(40);
      break;
    case 3:  // diameter: the chord's two ends are stored the other way round, 15 before 10
      io.marker("AcDbDiametricDimension");
      io.BD3(15);
      io.BD3(10);
      io.BD(40);
      break;
  }
  io.implied(Tag::integer(70, flags));
}

template <class IO> void visitDIMENSION_ORDINATE(IO& io) { visitDimension(io, 6); }
template <class IO> void visitDIMENSION_LINEAR(IO& io) { visitDimension(io, 0); }
template <class IO> void visitDIMENSION_ALIGNED(IO& io) { visitDimension(io, 1); }
template <class IO> void visitDIMENSION_ANG3PT(IO& io) { visitDimension(io, 5); }
template <class IO> void visitDIMENSION_ANG2LN(IO& io) { visitDimension(io, 2); }
template <class IO> void visitDIMENSION_RADIUS(IO& io) { visitDimension(io, 4); }
template <class IO> void visitDIMENSION_DIAMETER(IO& io) { visitDimension(io, 3); }

template <class IO>
void visitVIEWPORT(IO& io) {
  io.marker("AcDbViewport");
  io.BD3(10);
  io.BD(40);
  io.BD(41);
  int frozen = 0;
  if (io.since(V::R2000)) {
    io.BD3(17);
    io.BD3(16);
    io.BD(51);
    io.BD(45);
    io.BD(42);
    io.BD(43);
    io.BD(44);
    io.BD(50);
    io.RD2(12);
    io.RD2(13);
    io.RD2(14);
    io.RD2(15);
    io.BS(72);
  }
  if (io.since(V::R2007)) io.BS(61);
  if (io.since(V::R2000)) {
    frozen = io.BL(0);
    io.BL(90);
    io.T(1);
    io.RC(281);
    io.B(74);
    io.B(71);
    io.BD3(110);
    io.BD3(111);
    io.BD3(112);
    io.BD(146);
    io.BS(79);
  }
  if (io.since(V::R2004)) io.BS(170);
  if (io.since(V::R2007)) {
    io.B(292);
    io.RC(282);
    io.BD(141);
    io.BD(142);
    io.CMC(63);
  }
  if (io.until(V::R14)) io.H(0, HK::HardPointer);
  if (io.since(V::R2000)) {
    if (frozen < 0 || size_t(frozen) > io.streams().handles.remainingBits() / 8) return io.fail();
    for (int i = 0; i < frozen && !io.failed(); ++i) io.H(341, HK::HardPointer);
    io.H(340, HK::HardPointer);
    if (io.version() == V::R2000) io.H(0, HK::HardPointer);
    io.H(345, HK::HardPointer);
    io.H(346, HK::HardPointer);
  }
  if (io.since(V::R2007)) {
    io.H(332, HK::SoftPointer);
    io.H(348, HK::HardPointer);
    io.H(333, HK::HardPointer);
    io.H(361, HK::HardOwner);
  }
}

// ---- objects --------------------------------------------------------------------------------

template <class IO>
void visitDICTIONARY(IO& io) {
  io.marker("AcDbDictionary");
  int n = io.BL(0);
  if (io.version() == V::R14) io.RC(0);
  int cloning = io.since(V::R2000) ? io.BS(0) : 1;
  int hardOwner = io.since(V::R2000) ? io.RC(0) : 0;
  if (io.since(V::R2000)) io.implied(Tag::integer(280, hardOwner));
  io.implied(Tag::integer(281, cloning));
  if (n < 0 || size_t(n) > io.streams().handles.remainingBits() / 8) return io.fail();
  for (int i = 0; i < n && !io.failed(); ++i) {
    io.T(3);
    io.ownedH(hardOwner ? 360 : 350, HK::SoftOwner);
  }
}

template <class IO>
void visitDICTIONARYWDFLT(IO& io) {
  visitDICTIONARY(io);
  io.marker("AcDbDictionaryWithDefault");
  io.H(340, HK::HardPointer);
}

template <class IO>
void visitDICTIONARYVAR(IO& io) {
  io.marker("DictionaryVariables");
  io.RC(280);
  io.T(1);
}

template <class IO>
void visitPLACEHOLDER(IO&) {}

template <class IO>
void visitGROUP(IO& io) {
  io.marker("AcDbGroup");
  io.T(300);
  io.BS(70);
  io.BS(71);
  int n = io.BL(0);
  if (n < 0 || size_t(n) > io.streams().handles.remainingBits() / 8) return io.fail();
  for (int i = 0; i < n && !io.failed(); ++i) io.H(340, HK::HardPointer);
}

template <class IO>
void visitMLINESTYLE(IO& io) {
  io.marker("AcDbMlineStyle");
  io.T(2);
  io.T(3);
  int flags = io.BS(0);
  io.implied(Tag::integer(70, flags));
  io.CMC(62);
  io.BD(51);
  io.BD(52);
  int n = io.RC(71);
  for (int i = 0; i < n && !io.failed(); ++i) {
    io.BD(49);
    io.CMC(62);
    if (io.since(V::R2018)) io.H(6, HK::HardPointer);
    else io.BS(0);  // linetype index: 32767 by layer, 32766 by block
  }
}

template <class IO>
void visitXRECORD(IO& io) {
  io.marker("AcDbXrecord");
  int n = io.BL(0);
  if (n < 0 || size_t(n) * 8 > io.streams().data.remainingBits()) return io.fail();
  std::string data = io.bytes(size_t(n), 0);
  BitReader r(reinterpret_cast<const uint8_t*>(data.data()), data.size(), io.version());
  Tags items;
  while (r.remainingBits() >= 16 && !r.error()) {
    int code = int16_t(r.RS());
    engine::ValueKind k = engine::kindOf(code);
    Tag t;
    t.code = int16_t(code);
    t.kind = k;
    switch (k) {
      case engine::ValueKind::String:
        if (io.since(V::R2007)) {
          size_t len = r.RS();
          std::u16string s;
          for (size_t i = 0; i < len && !r.error(); ++i) s += char16_t(r.RS());
          t.s = utf16ToUtf8(s);
        } else {
          size_t len = r.RS();
          r.RC();  // code page
          std::string s;
          for (size_t i = 0; i < len && !r.error(); ++i) s += char(r.RC());
          t.s = codePageToUtf8(s, 30);
        }
        break;
      case engine::ValueKind::Double:
        t.d = r.RD();
        // A point is stored under its x code as three doubles; DXF gives y and z codes of their own.
        if ((code >= 10 && code <= 18) || (code >= 110 && code <= 112) || code == 210 ||
            (code >= 1010 && code <= 1013)) {
          double y = r.RD(), z = r.RD();
          if (r.error()) break;
          items.push_back(std::move(t));
          items.push_back(Tag::real(code + 10, y));
          t = Tag::real(code + 20, z);
        }
        break;
      case engine::ValueKind::Int16: t.i = int16_t(r.RS()); break;
      case engine::ValueKind::Int32: t.i = int32_t(r.RL()); break;
      case engine::ValueKind::Int64: t.i = int64_t(r.RLL()); break;
      case engine::ValueKind::Bool: t.i = r.RC(); break;
      case engine::ValueKind::Handle: t.i = int64_t(r.RLL()); break;
      case engine::ValueKind::Binary: {
        size_t len = r.RC();
        for (size_t i = 0; i < len && !r.error(); ++i) t.s += char(r.RC());
        break;
      }
    }
    if (r.error()) break;
    items.push_back(std::move(t));
  }
  if (io.since(V::R2000)) io.BS(280);
  for (auto& t : items) io.implied(t);
}

template <class IO>
void visitPLOTSETTINGS(IO& io) {
  io.marker("AcDbPlotSettings");
  io.T(1);
  io.T(2);
  int flags = io.BS(0);
  for (int c : {40, 41, 42, 43, 44, 45}) io.BD(c);
  io.T(4);
  io.BD(46);
  io.BD(47);
  io.implied(Tag::integer(70, flags));
  io.BS(72);
  io.BS(73);
  io.BS(74);
  for (int c : {48, 49, 140, 141}) io.BD(c);
  if (io.until(V::R2000)) io.T(6);
  io.BD(142);
  io.BD(143);
  io.T(7);
  io.BS(75);
  io.BD(147);
  io.BD(148);
  io.BD(149);
  if (io.since(V::R2004)) {
    io.BS(76);
    io.BS(77);
    io.BS(78);
    io.H(6, HK::SoftPointer);
  }
  if (io.since(V::R2007)) io.H(333, HK::HardPointer);
}

template <class IO>
void visitLAYOUT(IO& io) {
  visitPLOTSETTINGS(io);
  io.marker("AcDbLayout");
  io.T(1);
  io.BS(71);
  io.BS(70);
  io.BD3(13);
  io.RD2(10);
  io.RD2(11);
  io.BD3(12);
  io.BD3(16);
  io.BD3(17);
  io.BD(146);
  io.BS(76);
  io.BD3(14);
  io.BD3(15);
  int viewports = io.since(V::R2004) ? io.BL(0) : 0;
  io.H(330, HK::SoftPointer);
  io.H(331, HK::SoftPointer);
  io.H(346, HK::HardPointer);
  io.H(345, HK::HardPointer);
  if (viewports < 0 || size_t(viewports) > io.streams().handles.remainingBits() / 8) return io.fail();
  for (int i = 0; i < viewports && !io.failed(); ++i) io.H(0, HK::SoftPointer);
}

}  // namespace kel::dwg::types
