// The in-memory drawing: look-ups over the records and the engine entry points that create,
// release and query a drawing.
#include "engine/model/drawing.h"

#include <algorithm>
#include <cctype>

#include "engine/model/structure.h"

namespace kel::engine {

bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string upper(std::string s) {
  for (auto& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

int versionNumber(const std::string& v) {
  if (v.size() == 6 && v[0] == 'A' && v[1] == 'C' && std::all_of(v.begin() + 2, v.end(), ::isdigit))
    return std::stoi(v.substr(2));
  return 0;
}

const Tag* Object::find(int code) const {
  for (const auto& t : body)
    if (t.code == code) return &t;
  return nullptr;
}
Tag* Object::find(int code) {
  for (auto& t : body)
    if (t.code == code) return &t;
  return nullptr;
}
std::string Object::text(int code, const std::string& dflt) const {
  const Tag* t = find(code);
  return t && t->kind == ValueKind::String ? t->s : dflt;
}
double Object::real(int code, double dflt) const {
  const Tag* t = find(code);
  return t ? asDouble(*t) : dflt;
}
int64_t Object::integer(int code, int64_t dflt) const {
  const Tag* t = find(code);
  return t ? asInt(*t) : dflt;
}
void Object::set(const Tag& t) {
  if (Tag* old = find(t.code)) *old = t;
  else body.push_back(t);
}
bool Object::hasSubclasses() const {
  for (const auto& t : body)
    if (t.code == 100) return true;
  return false;
}

HeaderVar* Drawing::headerVar(const std::string& name) {
  for (auto& h : header)
    if (h.name == name) return &h;
  return nullptr;
}
const HeaderVar* Drawing::headerVar(const std::string& name) const {
  return const_cast<Drawing*>(this)->headerVar(name);
}
void Drawing::setHeader(const std::string& name, Tags values) {
  if (HeaderVar* h = headerVar(name)) h->values = std::move(values);
  else header.push_back({name, std::move(values)});
}
SymbolTable* Drawing::table(const std::string& name) {
  for (auto& t : tables)
    if (sameName(t.name, name)) return &t;
  return nullptr;
}
const SymbolTable* Drawing::table(const std::string& name) const {
  return const_cast<Drawing*>(this)->table(name);
}
Block* Drawing::block(const std::string& name) {
  for (auto& b : blocks)
    if (sameName(b.name(), name)) return &b;
  return nullptr;
}
Object* Drawing::objectByHandle(Handle h) {
  Object* found = nullptr;
  forEachObject([&](Object& o) {
    if (!found && o.handle == h) found = &o;
  });
  return found;
}
Handle Drawing::maxHandle() const {
  Handle m = 0;
  forEachObject([&](const Object& o) { m = std::max(m, o.handle); });
  return m;
}

// ---- engine entry points (engine/io.h) ----

void DrawingDeleter::operator()(Drawing* d) const { delete d; }

DrawingPtr newDrawing(bool defaultContent) {
  DrawingPtr d(new Drawing);
  if (defaultContent) buildDefaultDrawing(*d);
  return d;
}

uint64_t handseed(const Drawing& d) { return std::max<uint64_t>(d.nextHandle, d.maxHandle() + 1); }

SaveSettings& saveSettings(Drawing& d) { return d.settings; }

}  // namespace kel::engine
