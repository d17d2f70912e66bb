// Typed views (see entities.h) of the tables group of modelled types.
#pragma once
#include "engine/model/entities.h"

namespace kel::engine {

inline void addTableViews(std::vector<ViewInfo>& out) {
  (void)out;
}

}  // namespace kel::engine
