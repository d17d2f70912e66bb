// Typed views (see entities.h) of the entities group of modelled types.
#pragma once
// Included at the end of entities.h.
#include "engine/model/entities_impl.h"

namespace kel::engine {

inline void addEntityViews(std::vector<ViewInfo>& out) {
  (void)out;
}

}  // namespace kel::engine
