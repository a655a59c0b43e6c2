// TExprType: the four value types of the query engine's expressions.  A
// result-set column, a parsed expression node and the expression language's
// casts all speak in these.  Dates and times are ttFloat day numbers counted
// from 30 December 1899 (the fraction is the time of day).
//
// The ordinal order is a "width" order: a lower ordinal is the more general
// type, so the operand type of a mixed operation is the lower of the two
// (string beats float beats integer beats boolean).
#pragma once

#include "platform/core/AnsiString.h"

enum TExprType : unsigned char { ttString, ttFloat, ttInteger, ttBoolean };

// "String", "Float", "Integer", "Boolean": the names placed in messages.
const char* ExprTypeName(TExprType type);
