// Resources: the files compiled into the program (resources/<folder>/),
// found by name and kind as the kernel's FindResource finds them.
// platform/core.  The core holds no resources of its own: the program
// registers its table (RegisterResources) at start-up, before anything
// loads one; until then every lookup finds nothing.
//
// Kinds by folder: "bitmaps" RT_BITMAP, "cursors" RT_CURSOR, "strings"
// RT_STRING, every other folder ("rcdata", "forms", ...) RT_RCDATA.  A
// resource's name is its file name without the last extension; names
// compare case-insensitively ("sqyacc_YYA" finds SQYACC_YYA.bin).  The
// bytes are the file's, unchanged (a bitmap keeps its file header).
//
// String tables: the files strings/*.txt hold lines "id=text" in UTF-8,
// converted to code page 936 when first loaded.  The text runs to the end
// of the line, blanks included; "\n", "\r", "\t" and "\\" stand for line
// feed, carriage return, tab and backslash.  Blank lines and lines
// starting with '#' are ignored.  An id given twice keeps the later line
// (files are read in name order).
#pragma once

#include <cstddef>

#include "platform/core/AnsiString.h"
#include "platform/core/Streams.h"

struct TEmbeddedResourceTable;

enum : int { RT_CURSOR = 1, RT_BITMAP = 2, RT_STRING = 6, RT_RCDATA = 10 };

struct TResourceBlock {
  const unsigned char* data = nullptr;  // followed by a zero byte
  std::size_t size = 0;
};

// The resource, or nullptr data when there is none.
TResourceBlock FindResource(const AnsiString& name, int kind);
// The resource; raises EResNotFound "Resource <name> not found".
TResourceBlock LoadResource(const AnsiString& name, int kind);

// A read-only stream over a resource; raises EResNotFound.
class TResourceStream : public TCustomMemoryStream {
 public:
  TResourceStream(const AnsiString& name, int kind);
};

// The string-table text with this id; "" when no table holds it.
AnsiString LoadStr(int id);

// The program's resources (nullptr: none).  Not owned; the table outlives
// every lookup.  Drops the cached string tables.
void RegisterResources(const TEmbeddedResourceTable* table);

// Test hook: look resources up in table instead of the registered ones
// (nullptr restores them).  Drops the cached string tables.
void SetResourceTableForTesting(const TEmbeddedResourceTable* table);
