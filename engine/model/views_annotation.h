// Typed views (see entities.h) of the annotation group of modelled types.
#pragma once
#include "engine/model/entities.h"

namespace kel::engine {

inline void addAnnotationViews(std::vector<ViewInfo>& out) {
  (void)out;
}

}  // namespace kel::engine
