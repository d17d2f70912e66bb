// Helpers shared by the getfn sources; not part of the library's interface.
#pragma once
#include "lib/cpu/shared/getfn.h"

// Appends a new entry for one found item (name copied, attributes and times taken from ffd, the
// sizes only with withSize) to the list kept by first/last. False when memory runs out.
bool appendFileEntry(FileEntry*& first, FileEntry*& last, const char16_t* name,
                     const plat::WIN32_FIND_DATAW& ffd, bool withSize);
