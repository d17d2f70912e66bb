// A short description of a drawing for people and tests: version, entity counts per space, layer
// and block counts, the handle seed and the four save settings.
#pragma once
#include <string>

#include "engine/dbmain.h"

namespace kel::engine {
// Plain text (several lines) or, with json, one JSON line.
std::string describe(const AcDbDatabase& db, bool json);
}  // namespace kel::engine
