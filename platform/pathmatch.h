// Windows wildcard matching and the empty-directory test of the Windows shell, over POSIX.
#pragma once

namespace plat {

// PathMatchSpecW: true when `file` matches one of the patterns in `spec`, separated by ';'
// (spaces around each pattern are ignored). '*' stands for any run of characters, '?' for exactly
// one; letters match without regard to case. A pattern ending in ".*" also matches a name that
// has no dot at all, so "*.*" matches every name. A pattern without a separator is matched
// against the last component of `file` (so "a*.dwg" accepts C:\data\a1.dwg); a pattern with a
// separator is matched against the whole of `file`, '/' and '\' counting alike.
bool PathMatchSpecW(const char16_t* file, const char16_t* spec);

// The same test for one pattern of `len` units against one name of `nameLen` units, as the
// directory search uses it.
bool matchOnePattern(const char16_t* name, unsigned long nameLen, const char16_t* pattern,
                     unsigned long len);

// PathIsDirectoryEmptyW: true when `path` names a directory that holds no entry but "." and "..";
// false for a file, a missing path, or a directory that cannot be read.
bool PathIsDirectoryEmptyW(const char16_t* path);

// The case fold the matching uses: ASCII, Latin-1, Greek and Cyrillic letters to upper case.
char16_t foldCase(char16_t c);

}  // namespace plat
