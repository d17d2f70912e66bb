// getfn: file-name utilities (recycle bin, paths, directory walks, file probes).
#pragma once
#include <cstdint>

// Moves one file (or, with recurse, a directory and all it holds) to the recycle bin as an undoable
// delete. True exactly when the shell's operation answered 0; shellResult (may be null) receives
// that answer whenever the shell was called. A name that does not exist answers false without
// calling the shell.
bool recycleFile(const char16_t* target, bool recurse, int32_t* shellResult);
