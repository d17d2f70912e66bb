// Process-wide state of the extension: plain globals, zero at load.
#pragma once
#include <cstdint>

struct KelRx;
class KelHostApp;

extern bool initialized;  // the engine has been started by initialize
extern bool terminated;   // terminate has run; never cleared
extern KelRx kelRx;       // the one extension object
extern KelHostApp hostApp;

// The name of a status code without its leading "e", or "eUnknown".
const char* statusName(int32_t status);

namespace kel::ext {
// Test seam: put the flags back to their load-time values.
void resetStateForTests();
}  // namespace kel::ext
