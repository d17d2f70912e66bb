// Descriptions of the surface family (family_surface.cpp): the plane and extruded procedural
// surfaces and the live section object with its settings and manager.
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

// The modeler data as REGION, 3DSOLID and BODY keep it (text form, in blocks ending with a zero
// size), followed by what a surface cannot skip: the wireframe and silhouette caches, the closing
// flag, the materials (binary form, R2007+) and the revision stamp (R2013+), since the surface's
// own values come after them. The reader drops the caches; the writer stores none.
template <class IO>
void surfaceModelerGeometry(IO& io) {
  io.marker("AcDbModelerGeometry");
  std::string blob;
  int version = 0;
  if (!io.B(0)) {  // not empty
    io.B(0);
    version = io.BS(0);
    if (version == 1) {
      for (;;) {
        const int32_t n = io.BL(0);
        if (n <= 0 || io.failed()) break;
        if (size_t(n) * 8 > io.streams().data.remainingBits()) return io.fail();
        blob += io.bytes(size_t(n), 0);
      }
    } else if (io.until(V::R2010)) {
      return io.fail();  // the binary form inline has no length to skip it by
    }
  }
  if constexpr (IO::reading) {
    if (version == 1 && !io.failed()) {
      io.implied(Tag::integer(70, 1));
      satLinesToTags(blob, io.out());
    }
  }
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

// An extruded surface: the sweep options (draft, twist, scale and align angles, the transforms of
// the swept entity and of the path, and the option flags), then the sweep vector and the sweep
// transform, as the public descriptions lay it out (the drawing seen keeps its modeler data in
// the binary form, which cannot be skipped, so it could not confirm them). The swept profile DXF
// embeds in 90/310 groups is neither read nor written.
template <class IO>
void visitEXTRUDEDSURFACE(IO& io) {
  surfaceModelerGeometry(io);
  surfaceIsolines(io);
  io.marker("AcDbExtrudedSurface");
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
  io.BD3(10);  // sweep vector
  matrix16(io, 40);
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
