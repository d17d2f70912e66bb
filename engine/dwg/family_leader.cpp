// The leader family of types (see families.h).
#include "engine/dwg/families.h"

namespace kel::dwg {

std::span<const FamilyType> leaderFamily() { return {}; }

}  // namespace kel::dwg
