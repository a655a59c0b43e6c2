// SqlErrors: the query engine's exception ESqlQueryError and its message
// table (English texts with fixed numeric ids).  sql/; calls platform/core.
//
//   SqlQueryError(kSqlRecnoOutOfRange);                 // "Recno out of range"
//   SqlQueryError(kSqlInvalidBoolean, {AnsiString("yes")});
#pragma once

#include <initializer_list>

#include "platform/core/AnsiString.h"
#include "platform/core/Exceptions.h"
#include "platform/core/NumFormat.h"

// Parse, planning and execution errors of the query engine (message only).
PAYROLL_DECLARE_EXCEPTION(ESqlQueryError, Exception)

// Message ids; the texts are in SqlErrors.cpp.
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
