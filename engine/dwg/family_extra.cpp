// The extra family of types (see families.h).
#include "engine/dwg/families.h"

namespace kel::dwg {

std::span<const FamilyType> extraFamily() { return {}; }

}  // namespace kel::dwg
