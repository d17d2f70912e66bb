// The image family of types (see families.h).
#include "engine/dwg/families.h"

namespace kel::dwg {

std::span<const FamilyType> imageFamily() { return {}; }

}  // namespace kel::dwg
