// The record-type registry.
#include "engine/model/types.h"

#include <cstring>

namespace kel::engine {

namespace {
const TypeInfo kTypes[] = {
#define KEL_TYPE(name, num, cat, mod) {#name, num, #cat[0], #mod[0] == 'M'},
#include "engine/model/types.def"
#undef KEL_TYPE
};
}  // namespace

const TypeInfo* typeInfo(const std::string& name) {
  for (const auto& t : kTypes)
    if (name == t.name) return &t;
  return nullptr;
}

}  // namespace kel::engine
