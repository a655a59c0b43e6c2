// SqlMessages: the query engine's message table (English texts with fixed
// numeric ids) and the raiser of ESqlQueryError with one of them.  sql/.
//
//   SqlQueryError(kSqlRecnoOutOfRange);                 // "Recno out of range"
//   SqlQueryError(kSqlInvalidBoolean, {AnsiString("yes")});
#pragma once

#include <initializer_list>

#include "platform/core/AnsiString.h"
#include "platform/core/NumFormat.h"
#include "sql/SqlErrors.h"

// Message ids; the texts are in SqlMessages.cpp.
enum : int {
  kSqlPositionBeyondEof = 65072,
  kSqlCannotReadInteger = 65088,
  kSqlCannotReadString = 65089,
  kSqlCannotAssignBoolean = 65090,
  kSqlCannotAssignFloat = 65091,
  kSqlCannotAssignInteger = 65092,
  kSqlCannotAssignString = 65093,
  kSqlInvalidFloat = 65094,
  kSqlInvalidInteger = 65095,
  kSqlInvalidBoolean = 65096,
  kSqlFileOpenFailed = 65101,
  kSqlFileMappingFailed = 65102,
  kSqlMapViewFailed = 65103,
  kSqlFieldNotFound = 65105,
  kSqlCannotReadBoolean = 65118,
  kSqlCannotReadFloat = 65119,
  kSqlRecnoOutOfRange = 65134,
};

// The text of a message id; "" for an id the table does not hold.
AnsiString SqlMessage(int id);
// Raises ESqlQueryError with the message of id formatted with args.
[[noreturn]] void SqlQueryError(int id, std::initializer_list<TVarRec> args = {});
