// A short description of a drawing for `kelmoor info FILE`: format version, entities per type in
// model space and in each paper-space layout, layer and block counts, the handle seed and the four
// save settings. As text (one item a line) or as one line of JSON.
#pragma once
#include <string>

#include "engine/dbmain.h"

namespace kel::engine {

std::string describe(const AcDbDatabase& db, bool json);

}  // namespace kel::engine
