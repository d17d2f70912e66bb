// DXF import: a whole ASCII or binary DXF file (R12 to 2018) into a drawing. The groups are read
// first, text is decoded once the header tells the version and code page, then the sections are
// taken apart into records, and finally the drawing is brought to the full current structure.
// On failure the drawing is left as it was; with a log file, every problem gets a line there.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
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
#include "engine/model/types.h"
#include "platform/utf.h"

namespace kel::engine {

namespace {

using dxf::DxfLog;
using dxf::TagList;

class SectionReader {
 public:
  SectionReader(TagList& tl, Drawing& d, DxfLog& log) : m_tl(tl), m_tags(tl.tags), m_d(d), m_log(log) {}

  Acad::ErrorStatus run() {
    while (m_i < m_tags.size()) {
      const Tag& t = m_tags[m_i];
      if (!(t.code == 0 && t.s == "SECTION")) {
        return bad(m_i, "\"" + text(t) + "\" found outside any section", "reading stopped");
      }
      size_t at = m_i++;
      if (m_i >= m_tags.size()) return aborted(at, "the file ends after SECTION");
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
    if (!m_tl.sawEof) m_log.problem(0, -1, "the file has no EOF marker after its last section", "accepted");
    return Acad::eOk;
  }

 private:
  static std::string trimmed(const std::string& s) {
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
  }
  static std::string text(const Tag& t) { return t.kind == ValueKind::String ? t.s.substr(0, 40) : std::to_string(t.code); }
  uint32_t line(size_t i) const { return i < m_tl.lines.size() ? m_tl.lines[i] : 0; }
  bool isZero(size_t i, const char* name) const {
    return i < m_tags.size() && m_tags[i].code == 0 && m_tags[i].s == name;
  }
  Acad::ErrorStatus bad(size_t i, const std::string& what, const std::string& done) {
    m_log.problem(line(i), i < m_tags.size() ? m_tags[i].code : -1, what, done);
    return Acad::eBadDxfSequence;
  }
  Acad::ErrorStatus aborted(size_t i, const std::string& what) {
    m_log.problem(line(i), -1, what, "reading stopped");
    return Acad::eDxfReadAborted;
  }
  // Index of the next group 0 at or after i.
  size_t nextZero(size_t i) const {
    while (i < m_tags.size() && m_tags[i].code != 0) ++i;
    return i;
  }

  Acad::ErrorStatus header() {
    size_t start = m_i;
    HeaderVar* cur = nullptr;
    for (; m_i < m_tags.size(); ++m_i) {
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
    size_t start = m_i;
    while (m_i < m_tags.size()) {
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
      for (size_t k = m_i + 1; k < end; ++k) rec.push_back(std::move(m_tags[k]));
      m_d.classes.push_back(std::move(rec));
      m_i = end;
    }
    return aborted(start, "the file ends inside the CLASSES section");
  }

  // One record from the group 0 at m_i up to the next group 0.
  Object record() {
    size_t end = nextZero(m_i + 1);
    Object o;
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
          for (size_t q = j + 1; q < k; ++q)
            if (m_tags[q].kind == ValueKind::Handle && m_tags[q].i) o.reactors.push_back(Handle(m_tags[q].i));
        } else if (t.s == "{ACAD_XDICTIONARY") {
          for (size_t q = j + 1; q < k; ++q)
            if (m_tags[q].code == 360) o.xdict = Handle(m_tags[q].i);
        } else {
          AppData app{t.s, {}};
          for (size_t q = j + 1; q < k; ++q) app.tags.push_back(std::move(m_tags[q]));
          o.appData.push_back(std::move(app));
        }
        j = k + 1;
        continue;
      }
      if (!gotOwner && t.code == 330) {
        o.owner = Handle(t.i);
        gotOwner = true;
        ++j;
        continue;
      }
      break;
    }
    o.body.reserve(end - j);
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
    return o;
  }

