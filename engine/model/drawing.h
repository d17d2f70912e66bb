// The drawing database held in memory: header variables, classes, the symbol tables, block
// definitions with their entities, the entities of model and paper space, and the objects.
//
// Every record (entity, table entry, object) is an Object: its type name, handle, owner, reactors,
// extension dictionary and other application groups (102), its body as read (subclass markers and
// data groups) and its extended data (1001..1071). Types we understand are read through the typed
// views of engine/model/types.h; every other type is kept whole in its body, so a drawing read and
// written again loses nothing.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/io.h"
#include "engine/model/tag.h"

namespace kel::engine {

// An application group "102 {NAME ... 102 }" other than reactors and extension dictionary.
struct AppData {
  std::string name;  // with the leading '{', e.g. "{ACAD_XDICTIONARY"
  Tags tags;
};

struct Object {
  std::string type;      // the DXF name: "LINE", "LAYER", "DICTIONARY", ...
  Handle handle = 0;     // 0: none yet (an R12 file); the finishing pass hands one out
  Handle owner = 0;
  std::vector<Handle> reactors;
  Handle xdict = 0;      // extension dictionary, 0 when there is none
  std::vector<AppData> appData;
  Tags body;             // everything between the owner and the extended data
  Tags xdata;            // from the first 1001 on
  // A record read from DWG whose type-specific part was not decoded: its DWG type number and
  // record bytes (body then holds only the common groups). Empty for every other record.
  uint16_t dwgType = 0;
  std::vector<uint8_t> dwgRaw;

  // First body tag with the code (optionally after the n-th subclass marker); null if absent.
  const Tag* find(int code) const;
  Tag* find(int code);
  std::string text(int code, const std::string& dflt = {}) const;
  double real(int code, double dflt = 0) const;
  int64_t integer(int code, int64_t dflt = 0) const;
  // Sets the first tag with the code, appending it when absent.
  void set(const Tag& t);
  bool hasSubclasses() const;
};

struct SymbolTable {
  std::string name;  // "LAYER", "BLOCK_RECORD", ...
  Object control;    // the TABLE record itself (type "TABLE")
  std::vector<Object> entries;
};

struct Block {
  Object begin;                  // BLOCK
  std::vector<Object> entities;  // in file order, VERTEX/ATTRIB/SEQEND after their parent
  Object end;                    // ENDBLK
  std::string name() const { return begin.text(2); }
};

struct HeaderVar {
  std::string name;  // with '$'
  Tags values;
};

struct RawSection {
  std::string name;
  Tags tags;
};

// Versions as their $ACADVER numbers: 1009 (R12) .. 1032 (2018).
int versionNumber(const std::string& acadver);

class Drawing {
 public:
  int version = 1027;             // of the file read (the writer chooses its own)
  std::vector<HeaderVar> header;
  std::vector<Tags> classes;      // one CLASS record's groups each (after "0 CLASS")
  std::vector<SymbolTable> tables;
  std::vector<Block> blocks;
  std::vector<Object> entities;   // the ENTITIES section
  std::vector<Object> objects;    // the OBJECTS section
  std::vector<RawSection> extraSections;
  SaveSettings settings;
  Handle nextHandle = 1;

  HeaderVar* headerVar(const std::string& name);
  const HeaderVar* headerVar(const std::string& name) const;
  // Sets a header variable's values, adding the variable at the end when absent.
  void setHeader(const std::string& name, Tags values);
  SymbolTable* table(const std::string& name);
  const SymbolTable* table(const std::string& name) const;
  Block* block(const std::string& name);  // case-insensitive
  Object* objectByHandle(Handle h);       // slow path (linear); for tests and repairs

  Handle newHandle() { return nextHandle++; }
  // Calls f for every record that carries a handle: table controls and entries, block begin/end,
  // block and section entities, objects.
  template <class F>
  void forEachObject(F&& f) {
    for (auto& t : tables) {
      f(t.control);
      for (auto& e : t.entries) f(e);
    }
    for (auto& b : blocks) {
      f(b.begin);
      for (auto& e : b.entities) f(e);
      f(b.end);
    }
    for (auto& e : entities) f(e);
    for (auto& o : objects) f(o);
  }
  template <class F>
  void forEachObject(F&& f) const {
    const_cast<Drawing*>(this)->forEachObject([&](Object& o) { f(static_cast<const Object&>(o)); });
  }
  // Largest handle in use (0 for none).
  Handle maxHandle() const;
};

// Case-insensitive comparison of ASCII names (table entries, blocks, dictionary keys).
bool sameName(const std::string& a, const std::string& b);
std::string upper(std::string s);

}  // namespace kel::engine
