// The record-type registry (types.def) as look-ups.
#pragma once
#include <string>

namespace kel::engine {

struct TypeInfo {
  const char* name;
  int dwgType;     // fixed DWG type number; 0: numbered through the CLASSES list
  char category;   // 'E' entity, 'O' object, 'T' table entry
  bool modelled;
};

// The registry entry of a DXF type name, null for types the engine keeps raw without knowing them.
const TypeInfo* typeInfo(const std::string& dxfName);
inline bool isModelled(const std::string& dxfName) {
  const TypeInfo* t = typeInfo(dxfName);
  return t && t->modelled;
}

}  // namespace kel::engine
