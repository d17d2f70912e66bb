// DXF export: the drawing as an AC1027 ASCII DXF file (UTF-8 text, CRLF line ends). The file is
// written under a temporary name beside the target and renamed into place only when complete, so
// a failed export never leaves a half-written file under the target's name.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string_view>

#include "engine/acdb.h"
#include "engine/dxf/dimension_blocks.h"
#include "engine/dxf/dxf.h"
#include "engine/dxf/dxf_tags.h"
#include "engine/io.h"
#include "engine/model/drawing.h"
#include "engine/model/structure.h"
#include "platform/utf.h"

namespace kel::engine {

namespace {

using dxf::appendTag;

// Writes the text into a buffer that goes to the file whenever it holds a chunk's worth, so the
// text of a large drawing never exists whole in memory; without a file the buffer keeps it all.
// With a plan, records a DWG read kept raw are written in the plan's form as they come.
class Writer {
 public:
  Writer(const Drawing& d, int precision, std::FILE* file = nullptr, const RawExportPlan* plan = nullptr)
      : m_d(d), m_prec(precision), m_file(file), m_plan(plan) {
    m_out.reserve(m_file ? kChunk + (kChunk >> 2) : estimate());
  }

  // False when the file could not take the text.
  bool run() {
    header();
    classes();
    tables();
    blocks();
    section("ENTITIES", [&] {
      for (const auto& e : m_d.entities) listed(e);
    });
    section("OBJECTS", [&] {
      for (const auto& o : m_d.objects) listed(o);
    });
    for (const auto& s : m_d.extraSections) {
      if (s.name == "THUMBNAILIMAGE") continue;  // the export carries no preview image
      section(s.name.c_str(), [&] {
        for (const auto& t : s.tags) {
          tag(t);
          maybeFlush();
        }
      });
    }
    str(0, "EOF");
    flush();
    return m_ok;
  }

  std::string& text() { return m_out; }

 private:
  static constexpr size_t kChunk = size_t(1) << 16;

  // Without a file: a generous guess at the size of the whole text, so that a large drawing's
  // text is not copied again and again as it grows (room reserved but not used costs no pages).
  size_t estimate() const {
    size_t n = 1 << 16;
    auto tags = [&](const Tags& ts) {
      for (const auto& t : ts) n += 8 + (t.kind == ValueKind::String ? t.s.size() : t.kind == ValueKind::Binary ? 2 * t.s.size() : 24);
    };
    for (const auto& h : m_d.header) n += 48, tags(h.values);
    for (const auto& c : m_d.classes) tags(c);
    for (const auto& x : m_d.extraSections) tags(x.tags);
    m_d.forEachObject([&](const Object& o) {
      n += 64 + o.type.size() + 16 * o.reactors.size();
      for (const auto& a : o.appData) n += 32, tags(a.tags);
      tags(o.body);
      tags(o.xdata);
    });
    return n;
  }

  void flush() {
    if (!m_file || m_out.empty()) return;
    m_ok = std::fwrite(m_out.data(), 1, m_out.size(), m_file) == m_out.size() && m_ok;
    m_out.clear();
  }
  void maybeFlush() {
    if (m_file && m_out.size() >= kChunk) flush();
  }

  void tag(const Tag& t) { appendTag(m_out, t, m_prec); }
  // The fixed groups go straight to the text, without a Tag (and its string) for each.
  void str(int code, std::string_view s) { dxf::appendString(m_out, code, s); }
  void handle(int code, Handle h) { dxf::appendHandle(m_out, code, h); }
  template <class F>
  void section(const char* name, F&& body) {
    str(0, "SECTION");
    str(2, name);
    body();
    str(0, "ENDSEC");
  }

  void header() {
    const Handle seed = handseed(m_d);
    const SaveSettings& s = m_d.settings;
    // Variables the written file must state, with the values that hold now. The preview flag has
    // no standard DXF variable; it travels as $UPDATETHUMBNAIL so that it survives a round trip
    // (readers skip header variables they do not know).
    auto fixed = [&](const std::string& name, Tags& vals) -> bool {
      if (name == "$ACADVER") vals = {Tag::str(1, "AC1027")};
      else if (name == "$HANDSEED") vals = {Tag::handle(5, seed)};
      else if (name == "$PROXYGRAPHICS") vals = {Tag::integer(70, s.saveProxyGraphics)};
      else if (name == "$INDEXCTL") vals = {Tag::integer(280, s.indexCtl)};
      else if (name == "$SORTENTS") vals = {Tag::integer(280, s.drawOrderCtl)};
      else if (name == "$UPDATETHUMBNAIL") vals = {Tag::integer(280, s.updateThumbnail)};
      else return false;
      return true;
    };
    section("HEADER", [&] {
      std::vector<std::string> done;
      auto var = [&](const std::string& name, const Tags& vals) {
        str(9, name);
        for (const auto& t : vals) tag(t);
        done.push_back(name);
      };
      Tags v;
      fixed("$ACADVER", v);
      var("$ACADVER", v);
      for (const auto& h : m_d.header) {
        if (h.name == "$ACADVER" || std::find(done.begin(), done.end(), h.name) != done.end()) continue;
        if (h.name == "$HANDLING") continue;  // R12 only: current files always have handles
        Tags vals = h.values;
        fixed(h.name, vals);
        var(h.name, vals);
      }
      for (const char* name : {"$HANDSEED", "$PROXYGRAPHICS", "$INDEXCTL", "$SORTENTS", "$UPDATETHUMBNAIL"}) {
        if (std::find(done.begin(), done.end(), name) != done.end()) continue;
        Tags vals;
        fixed(name, vals);
        var(name, vals);
      }
    });
  }

