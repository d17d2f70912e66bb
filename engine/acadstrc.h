// Acad::ErrorStatus: the status every engine operation answers (0 = eOk).
#pragma once

namespace Acad {
enum ErrorStatus : int {
  eOk = 0,
#define KEL_STATUS(code, name) e##name = code,
#include "engine/errorstatus.def"
#undef KEL_STATUS
};
}  // namespace Acad
