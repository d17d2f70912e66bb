// DXF import: a whole ASCII or binary DXF file (R12 to 2018) into a drawing. The groups are read
// first, text is decoded once the header tells the version and code page, then the sections are
// taken apart into records, and finally the drawing is brought to the full current structure.
// On failure the drawing is left as it was; with a log file, every problem gets a line there.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <map>

#include "engine/acdbhost.h"
#include "engine/dxf/dxf.h"
#include "engine/dxf/dxf_log.h"
#include "engine/dxf/dxf_tags.h"
#include "engine/dxf/dxf_text.h"
#include "engine/io.h"
#include "engine/model/drawing.h"
#include "engine/model/structure.h"
#include "engine/model/entities.h"
#include "engine/model/types.h"
#include "platform/utf.h"

namespace kel::engine {

namespace {

using dxf::DxfLog;
using dxf::TagReader;

// Turns groups into text of the drawing: code page or UTF-8 repair by the file's version, caret
// notation in ASCII files, \U+ and \M+ escapes. Most texts are plain ASCII and pass untouched.
class TextDecoder {
 public:
  TextDecoder(int version, const std::string& codePage, bool binary, DxfLog& log)
      : m_version(version), m_cp(dxf::iconvName(codePage)), m_binary(binary), m_log(log) {}
  ~TextDecoder() {
    if (m_repaired > 1) m_log.note(std::to_string(m_repaired) + " texts in all were not valid UTF-8");
  }
  void operator()(Tag& t, uint32_t line) {
    if (t.kind != ValueKind::String || t.s.empty()) return;
    bool plain = true;
    for (unsigned char c : t.s)
      if (c >= 0x80 || c == '^' || c == '\\') {
        plain = false;
        break;
      }
    if (plain) return;
    std::string text;
    if (m_version >= 1021) {
      text = t.s;
      if (!dxf::repairUtf8(text) && m_repaired++ == 0)
        m_log.problem(line, t.code, "text that is not valid UTF-8", "stray bytes taken as CP1252");
    } else {
      text = dxf::toUtf8(t.s, m_cp);
    }
    if (!m_binary) dxf::decodeCarets(text);
    dxf::decodeEscapes(text);
    t.s = text;
  }

 private:
  int m_version;
  std::string m_cp;
  bool m_binary;
  DxfLog& m_log;
  size_t m_repaired = 0;
};

// The groups of the file as the section reader sees them: indexed from the start of the file,
// read from the data only as far as asked for, and forgotten once the reader has moved past them
// (it only ever looks ahead to the end of the current record). So the file's groups are never
// all held at once: each one goes from the data into its record.
class GroupWindow {
 public:
  explicit GroupWindow(TagReader& rd) : m_rd(rd) {}

  // True when group i exists; reads up to it.
  bool has(size_t i) {
    while (i >= m_base + m_tags.size())
      if (!pull()) return false;
    return true;
  }
  // Group i; has(i) must have answered true. Later calls of has() may move groups in memory.
  Tag& operator[](size_t i) { return m_tags[i - m_base]; }
  uint32_t line(size_t i) const { return i >= m_base && i - m_base < m_lines.size() ? m_lines[i - m_base] : 0; }
  // The groups before `i` are not needed any more (their values have been taken).
  void release(size_t i) {
    size_t n = i - m_base;
    if (n < 256 || n < m_tags.size() / 2) return;  // forget in batches
    m_tags.erase(m_tags.begin(), m_tags.begin() + std::ptrdiff_t(n));
    m_lines.erase(m_lines.begin(), m_lines.begin() + std::ptrdiff_t(n));
    m_base = i;
  }
  // Text decoding for the groups read from now on and for those held already.
  void decodeWith(TextDecoder* dec) {
    m_decode = dec;
    for (size_t k = 0; k < m_tags.size(); ++k) (*dec)(m_tags[k], m_lines[k]);
  }
  size_t held() const { return m_base + m_tags.size(); }
  // Gives the window's memory back once the sections are read.
  void drop() {
    m_base = held();
    Tags().swap(m_tags);
    std::vector<uint32_t>().swap(m_lines);
  }

 private:
  bool pull() {
    Tag& t = m_tags.emplace_back();
    uint32_t at = 0;
    if (!m_rd.next(t, at)) {
      m_tags.pop_back();
      return false;
    }
    if (m_decode) (*m_decode)(t, at);
    m_lines.push_back(at);
    return true;
  }

