// The hatch family of types (see families.h).
#include "engine/dwg/families.h"

namespace kel::dwg {

std::span<const FamilyType> hatchFamily() { return {}; }

}  // namespace kel::dwg
