// The combined list of the type families, looked up by DWG type name and by DXF name.
#include "engine/dwg/families.h"

#include <string_view>
#include <unordered_map>
#include <vector>

namespace kel::dwg {

std::span<const FamilyType> familyTypes() {
  static const std::vector<FamilyType> all = [] {
    std::vector<FamilyType> v;
    for (auto f : {hatchFamily(), leaderFamily(), imageFamily(), extraFamily(), renderFamily(), tableFamily(), surfaceFamily()}) v.insert(v.end(), f.begin(), f.end());
    return v;
  }();
  return all;
}

namespace {

// Both lookups run for every record a drawing holds: the names are hashed once, in list order,
// so the first type of a name wins as it did when the list was searched from the front.
using ByName = std::unordered_map<std::string_view, const FamilyType*>;

ByName indexBy(const char* FamilyType::*name) {
  ByName m;
  m.reserve(familyTypes().size());
  for (const auto& t : familyTypes())
    if (t.*name) m.emplace(t.*name, &t);
  return m;
}

const FamilyType* lookUp(const ByName& m, std::string_view name) {
  auto it = m.find(name);
  return it == m.end() ? nullptr : it->second;
}

}  // namespace

const FamilyType* familyByTypeName(const std::string& typeName) {
  static const ByName byTypeName = indexBy(&FamilyType::typeName);
  return lookUp(byTypeName, typeName);
}

const FamilyType* familyByDxfName(const std::string& dxfName) {
  static const ByName byDxfName = indexBy(&FamilyType::dxfName);
  return lookUp(byDxfName, dxfName);
}

}  // namespace kel::dwg
