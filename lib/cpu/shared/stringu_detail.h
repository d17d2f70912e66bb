// Helpers shared by the stringu sources; not part of the library's interface.
#pragma once
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "lib/cpu/shared/stringu.h"
#include "platform/text.h"
#include "platform/utf.h"

namespace stringu_detail {

// Source name that tags the text utilities' heap requests.
inline constexpr const char* kHeapTag = "stringu";

inline size_t len(const char* s) { return std::strlen(s); }
inline size_t len(const char16_t* s) { return plat::wlen(s); }

// True when c is one of the characters of set; the terminator is never a member and a null set
// has no members.
template <typename C>
inline bool inSet(C c, const C* set) {
  if (!set || !c) return false;
  for (; *set; ++set)
    if (*set == c) return true;
  return false;
}

template <typename C>
inline const C* orDefault(const C* set) {
  if (set) return set;
  return defaultDelimiters;
}

// Length of the leading run of characters in set / not in set.
template <typename C>
inline size_t spanIn(const C* s, const C* set) {
  size_t n = 0;
  while (inSet(s[n], set)) ++n;
  return n;
}
template <typename C>
inline size_t spanOut(const C* s, const C* set) {
  size_t n = 0;
  while (s[n] && !inSet(s[n], set)) ++n;
  return n;
}

template <typename C>
inline unsigned unit(C c) {
  return static_cast<std::make_unsigned_t<C>>(c);
}

}  // namespace stringu_detail