  Acad::ErrorStatus tables() {
    size_t start = m_i;
    while (m_i < m_tags.size()) {
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
      size_t tableAt = m_i;
      // The table's name comes first; the rest of the TABLE record is its control object.
      SymbolTable t;
      size_t nameAt = m_i + 1;
      if (nameAt < m_tags.size() && m_tags[nameAt].code == 2) {
        t.name = trimmed(m_tags[nameAt].s);
        // The name is consumed: the control record starts after it.
        m_tags[nameAt] = Tag::str(0, "TABLE");
        m_i = nameAt;
      }
      Object control = record();
      control.type = "TABLE";
      t.control = std::move(control);
      if (t.name.empty()) {
        m_log.problem(line(tableAt), 2, "a TABLE without a name", "table skipped");
      }
      while (true) {
        if (m_i >= m_tags.size()) return aborted(tableAt, "the file ends inside table " + t.name);
        const Tag& z = m_tags[m_i];
        if (z.s == "ENDTAB") {
          ++m_i;
          break;
        }
        if (z.s == "TABLE" || z.s == "ENDSEC" || z.s == "SECTION")
          return bad(m_i, "table " + t.name + " is not closed by ENDTAB", "reading stopped");
        t.entries.push_back(record());
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
    size_t start = m_i;
    while (m_i < m_tags.size()) {
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
      size_t blockAt = m_i;
      Block b;
      b.begin = record();
      while (true) {
        if (m_i >= m_tags.size()) return aborted(blockAt, "the file ends inside block " + b.name());
        const Tag& z = m_tags[m_i];
        if (z.s == "ENDBLK") {
          b.end = record();
          break;
        }
        if (z.s == "BLOCK" || z.s == "ENDSEC" || z.s == "SECTION")
          return bad(m_i, "block " + b.name() + " is not closed by ENDBLK", "reading stopped");
        b.entities.push_back(record());
      }
      m_d.blocks.push_back(std::move(b));
    }
    return aborted(start, "the file ends inside the BLOCKS section");
  }

  Acad::ErrorStatus records(std::vector<Object>& out, const char* section) {
    size_t start = m_i;
    while (m_i < m_tags.size()) {
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
      out.push_back(record());
    }
    return aborted(start, std::string("the file ends inside the ") + section + " section");
  }

  Acad::ErrorStatus rawSection(const std::string& name) {
    size_t start = m_i;
    RawSection s{name, {}};
    for (; m_i < m_tags.size(); ++m_i) {
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

  TagList& m_tl;
  Tags& m_tags;
  Drawing& m_d;
  DxfLog& m_log;
  size_t m_i = 0;
};

// The text of the header variable `name` among the raw groups (before any decoding).
std::string rawHeaderText(const Tags& tags, const char* name) {
  for (size_t i = 0; i + 1 < tags.size(); ++i) {
    if (tags[i].code == 0 && tags[i].s == "ENDSEC") break;
    if (tags[i].code == 9 && tags[i].s == name && tags[i + 1].kind == ValueKind::String) return tags[i + 1].s;
  }
  return {};
}

void decodeText(TagList& tl, int version, const std::string& codePage, DxfLog& log) {
  const std::string cp = dxf::iconvName(codePage);
  size_t repaired = 0;
  for (size_t i = 0; i < tl.tags.size(); ++i) {
    Tag& t = tl.tags[i];
    if (t.kind != ValueKind::String || t.s.empty()) continue;
    if (version >= 1021) {
      if (!dxf::repairUtf8(t.s) && repaired++ == 0)
        log.problem(tl.lines[i], t.code, "text that is not valid UTF-8", "stray bytes taken as CP1252");
    } else {
      t.s = dxf::toUtf8(t.s, cp);
    }
    if (!tl.binary) dxf::decodeCarets(t.s);
    dxf::decodeEscapes(t.s);
  }
  if (repaired > 1) log.note(std::to_string(repaired) + " texts in all were not valid UTF-8");
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
  TagList tl;
  tl.tags.reserve(data.size() / 12);
  tl.lines.reserve(data.size() / 12);
  Acad::ErrorStatus es = dxf::readTags(data, tl, log);
  if (es == Acad::eUnknownDxfFileFormat) log.problem(0, -1, "the file is not a DXF file", "nothing read");
  if (es != Acad::eOk) return es;
  if (tl.tags.empty()) {
    log.problem(0, -1, "the file holds no DXF groups", "nothing read");
    return Acad::eUnknownDxfFileFormat;
  }

  std::string acadver = rawHeaderText(tl.tags, "$ACADVER");
  int version = versionNumber(acadver);
  if (version == 0) {
    log.problem(0, 1, acadver.empty() ? "no $ACADVER in the header" : "unknown $ACADVER \"" + acadver + "\"",
                "read as AC1009");
    version = 1009;
  } else if (version > 1032) {
    log.problem(0, 1, "$ACADVER " + acadver + " is newer than AC1032", "read as AC1032");
  }
  decodeText(tl, version, rawHeaderText(tl.tags, "$DWGCODEPAGE"), log);

  Drawing nd;
  nd.version = version;
  SectionReader reader(tl, nd, log);
  es = reader.run();
  if (es != Acad::eOk) return es;

  // The four save settings are header variables of the drawing.
  nd.settings.saveProxyGraphics = int16_t(headerInt(nd, "$PROXYGRAPHICS", nd.settings.saveProxyGraphics));
  nd.settings.indexCtl = uint8_t(headerInt(nd, "$INDEXCTL", nd.settings.indexCtl));
  nd.settings.drawOrderCtl = uint8_t(headerInt(nd, "$SORTENTS", nd.settings.drawOrderCtl));
  nd.settings.updateThumbnail = uint8_t(headerInt(nd, "$UPDATETHUMBNAIL", nd.settings.updateThumbnail));
  if (const HeaderVar* hs = nd.headerVar("$HANDSEED"); hs && !hs->values.empty())
    nd.nextHandle = std::max<Handle>(1, Handle(hs->values.front().i));

  Notes notes;
  completeStructure(nd, notes);
  for (const auto& n : notes) log.problem(0, -1, n, "repaired");

  findNeededFiles(nd, log);

  // Say which record types are kept as read, without a typed view.
  std::map<std::string, size_t> raw;
  nd.forEachObject([&](const Object& o) {
    if (!isModelled(o.type) && o.type != "TABLE") ++raw[o.type];
  });
  for (const auto& [type, n] : raw) log.note("kept as read (not modelled): " + type + " x" + std::to_string(n));

  // A value that could not be read (0 stands in for it) still fails the import, but the drawing
  // read around it is kept: it is consistent, and a caller may want what could be read.
  d = std::move(nd);
  return tl.partial ? Acad::eDxfPartiallyRead : Acad::eOk;
}

}  // namespace dxf

}  // namespace kel::engine
