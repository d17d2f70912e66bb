// The list of modelled record types: every type with a typed view, by its DXF name.
#include <algorithm>

#include "engine/model/entities.h"

namespace kel::engine {

const std::vector<ViewInfo>& views() {
  static const std::vector<ViewInfo> all = [] {
    std::vector<ViewInfo> v;
    addView<Line>(v);
    addView<Point>(v);
    addView<Circle>(v);
    addView<Arc>(v);
    addView<Ellipse>(v);
    addView<Text>(v);
    addView<Insert>(v);
    addView<Face>(v);
    addView<LwPolyline>(v);
    addView<MText>(v);
    addTableViews(v);
    addEntityViews(v);
    addAnnotationViews(v);
    addObjectViews(v);
    addStyleViews(v);
    return v;
  }();
  return all;
}

const ViewInfo* viewOf(std::string_view type) {
  const auto& all = views();
  auto it = std::find_if(all.begin(), all.end(), [&](const ViewInfo& v) { return type == v.type; });
  return it == all.end() ? nullptr : &*it;
}

}  // namespace kel::engine
