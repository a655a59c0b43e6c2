// SqlTypes: the value types of the query engine, shared by the expression
// trees, the result-set columns and the sort lists.  sql/.
//
// The ordinals are part of the contract: a lower ordinal is the more general
// type (string beats float beats integer beats boolean), and the sort
// lists store the ordinal as a field's data type.  Dates and times are
// ttFloat day numbers counted from 30 December 1899.
#pragma once

#include <cstdint>

enum TExprType : std::uint8_t { ttString = 0, ttFloat = 1, ttInteger = 2, ttBoolean = 3 };
