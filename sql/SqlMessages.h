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
  kSqlSyntaxErrorAt = 65073,
  kSqlAliasExists = 65074,
  kSqlNoJoin = 65075,
  kSqlMixedSubqueryKinds = 65076,
  kSqlIntoTableMissing = 65077,
  kSqlJoinTablesMismatch = 65078,
  kSqlCannotReadInteger = 65088,
  kSqlCannotReadString = 65089,
  kSqlCannotAssignBoolean = 65090,
  kSqlCannotAssignFloat = 65091,
  kSqlCannotAssignInteger = 65092,
  kSqlCannotAssignString = 65093,
  kSqlInvalidFloat = 65094,
  kSqlInvalidInteger = 65095,
  kSqlInvalidBoolean = 65096,
  kSqlGroupColumnCount = 65097,
  kSqlOrderColumnCount = 65098,
  kSqlGroupColumnOrder = 65099,
  kSqlOrderColumnOrder = 65100,
  kSqlFileOpenFailed = 65101,
  kSqlFileMappingFailed = 65102,
  kSqlMapViewFailed = 65103,
  kSqlFieldIndexIncorrect = 65104,
  kSqlFieldNotFound = 65105,
  kSqlSubqueryColumns = 65106,
  kSqlSubqueryTables = 65107,
  kSqlNoTables = 65108,
  kSqlFieldNameNotFound = 65109,
  kSqlDataSetMissing = 65110,
  kSqlNotBoolean = 65111,
  kSqlBookmarkNotFound = 65112,
  kSqlCircularDataLink = 65113,
  kSqlDuplicateFieldName = 65114,
  kSqlPrimaryKeyNotFound = 65115,
  kSqlBlobWrongType = 65116,
  kSqlDataSetClass = 65117,
  kSqlCannotReadBoolean = 65118,
  kSqlCannotReadFloat = 65119,
  kSqlCountStarName = 65120,
  kSqlSyntaxErrorAt2 = 65121,
  kSqlInsertFieldMissing = 65122,
  kSqlGroupNotInSelect = 65123,
  kSqlSelectNeedsOpen = 65124,
  kSqlCommandNeedsExec = 65125,
  kSqlInvalidRecord = 65126,
  kSqlEmptyStatement = 65127,
  kSqlCircularReference = 65129,
  kSqlDataSetNotOpened = 65130,
  kSqlJoinNotDefined = 65131,
  kSqlNoQuery = 65133,
  kSqlRecnoOutOfRange = 65134,
  kSqlGroupIndexIncorrect = 65135,
  kSqlDefaultDateFormat = 65146,
  kSqlSumOf = 65147,
  kSqlAvgOf = 65148,
  kSqlStdevOf = 65149,
  kSqlMinOf = 65150,
  kSqlMaxOf = 65151,
};

// The text of a message id; "" for an id the table does not hold.
AnsiString SqlMessage(int id);
// Raises ESqlQueryError with the message of id formatted with args.
[[noreturn]] void SqlQueryError(int id, std::initializer_list<TVarRec> args = {});
