// getfn: file-name utilities (recycle bin, paths, directory walks, file probes).
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/findfile.h"

// Moves one file (or, with recurse, a directory and all it holds) to the recycle bin as an undoable
// delete. True exactly when the shell's operation answered 0; shellResult (may be null) receives
// that answer whenever the shell was called. A name that does not exist answers false without
// calling the shell.
bool recycleFile(const char16_t* target, bool recurse, int32_t* shellResult);

// ---------------------------------------------------------------------------------------------
// Path splitting and joining. Paths are Windows-form wide texts in buffers of 260 units (at most
// 259 characters); '\' separates, '/' is accepted and becomes '\' in every result, and a ':'
// ends a drive prefix.
//
// The parts of the most recently split path live in module storage shared by every caller (no
// lock: one thread at a time), valid until the next operation that splits.

// Splits path into its directory part (up to and including the last '\', or else the last ':'),
// name part and extension part (after the last '.', without it, at most 256 characters). Each
// absent part is null. Returns 1, or 0 with nothing written when path is null (which only gives
// the storage back) or a copy could not be made.
int32_t splitPath(const char16_t* path, char16_t** s1, char16_t** s2, char16_t** s3);
// Writes into dest the parts of path chosen by `parts` (1 directory, 2 name, 4 "." and
// extension); dest may be path itself. Returns dest, or null when dest is null.
char16_t* getPathParts(char16_t* dest, uint32_t size, const char16_t* path, uint32_t parts);
// Rebuilds the path in place from its own parts and the given ones: a given part is used when the
// path lacks it or `replace` is set. Without keepDots the name keeps only what precedes its first
// '.'. An extension is added with one '.' before it. Returns path.
char16_t* mergePath(char16_t* path, const char16_t* dir, const char16_t* name, const char16_t* ext,
                    bool replace, bool keepDots);
// Appends '\' unless the path is null or empty or ends in '\', '/' or ':'.
char16_t* addSlash(char16_t* path);
// Removes one trailing '\' or '/'.
char16_t* removeSlash(char16_t* path);
// Turns every '/' into '\'.
char16_t* toBackslashes(char16_t* path);
// Puts the path between double quotes, in place.
char16_t* quotePath(char16_t* path);
// Appends a space (unless dest ends in one) and the quoted text to the command text in dest.
char16_t* appendQuoted(char16_t* dest, const char16_t* text);

// ---------------------------------------------------------------------------------------------
// File lists: singly linked, owned by the caller, released with freeFileList.

struct FileEntry {
  char16_t* name;  // heap copy: for findFiles the full name
  FileEntry* next;
  uint32_t attributes;  // Windows attribute bits: 0x1 read-only, 0x2 hidden, 0x10 directory, ...
  plat::FILETIME created;
  plat::FILETIME accessed;
  plat::FILETIME written;
  uint32_t sizeHigh;
  uint32_t sizeLow;
};

// Lists the entries of a directory matching a pattern, and with `nested` those of every directory
// below it, depth-first: a directory's own entries come before those of its sub-directories, and
// each sub-directory's whole tree before its next sibling. `spec` is a directory ending in '\'
// (the pattern is then `wild`, null for "*.*") or a path whose last component is the pattern.
// Entries having any of `skipAttrs` are not listed (0x2 also keeps hidden directories from being
// entered; in the starting directory a name beginning with "." counts as hidden). `limit` (may be
// null): on entry, the count at which the scan of each directory stops; after a completed walk,
// the number of entries listed. Null when nothing was listed, or when a directory could not be
// opened (then `limit` is left alone).
FileEntry* findFiles(const char16_t* spec, const char16_t* wild, uint32_t skipAttrs, bool nested,
                     int32_t* limit);
void freeFileList(FileEntry* list);
uint32_t countFileList(const FileEntry* list);
FileEntry* lastFileEntry(FileEntry* list);
// The entry at 0-based position index, or null when the list is shorter.
FileEntry* fileEntryAt(FileEntry* list, uint32_t index);
// The first entry whose name equals `name` without regard to case.
FileEntry* findFileEntry(const char16_t* name, FileEntry* list);
// Orders the names ascending by code unit; the other fields stay at their places in the list.
FileEntry* sortFileList(FileEntry* list);

// ---------------------------------------------------------------------------------------------
// Directory-list search

// Lists the entries matching `wild` (null: "*.*"; it may begin with a relative directory) in each
// directory of the ';'-separated list `dirs` (null or an empty element: the current directory), in
// list order; sub-directories are not entered. Flags: 0x1 names without any directory, 0x2 short
// names where the system has them. Sizes stay 0. Null when nothing was found.
FileEntry* findInDirs(const char16_t* dirs, const char16_t* wild, uint32_t skipAttrs, uint32_t flags);
// Finds name (cut at its first '.') with extension ext, first in the current directory, then
// along `dirs`, and copies at most maxChars characters of the first match's name into dest (260
// units). Returns the length placed in dest; 0 with dest empty when nothing was found.
size_t searchFile(char16_t* dest, const char16_t* dirs, const char16_t* name, const char16_t* ext,
                  size_t maxChars);

// ---------------------------------------------------------------------------------------------
// File and directory probes

// Finds out, without reading the file, whether it exists, whether it cannot be written (also
// because another program holds it open without sharing) and whether its directory refuses new
// files (by creating and dropping the probe file "~$access.tmp" there). Each flag may be null and
// is then neither written nor tested for. False, with every flag false, for a null, empty or
// over-long path, a path without a name part, or a directory that does not exist.
bool probeAccess(const char16_t* path, bool* exists, bool* readOnly, bool* dirReadOnly);
// The last-modification time in seconds since 1970; false (time untouched) when there is none.
bool getModifiedTime(const char16_t* path, int64_t* time);
// True when path names an existing directory; isEmpty (may be null) then tells whether it is empty.
bool isDirectory(const char16_t* path, bool* isEmpty);
