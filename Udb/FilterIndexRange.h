// FilterIndexRange: the index search a filter condition needs - the
// addresses of the records whose first key part lies between two bounds,
// in the index's order - over an engine B-tree.  The table dataset answers
// TFilterCursor::CollectIndexRange with it.
//
// Bounds are in the order of the index's first part (nulls lowest).  The
// search keys are built straight in the key format (SearchKeys.h): the
// first part holds the bound's value, the later parts are search modifiers
// (lowest or highest), so a bound covers every key with that first part.
// Values are converted to the part's type: a text longer than the part
// cannot be stored, so it bounds as its stored prefix would; a fraction or
// an out-of-range number bounds an integer part at the nearest integers
// within it.  A prefix bound (LIKE 'Sm%', Name = 'Sm*') starts at the first
// key not below the prefix and collects the keys whose first length(prefix)
// bytes compare equal to it; it stops where no later key can start with the
// prefix (for a prefix of letters, digits and blanks), else at the index's
// end.
//
// The tree's cursor and search key are moved.  Calls BTree, SearchKeys.
#pragma once

#include <vector>

#include "Udb/BTree.h"
#include "Udb/FilterMgr.h"

// Whether a filter may search this index: its first key part is ascending
// and of a type the range search encodes.
bool FilterCanUseIndex(const TBTree& tree);

// Appends the addresses within [low, high] of the tree's first key part.
// requires: FilterCanUseIndex(tree), the tree open.
void CollectFilterKeyRange(TBTree& tree, const TFilterKeyBound& low, const TFilterKeyBound& high,
                           std::vector<TRecAddr>& out);
