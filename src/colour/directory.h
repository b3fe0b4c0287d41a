// The colour directory: a text list of colour tables with the print modes,
// resolutions and classes each one serves, followed by three name lists.
#pragma once

#include <cstdint>

#include "colour/cm_context.h"
#include "common/block_layout.h"
#include "common/status.h"
#include "memory/byte_reader.h"

namespace kestrl::colour {

// Limits of a directory. A directory that exceeds any of them is refused
// with kBadResource instead of being truncated.
using layout::directory::kMaxClassNames;
using layout::directory::kMaxEntries;
using layout::directory::kMaxLineLength;
using layout::directory::kMaxModeNames;
using layout::directory::kMaxNameLength;
using layout::directory::kMaxSelectNames;

// One parsed entry line.
struct DirectoryEntry {
  int32_t entryId;
  int32_t entryCode;  // 0 in the text is kept as -1
  int32_t modeIndex;
  int32_t classIndex;
  int32_t nameIndex;
  int32_t selectValue;
  int32_t xResolution;
  int32_t yResolution;
  int32_t bitsPerPixel;
  char modeName[kMaxNameLength + 1];
  char selectName[kMaxNameLength + 1];
  char className[kMaxNameLength + 1];
};

// A name list line: up to 32 names of at most 11 characters.
struct NameList {
  int32_t count;
  int32_t base;
  bool hasBase;  // the line began with a base number rather than a name
  char names[kMaxSelectNames][kMaxNameLength + 1];
};

// Everything a lookup parses; lives in a work area taken per lookup.
struct Directory {
  int32_t entryCount;
  DirectoryEntry entries[kMaxEntries];
  NameList modes;
  NameList selects;
  NameList classes;
  char line[kMaxLineLength + 1];
};

// Parses a directory into `out` (which must be zero-filled) and resolves the
// indices of every entry. kOk, or kBadResource when a limit is exceeded. A
// text without "//3" parses to no entries.
Status parseDirectory(ByteReader text, Directory& out);

// Reads a number field: every '-' makes the result negative, every other
// byte counts as the digit (byte - '0'). A field of more than nine digits
// overflows 32 bits; the value then wraps as two's complement (wrapMul,
// wrapAdd), so long fields give a defined, repeatable number.
int32_t parseNumber(const char* field, int length);

// The result of a lookup.
struct DirectoryChoice {
  bool found;
  int32_t entryId;
  int32_t entryCode;
};

// Picks the last entry that fits the context's print mode, table class and
// select keys.
DirectoryChoice chooseEntry(const Directory& directory, const CmContext& context);

// Takes a work area, parses the directory and picks the entry. On a fit the
// chosen numbers go into the context's entryId and entryCode. Returns kOk
// (with choice.found telling whether anything fitted), kAllocFailed or
// kLockFailed for the work area, or kBadResource for a directory beyond the
// limits.
Status lookUpDirectory(CmContext& context, ByteReader text, DirectoryChoice& choice);

}  // namespace kestrl::colour