  TagReader& m_rd;
  TextDecoder* m_decode = nullptr;
  Tags m_tags;
  std::vector<uint32_t> m_lines;
  size_t m_base = 0;  // index in the file of m_tags[0]
};

class SectionReader {
 public:
  SectionReader(TagReader& rd, GroupWindow& w, Drawing& d, DxfLog& log) : m_rd(rd), m_tags(w), m_d(d), m_log(log) {}

  Acad::ErrorStatus run() {
    while (m_tags.has(m_i)) {
      m_tags.release(m_i);
      const Tag& t = m_tags[m_i];
      if (!(t.code == 0 && t.s == "SECTION")) {
        return bad(m_i, "\"" + text(t) + "\" found outside any section", "reading stopped");
      }
      size_t at = m_i++;
      if (!m_tags.has(m_i)) return aborted(line(at), "the file ends after SECTION");
      if (m_tags[m_i].code != 2) return bad(m_i, "SECTION is not followed by its name", "reading stopped");
      std::string name = trimmed(m_tags[m_i].s);
      ++m_i;
      Acad::ErrorStatus es;
      if (name == "HEADER") es = header();
      else if (name == "CLASSES") es = classes();
      else if (name == "TABLES") es = tables();
      else if (name == "BLOCKS") es = blocks();
      else if (name == "ENTITIES") es = records(m_d.entities, "ENTITIES");
      else if (name == "OBJECTS") es = records(m_d.objects, "OBJECTS");
      else es = rawSection(name);
      if (es != Acad::eOk) return es;
    }
    if (m_rd.status() != Acad::eOk) return m_rd.status();
    if (!m_rd.sawEof()) m_log.problem(0, -1, "the file has no EOF marker after its last section", "accepted");
    return Acad::eOk;
  }

 private:
  static std::string trimmed(const std::string& s) {
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
  }
  static std::string text(const Tag& t) { return t.kind == ValueKind::String ? t.s.substr(0, 40) : std::to_string(t.code); }
  uint32_t line(size_t i) const { return m_tags.line(i); }
  uint32_t lineAt(size_t i) { return m_tags.has(i) ? m_tags.line(i) : 0; }
  bool isZero(size_t i, const char* name) { return m_tags.has(i) && m_tags[i].code == 0 && m_tags[i].s == name; }
  Acad::ErrorStatus bad(size_t i, const std::string& what, const std::string& done) {
    m_log.problem(line(i), m_tags.has(i) ? m_tags[i].code : -1, what, done);
    return Acad::eBadDxfSequence;
  }
  // The groups ran out inside something (`at`: the line where it starts). When the groups ran
  // out because the data is not readable, that problem is logged already and is the answer.
  Acad::ErrorStatus aborted(uint32_t at, const std::string& what) {
    if (m_rd.status() != Acad::eOk) return m_rd.status();
    m_log.problem(at, -1, what, "reading stopped");
    return Acad::eDxfReadAborted;
  }
  // Calls f(name) for each record start from m_i on, first those the window holds, then those
  // of the data not read yet, until f answers false.
  template <class F>
  void forRecordsAhead(F&& f) {
    for (size_t k = m_i; k < m_tags.held(); ++k)
      if (m_tags[k].code == 0 && !f(std::string_view(m_tags[k].s))) return;
    m_rd.scanRecords(f);
  }
  // The number of records from m_i on before the first named `stop` (or the section's end).
  // Lists are reserved with it, so each is allocated once at its final size: doubling a list
  // of records would hold up to three times its size while it moves.
  size_t recordsAhead(std::string_view stop) {
    size_t n = 0;
    forRecordsAhead([&](std::string_view name) {
      if (name == stop || name == "ENDSEC" || name == "EOF") return false;
      ++n;
      return true;
    });
    return n;
  }
  // Index of the next group 0 at or after i (reads up to it).
  size_t nextZero(size_t i) {
    while (m_tags.has(i) && m_tags[i].code != 0) ++i;
    return i;
  }