  void classes() {
    section("CLASSES", [&] {
      for (const auto& c : m_d.classes) {
        str(0, "CLASS");
        for (const auto& t : c) tag(t);
      }
    });
  }

  // A record of a list the plan may leave records out of (entities, objects, table entries).
  void listed(const Object& o) {
    if (m_plan && m_plan->left(o)) return;
    record(o);
  }

  // Handle, application groups, owner, body, extended data.
  void record(const Object& rec) {
    const Object& o = m_plan ? exportForm(*m_plan, rec, m_scratch) : rec;
    str(0, o.type);
    handle(std::string_view(o.type) == "DIMSTYLE" ? 105 : 5, o.handle);
    for (const auto& a : o.appData) {
      str(102, a.name);
      for (const auto& t : a.tags) tag(t);
      str(102, "}");
    }
    if (!o.reactors.empty()) {
      str(102, "{ACAD_REACTORS");
      for (Handle h : o.reactors) handle(330, h);
      str(102, "}");
    }
    if (o.xdict) {
      str(102, "{ACAD_XDICTIONARY");
      handle(360, o.xdict);
      str(102, "}");
    }
    handle(330, o.owner);
    for (const auto& t : o.body) tag(t);
    for (const auto& t : o.xdata) tag(t);
    maybeFlush();
  }

  void tables() {
    section("TABLES", [&] {
      for (const auto& t : m_d.tables) {
        str(0, "TABLE");
        str(2, t.name);
        Object c = m_plan ? exportForm(*m_plan, t.control, m_scratch) : t.control;
        c.type.clear();
        // The entry count is the number of entries written.
        size_t written = t.entries.size();
        if (m_plan)
          for (const auto& e : t.entries) written -= m_plan->left(e);
        for (auto& x : c.body)
          if (x.code == 70) {
            x.i = int64_t(written);
            break;
          }
        handle(5, c.handle);
        for (const auto& a : c.appData) {
          str(102, a.name);
          for (const auto& x : a.tags) tag(x);
          str(102, "}");
        }
        if (!c.reactors.empty()) {
          str(102, "{ACAD_REACTORS");
          for (Handle h : c.reactors) handle(330, h);
          str(102, "}");
        }
        if (c.xdict) {
          str(102, "{ACAD_XDICTIONARY");
          handle(360, c.xdict);
          str(102, "}");
        }
        handle(330, 0);
        for (const auto& x : c.body) tag(x);
        for (const auto& x : c.xdata) tag(x);
        for (const auto& e : t.entries) listed(e);
        str(0, "ENDTAB");
      }
    });
  }

  void blocks() {
    section("BLOCKS", [&] {
      for (const auto& b : m_d.blocks) {
        record(b.begin);
        for (const auto& e : b.entities) listed(e);
        record(b.end);
      }
    });
  }

  const Drawing& m_d;
  int m_prec;
  std::FILE* m_file;
  const RawExportPlan* m_plan;
  Object m_scratch;  // a record in the plan's form
  std::string m_out;
  bool m_ok = true;
};

}  // namespace

std::string dxf::dxfText(Drawing& d, int precision) {
  DimensionBlocksForExport dimensionBlocks(d);
  Writer w(d, precision);
  w.run();
  return std::move(w.text());
}

Acad::ErrorStatus writeDxf(Drawing& d, const char16_t* path, int precision, int version, bool thumbnail) {
  (void)thumbnail;  // no preview image is written
  if (version != AcDb::kDHL_1027) return Acad::eInvalidDwgVersion;
  if (!path || !*path) return Acad::eInvalidInput;
  // Precision 0 means the default; more than 16 digits is more than a double holds.
  if (precision <= 0 || precision > 16) precision = 16;
  if (d.tables.empty()) {
    // A database nobody filled: give it the structure every drawing file has.
    Notes notes;
    completeStructure(d, notes);
  }
  // Dimensions without a geometry block get an empty one while the file is written (before the
  // plan below, which points into the drawing).
  DimensionBlocksForExport dimensionBlocks(d);
  // Records a DWG read kept as raw bytes have no DXF form: the export writes them as proxies
  // where their class allows and leaves out the rest (with what names them) rather than write
  // records other readers cannot load. The drawing itself keeps them, so a DWG save still has
  // them: the plan only says how each record is written.
  bool hasRaw = false;
  d.forEachObject([&](Object& o) { hasRaw = hasRaw || !o.dwgRaw.empty(); });
  RawExportPlan plan;
  if (hasRaw) plan = planRawExport(d);

  const std::string target = plat::toPosixPath(path);
  const std::string temp = target + ".kel" + std::to_string(::getpid()) + ".tmp";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return errno == ENOENT || errno == ENOTDIR ? Acad::eFileNotFound : Acad::eFileAccessErr;
  bool ok = Writer(d, precision, f, hasRaw ? &plan : nullptr).run();
  ok = std::fflush(f) == 0 && ok;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    std::remove(temp.c_str());
    return Acad::eFileSystemErr;
  }
  if (std::rename(temp.c_str(), target.c_str()) != 0) {
    std::remove(temp.c_str());
    return Acad::eFileAccessErr;
  }
  return Acad::eOk;
}

}  // namespace kel::engine
