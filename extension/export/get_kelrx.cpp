#include "extension/KelRx.h"
#include "extension/state.h"

// No work of its own: the same object on every call, started or not.
KelRx* get_kelrx() { return &kelRx; }