  Acad::ErrorStatus header() {
    const uint32_t start = lineAt(m_i);
    size_t vars = 0;
    for (size_t k = m_i; m_tags.has(k) && m_tags[k].code != 0; ++k) vars += m_tags[k].code == 9;
    m_d.header.reserve(m_d.header.size() + vars);
    HeaderVar* cur = nullptr;
    for (; m_tags.has(m_i); ++m_i) {
      m_tags.release(m_i);
      Tag& t = m_tags[m_i];
      if (t.code == 0) {
        if (t.s == "ENDSEC") {
          ++m_i;
          return Acad::eOk;
        }
        return bad(m_i, "\"" + t.s + "\" inside the HEADER section", "reading stopped");
      }
      if (t.code == 9) {
        m_d.header.push_back({t.s, {}});
        cur = &m_d.header.back();
        size_t k = m_i + 1;
        while (m_tags.has(k) && m_tags[k].code != 9 && m_tags[k].code != 0) ++k;
        cur->values.reserve(k - m_i - 1);
        continue;
      }
      if (!cur) {
        m_log.problem(line(m_i), t.code, "a value without a header variable name", "ignored");
        continue;
      }
      cur->values.push_back(std::move(t));
    }
    return aborted(start, "the file ends inside the HEADER section");
  }

  Acad::ErrorStatus classes() {
    const uint32_t start = lineAt(m_i);
    while (m_tags.has(m_i)) {
      m_tags.release(m_i);
      if (isZero(m_i, "ENDSEC")) {
        ++m_i;
        return Acad::eOk;
      }
      if (m_tags[m_i].code != 0 || m_tags[m_i].s != "CLASS") {
        if (isZero(m_i, "SECTION")) return bad(m_i, "SECTION inside the CLASSES section", "reading stopped");
        m_log.problem(line(m_i), m_tags[m_i].code, "\"" + text(m_tags[m_i]) + "\" is not a CLASS record", "skipped");
        m_i = nextZero(m_i + 1);
        continue;
      }
      size_t end = nextZero(m_i + 1);
      Tags rec;
      rec.reserve(end - m_i - 1);
      for (size_t k = m_i + 1; k < end; ++k) rec.push_back(std::move(m_tags[k]));
      m_d.classes.push_back(std::move(rec));
      m_i = end;
    }
    return aborted(start, "the file ends inside the CLASSES section");
  }

  // One record from the group 0 at m_i up to the next group 0, into o (a new record, built in
  // place in its list).
  void record(Object& o) {
    m_tags.release(m_i);
    size_t end = nextZero(m_i + 1);
    o.type = m_tags[m_i].s;
    const int handleCode = o.type == "DIMSTYLE" ? 105 : 5;
    size_t j = m_i + 1;
    bool gotHandle = false, gotOwner = false;
    while (j < end) {
      Tag& t = m_tags[j];
      if (!gotHandle && t.code == handleCode && t.kind == ValueKind::Handle) {
        o.handle = Handle(t.i);
        gotHandle = true;
        ++j;
        continue;
      }
      if (t.code == 102 && !t.s.empty() && t.s[0] == '{') {
        size_t k = j + 1;
        while (k < end && !(m_tags[k].code == 102 && m_tags[k].s == "}")) ++k;
        if (k >= end) {
          m_log.problem(line(j), 102, "application group " + t.s + " is not closed", "kept as data");
          break;
        }
        if (t.s == "{ACAD_REACTORS") {
          o.reactors.reserve(k - j - 1);
          for (size_t q = j + 1; q < k; ++q)
            if (m_tags[q].kind == ValueKind::Handle && m_tags[q].i) o.reactors.push_back(Handle(m_tags[q].i));
        } else if (t.s == "{ACAD_XDICTIONARY") {
          for (size_t q = j + 1; q < k; ++q)
            if (m_tags[q].code == 360) o.xdict = Handle(asInt(m_tags[q]));
        } else {
          AppData app{t.s, {}};
          app.tags.reserve(k - j - 1);
          for (size_t q = j + 1; q < k; ++q) app.tags.push_back(std::move(m_tags[q]));
          o.appData.push_back(std::move(app));
        }
        j = k + 1;
        continue;
      }
      if (!gotOwner && t.code == 330) {
        o.owner = Handle(asInt(t));
        gotOwner = true;
        ++j;
        continue;
      }
      break;
    }
    // The lists are sized exactly: a drawing has many records, each with a few groups.
    size_t xs = j;
    while (xs < end && m_tags[xs].code < 1000) ++xs;
    o.body.reserve(xs - j);
    o.xdata.reserve(end - xs);
    for (; j < end; ++j) {
      Tag& t = m_tags[j];
      if (t.code >= 1000) break;
      if (!gotHandle && t.code == handleCode && t.kind == ValueKind::Handle) {  // a handle after the first data groups (R12)
        o.handle = Handle(t.i);
        gotHandle = true;
        continue;
      }
      o.body.push_back(std::move(t));
    }
    for (; j < end; ++j) o.xdata.push_back(std::move(m_tags[j]));
    m_i = end;
  }

