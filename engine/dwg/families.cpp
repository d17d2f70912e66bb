// The combined list of the type families, looked up by DWG type name and by DXF name.
#include "engine/dwg/families.h"

#include <vector>

namespace kel::dwg {

std::span<const FamilyType> familyTypes() {
  static const std::vector<FamilyType> all = [] {
    std::vector<FamilyType> v;
    for (auto f : {hatchFamily(), leaderFamily(), imageFamily(), extraFamily(), renderFamily(), tableFamily()}) v.insert(v.end(), f.begin(), f.end());
    return v;
  }();
  return all;
}

const FamilyType* familyByTypeName(const std::string& typeName) {
  for (const auto& t : familyTypes())
    if (typeName == t.typeName) return &t;
  return nullptr;
}

const FamilyType* familyByDxfName(const std::string& dxfName) {
  for (const auto& t : familyTypes())
    if (dxfName == t.dxfName) return &t;
  return nullptr;
}

}  // namespace kel::dwg
