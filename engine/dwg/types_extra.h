// Descriptions of the extra family (family_extra.cpp): the arc-length and jogged radius
// dimensions, the modeler-geometry entities (REGION, 3DSOLID, BODY) and the subdivision mesh.
#pragma once
#include <cstddef>
#include <string>

#include "engine/dwg/objects_types.h"

namespace kel::dwg {
class ObjectWriter;
}

namespace kel::dwg::types {

// ---- dimensions ---------------------------------------------------------------------------

// The file stores a dimension's definition point with the kind's own points and derives its
// kind flags; DXF wants both in the AcDbDimension part, before the kind's marker. `part` is the
// index of that marker, the definition point follows it and the flags are the last tag.
template <class IO>
void dimensionCommonFirst(IO& io, size_t part) {
  if constexpr (IO::reading) {
    Tags& b = io.out();
    if (io.failed() || b.size() < part + 5) return;
    Tag flags = b.back();
    b.pop_back();
    Tags point(b.begin() + std::ptrdiff_t(part + 1), b.begin() + std::ptrdiff_t(part + 4));
    b.erase(b.begin() + std::ptrdiff_t(part + 1), b.begin() + std::ptrdiff_t(part + 4));
    point.push_back(flags);
    b.insert(b.begin() + std::ptrdiff_t(part), point.begin(), point.end());
  } else {
    (void)io;
    (void)part;
  }
}

// Where the next tag of a reading description goes (a writer has no output list).
template <class IO>
size_t outSize(IO& io) {
  if constexpr (IO::reading) {
    return io.out().size();
  } else {
    (void)io;
    return 0;
  }
}

// Kind 5 as for the three-point angular dimension it draws like.
template <class IO>
void visitARC_DIMENSION(IO& io) {
  int flags = visitDimensionCommon(io, 5, true);
  size_t part = outSize(io);
  io.marker("AcDbArcDimension");
  io.BD3(10);
  io.BD3(13);
  io.BD3(14);
  io.BD3(15);
  io.B(70);   // partial arc
  io.BD(40);  // arc start and end parameters (radians in DXF as well)
  io.BD(41);
  io.B(71);   // has a leader
  io.BD3(16);
  io.BD3(17);
  io.implied(Tag::integer(70, flags));
  dimensionCommonFirst(io, part);
}

// Kind 9: a radius dimension with a jogged dimension line.
template <class IO>
void visitLARGE_RADIAL_DIMENSION(IO& io) {
  int flags = visitDimensionCommon(io, 9, true);
  size_t part = outSize(io);
  io.marker("AcDbRadialDimensionLarge");
  io.BD3(10);
  io.BD3(15);  // chord point
  io.BD(40);   // jog angle
  io.BD3(14);  // overridden centre
  io.BD3(13);  // jog point
  io.implied(Tag::integer(70, flags));
  dimensionCommonFirst(io, part);
}

// ---- modeler geometry ---------------------------------------------------------------------

// The text form of the modeler data is stored with each printable character c (33..126) as
// 159 - c, in the file's records and in DXF's 1/3 lines alike, so the bytes pass through
// unchanged; the lines end with a line feed. DXF lines hold at most 255 characters, the rest
// of a longer line continues in 3 groups.
inline constexpr size_t kSatLinePiece = 255;
// The writer stores the data in blocks of this size (any size reads back the same).
inline constexpr size_t kSatBlock = 4096;

// Bytes above 0x7F (rare: texts inside the data) travel as Latin-1 in the UTF-8 tags.
std::string satBytesToUtf8(const std::string& bytes);
std::string satUtf8ToBytes(const std::string& text);
// The lines of a byte blob as DXF 1/3 tags, and back.
void satLinesToTags(const std::string& blob, Tags& out);
std::string satTagsToBlob(const Tags& body);

// The head of every modeler-geometry record (REGION, 3DSOLID, BODY and the surfaces): the empty
// flag, an unknown bit, the version and the data. Version 1 carries the text form in the record,
// in blocks that end with a zero size; version 2 (the binary form) lives in the drawing's data
// store from R2013 on and is not kept here. Returns the version (0: empty). A reader turns text
// data into the 70 and 1/3 tags of DXF; a writer takes the values from pushModelerData.
template <class IO>
int modelerData(IO& io) {
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
        if (size_t(n) * 8 > io.streams().data.remainingBits()) {
          io.fail();
          return version;
        }
        blob += io.bytes(size_t(n), 0);
      }
    } else if (io.until(V::R2010)) {
      io.fail();  // the binary form inline has no length to skip it by
      return version;
    }
  }
  if constexpr (IO::reading) {
    if (version == 1 && !io.failed()) {
      io.implied(Tag::integer(70, 1));
      satLinesToTags(blob, io.out());
    }
  }
  return version;
}

