// A stand-in for the Windows registry calls the error texts use (RegOpenKeyW, RegQueryValueW,
// RegCloseKey). There is no registry on POSIX, so the stand-in starts empty and a program or a
// test fills it with registrySetValue. Key paths use '\' between levels, are compared without
// regard to case, and a leading '\' is ignored. Only default (unnamed) values exist.
#pragma once
#include <cstdint>

namespace plat {

struct RegistryKey;
using HKEY = RegistryKey*;
using LONG = int32_t;

inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000000u));
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u));
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u));

// Answers: 0 (ERROR_SUCCESS), 2 (ERROR_FILE_NOT_FOUND) for a missing key, 6 (ERROR_INVALID_HANDLE),
// 87 (ERROR_INVALID_PARAMETER), 234 (ERROR_MORE_DATA) when the value does not fit.
LONG RegOpenKeyW(HKEY key, const char16_t* subKey, HKEY* result);
// The default value of key\subKey (subKey may be null or empty) into `value`, whose size in bytes
// *valueBytes gives; *valueBytes receives the bytes needed with the terminator. A key without a
// value answers the empty text. When the value does not fit, nothing is written and the answer
// is ERROR_MORE_DATA; with a null `value` only the size is given.
LONG RegQueryValueW(HKEY key, const char16_t* subKey, char16_t* value, LONG* valueBytes);
LONG RegCloseKey(HKEY key);

// Filling the stand-in: sets the default value of root\keyPath (creating the key and the keys
// above it); removes a key with everything below it; empties it all.
void registrySetValue(HKEY root, const char16_t* keyPath, const char16_t* value);
void registryDeleteKey(HKEY root, const char16_t* keyPath);
void registryClear();

}  // namespace plat
