// Descriptions of the table family: ACAD_TABLE, TABLESTYLE, CELLSTYLEMAP and TABLEGEOMETRY (see
// objects_types.h for the conventions).
//
// A table entity keeps its cells in two layouts. Files up to R2007 store them inline, one record
// per cell, close to the way DXF gives them. From R2010 on the entity carries a table content
// instead: columns and rows with cell styles, cells holding a list of contents (values, blocks,
// fields) and the merged ranges apart. DXF keeps the inline form for every version. Both layouts
// are therefore walked into a `Table` (`tableInlineFields`, `tableContentFields`); the reader makes
// the DXF groups from it and the writer's preparation step builds the content from the DXF groups.
// The walks take a stream with the members of `TableStream` (reading) or of the pushing side in
// family_table.cpp (writing), so one text serves both directions.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/dwg/objects_io.h"
#include "engine/dwg/objects_types.h"
#include "engine/dwg/types_leader.h"

namespace kel::dwg::types {

// ---- the pieces ----------------------------------------------------------------------------------

// A cell value: a number, a text, a date, a point or an object, with its display format.
struct TblValue {
  int32_t flags = 0;   // bit 1: no data stored (R2007+)
  int32_t type = 0;    // 0 unknown, 1 long, 2 double, 4 string, 8 date, 16 2D point, 32 3D point,
                       // 64 object, 512 general
  int32_t l = 0;
  double d = 0;
  std::string data;    // strings and dates as stored (R2007+ strings: UTF-16LE with its terminator)
  int32_t pointSize = 0;
  Point3 p;
  Handle h = 0;
  int32_t units = 0;
  std::string format, text;  // R2007+: format string, formatted text
};

struct TblFormat {  // how a content is shown
  int32_t overrides = 0, flags = 0, dataType = 512, unitType = 0;
  std::string format;
  double rotation = 0, scale = 1;
  int32_t alignment = 0;
  int32_t color = kColorByBlock;
  Handle textStyle = 0;
  double textHeight = 0;
};

struct TblBorder {
  int32_t edge = 0, overrides = 0, type = 1;
  int32_t color = kColorByBlock;
  int32_t weight = -2;
  Handle linetype = 0;
  int32_t invisible = 0;
  double spacing = 0;
};

struct TblCellStyle {
  int32_t type = 1;  // 1 cell, 2 row, 3 column, 4 formatted table data, 5 table
  int16_t hasData = 0;
  int32_t overrides = 0, merge = 0;
  int32_t bgColor = int32_t(0xC8000000u);  // no colour
  int32_t layout = 1;
  TblFormat format;
  int16_t marginFlags = 0;
  std::array<double, 6> margins{};
  std::vector<TblBorder> borders;
};

struct TblItem {  // a named value of a cell, row or column
  std::string name;
  TblValue value;
};

struct TblAttr {  // the value of one attribute of a block in a cell
  Handle attdef = 0;
  std::string value;
  int32_t index = 0;
};

struct TblContent {  // one content of a cell (R2010+)
  int32_t type = 0;  // 1 value, 2 field, 4 block
  TblValue value;
  Handle object = 0;
  std::vector<TblAttr> attrs;
  int16_t hasFormat = 0;
  TblFormat format;
};

struct TblGeometry {
  Point3 topLeft, center;
  double contentWidth = 0, contentHeight = 0, width = 0, height = 0;
  int32_t flags = 0;
};

// One cell with the values of both layouts. The inline layout's values are the ones DXF names;
// the content layout's are kept so a record read can be walked again unchanged.
struct TblCell {
  // Inline layout (DXF).
  int16_t type = 1;  // 1 text, 2 block
  uint8_t edges = 0;
  bool merged = false, autofit = false;
  int32_t spanCols = 1, spanRows = 1;
  double rotation = 0;
  Handle object = 0;  // text cells: a field; block cells: the block record
  std::string text;
  double blockScale = 1;
  bool hasAttrs = false;
  std::vector<TblAttr> attdefs;
  bool hasOverrides = false;
  int32_t overrideFlags = 0;
  uint8_t virtualEdges = 0;
  int16_t alignment = 0;
  bool fillNone = false;
  int32_t bgColor = kColorByBlock, contentColor = kColorByBlock;
  Handle textStyle = 0;
  double textHeight = 0;
  std::array<int32_t, 4> edgeColor{kColorByBlock, kColorByBlock, kColorByBlock, kColorByBlock};  // top right bottom left
  std::array<int16_t, 4> edgeWeight{};
  std::array<int16_t, 4> edgeVisible{1, 1, 1, 1};
  int32_t unknown = 0;
  bool hasValue = false;
  TblValue value;
  // Content layout.
  int32_t state = 0;
  std::string tooltip;
  int32_t custom = 0;
  std::vector<TblItem> items;
  int32_t linked = 0;
  Handle link = 0;
  int32_t linkRows = 0, linkCols = 0, linkUnknown = 0;
  std::vector<TblContent> contents;
  TblCellStyle style;
  int32_t styleId = 0;
  int32_t geomFlag = 0, geom91 = 0;
  double geom40 = 0, geom41 = 0;
  int32_t geomFlags = 0;
  Handle geomHandle = 0;
  TblGeometry geometry;
};

struct TblLine {  // a row or a column of the content layout
  std::string name;
  int32_t custom = 0;
  std::vector<TblItem> items;
  TblCellStyle style;
  int32_t styleId = 0;
  double size = 0;  // width or height
  std::vector<TblCell> cells;  // rows only
};

struct TblRange {
  int32_t top = 0, left = 0, bottom = 0, right = 0;
};

// Table-wide overrides of the inline layout, each present when its bit is set in the flag word.
struct TblOverride {
  int code;
  int kind;  // 0 bit, 1 BS, 2 BD, 3 colour, 4 handle
  int32_t i = 0;
  double d = 0;
  Handle h = 0;
};

struct Table {
  Handle style = 0;
  int16_t valueFlags = 22;
  Point3 direction{1, 0, 0};
  std::vector<double> widths, heights;
  std::vector<TblCell> cells;  // row by row
  // Inline layout: table overrides, border colours, lineweights and visibilities.
  std::array<int32_t, 4> overrideFlags{};
  std::vector<TblOverride> overrides;
  // Content layout.
  uint8_t unknownRC = 0;
  Handle unknownH = 0;
  int32_t unknownBL = 0, unknownBL2 = 0;
  bool unknownB = true;
  std::string name, description;
  std::vector<TblLine> columns, rows;
  std::vector<Handle> fields;
  TblCellStyle tableStyle;
  std::vector<TblRange> merges;
  int16_t unknownBS = 38;
  int32_t hasBreaks = 0, breakFlags = 0, breakFlow = 0, breakUnknown1 = 0, breakUnknown2 = 0;
  double breakSpacing = 0;
  struct BreakHeight {
    Point3 position;
    double height = 0;
    int32_t flags = 0;
  };
  std::vector<BreakHeight> breakHeights;
  struct BreakRows {
    Point3 position;
    int32_t start = 0, end = 0;
  };
  std::vector<BreakRows> breakRows;
  bool content = false;  // read from (or written as) the content layout
};

// Tables store their colours in the full form (index, colour word, name flags) in every version,
// R2000 files included.
template <class IO>
int32_t tableColor(IO& io) {
  io.BS(0);
  int32_t word = io.BL(0);
  int flags = io.RC(0);
  if (flags & 1) io.T(0);
  if (flags & 2) io.T(0);
  return word;
}

// ---- the stream of the reading side ----------------------------------------------------------------

template <class IO>
struct TableStream {
  IO& io;
  bool since(V v) const { return io.since(v); }
  bool until(V v) const { return io.until(v); }
  bool ok() const { return !io.failed(); }
  void fail() { io.fail(); }
  void b(bool& v) { v = io.B(0); }
  void rc(uint8_t& v) { v = io.RC(0); }
  void bs(int16_t& v) { v = io.BS(0); }
  void bl(int32_t& v) { v = io.BL(0); }
  void bd(double& v) { v = io.BD(0); }
  void rd(double& v) { v = io.RD(0); }
  void p3(Point3& v) { v = io.BD3(0); }
  void t(std::string& v) { v = io.T(0); }
  void h(Handle& v, HK k) { v = io.H(0, k); }
  void color(int32_t& v) { v = tableColor(io); }
  // A content format's text style. A table style written from DXF names the row styles' text
  // styles (every format after the table's own), which the writer looks up by name.
  bool namedStyles = false;
  int formats = 0;
  void styleHandle(Handle& v) {
    if constexpr (!IO::reading) {
      if (namedStyles && formats++ > 0) {
        v = io.H(7, HK::HardPointer);
        return;
      }
    }
    v = io.H(0, HK::HardPointer);
  }
  // `n` stored bytes; false when the record has fewer left.
  bool raw(std::string& v, int32_t n) {
    if (n < 0 || size_t(n) > io.streams().data.remainingBits() / 8) {
      io.fail();
      return false;
    }
    v = io.bytes(size_t(n), 0);
    return true;
  }
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

// ---- the walks -------------------------------------------------------------------------------------

template <class S>
void valueFields(S& s, TblValue& v) {
  if (s.since(V::R2007)) s.bl(v.flags);
  s.bl(v.type);
  if (!s.since(V::R2007) || !(v.flags & 1)) {
    switch (v.type) {
      case 0:
      case 1: s.bl(v.l); break;
      case 2: s.bd(v.d); break;
      case 4:
      case 8:
      case 512: {
        int32_t n = int32_t(v.data.size());
        s.bl(n);
        if (!s.raw(v.data, n)) return;
        break;
      }
      case 16:
      case 32:
        s.bl(v.pointSize);
        if (v.pointSize > 0) {
          s.rd(v.p.x);
          s.rd(v.p.y);
          if (v.type == 32) s.rd(v.p.z);
        }
        break;
      case 64: s.h(v.h, HK::HardPointer); break;
      default: s.fail(); return;
    }
  }
  if (s.since(V::R2007)) {
    s.bl(v.units);
    s.t(v.format);
    s.t(v.text);
  }
}

template <class S>
void formatFields(S& s, TblFormat& f) {
  s.bl(f.overrides);
  s.bl(f.flags);
  s.bl(f.dataType);
  s.bl(f.unitType);
  s.t(f.format);
  s.bd(f.rotation);
  s.bd(f.scale);
  s.bl(f.alignment);
  s.color(f.color);
  s.styleHandle(f.textStyle);
  s.bd(f.textHeight);
}

template <class S>
bool cellStyleFields(S& s, TblCellStyle& c) {
  s.bl(c.type);
  s.bs(c.hasData);
  if (!c.hasData) return s.ok();
  s.bl(c.overrides);
  s.bl(c.merge);
  s.color(c.bgColor);
  s.bl(c.layout);
  formatFields(s, c.format);
  s.bs(c.marginFlags);
  if (c.marginFlags & 1)
    for (double& m : c.margins) s.bd(m);
  if (!s.count(c.borders, 2)) return false;
  for (TblBorder& b : c.borders) {
    s.bl(b.edge);
    if (!b.edge) continue;
    s.bl(b.overrides);
    s.bl(b.type);
    s.color(b.color);
    s.bl(b.weight);
    s.h(b.linetype, HK::HardPointer);
    s.bl(b.invisible);
    s.bd(b.spacing);
  }
  return s.ok();
}

template <class S>
bool itemsFields(S& s, std::vector<TblItem>& items) {
  if (!s.count(items, 8)) return false;
  for (TblItem& it : items) {
    s.t(it.name);
    valueFields(s, it.value);
    if (!s.ok()) return false;
  }
  return true;
}

template <class S>
bool contentCellFields(S& s, TblCell& c) {
  s.bl(c.state);
  s.t(c.tooltip);
  s.bl(c.custom);
  if (!itemsFields(s, c.items)) return false;
  s.bl(c.linked);
  if (c.linked == 1) {
    s.h(c.link, HK::HardPointer);
    s.bl(c.linkRows);
    s.bl(c.linkCols);
    s.bl(c.linkUnknown);
  }
  if (!s.count(c.contents, 8)) return false;
  for (TblContent& k : c.contents) {
    s.bl(k.type);
    if (k.type == 1) valueFields(s, k.value);
    else if (k.type == 2 || k.type == 4) s.h(k.object, HK::HardPointer);
    if (!s.count(k.attrs, 4)) return false;
    for (TblAttr& a : k.attrs) {
      s.h(a.attdef, HK::SoftPointer);
      s.t(a.value);
      s.bl(a.index);
    }
    s.bs(k.hasFormat);
    if (k.hasFormat) formatFields(s, k.format);
    if (!s.ok()) return false;
  }
  if (!cellStyleFields(s, c.style)) return false;
  s.bl(c.styleId);
  s.bl(c.geomFlag);
  if (c.geomFlag) {
    s.bl(c.geom91);
    s.bd(c.geom40);
    s.bd(c.geom41);
    s.bl(c.geomFlags);
    s.h(c.geomHandle, HK::SoftPointer);
    if (c.geomFlags) {
      TblGeometry& g = c.geometry;
      s.p3(g.topLeft);
      s.p3(g.center);
      s.bd(g.contentWidth);
      s.bd(g.contentHeight);
      s.bd(g.width);
      s.bd(g.height);
      s.bl(g.flags);
    }
  }
  return s.ok();
}

// The table content (the part a TABLECONTENT object holds after its common data).
template <class S>
bool tableContentFields(S& s, Table& t) {
  s.t(t.name);
  s.t(t.description);
  if (!s.count(t.columns, 8)) return false;
  for (TblLine& c : t.columns) {
    s.t(c.name);
    s.bl(c.custom);
    if (!itemsFields(s, c.items) || !cellStyleFields(s, c.style)) return false;
    s.bl(c.styleId);
    s.bd(c.size);
  }
  if (!s.count(t.rows, 8)) return false;
  for (TblLine& r : t.rows) {
    if (!s.count(r.cells, 16)) return false;
    for (TblCell& c : r.cells)
      if (!contentCellFields(s, c)) return false;
    s.bl(r.custom);
    if (!itemsFields(s, r.items) || !cellStyleFields(s, r.style)) return false;
    s.bl(r.styleId);
    s.bd(r.size);
  }
  if (!s.count(t.fields, 1)) return false;
  for (Handle& h : t.fields) s.h(h, HK::HardOwner);
  if (!cellStyleFields(s, t.tableStyle)) return false;
  if (!s.count(t.merges, 8)) return false;
  for (TblRange& m : t.merges) {
    s.bl(m.top);
    s.bl(m.left);
    s.bl(m.bottom);
    s.bl(m.right);
  }
  s.h(t.style, HK::HardPointer);
  return s.ok();
}

// The part of an R2010+ table entity after its block reference part.
template <class S>
bool tableEntityFields(S& s, Table& t) {
  s.rc(t.unknownRC);
  s.h(t.unknownH, HK::SoftPointer);
  s.bl(t.unknownBL);
  if (s.since(V::R2013)) s.bl(t.unknownBL2);
  else s.b(t.unknownB);
  if (!tableContentFields(s, t)) return false;
  s.bs(t.unknownBS);
  s.p3(t.direction);
  s.bl(t.hasBreaks);
  if (t.hasBreaks) {
    s.bl(t.breakFlags);
    s.bl(t.breakFlow);
    s.bd(t.breakSpacing);
    s.bl(t.breakUnknown1);
    s.bl(t.breakUnknown2);
    if (!s.count(t.breakHeights, 8)) return false;
    for (auto& b : t.breakHeights) {
      s.p3(b.position);
      s.bd(b.height);
      s.bl(b.flags);
    }
  }
  if (!s.count(t.breakRows, 8)) return false;
  for (auto& b : t.breakRows) {
    s.p3(b.position);
    s.bl(b.start);
    s.bl(b.end);
  }
  return s.ok();
}

// The override bits of one inline cell and the group each value becomes, in stored order.
struct TblCellOverride {
  int32_t bit;
  int code;
};

// The inline layout (files up to R2007): the part after the block reference part.
template <class IO>
bool tableInlineFields(IO& io, Table& t) {
  TableStream<IO> s{io};
  s.h(t.style, HK::HardPointer);
  s.bs(t.valueFlags);
  s.p3(t.direction);
  int32_t cols = io.BL(0), rows = io.BL(0);
  if (cols < 0 || rows < 0 || size_t(cols) * size_t(rows) > io.streams().data.remainingBits() / 16 ||
      size_t(cols) + size_t(rows) > io.streams().data.remainingBits() / 2)
    return io.fail(), false;
  t.widths.assign(size_t(cols), 0);
  t.heights.assign(size_t(rows), 0);
  for (double& w : t.widths) s.bd(w);
  for (double& h : t.heights) s.bd(h);
  t.cells.assign(size_t(cols) * size_t(rows), TblCell{});
  for (TblCell& c : t.cells) {
    if (!s.ok()) return false;
    s.bs(c.type);
    s.rc(c.edges);
    s.b(c.merged);
    s.b(c.autofit);
    s.bl(c.spanCols);
    s.bl(c.spanRows);
    s.bd(c.rotation);
    s.h(c.object, HK::HardPointer);
    if (c.type == 1) {
      // The text is stored only when the cell holds no field; from R2007 it is in the value.
      if (!c.object && io.until(V::R2004)) s.t(c.text);
    } else if (c.type == 2) {
      s.bd(c.blockScale);
      s.b(c.hasAttrs);
      if (c.hasAttrs) {
        int16_t n = 0;
        s.bs(n);
        if (n < 0 || size_t(n) > io.streams().data.remainingBits() / 4) return io.fail(), false;
        c.attdefs.assign(size_t(n), TblAttr{});
        for (TblAttr& a : c.attdefs) {
          s.h(a.attdef, HK::SoftPointer);
          int16_t index = 0;
          s.bs(index);
          a.index = index;
          s.t(a.value);
        }
      }
    }
    s.b(c.hasOverrides);
    if (c.hasOverrides) {
      s.bl(c.overrideFlags);
      s.rc(c.virtualEdges);
      const int32_t f = c.overrideFlags;
      if (f & 0x01) s.bs(c.alignment);
      if (f & 0x02) s.b(c.fillNone);
      if (f & 0x04) s.color(c.bgColor);
      if (f & 0x08) s.color(c.contentColor);
      if (f & 0x10) s.h(c.textStyle, HK::HardPointer);
      if (f & 0x20) s.bd(c.textHeight);
      for (int e = 0; e < 4; ++e) {
        if (f & (0x40 << e)) s.color(c.edgeColor[size_t(e)]);
        if (f & (0x400 << e)) s.bs(c.edgeWeight[size_t(e)]);
        if (f & (0x4000 << e)) s.bs(c.edgeVisible[size_t(e)]);
      }
    }
    if (io.since(V::R2007)) {
      s.bl(c.unknown);
      valueFields(s, c.value);
      c.hasValue = true;
    }
  }
  // Table-wide overrides: the flag word of each group and its values, in bit order.
  static constexpr struct {
    int32_t bit;
    int code, kind;
  } kTable[] = {{0x1, 280, 0},      {0x2, 281, 0},       {0x4, 70, 1},         {0x8, 40, 2},        {0x10, 41, 2},
                {0x20, 64, 3},      {0x40, 64, 3},       {0x80, 64, 3},        {0x100, 283, 0},     {0x200, 283, 0},
                {0x400, 283, 0},    {0x800, 63, 3},      {0x1000, 63, 3},      {0x2000, 63, 3},     {0x4000, 170, 1},
                {0x8000, 170, 1},   {0x10000, 170, 1},   {0x20000, 7, 4},      {0x40000, 7, 4},     {0x80000, 7, 4},
                {0x100000, 140, 2}, {0x200000, 140, 2},  {0x400000, 140, 2}};
  static constexpr int kBorderColorCodes[6] = {64, 65, 66, 63, 68, 69};
  for (int group = 0; group < 4 && s.ok(); ++group) {
    bool present = false;
    s.b(present);
    if (!present) continue;
    int32_t flags = 0;
    s.bl(flags);
    t.overrideFlags[size_t(group)] = flags;
    if (group == 0) {
      for (const auto& k : kTable) {
        if (!(flags & k.bit)) continue;
        TblOverride o{k.code, k.kind};
        switch (k.kind) {
          case 0: { bool v = false; s.b(v); o.i = v; break; }
          case 1: { int16_t v = 0; s.bs(v); o.i = v; break; }
          case 2: s.bd(o.d); break;
          case 3: s.color(o.i); break;
          default: s.h(o.h, HK::HardPointer); break;
        }
        t.overrides.push_back(o);
        // The data row's fill colour carries a handle after it.
        if (k.bit == 0x2000) {
          Handle h = 0;
          s.h(h, HK::HardPointer);
        }
      }
    } else {
      for (int i = 0; i < 18; ++i) {
        if (!(flags & (1 << i))) continue;
        TblOverride o{group == 1 ? kBorderColorCodes[i % 6] : 0, group == 1 ? 3 : 1};
        if (group == 1) s.color(o.i);
        else {
          int16_t v = 0;
          s.bs(v);
          o.i = v;
        }
        if (group == 1) t.overrides.push_back(o);
      }
    }
  }
  return s.ok();
}

// Whether a description read the whole data stream of its record (up to the texts from R2007 on).
bool readToEnd(ObjectReader& io);

// Fails a record read that left data behind: its values would be misplaced.
template <class IO>
void requireEnd(IO& io) {
  if constexpr (IO::reading) {
    if (!io.failed() && !readToEnd(io)) io.fail();
  }
}

// ---- TABLEGEOMETRY ---------------------------------------------------------------------------------

template <class IO>
void visitTABLEGEOMETRY(IO& io) {
  io.marker("AcDbTableGeometry");
  io.BL(90);
  io.BL(91);
  int32_t n = io.BL(92);
  if (n < 0 || size_t(n) > io.streams().data.remainingBits() / 8) return io.fail();
  for (int32_t i = 0; i < n && !io.failed(); ++i) {
    io.BL(93);
    io.BD(40);
    io.BD(41);
    io.H(330, HK::SoftPointer);
    int32_t g = io.BL(94);
    if (g < 0 || size_t(g) > io.streams().data.remainingBits() / 16) return io.fail();
    for (int32_t k = 0; k < g && !io.failed(); ++k) {
      io.BD3(10);
      io.BD3(11);
      io.BD(43);
      io.BD(44);
      io.BD(45);
      io.BD(46);
      io.BL(95);
    }
  }
  requireEnd(io);
}

// ---- TABLESTYLE ------------------------------------------------------------------------------------
// Up to R2007 a table style holds three row styles (data, title, header) much as DXF gives them;
// from R2010 on it holds cell styles: the table's own and one per kind of row. DXF keeps the row
// form, so the cell styles are read into a `TableStyleData` and given as row styles.

struct TblNamedStyle {
  int32_t unknown = 0;
  TblCellStyle style;
  int32_t id = 0, cls = 0;
  std::string name;
};

struct TableStyleData {
  uint8_t unknownRC = 0;
  std::string description;
  int32_t unknown1 = 0, unknown2 = 0;
  Handle owned = 0;
  TblNamedStyle table;
  std::vector<TblNamedStyle> styles;
};

template <class S>
bool tableStyleFields(S& s, TableStyleData& t) {
  s.rc(t.unknownRC);
  s.t(t.description);
  s.bl(t.unknown1);
  s.bl(t.unknown2);
  s.h(t.owned, HK::HardOwner);
  if (!cellStyleFields(s, t.table.style)) return false;
  s.bl(t.table.id);
  s.bl(t.table.cls);
  s.t(t.table.name);
  if (!s.count(t.styles, 8)) return false;
  for (TblNamedStyle& e : t.styles) {
    s.bl(e.unknown);
    if (!cellStyleFields(s, e.style)) return false;
    s.bl(e.id);
    s.bl(e.cls);
    s.t(e.name);
  }
  return s.ok();
}

// The DXF groups of a table style read in the cell-style form.
void emitTableStyle(ObjectReader& io, const TableStyleData& t);
// The row styles of files up to R2007, read into DXF's groups.
void readRowStyles(ObjectReader& io);
// A table style's cell-style form from its DXF groups.
TableStyleData parseTableStyle(const Tags& body);

template <class IO>
void visitTABLESTYLE(IO& io) {
  io.marker("AcDbTableStyle");
  if (io.until(V::R2007)) {
    if constexpr (IO::reading) readRowStyles(io);
    else io.fail();
  } else {
    TableStyleData t;
    TableStream<IO> s{io};
    s.namedStyles = !IO::reading;
    tableStyleFields(s, t);
    if constexpr (IO::reading) {
      if (!io.failed()) emitTableStyle(io, t);
    }
  }
  requireEnd(io);
}

// ---- CELLSTYLEMAP ----------------------------------------------------------------------------------
// DXF spells a cell style out field by field between begin/end labels; the description gives the
// labels where they stand so that one walk reads and writes that form.

template <class IO>
void label(IO& io, int code, const char* text) {
  io.implied(Tag::str(code, text));
}

// A colour in the full form tables use in every version: the stored index (and the true colour).
template <class IO>
void fullCMC(IO& io, int code) {
  if constexpr (IO::reading) {
    if (io.until(V::R2000)) {
      int16_t index = io.BS(0);
      uint32_t word = uint32_t(io.BL(0));
      int flags = io.RC(0);
      if (flags & 1) io.T(0);
      if (flags & 2) io.T(0);
      io.implied(Tag::integer(code, index));
      if ((word >> 24) == 0xC2) io.implied(Tag::integer(420, int64_t(word & 0xFFFFFF)));
      return;
    }
  }
  io.CMC(code);
}

template <class IO>
void visitFormatGroups(IO& io) {
  label(io, 300, "CONTENTFORMAT");
  label(io, 1, "CONTENTFORMAT_BEGIN");
  io.BL(90);
  io.BL(91);
  io.BL(92);
  io.BL(93);
  io.T(300);
  io.BD(40);
  io.BD(140);
  io.BL(94);
  fullCMC(io, 62);
  io.H(340, HK::HardPointer);
  io.BD(144);
  label(io, 309, "CONTENTFORMAT_END");
}

template <class IO>
void visitCellStyleGroups(IO& io) {
  label(io, 1, "TABLEFORMAT_BEGIN");
  io.BL(90);
  if (io.BS(170)) {
    io.BL(91);
    io.BL(92);
    fullCMC(io, 62);
    io.BL(93);
    visitFormatGroups(io);
    if (io.BS(171) & 1) {
      label(io, 301, "MARGIN");
      label(io, 1, "CELLMARGIN_BEGIN");
      for (int i = 0; i < 6; ++i) io.BD(40);
      label(io, 309, "CELLMARGIN_END");
    }
    int32_t n = io.BL(94);
    if (n < 0 || n > 6) return io.fail();
    for (int32_t i = 0; i < n && !io.failed(); ++i) {
      if (!io.BL(95)) continue;
      label(io, 302, "GRIDFORMAT");
      label(io, 1, "GRIDFORMAT_BEGIN");
      io.BL(90);
      io.BL(91);
      fullCMC(io, 62);
      io.BL(92);
      io.H(340, HK::HardPointer);
      io.BL(93);
      io.BD(40);
      label(io, 309, "GRIDFORMAT_END");
    }
  }
  label(io, 309, "TABLEFORMAT_END");
}

template <class IO>
void visitCELLSTYLEMAP(IO& io) {
  io.marker("AcDbCellStyleMap");
  int32_t n = io.BL(90);
  if (n < 0 || size_t(n) > io.streams().data.remainingBits() / 8) return io.fail();
  for (int32_t i = 0; i < n && !io.failed(); ++i) {
    label(io, 300, "CELLSTYLE");
    visitCellStyleGroups(io);
    label(io, 1, "CELLSTYLE_BEGIN");
    io.BL(90);
    io.BL(91);
    io.T(300);
    label(io, 309, "CELLSTYLE_END");
  }
  requireEnd(io);
}

// The AcDbTable groups of a table read from a file, in DXF's order (cells read in the content
// layout are given in the inline view first).
void emitTable(ObjectReader& io, Table& t);
// A table's values from its DXF groups (the AcDbTable part), in the inline view; `wide` stores
// string values as R2007+ files do.
Table parseTable(const Tags& body, bool wide);
// Builds the content layout from the inline view (`at`: the table's insertion point).
void inlineToContent(Table& t, bool wide, const Point3& at);

}  // namespace kel::dwg::types
