// The table family of types (see families.h): ACAD_TABLE, TABLESTYLE, CELLSTYLEMAP and
// TABLEGEOMETRY, read and written. The descriptions and the walks over a table's two cell layouts
// are in types_table.h; this file makes DXF's groups from a table or table style read from a file
// and, for writing, builds the cell-style and content layouts from the DXF groups.
#include <algorithm>
#include <array>
#include <cstdlib>

#include "engine/dwg/families.h"
#include "engine/dwg/types_table.h"

namespace kel::dwg {

namespace types {

namespace {

using engine::ValueKind;

void emitInt(ObjectReader& io, int code, int64_t v) { io.implied(Tag::integer(code, v)); }
void emitReal(ObjectReader& io, int code, double v) { io.implied(Tag::real(code, v)); }
void emitText(ObjectReader& io, int code, const std::string& s) { io.implied(Tag::str(code, s)); }
void emitHandle(ObjectReader& io, int code, Handle h) { io.implied(Tag::handle(code, h)); }
void emitPoint(ObjectReader& io, int code, const Point3& p) {
  emitReal(io, code, p.x);
  emitReal(io, code + 10, p.y);
  emitReal(io, code + 20, p.z);
}

// A colour word as DXF's index (with the true colour after it when there is one).
void emitColor(ObjectReader& io, int code, int32_t word) {
  emitInt(io, code, colorIndexOfWord(word));
  if ((uint32_t(word) >> 24) == 0xC2) emitInt(io, 420, word & 0xFFFFFF);
}

// The text of a stored string value: UTF-16LE from R2007 on, the drawing's bytes before.
std::string valueString(const std::string& data, bool wide) {
  if (!wide) return codePageToUtf8(std::string(data.c_str()), 30);
  std::u16string s;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    char16_t c = char16_t(uint8_t(data[i]) | (uint8_t(data[i + 1]) << 8));
    if (!c) break;
    s += c;
  }
  return utf16ToUtf8(s);
}

std::string storedString(const std::string& utf8, bool wide) {
  if (!wide) return utf8 + '\0';
  std::string out;
  for (char16_t c : utf8ToUtf16(utf8)) {
    out += char(c & 0xFF);
    out += char(c >> 8);
  }
  out += std::string(2, '\0');
  return out;
}

void emitValue(ObjectReader& io, const TblValue& v, bool wide) {
  emitText(io, 301, "CELL_VALUE");
  emitInt(io, 93, v.flags);
  emitInt(io, 90, v.type);
  if (!(v.flags & 1)) {
    switch (v.type) {
      case 0:
      case 1: emitInt(io, 91, v.l); break;
      case 2: emitReal(io, 140, v.d); break;
      case 4:
      case 512: emitText(io, 1, valueString(v.data, wide)); break;
      case 8: {
        emitInt(io, 92, int64_t(v.data.size()));
        Tag t;
        t.code = 310;
        t.kind = ValueKind::Binary;
        t.s = v.data;
        io.implied(t);
        break;
      }
      case 16:
      case 32: emitPoint(io, 11, v.p); break;
      case 64: emitHandle(io, 330, v.h); break;
      default: break;
    }
  }
  emitInt(io, 94, v.units);
  emitText(io, 300, v.format);
  emitText(io, 302, v.text);
  emitText(io, 304, "ACVALUE_END");
}

// The inline view of cells read in the content layout: sizes, merged ranges and the first content.
void contentToInline(Table& t) {
  t.widths.clear();
  t.heights.clear();
  t.cells.clear();
  for (const TblLine& c : t.columns) t.widths.push_back(c.size);
  for (const TblLine& r : t.rows) t.heights.push_back(r.size);
  const size_t cols = t.columns.size();
  for (const TblLine& r : t.rows)
    for (size_t i = 0; i < cols; ++i) {
      TblCell c = i < r.cells.size() ? r.cells[i] : TblCell{};
      c.hasValue = true;
      c.value = TblValue{};
      c.value.flags = 7;  // an empty value, as DXF gives one
      if (!c.contents.empty()) {
        const TblContent& k = c.contents.front();
        if (k.type == 4) {
          c.type = 2;
          c.object = k.object;
          if (k.hasFormat) c.blockScale = k.format.scale;
        } else if (k.type == 2) {
          c.object = k.object;
        } else if (k.type == 1) {
          c.value = k.value;
        }
        if (k.hasFormat) {
          c.rotation = k.format.rotation;
          if (k.format.textHeight > 0) {
            c.hasOverrides = true;
            c.overrideFlags |= 0x20;
            c.textHeight = k.format.textHeight;
          }
        }
      }
      t.cells.push_back(std::move(c));
    }
  for (const TblRange& m : t.merges) {
    if (m.top < 0 || m.left < 0 || m.bottom < m.top || m.right < m.left || size_t(m.bottom) >= t.rows.size() ||
        size_t(m.right) >= cols)
      continue;
    for (int32_t r = m.top; r <= m.bottom; ++r)
      for (int32_t k = m.left; k <= m.right; ++k) {
        TblCell& c = t.cells[size_t(r) * cols + size_t(k)];
        if (r == m.top && k == m.left) {
          c.spanCols = m.right - m.left + 1;
          c.spanRows = m.bottom - m.top + 1;
        } else {
          c.merged = true;
        }
      }
  }
}

}  // namespace

// Whether a description read the whole data stream of its record (up to the texts from R2007 on).
bool readToEnd(ObjectReader& io) {
  const BitReader& d = io.streams().data;
  if (io.since(V::R2007)) {
    BitReader strings;
    locateStringStream(d, 0, d.positionBits() + d.remainingBits(), strings);
    if (strings.positionBits()) return strings.positionBits() == d.positionBits();
    return d.remainingBits() <= 1;
  }
  return d.remainingBits() < 8;
}

// The AcDbTable groups of a table read from a file, in DXF's order.
void emitTable(ObjectReader& io, Table& t) {
  const bool wide = io.since(V::R2007);
  const bool valueForm = wide;  // DXF gives each cell's value from R2007 on
  if (t.content) contentToInline(t);
  if (io.since(V::R2010)) emitInt(io, 280, 0);
  emitHandle(io, 342, t.style);
  Handle block = 0;
  for (const Tag& g : io.out())
    if (g.code == 2) block = Handle(g.i);
  emitHandle(io, 343, block);
  emitPoint(io, 11, t.direction);
  emitInt(io, 90, t.valueFlags);
  emitInt(io, 91, int64_t(t.heights.size()));
  emitInt(io, 92, int64_t(t.widths.size()));
  for (size_t g = 0; g < 4; ++g) emitInt(io, 93 + int(g), t.overrideFlags[g]);
  for (const TblOverride& o : t.overrides) {
    if (o.kind == 2) emitReal(io, o.code, o.d);
    else if (o.kind == 3) emitColor(io, o.code, o.i);
    else if (o.kind == 4) emitHandle(io, o.code, o.h);
    else emitInt(io, o.code, o.i);
  }
  for (double h : t.heights) emitReal(io, 141, h);
  for (double w : t.widths) emitReal(io, 142, w);
  static constexpr int kEdgeColor[4] = {69, 65, 66, 68}, kEdgeWeight[4] = {279, 275, 276, 278},
                       kEdgeVisible[4] = {289, 285, 286, 288};
  for (const TblCell& c : t.cells) {
    emitInt(io, 171, c.type);
    emitInt(io, 172, c.edges);
    emitInt(io, 173, c.merged);
    emitInt(io, 174, c.autofit);
    emitInt(io, 175, c.spanCols);
    emitInt(io, 176, c.spanRows);
    emitInt(io, valueForm ? 91 : 177, c.overrideFlags);
    emitInt(io, 178, c.virtualEdges);
    emitReal(io, 145, c.rotation);
    if (c.type == 1 && !valueForm && !c.object) emitText(io, 1, c.text);
    const int32_t f = c.overrideFlags;
    if (f & 0x01) emitInt(io, 170, c.alignment);
    if (f & 0x04) emitColor(io, 63, c.bgColor);
    if (f & 0x08) emitColor(io, 64, c.contentColor);
    if (f & 0x02) emitInt(io, 283, c.fillNone);
    if (f & 0x10) emitHandle(io, 7, c.textStyle);
    if (f & 0x20) emitReal(io, 140, c.textHeight);
    for (size_t e = 0; e < 4; ++e) {
      if (f & (0x400 << e)) emitInt(io, kEdgeWeight[e], c.edgeWeight[e]);
      if (f & (0x40 << e)) emitColor(io, kEdgeColor[e], c.edgeColor[e]);
      if (f & (0x4000 << e)) emitInt(io, kEdgeVisible[e], c.edgeVisible[e]);
    }
    if (c.type == 1 && c.object) emitHandle(io, 344, c.object);
    if (c.type == 2) {
      emitHandle(io, 340, c.object);
      emitReal(io, 144, c.blockScale);
      emitInt(io, 179, int64_t(c.attdefs.size()));
      for (const TblAttr& a : c.attdefs) {
        emitHandle(io, 331, a.attdef);
        emitText(io, 300, a.value);
      }
    }
    if (valueForm) {
      emitInt(io, 92, 0);
      emitValue(io, c.value, wide);
    }
  }
}

void readRowStyles(ObjectReader& io) {
  emitInt(io, 280, 0);
  io.T(3);
  io.BS(70);
  io.BS(71);
  io.BD(40);
  io.BD(41);
  io.B(280);
  io.B(281);
  for (int row = 0; row < 3 && !io.failed(); ++row) {
    io.H(7, HK::HardPointer);
    io.BD(140);
    io.BS(170);
    emitColor(io, 62, tableColor(io));
    emitColor(io, 63, tableColor(io));
    io.B(283);
    // The borders come before the value format in the file and after it in DXF.
    struct Border {
      int16_t weight;
      bool visible;
      int32_t color;
    } borders[6];
    for (Border& b : borders) {
      b.weight = io.BS(0);
      b.visible = io.B(0);
      b.color = tableColor(io);
    }
    if (io.since(V::R2007)) {
      io.BL(90);
      io.BL(91);
      io.T(1);
    }
    for (int i = 0; i < 6; ++i) {
      emitInt(io, 274 + i, borders[i].weight);
      emitInt(io, 284 + i, borders[i].visible);
      emitColor(io, 64 + i, borders[i].color);
    }
  }
}

namespace {

// The cell style of a table style for one kind of row: by id (1 title, 2 header, 3 data), else by
// name.
const TblCellStyle* rowStyle(const TableStyleData& t, int id, const char* name) {
  for (const TblNamedStyle& e : t.styles)
    if (e.id == id) return &e.style;
  for (const TblNamedStyle& e : t.styles)
    if (e.name == name) return &e.style;
  return nullptr;
}

// The edges of the row form's borders, in its order: top, inside horizontal, bottom, left, inside
// vertical, right.
constexpr int32_t kRowBorderEdges[6] = {1, 32, 4, 8, 16, 2};

}  // namespace

void emitTableStyle(ObjectReader& io, const TableStyleData& t) {
  emitInt(io, 280, 0);
  emitText(io, 3, t.description);
  emitInt(io, 70, 0);
  emitInt(io, 71, 0);
  const TblCellStyle& base = t.table.style;
  const bool margins = base.hasData && (base.marginFlags & 1);
  emitReal(io, 40, margins ? base.margins[1] : 0.06);
  emitReal(io, 41, margins ? base.margins[0] : 0.06);
  emitInt(io, 280, 0);
  emitInt(io, 281, 0);
  static const TblCellStyle kDefault;
  const TblCellStyle* rows[3] = {rowStyle(t, 3, "_DATA"), rowStyle(t, 1, "_TITLE"), rowStyle(t, 2, "_HEADER")};
  for (const TblCellStyle* r : rows) {
    const TblCellStyle& c = r ? *r : kDefault;
    const TblFormat& f = c.format;
    emitHandle(io, 7, f.textStyle);
    emitReal(io, 140, f.textHeight);
    emitInt(io, 170, f.alignment);
    emitColor(io, 62, f.color);
    emitColor(io, 63, c.bgColor);
    emitInt(io, 283, (uint32_t(c.bgColor) >> 24) != 0xC8);
    emitInt(io, 90, f.dataType);
    emitInt(io, 91, f.unitType);
    emitText(io, 1, f.format);
    for (int i = 0; i < 6; ++i) {
      const TblBorder* b = nullptr;
      for (const TblBorder& x : c.borders)
        if (x.edge == kRowBorderEdges[i]) b = &x;
      emitInt(io, 274 + i, b ? b->weight : -2);
      emitInt(io, 284 + i, b ? !b->invisible : 1);
      emitColor(io, 64 + i, b ? b->color : kColorByBlock);
    }
  }
}

namespace {

Handle handleOf(const Tag& t) {
  if (t.kind == ValueKind::String) return Handle(std::strtoull(t.s.c_str(), nullptr, 16));
  return Handle(t.i);
}

int64_t intOfTag(const Tag& t) {
  return t.kind == ValueKind::String ? std::atoll(t.s.c_str()) : engine::asInt(t);
}

}  // namespace

namespace {

// A colour word from DXF's index and the true colour that may follow it.
int32_t colorFromGroups(const Tags& b, size_t i) {
  if (i + 1 < b.size() && b[i + 1].code == 420) return int32_t(0xC2000000u | uint32_t(intOfTag(b[i + 1]) & 0xFFFFFF));
  return colorWordOfIndex(int(intOfTag(b[i])));
}

}  // namespace

TableStyleData parseTableStyle(const Tags& body) {
  TableStyleData t;
  const auto range = subclassRange(body, "AcDbTableStyle");
  double horizontal = 0.06, vertical = 0.06;
  struct Row {
    TblCellStyle style;
    std::array<int16_t, 6> weight{-2, -2, -2, -2, -2, -2};
    std::array<bool, 6> visible{true, true, true, true, true, true};
    std::array<int32_t, 6> color{kColorByBlock, kColorByBlock, kColorByBlock, kColorByBlock, kColorByBlock,
                                 kColorByBlock};
    int32_t fill = int32_t(0xC8000000u);
    bool filled = false;
  };
  std::array<Row, 3> rows;  // data, title, header, as DXF gives them
  int row = -1;
  bool described = false;
  for (size_t i = range.first; i < range.second; ++i) {
    const Tag& g = body[i];
    const int code = g.code;
    if (code == 7 && row < 2) {
      ++row;
      continue;
    }
    if (row < 0) {
      if (code == 3 && !described) t.description = g.s, described = true;
      else if (code == 40) horizontal = engine::asDouble(g);
      else if (code == 41) vertical = engine::asDouble(g);
      continue;
    }
    Row& r = rows[size_t(row)];
    TblFormat& f = r.style.format;
    if (code >= 274 && code <= 279) r.weight[size_t(code - 274)] = int16_t(intOfTag(g));
    else if (code >= 284 && code <= 289) r.visible[size_t(code - 284)] = intOfTag(g) != 0;
    else if (code >= 64 && code <= 69) r.color[size_t(code - 64)] = colorFromGroups(body, i);
    else if (code == 140) f.textHeight = engine::asDouble(g);
    else if (code == 170) f.alignment = int32_t(intOfTag(g));
    else if (code == 62) f.color = colorFromGroups(body, i);
    else if (code == 63) r.fill = colorFromGroups(body, i);
    else if (code == 283) r.filled = intOfTag(g) != 0;
    else if (code == 90) f.dataType = int32_t(intOfTag(g));
    else if (code == 91) f.unitType = int32_t(intOfTag(g));
    else if (code == 1) f.format = g.s;
  }
  const std::array<double, 6> margins{vertical, horizontal, vertical, horizontal, 3 * horizontal, 3 * vertical};
  auto base = [&](TblCellStyle& c) {
    c.type = 5;
    c.hasData = 1;
    c.marginFlags = 1;
    c.margins = margins;
  };
  base(t.table.style);
  t.table.style.format.alignment = 1;
  t.table.style.format.textHeight = 0.18;
  t.table.id = 4;
  t.table.cls = 2;
  t.table.name = "Table";
  static const struct {
    int32_t id, cls;
    const char* name;
  } kRows[3] = {{3, 2, "_DATA"}, {1, 1, "_TITLE"}, {2, 1, "_HEADER"}};
  for (size_t k = 0; k < 3; ++k) {
    Row& r = rows[k];
    TblNamedStyle e;
    e.style = r.style;
    base(e.style);
    if (r.filled) e.style.bgColor = r.fill;
    if (kRows[k].id == 1) e.style.merge = 0x8000;  // the title row spans the table
    for (size_t i = 0; i < 6; ++i) {
      TblBorder b;
      b.edge = kRowBorderEdges[i];
      b.color = r.color[i];
      b.weight = r.weight[i];
      b.invisible = !r.visible[i];
      b.spacing = 0.045;
      e.style.borders.push_back(b);
    }
    e.unknown = kRows[k].id;
    e.id = kRows[k].id;
    e.cls = kRows[k].cls;
    e.name = kRows[k].name;
    t.styles.push_back(std::move(e));
  }
  return t;
}

// A table's values from its DXF groups (the AcDbTable part), in the inline view.
Table parseTable(const Tags& body, bool wide) {
  Table t;
  const auto range = subclassRange(body, "AcDbTable");
  int32_t rows = 0, cols = 0;
  TblCell* cell = nullptr;
  TblValue* value = nullptr;
  for (size_t i = range.first; i < range.second; ++i) {
    const Tag& g = body[i];
    const int code = g.code;
    const double d = engine::asDouble(g);
    const int64_t n = intOfTag(g);
    if (value) {
      switch (code) {
        case 93: value->flags = int32_t(n); break;
        case 90: value->type = int32_t(n); break;
        case 91: value->l = int32_t(n); break;
        case 140: value->d = d; break;
        case 1: value->data = g.s; break;
        case 2:
        case 3: value->data += g.s; break;
        case 310: value->data += g.s; break;
        case 11: value->p.x = d; value->pointSize = value->type == 32 ? 24 : 16; break;
        case 21: value->p.y = d; break;
        case 31: value->p.z = d; break;
        case 330: value->h = handleOf(g); break;
        case 94: value->units = int32_t(n); break;
        case 300: value->format = g.s; break;
        case 302: value->text = g.s; break;
        case 304:
          // Strings are kept as text until here; store them in the file's form.
          if (value->type == 4 || value->type == 512) value->data = storedString(value->data, wide);
          value = nullptr;
          break;
        default: break;
      }
      continue;
    }
    if (code == 171) {
      t.cells.emplace_back();
      cell = &t.cells.back();
      cell->type = int16_t(n);
      continue;
    }
    if (!cell) {
      switch (code) {
        case 342: t.style = handleOf(g); break;
        case 11: t.direction.x = d; break;
        case 21: t.direction.y = d; break;
        case 31: t.direction.z = d; break;
        case 90: t.valueFlags = int16_t(n); break;
        case 91: rows = int32_t(n); break;
        case 92: cols = int32_t(n); break;
        case 141: t.heights.push_back(d); break;
        case 142: t.widths.push_back(d); break;
        default: break;
      }
      continue;
    }
    switch (code) {
      case 172: cell->edges = uint8_t(n); break;
      case 173: cell->merged = n != 0; break;
      case 174: cell->autofit = n != 0; break;
      case 175: cell->spanCols = int32_t(n); break;
      case 176: cell->spanRows = int32_t(n); break;
      case 91:
      case 177: cell->overrideFlags = int32_t(n); break;
      case 178: cell->virtualEdges = uint8_t(n); break;
      case 145: cell->rotation = d; break;
      case 1: cell->text = g.s; break;
      case 2:
      case 3: cell->text += g.s; break;
      case 140: cell->textHeight = d; break;
      case 344: cell->object = handleOf(g); break;
      case 340: cell->object = handleOf(g); break;
      case 144: cell->blockScale = d; break;
      case 301:
        cell->hasValue = true;
        value = &cell->value;
        break;
      default: break;
    }
  }
  if (value && (value->type == 4 || value->type == 512)) value->data = storedString(value->data, wide);
  // Sizes the groups leave out are taken as even; cells beyond the grid are dropped.
  if (rows < 0) rows = 0;
  if (cols < 0) cols = 0;
  t.heights.resize(size_t(rows), t.heights.empty() ? 1.0 : t.heights.back());
  t.widths.resize(size_t(cols), t.widths.empty() ? 1.0 : t.widths.back());
  t.cells.resize(size_t(rows) * size_t(cols));
  return t;
}

// The content layout of a table given in the inline view: one column and one row per size, the
// cells' values (or blocks, or fields) as single contents, spans as merged ranges. Cell-level
// formatting overrides are not carried: the cells take their look from the table style.
void inlineToContent(Table& t, bool wide, const Point3& at) {
  t.content = true;
  const size_t cols = t.widths.size(), rows = t.heights.size();
  t.columns.assign(cols, TblLine{});
  for (size_t i = 0; i < cols; ++i) {
    t.columns[i].size = t.widths[i];
    t.columns[i].style.type = 3;
  }
  t.rows.assign(rows, TblLine{});
  t.merges.clear();
  for (size_t r = 0; r < rows; ++r) {
    TblLine& row = t.rows[r];
    row.size = t.heights[r];
    row.style.type = 2;
    row.cells.assign(cols, TblCell{});
    for (size_t i = 0; i < cols; ++i) {
      const TblCell& from = t.cells[r * cols + i];
      TblCell& c = row.cells[i];
      c.style.type = 1;
      TblContent k;
      // A field cell also gives the field's last value; the value is kept in preference to the
      // field, which the written file may not hold.
      if (from.type == 2 && from.object) {
        k.type = 4;
        k.object = from.object;
      } else if (from.hasValue && !(from.value.flags & 1)) {
        k.type = 1;
        k.value = from.value;
      } else if (!from.text.empty()) {
        k.type = 1;
        k.value.type = 4;
        k.value.data = storedString(from.text, wide);
        k.value.text = from.text;
      } else if (from.type == 1 && from.object) {
        k.type = 2;
        k.object = from.object;
      }
      if (k.type) c.contents.push_back(std::move(k));
      if (from.spanCols > 1 || from.spanRows > 1)
        t.merges.push_back({int32_t(r), int32_t(i), int32_t(r) + std::max(from.spanRows, 1) - 1,
                            int32_t(i) + std::max(from.spanCols, 1) - 1});
    }
  }
  t.tableStyle.type = 4;
  t.breakRows.assign(1, Table::BreakRows{at, 0, int32_t(rows) - 1});
}

}  // namespace types

