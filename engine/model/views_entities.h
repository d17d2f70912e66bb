// Typed views (see entities.h) of the entities group of modelled types.
#pragma once
#include "engine/model/entities.h"

namespace kel::engine {

inline void addEntityViews(std::vector<ViewInfo>& out) {
  (void)out;
}

}  // namespace kel::engine
