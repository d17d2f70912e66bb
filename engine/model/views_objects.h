// Typed views (see entities.h) of the objects group of modelled types.
#pragma once
#include "engine/model/entities.h"

namespace kel::engine {

inline void addObjectViews(std::vector<ViewInfo>& out) {
  (void)out;
}

}  // namespace kel::engine
