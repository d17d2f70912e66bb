// Typed views (see entities.h) of the tables group of modelled types.
#pragma once
// Included at the end of entities.h.
#include "engine/model/entities_impl.h"

namespace kel::engine {

struct Layer {
  std::string name;
  int16_t flags = 0;  // 1 frozen, 4 locked
  int16_t color = 7;  // negative: off
  std::string linetype = "Continuous";
  bool plot = true;
  int16_t lineweight = -3;
  bool operator==(const Layer&) const = default;
};

template <>
struct Description<Layer> : DescriptionBase<Layer> {
  using T = Layer;
  static constexpr const char* names[] = {"LAYER"};
  static const std::vector<Attr<T>>& attrs() {
    static const std::vector<Attr<T>> a = {
        {"AcDbLayerTableRecord", 2, &T::name},       {"AcDbLayerTableRecord", 70, &T::flags},
        {"AcDbLayerTableRecord", 62, &T::color},     {"AcDbLayerTableRecord", 6, &T::linetype},
        {"AcDbLayerTableRecord", 290, &T::plot, 1015}, {"AcDbLayerTableRecord", 370, &T::lineweight, 1015}};
    return a;
  }
};
inline void addTableViews(std::vector<ViewInfo>& out) {
  addView<Layer>(out);
}

}  // namespace kel::engine