  Acad::ErrorStatus tables() {
    const uint32_t start = lineAt(m_i);
    while (m_tags.has(m_i)) {
      if (isZero(m_i, "ENDSEC")) {
        ++m_i;
        return Acad::eOk;
      }
      if (!isZero(m_i, "TABLE")) {
        if (m_tags[m_i].code == 0 && (m_tags[m_i].s == "SECTION" || m_tags[m_i].s == "ENDTAB"))
          return bad(m_i, m_tags[m_i].s + " out of place in the TABLES section", "reading stopped");
        m_log.problem(line(m_i), m_tags[m_i].code, "\"" + text(m_tags[m_i]) + "\" outside a table", "skipped");
        m_i = nextZero(m_i + 1);
        continue;
      }
      const uint32_t tableAt = lineAt(m_i);
      // The table's name comes first; the rest of the TABLE record is its control object.
      SymbolTable t;
      size_t nameAt = m_i + 1;
      if (m_tags.has(nameAt) && m_tags[nameAt].code == 2) {
        t.name = trimmed(m_tags[nameAt].s);
        // The name is consumed: the control record starts after it.
        m_tags[nameAt] = Tag::str(0, "TABLE");
        m_i = nameAt;
      }
      record(t.control);
      t.control.type = "TABLE";
      if (t.name.empty()) {
        m_log.problem(tableAt, 2, "a TABLE without a name", "table skipped");
      }
      t.entries.reserve(recordsAhead("ENDTAB"));
      while (true) {
        if (!m_tags.has(m_i)) return aborted(tableAt, "the file ends inside table " + t.name);
        const Tag& z = m_tags[m_i];
        if (z.s == "ENDTAB") {
          ++m_i;
          break;
        }
        if (z.s == "TABLE" || z.s == "ENDSEC" || z.s == "SECTION")
          return bad(m_i, "table " + t.name + " is not closed by ENDTAB", "reading stopped");
        record(t.entries.emplace_back());
      }
      if (t.name.empty()) continue;
      if (SymbolTable* existing = m_d.table(t.name)) {
        for (auto& e : t.entries) existing->entries.push_back(std::move(e));
      } else {
        m_d.tables.push_back(std::move(t));
      }
    }
    return aborted(start, "the file ends inside the TABLES section");
  }

  Acad::ErrorStatus blocks() {
    const uint32_t start = lineAt(m_i);
    // One look over the section gives the number of blocks and of entities in each.
    std::vector<size_t> sizes;
    bool inBlock = false;
    forRecordsAhead([&](std::string_view name) {
      if (name == "ENDSEC" || name == "EOF") return false;
      if (name == "BLOCK") sizes.push_back(0), inBlock = true;
      else if (name == "ENDBLK") inBlock = false;
      else if (inBlock) ++sizes.back();
      return true;
    });
    m_d.blocks.reserve(m_d.blocks.size() + sizes.size());
    size_t blockNo = 0;
    while (m_tags.has(m_i)) {
      if (isZero(m_i, "ENDSEC")) {
        ++m_i;
        return Acad::eOk;
      }
      if (!isZero(m_i, "BLOCK")) {
        if (m_tags[m_i].code == 0 && (m_tags[m_i].s == "SECTION" || m_tags[m_i].s == "ENDBLK"))
          return bad(m_i, m_tags[m_i].s + " out of place in the BLOCKS section", "reading stopped");
        m_log.problem(line(m_i), m_tags[m_i].code, "\"" + text(m_tags[m_i]) + "\" outside a block definition",
                      "skipped");
        m_i = nextZero(m_i + 1);
        continue;
      }
      const uint32_t blockAt = lineAt(m_i);
      Block b;
      record(b.begin);
      if (blockNo < sizes.size()) b.entities.reserve(sizes[blockNo++]);
      while (true) {
        if (!m_tags.has(m_i)) return aborted(blockAt, "the file ends inside block " + b.name());
        const Tag& z = m_tags[m_i];
        if (z.s == "ENDBLK") {
          record(b.end);
          break;
        }
        if (z.s == "BLOCK" || z.s == "ENDSEC" || z.s == "SECTION")
          return bad(m_i, "block " + b.name() + " is not closed by ENDBLK", "reading stopped");
        record(b.entities.emplace_back());
      }
      m_d.blocks.push_back(std::move(b));
    }
    return aborted(start, "the file ends inside the BLOCKS section");
  }

