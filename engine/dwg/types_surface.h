// Descriptions of the surface family (family_surface.cpp): the plane, extruded, lofted, revolved
// and swept procedural surfaces and the live section object with its settings and manager.
// Conventions as in objects_types.h: each value is named by the DXF group code it becomes; code 0
// marks a value the record's DXF form spells differently, which a writer takes from the type's
// preparation step in the order the description asks for it.
#pragma once
#include <cstddef>
#include <string>

#include "engine/dwg/types_extra.h"

namespace kel::dwg::types {

// ---- the modeler data of a surface ---------------------------------------------------------

// One cached wire of the wireframe a modeler entity may carry: kind, selection marker, colour,
// modeler index, its points and an optional transform. DXF keeps none of it.
template <class IO>
void skipWire(IO& io) {
  io.RC(0);
  io.BL(0);
  io.BS(0);
  io.BL(0);
  const int n = io.BL(0);
  if (n < 0 || size_t(n) > io.streams().data.remainingBits() / 6) return io.fail();
  for (int i = 0; i < n && !io.failed(); ++i) io.BD3(0);
  if (io.B(0)) {
    for (int i = 0; i < 5; ++i) io.BD3(0);
    io.B(0);
    io.B(0);
    io.B(0);
  }
}

// The modeler data as REGION, 3DSOLID and BODY keep it, followed by what a surface cannot skip:
// the wireframe and silhouette caches, the closing flag, the materials (binary form, R2007+) and
// the revision stamp (R2013+), since the surface's own values come after them. The reader drops
// the caches; the writer stores none (prepSurfaceGeometry).
template <class IO>
void surfaceModelerGeometry(IO& io) {
  const int version = modelerData(io);
  if (io.failed()) return;
  if (io.B(0)) {  // wireframe present
    if (io.B(0)) io.BD3(0);
    io.BL(0);       // isolines
    if (io.B(0)) {  // isoline wires present
      int n = io.BL(0);
      if (n < 0 || size_t(n) > io.streams().data.remainingBits() / 8) return io.fail();
      for (int i = 0; i < n && !io.failed(); ++i) skipWire(io);
      n = io.BL(0);  // silhouettes
      if (n < 0 || size_t(n) > io.streams().data.remainingBits() / 8) return io.fail();
      for (int i = 0; i < n && !io.failed(); ++i) {
        io.BL(0);
        io.BD3(0);
        io.BD3(0);
        io.BD3(0);
        io.B(0);
        if (io.B(0)) {
          const int w = io.BL(0);
          if (w < 0 || size_t(w) > io.streams().data.remainingBits() / 8) return io.fail();
          for (int k = 0; k < w && !io.failed(); ++k) skipWire(io);
        }
      }
    }
  }
  io.B(0);  // the closing flag
  if (version > 1 && io.since(V::R2007)) {
    const int n = io.BL(0);
    if (n < 0 || size_t(n) > io.streams().data.remainingBits() / 4) return io.fail();
    for (int i = 0; i < n && !io.failed(); ++i) {
      io.BL(0);
      io.BL(0);
      io.H(0, HK::HardPointer);
    }
  }
  if (io.since(V::R2013)) {
    io.B(0);  // revision stamp present
    io.BL(0);
    io.BS(0);
    io.BS(0);
    for (int i = 0; i < 8; ++i) io.RC(0);
    io.BL(0);
  }
}


// ---- procedural surfaces -------------------------------------------------------------------

// After the modeler data every surface stores its isoline counts (u, v); in the drawing seen
// they follow the closing flag directly.
template <class IO>
void surfaceIsolines(IO& io) {
  io.marker("AcDbSurface");
  io.BS(71);
  io.BS(72);
}

template <class IO>
void matrix16(IO& io, int code) {
  for (int i = 0; i < 16 && !io.failed(); ++i) io.BD(code);
}

// A planar surface has nothing of its own beyond the isolines.
template <class IO>
void visitPLANESURFACE(IO& io) {
  surfaceModelerGeometry(io);
  surfaceIsolines(io);
}

// The sweep options an extruded and a swept surface share: draft, twist, scale and align angles,
// the transforms of the swept entity and of the path, the option flags and the reference vector
// that controls the twist.
template <class IO>
void sweepOptions(IO& io) {
  io.BD(42);  // draft angle
  io.BD(43);  // draft start distance
  io.BD(44);  // draft end distance
  io.BD(45);  // twist angle
  io.BD(48);  // scale factor
  io.BD(49);  // align angle
  matrix16(io, 46);  // sweep entity transform
  matrix16(io, 47);  // path entity transform
  io.B(290);   // solid
  io.BS(70);   // sweep alignment
  io.BS(71);   // path flags
  io.B(292);   // align start
  io.B(293);   // bank
  io.B(294);   // base point set
  io.B(295);   // sweep entity transform computed
  io.B(296);   // path entity transform computed
  io.BD3(11);  // reference vector for the twist
}

// An extruded surface: the sweep options, then the sweep vector and the sweep transform, as the
// public descriptions lay it out (the drawing seen keeps its modeler data in the binary form,
// which cannot be skipped, so it could not confirm them). The swept profile DXF embeds in 90/310
// groups is neither read nor written.
template <class IO>
void visitEXTRUDEDSURFACE(IO& io) {
  surfaceModelerGeometry(io);
  surfaceIsolines(io);
  io.marker("AcDbExtrudedSurface");
  sweepOptions(io);
  io.BD3(10);  // sweep vector
  matrix16(io, 40);
}

// Lofted, revolved and swept surfaces follow the public descriptions of these records: after the
// modeler data a format version (1, not in DXF, whose 70 there is the data's own), the isolines,
// then the type's values. The drawing seen stores them after binary modeler data that cannot be
// skipped, so none of it could be checked against a saved file.

// A lofted surface: the transform of the lofted entity, the normal option, draft angles and
// magnitudes, eight option flags, then its cross sections, guide curves and path as references.
// DXF embeds the cross sections as entity data (90/310 groups) rather than referring to them;
// that data is neither read nor written, so a surface from DXF refers to none.
template <class IO>
void visitLOFTEDSURFACE(IO& io) {
  surfaceModelerGeometry(io);
  io.BS(0);  // modeler format version
  surfaceIsolines(io);
  io.marker("AcDbLoftedSurface");
  matrix16(io, 40);
  io.BL(70);  // plane normal lofting type
  io.BD(41);  // start and end draft angles
  io.BD(42);
  io.BD(43);  // start and end draft magnitudes
  io.BD(44);
  // arc-length parameters, no twist, align direction, simple, closed, solid, ruled, virtual guide
  for (int code = 290; code <= 297; ++code) io.B(code);
  const int sections = io.BS(0), guides = io.BS(0);
  if (sections < 0 || guides < 0 || size_t(sections) + size_t(guides) > io.streams().handles.remainingBits() / 8)
    return io.fail();
  for (int i = 0; i < sections + guides && !io.failed(); ++i) io.H(0, HK::HardPointer);
  io.H(0, HK::HardPointer);  // path curve
}

// A revolved surface: a class version and the type of the revolved entity (neither in DXF; the
// entity's data DXF embeds after them is not stored here), the axis point and direction, the
// revolve and start angles, the revolved entity's transform, draft and twist values and two
// flags (solid, close to axis).
template <class IO>
void visitREVOLVEDSURFACE(IO& io) {
  surfaceModelerGeometry(io);
  io.BS(0);  // modeler format version
  surfaceIsolines(io);
  io.marker("AcDbRevolvedSurface");
  io.BL(0);  // class version
  io.BL(0);  // entity type
  io.BD3(10);
  io.BD3(11);
  io.BD(40);
  io.BD(41);
  matrix16(io, 42);
  io.BD(43);  // draft angle
  io.BD(44);  // draft start distance
  io.BD(45);  // draft end distance
  io.BD(46);  // twist angle
  io.B(290);
  io.B(291);
}

// An entity a surface embeds: its type (on `typeCode` in DXF), the size of its data and the
// data (310), the entity's own record without its framing. The record holds the size in bytes,
// as the public description reads it; DXF gives it in bits and without the data's last byte
// (1072 and 344 for 135 and 44 bytes in the drawing seen), which the reader restores. A writer
// takes type, byte count and data from the preparation step, which knows which 310 groups belong
// to which entity.
template <class IO>
void embeddedEntity(IO& io, int typeCode) {
  constexpr bool r = IO::reading;
  io.BL(r ? typeCode : 0);
  const int n = io.BL(0);
  if (n < 0 || size_t(n) * 8 > io.streams().data.remainingBits()) return io.fail();
  if constexpr (r) io.implied(Tag::integer(90, n > 0 ? 8 * int64_t(n - 1) : 0));
  io.bytes(size_t(n), r ? 310 : 0);
}

// A swept surface: a class version (not in DXF), the swept profile and the path as embedded
// entities, then the sweep options. The two transforms DXF gives on 40 and 41 ahead of the
// options have no place in this layout and are not stored.
template <class IO>
void visitSWEPTSURFACE(IO& io) {
  surfaceModelerGeometry(io);
  io.BS(0);  // modeler format version
  surfaceIsolines(io);
  io.marker("AcDbSweptSurface");
  io.BL(0);  // class version
  embeddedEntity(io, 90);
  embeddedEntity(io, 91);
  sweepOptions(io);
}


// ---- live sections -------------------------------------------------------------------------

// A section plane: state and flags, name, vertical direction, heights, indicator transparency
// and colour, the section line's vertices and the back-line vertices, and its settings object.
template <class IO>
void visitSECTIONOBJECT(IO& io) {
  constexpr bool r = IO::reading;
  io.marker("AcDbSection");
  io.BL(90);
  io.BL(91);
  io.T(1);
  io.BD3(10);
  io.BD(40);
  io.BD(41);
  io.BS(70);
  io.CMC(62);
  const int nv = io.BL(r ? 92 : 0);
  if (nv < 0 || size_t(nv) > io.streams().data.remainingBits() / 6) return io.fail();
  for (int i = 0; i < nv && !io.failed(); ++i) io.BD3(11);
  const int nb = io.BL(r ? 93 : 0);
  if (nb < 0 || size_t(nb) > io.streams().data.remainingBits() / 6) return io.fail();
  for (int i = 0; i < nb && !io.failed(); ++i) io.BD3(12);
  io.H(360, HK::HardOwner);
}

// The drawing's list of section planes.
template <class IO>
void visitSECTION_MANAGER(IO& io) {
  constexpr bool r = IO::reading;
  io.marker("AcDbSectionManager");
  io.B(70);
  const int n = io.BS(r ? 90 : 0);
  if (n < 0 || size_t(n) > io.streams().handles.remainingBits() / 8) return io.fail();
  for (int i = 0; i < n && !io.failed(); ++i) io.H(r ? 330 : 0, HK::HardPointer);
}

// How a section plane generates its geometry: per section type (live, 2D, 3D ...) the source
// objects, the destination block or file and a list of geometry settings (colour, layer,
// linetype, plot style, lineweight, transparencies, hatch). DXF brackets each type and each
// geometry entry with marker texts on groups 1, 2 and 3, which the same groups also use for
// values, so a writer takes every value of this record from prepSECTION_SETTINGS in order.
template <class IO>
void visitSECTION_SETTINGS(IO& io) {
  constexpr bool r = IO::reading;
  auto code = [](int c) { return r ? c : 0; };
  io.marker("AcDbSectionSettings");
  io.BL(code(90));
  const int types = io.BL(code(91));
  if (types < 0 || size_t(types) > io.streams().data.remainingBits() / 16) return io.fail();
  for (int t = 0; t < types && !io.failed(); ++t) {
    io.implied(Tag::str(1, "SectionTypeSettings"));
    io.BL(code(90));
    io.BL(code(91));
    const int sources = io.BL(code(92));
    if (sources < 0 || size_t(sources) > io.streams().handles.remainingBits() / 8) return io.fail();
    for (int i = 0; i < sources && !io.failed(); ++i) io.H(code(330), HK::HardPointer);
    io.H(code(331), HK::SoftPointer);
    io.T(code(1));
    const int geoms = io.BL(code(93));
    if (geoms < 0 || size_t(geoms) > io.streams().data.remainingBits() / 32) return io.fail();
    for (int g = 0; g < geoms && !io.failed(); ++g) {
      io.implied(Tag::str(2, "SectionGeometrySettings"));
      io.BL(code(90));
      io.BL(code(91));
      io.BL(code(92));
      io.CMC(code(62));
      io.T(code(8));
      io.T(code(6));
      io.BD(code(40));
      io.T(code(1));
      io.BL(code(370));
      io.BS(code(70));
      io.BS(code(71));
      io.BS(code(72));
      io.T(code(2));
      io.BD(code(41));
      io.BD(code(42));
      io.BD(code(43));
      io.implied(Tag::str(3, "SectionGeometrySettingsEnd"));
    }
    io.implied(Tag::str(3, "SectionTypeSettingsEnd"));
  }
}

}  // namespace kel::dwg::types
