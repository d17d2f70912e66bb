#include <cstdint>

#include "extension/state.h"

namespace {

struct StatusRow {
  int32_t code;
  const char* name;
};

// Every status code in ascending order, then the end row (code 0).
constexpr StatusRow statusNameTable[] = {
#define KEL_STATUS(code, name) {code, #name},
#include "engine/errorstatus.def"
#undef KEL_STATUS
    {0, nullptr},
};
static_assert(sizeof(statusNameTable) / sizeof(statusNameTable[0]) == 389);

}  // namespace

// A linear walk from the first row; the end row is tested before the comparison, so 0 itself is
// never found.
const char* statusName(int32_t status) {
  for (const StatusRow* row = statusNameTable;; ++row) {
    if (row->code == 0) return "eUnknown";
    if (row->code == status) return row->name;
  }
}