  Acad::ErrorStatus records(std::vector<Object>& out, const char* section) {
    const uint32_t start = lineAt(m_i);
    while (m_tags.has(m_i)) {
      const Tag& z = m_tags[m_i];
      if (z.code != 0) {
        m_log.problem(line(m_i), z.code, "a group outside any record", "skipped");
        m_i = nextZero(m_i);
        continue;
      }
      if (z.s == "ENDSEC") {
        ++m_i;
        return Acad::eOk;
      }
      if (z.s == "SECTION" || z.s == "ENDTAB" || z.s == "TABLE" || z.s == "ENDBLK" || z.s == "BLOCK")
        return bad(m_i, z.s + " out of place in the " + section + " section", "reading stopped");
      if (out.size() == out.capacity()) out.reserve(out.size() + recordsAhead("ENDSEC"));
      record(out.emplace_back());
    }
    return aborted(start, std::string("the file ends inside the ") + section + " section");
  }

  Acad::ErrorStatus rawSection(const std::string& name) {
    const uint32_t start = lineAt(m_i);
    RawSection s{name, {}};
    for (; m_tags.has(m_i); ++m_i) {
      m_tags.release(m_i);
      if (isZero(m_i, "ENDSEC")) {
        ++m_i;
        m_d.extraSections.push_back(std::move(s));
        return Acad::eOk;
      }
      if (isZero(m_i, "SECTION")) return bad(m_i, "SECTION inside section " + name, "reading stopped");
      s.tags.push_back(std::move(m_tags[m_i]));
    }
    return aborted(start, "the file ends inside section " + name);
  }

  TagReader& m_rd;
  GroupWindow& m_tags;
  Drawing& m_d;
  DxfLog& m_log;
  size_t m_i = 0;
};

// The text of the header variable `name` in the file's first section, before any decoding.
std::string rawHeaderText(GroupWindow& w, const char* name) {
  for (size_t i = 0; w.has(i + 1); ++i) {
    if (w[i].code == 0 && w[i].s == "ENDSEC") break;
    if (w[i].code == 9 && w[i].s == name && w[i + 1].kind == ValueKind::String) return w[i + 1].s;
  }
  return {};
}

// Asks the host for the files a drawing needs, as the engine would load them: the ACIS modeler
// module when the drawing holds ACIS solids or surfaces, and the font files its text styles name.
// A refusal is logged and the drawing is kept as read (solids and text stay as they are).
void findNeededFiles(const Drawing& d, DxfLog& log) {
  AcDbHostApplicationServices* host = acdbHostApplicationServices();
  if (!host) return;
  static const char* const acis[] = {"3DSOLID", "REGION", "BODY", "SURFACE", "EXTRUDEDSURFACE",
                                     "LOFTEDSURFACE", "REVOLVEDSURFACE", "SWEPTSURFACE", "PLANESURFACE",
                                     "NURBSURFACE"};
  bool hasAcis = false;
  d.forEachObject([&](const Object& o) {
    for (const char* t : acis) hasAcis = hasAcis || o.type == t;
  });
  char16_t found[260];
  if (hasAcis && host->findFile(found, 260, u"acismobj25.dbx", nullptr, AcDbHostApplicationServices::kARXApplication) !=
                     Acad::eOk)
    log.problem(0, -1, "the ACIS module acismobj25.dbx is not available", "ACIS data kept as read");
  if (const SymbolTable* styles = d.table("STYLE")) {
    std::vector<std::string> asked;
    for (const auto& st : styles->entries) {
      std::string font = st.text(3);
      if (font.empty() || std::find(asked.begin(), asked.end(), font) != asked.end()) continue;
      asked.push_back(font);
      std::u16string name = plat::fromUtf8(font);
      if (host->findFile(found, 260, name.c_str(), nullptr, AcDbHostApplicationServices::kFontFile) != Acad::eOk)
        log.problem(0, 3, "font file " + font + " not found", "text kept with its style");
    }
  }
}

int64_t headerInt(const Drawing& d, const char* name, int64_t dflt) {
  const HeaderVar* h = d.headerVar(name);
  return h && !h->values.empty() ? asInt(h->values.front()) : dflt;
}

}  // namespace

namespace dxf {
Acad::ErrorStatus readDxfData(Drawing& d, std::string_view data, const char16_t* logPath, DxfLog& log);
}  // namespace dxf

Acad::ErrorStatus readDxf(Drawing& d, const char16_t* path, const char16_t* logPath) {
  dxf::DxfLog log(logPath);
  if (!path || !*path) {
    log.problem(0, -1, "no file name given", "nothing read");
    return Acad::eInvalidInput;
  }
  const std::string file = plat::toPosixPath(path);
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) {
    bool missing = errno == ENOENT || errno == ENOTDIR;
    log.problem(0, -1, "cannot find " + file, "nothing read");
    return missing ? Acad::eFileNotFound : Acad::eCantOpenFile;
  }
  std::string data;
  {
    std::FILE* f = S_ISDIR(st.st_mode) ? nullptr : std::fopen(file.c_str(), "rb");
    if (!f) {
      log.problem(0, -1, "cannot open " + file, "nothing read");
      return Acad::eCantOpenFile;
    }
    data.resize(size_t(st.st_size));
    size_t got = data.empty() ? 0 : std::fread(data.data(), 1, data.size(), f);
    bool err = std::ferror(f) != 0;
    std::fclose(f);
    if (err) {
      log.problem(0, -1, "cannot read " + file, "nothing read");
      return Acad::eCantOpenFile;
    }
    data.resize(got);
  }
  return dxf::readDxfData(d, data, logPath, log);
}

