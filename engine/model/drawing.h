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
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/io.h"
#include "engine/model/tag.h"

namespace kel::engine {

// An application group "102 {NAME ... 102 }" other than reactors and extension dictionary.
struct AppData {
  std::string name;  // with the leading '{', e.g. "{ACAD_XDICTIONARY"
  Tags tags;
};

// A list that most records leave empty (extended data, application groups, undecoded DWG bytes).
// Empty, it is one null pointer instead of a std::vector's three words: a drawing has millions
// of records, so that is a good part of what a small entity costs. It reads and fills like a
// std::vector (iterators are plain pointers) and passes as one where a function takes one.
template <class T>
class RareList {
 public:
  using value_type = T;
  using size_type = size_t;
  using iterator = T*;
  using const_iterator = const T*;
  using reference = T&;
  using const_reference = const T&;

  RareList() = default;
  RareList(std::vector<T> v) { *this = std::move(v); }  // NOLINT: converts like the vector it replaces
  RareList(std::initializer_list<T> v) { *this = std::vector<T>(v); }
  RareList(const RareList& o) : m_v(o.empty() ? nullptr : std::make_unique<std::vector<T>>(*o.m_v)) {}
  RareList(RareList&&) noexcept = default;
  RareList& operator=(const RareList& o) {
    if (this != &o) m_v = o.empty() ? nullptr : std::make_unique<std::vector<T>>(*o.m_v);
    return *this;
  }
  RareList& operator=(RareList&&) noexcept = default;
  RareList& operator=(std::initializer_list<T> v) { return *this = std::vector<T>(v); }
  RareList& operator=(std::vector<T> v) {
    if (v.empty()) m_v.reset();
    else m_v = std::make_unique<std::vector<T>>(std::move(v));
    return *this;
  }

  bool empty() const { return !m_v || m_v->empty(); }
  size_t size() const { return m_v ? m_v->size() : 0; }
  size_t capacity() const { return m_v ? m_v->capacity() : 0; }
  T* data() { return m_v ? m_v->data() : nullptr; }
  const T* data() const { return m_v ? m_v->data() : nullptr; }
  T* begin() { return data(); }
  T* end() { return data() + size(); }
  const T* begin() const { return data(); }
  const T* end() const { return data() + size(); }
  const T* cbegin() const { return data(); }
  const T* cend() const { return data() + size(); }
  T& operator[](size_t i) { return (*m_v)[i]; }
  const T& operator[](size_t i) const { return (*m_v)[i]; }
  T& front() { return m_v->front(); }
  const T& front() const { return m_v->front(); }
  T& back() { return m_v->back(); }
  const T& back() const { return m_v->back(); }

  void clear() { m_v.reset(); }  // gives the memory back
  void reserve(size_t n) {
    if (n) vec().reserve(n);
  }
  void resize(size_t n) {
    if (n || m_v) vec().resize(n);
  }
  void push_back(const T& v) { vec().push_back(v); }
  void push_back(T&& v) { vec().push_back(std::move(v)); }
  template <class... A>
  T& emplace_back(A&&... a) {
    return vec().emplace_back(std::forward<A>(a)...);
  }
  void pop_back() { m_v->pop_back(); }
  template <class It>
  void assign(It first, It last) {
    *this = std::vector<T>(first, last);
  }
  T* insert(const T* at, T v) {
    const auto k = at - begin();
    vec().insert(m_v->begin() + k, std::move(v));
    return data() + k;
  }
  template <class It>
  T* insert(const T* at, It first, It last) {
    const auto k = at - begin();
    vec().insert(m_v->begin() + k, first, last);
    return data() + k;
  }
  T* erase(const T* first, const T* last) {
    const auto k = first - begin();
    if (first != last) m_v->erase(m_v->begin() + k, m_v->begin() + (last - begin()));
    return data() + k;
  }
  T* erase(const T* at) { return erase(at, at + 1); }

  // The list as a std::vector, for code that takes one (asking for a changeable one makes it).
  std::vector<T>& vec() {
    if (!m_v) m_v = std::make_unique<std::vector<T>>();
    return *m_v;
  }
  operator std::vector<T>&() { return vec(); }
  operator const std::vector<T>&() const { return m_v ? *m_v : none(); }

 private:
  static const std::vector<T>& none() {
    static const std::vector<T> empty;
    return empty;
  }
  std::unique_ptr<std::vector<T>> m_v;
};

struct Object {
  std::string type;      // the DXF name: "LINE", "LAYER", "DICTIONARY", ...
  Handle handle = 0;     // 0: none yet (an R12 file); the finishing pass hands one out
  Handle owner = 0;
  RareList<Handle> reactors;
  Handle xdict = 0;      // extension dictionary, 0 when there is none
  RareList<AppData> appData;
  Tags body;             // everything between the owner and the extended data
  RareList<Tag> xdata;   // from the first 1001 on
  // A record read from DWG whose type-specific part was not decoded: its DWG type number and
  // record bytes (body then holds only the common groups). Empty for every other record.
  uint16_t dwgType = 0;
  // The body is decoded all the same, but the DWG writer has no form for the type: the record
  // bytes are kept so that a DWG save copies them, while a DXF export uses the body.
  bool dwgDecoded = false;
  RareList<uint8_t> dwgRaw;

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