namespace {

using namespace types;

// Pushes a table's values in stored order for the writer (the preparation side of the walks).
struct TablePusher {
  ObjectWriter& w;
  bool since(V v) const { return w.since(v); }
  bool until(V v) const { return w.until(v); }
  bool ok() const { return true; }
  void fail() {}
  void b(bool& v) { w.pushInt(v ? 1 : 0); }
  void rc(uint8_t& v) { w.pushInt(v); }
  void bs(int16_t& v) { w.pushInt(v); }
  void bl(int32_t& v) { w.pushInt(v); }
  void bd(double& v) { w.pushReal(v); }
  void rd(double& v) { w.pushReal(v); }
  void p3(Point3& v) {
    w.pushReal(v.x);
    w.pushReal(v.y);
    w.pushReal(v.z);
  }
  void t(std::string& v) { w.pushText(v); }
  void h(Handle& v, HK) { w.pushHandle(v); }
  bool namedStyles = false;
  int formats = 0;
  void styleHandle(Handle& v) {
    if (namedStyles && formats++ > 0) return;  // taken by name from the record's groups
    w.pushHandle(v);
  }
  void color(int32_t& v) {
    w.pushInt(colorIndexOfWord(v));
    w.pushInt(v);
    w.pushInt(0);
  }
  bool raw(std::string& v, int32_t) {
    w.pushText(v);
    return true;
  }
  template <class T>
  bool count(std::vector<T>& v, size_t) {
    w.pushInt(int64_t(v.size()));
    return true;
  }
};

void prepACAD_TABLE(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  const auto ref = subclassRange(b, "AcDbBlockReference");
  Tags own(b.begin() + std::ptrdiff_t(ref.first), b.begin() + std::ptrdiff_t(ref.second));
  pushInsertScale(w, realOf(own, 41, 1), realOf(own, 42, 1), realOf(own, 43, 1));
  w.pushInt(0);  // no attributes
  const bool wide = w.since(V::R2007);
  Table t = parseTable(b, wide);
  inlineToContent(t, wide, Point3{realOf(own, 10), realOf(own, 20), realOf(own, 30)});
  TablePusher p{w};
  tableEntityFields(p, t);
}

void prepTABLESTYLE(const PrepInput& in, ObjectWriter& w) {
  TableStyleData t = parseTableStyle(in.body);
  TablePusher p{w};
  p.namedStyles = true;
  tableStyleFields(p, t);
}

}  // namespace