namespace dxf {

Acad::ErrorStatus readDxfData(Drawing& d, std::string_view data, const char16_t* logPath) {
  DxfLog log(logPath);
  return readDxfData(d, data, logPath, log);
}

Acad::ErrorStatus readDxfData(Drawing& d, std::string_view data, const char16_t*, DxfLog& log) {
  TagReader rd(data, log);
  GroupWindow groups(rd);
  // How text is decoded depends on the header: read the groups up to the end of the first
  // section before anything else.
  for (size_t i = 0; groups.has(i) && !(groups[i].code == 0 && groups[i].s == "ENDSEC");) ++i;
  Acad::ErrorStatus es = rd.status();
  if (es == Acad::eUnknownDxfFileFormat) log.problem(0, -1, "the file is not a DXF file", "nothing read");
  if (es != Acad::eOk) return es;
  if (groups.held() == 0) {
    log.problem(0, -1, "the file holds no DXF groups", "nothing read");
    return Acad::eUnknownDxfFileFormat;
  }

  std::string acadver = rawHeaderText(groups, "$ACADVER");
  int version = versionNumber(acadver);
  if (version == 0) {
    log.problem(0, 1, acadver.empty() ? "no $ACADVER in the header" : "unknown $ACADVER \"" + acadver + "\"",
                "read as AC1009");
    version = 1009;
  } else if (version > 1032) {
    log.problem(0, 1, "$ACADVER " + acadver + " is newer than AC1032", "read as AC1032");
  }
  TextDecoder decoder(version, rawHeaderText(groups, "$DWGCODEPAGE"), rd.binary(), log);
  groups.decodeWith(&decoder);

  Drawing nd;
  nd.version = version;
  SectionReader reader(rd, groups, nd, log);
  es = reader.run();
  if (es != Acad::eOk) return es;
  groups.drop();

  // The four save settings are header variables of the drawing.
  nd.settings.saveProxyGraphics = int16_t(headerInt(nd, "$PROXYGRAPHICS", nd.settings.saveProxyGraphics));
  nd.settings.indexCtl = uint8_t(headerInt(nd, "$INDEXCTL", nd.settings.indexCtl));
  nd.settings.drawOrderCtl = uint8_t(headerInt(nd, "$SORTENTS", nd.settings.drawOrderCtl));
  nd.settings.updateThumbnail = uint8_t(headerInt(nd, "$UPDATETHUMBNAIL", nd.settings.updateThumbnail));
  if (const HeaderVar* hs = nd.headerVar("$HANDSEED"); hs && !hs->values.empty())
    nd.nextHandle = std::max<Handle>(1, Handle(asInt(hs->values.front())));

  Notes notes;
  completeStructure(nd, notes);
  for (const auto& n : notes) log.problem(0, -1, n, "repaired");

  findNeededFiles(nd, log);

  // Say which record types are kept as read, without a typed view.
  std::map<std::string, size_t> raw;
  nd.forEachObject([&](const Object& o) {
    if (!viewOf(o.type) && o.type != "TABLE") ++raw[o.type];
  });
  for (const auto& [type, n] : raw) log.note("kept as read (not modelled): " + type + " x" + std::to_string(n));

  // A value that could not be read (0 stands in for it) still fails the import, but the drawing
  // read around it is kept: it is consistent, and a caller may want what could be read.
  d = std::move(nd);
  return rd.partial() ? Acad::eDxfPartiallyRead : Acad::eOk;
}

}  // namespace dxf

}  // namespace kel::engine