// Queues what modelerData writes, from the 1/3 lines of `part` (the AcDbModelerGeometry tags):
// the text form in blocks, or an empty record when there are no lines.
void pushModelerData(const Tags& part, ObjectWriter& w);

// The modeler-geometry entities. Of what follows the data (wireframe and silhouette caches,
// revision stamp) DXF keeps nothing and the application rebuilds it, so the reader stops after
// the data and the writer stores no caches.
template <class IO>
void visitModelerGeometry(IO& io, bool solid) {
  modelerData(io);
  if constexpr (IO::reading) {
    (void)solid;
  } else {
    io.B(0);  // no wireframe cache
    io.B(0);  // the closing empty flag (set: nothing follows)
    if (io.since(V::R2013)) {
      io.B(0);  // no revision stamp
      io.BL(0);
      io.BS(0);
      io.BS(0);
      for (int i = 0; i < 8; ++i) io.RC(0);
      io.BL(0);
    }
    if (solid && io.since(V::R2007)) io.H(0, HK::HardPointer);  // no history
  }
}

template <class IO>
void visitREGION(IO& io) {
  visitModelerGeometry(io, false);
}
template <class IO>
void visit3DSOLID(IO& io) {
  visitModelerGeometry(io, true);
}
template <class IO>
void visitBODY(IO& io) {
  visitModelerGeometry(io, false);
}

// ---- subdivision mesh -----------------------------------------------------------------------

// A mesh: version, crease blending, subdivision level, the vertices, the face list (each face its
// vertex count and indices), the edges (vertex index pairs) and their creases. The counts come
// from the preparation step when writing. A level above 0 is followed by points the mesh derives
// from the rest; they are read and dropped, and the writer stores level 0 (the base mesh).
template <class IO>
void visitMESH(IO& io) {
  constexpr bool r = IO::reading;
  io.marker("AcDbSubDMesh");
  io.BS(71);
  io.B(72);
  int level = io.BL(r ? 91 : 0);
  auto counted = [&](int n, size_t minBits) {
    return n >= 0 && size_t(n) <= io.streams().data.remainingBits() / minBits;
  };
  if (!counted(level, 6)) return io.fail();
  for (int i = 0; i < level && !io.failed(); ++i) io.BD3(0);
  int nv = io.BL(r ? 92 : 0);
  if (!counted(nv, 6)) return io.fail();
  for (int i = 0; i < nv && !io.failed(); ++i) io.BD3(10);
  int nf = io.BL(r ? 93 : 0);
  if (!counted(nf, 2)) return io.fail();
  for (int i = 0; i < nf && !io.failed(); ++i) io.BL(90);
  int ne = io.BL(r ? 94 : 0);
  if (!counted(ne, 4)) return io.fail();
  for (int i = 0; i < 2 * ne && !io.failed(); ++i) io.BL(90);
  int nc = io.BL(r ? 95 : 0);
  if (!counted(nc, 2)) return io.fail();
  for (int i = 0; i < nc && !io.failed(); ++i) io.BD(140);
  io.B(0);
  io.B(0);
  io.implied(Tag::integer(90, 0));  // no overridden sub-entity properties
}

}  // namespace kel::dwg::types