namespace types {

template <class IO>
void visitACAD_TABLE(IO& io) {
  // The block reference part, without attributes (a table keeps its texts in its cells).
  visitInsertPart(io, false);
  io.marker("AcDbTable");
  Table t;
  if (io.since(V::R2010)) {
    TableStream<IO> s{io};
    t.content = true;
    tableEntityFields(s, t);
  } else if constexpr (IO::reading) {
    tableInlineFields(io, t);
  } else {
    io.fail();
  }
  if constexpr (IO::reading) {
    // Every corpus table is read to the last bit; a record that is not is left as it was read
    // rather than given cells that may be wrong.
    requireEnd(io);
    if (!io.failed()) emitTable(io, t);
  }
}

}  // namespace types

namespace {

const FamilyType kTableFamily[] = {
    // Tables are written in the content layout (the form of R2010 and later), whatever release the
    // source DXF came from: DXF always gives the inline view, which prepACAD_TABLE turns into
    // columns, rows, contents and merged ranges.
    {0, "ACAD_TABLE", "ACAD_TABLE", RecordKind::Entity, &visitACAD_TABLE<ObjectReader>,
     &visitACAD_TABLE<ObjectWriter>, prepACAD_TABLE, "AcDbTable", {50}},
    {0, "TABLESTYLE", "TABLESTYLE", RecordKind::Object, &visitTABLESTYLE<ObjectReader>,
     &visitTABLESTYLE<ObjectWriter>, prepTABLESTYLE, "AcDbTableStyle", {}},
    {0, "CELLSTYLEMAP", "CELLSTYLEMAP", RecordKind::Object, &visitCELLSTYLEMAP<ObjectReader>,
     &visitCELLSTYLEMAP<ObjectWriter>, nullptr, "AcDbCellStyleMap", {}},
    {0, "TABLEGEOMETRY", "TABLEGEOMETRY", RecordKind::Object, &visitTABLEGEOMETRY<ObjectReader>,
     &visitTABLEGEOMETRY<ObjectWriter>, nullptr, "AcDbTableGeometry", {}},
};

}  // namespace

std::span<const FamilyType> tableFamily() { return kTableFamily; }

}  // namespace kel::dwg
