#include "sql/SqlMessages.h"

namespace {

struct SqlMsg {
  int id;
  const char* text;
};

// Ordered by id.
const SqlMsg kMessages[] = {
    {kSqlPositionBeyondEof, "Position beyond EOF"},
    {kSqlSyntaxErrorAt, " %s at line : %d, Column: %d, token: %s"},
    {kSqlAliasExists, "Alias already exists"},
    {kSqlNoJoin, "More than one table but no JOINing defined"},
    {kSqlMixedSubqueryKinds, "In this version all subqueries must be ANY or ALL, but not both"},
    {kSqlIntoTableMissing, "The INTO table defined does not exists"},
    {kSqlJoinTablesMismatch, "Tables referenced in JOIN does not correspond"},
    {kSqlCannotReadInteger, "Cannot read field as integer"},
    {kSqlCannotReadString, "Cannot read field as string"},
    {kSqlCannotAssignBoolean, "Cannot assign field as boolean"},
    {kSqlCannotAssignFloat, "Cannot assign field as float"},
    {kSqlCannotAssignInteger, "Cannot assign field as integer"},
    {kSqlCannotAssignString, "Cannot assign field as string"},
    {kSqlInvalidFloat, "Invalid floating point value %s"},
    {kSqlInvalidInteger, "Invalid integer value %s"},
    {kSqlInvalidBoolean, "Invalid boolean value %s"},
    {kSqlGroupColumnCount, "Number of columns in SELECT mismatch in GROUP BY"},
    {kSqlOrderColumnCount, "Number of columns in SELECT mismatch in ORDER BY"},
    {kSqlGroupColumnOrder, "Column order in GROUP BY must match in SELECT"},
    {kSqlOrderColumnOrder, "Column order in order BY must match in SELECT"},
    {kSqlFileOpenFailed, "Failed to open or create file"},
    {kSqlFileMappingFailed, "Failed to create file mapping"},
    {kSqlMapViewFailed, "Failed to map view of file"},
    {kSqlFieldIndexIncorrect, "Field index incorrect"},
    {kSqlFieldNotFound, "Field %s was not found"},
    {kSqlSubqueryColumns, "Subquery with more than one column"},
    {kSqlSubqueryTables, "More than one table in FROM clause in subquery"},
    {kSqlNoTables, "No tables defined in FROM clause!"},
    {kSqlFieldNameNotFound, "Field Name %s not found"},
    {kSqlDataSetMissing, "DataSet %s doesn't exists"},
    {kSqlNotBoolean, "Expresion is not of boolean type !"},
    {kSqlBookmarkNotFound, "Bookmark %d not found"},
    {kSqlCircularDataLink, "Circular data link"},
    {kSqlDuplicateFieldName, "Duplicate field name"},
    {kSqlPrimaryKeyNotFound, "PRIMARY KEY: field not found"},
    {kSqlBlobWrongType, "BLOB FIELD: wrong type (1-5)"},
    {kSqlDataSetClass, "DataSet is not of the expected class: %s"},
    {kSqlCannotReadBoolean, "Cannot read field as boolean"},
    {kSqlCannotReadFloat, "Cannot read field as float"},
    {kSqlCountStarName, "COUNT(*)"},
    {kSqlSyntaxErrorAt2, " %s at line : %d, Column: %d, token: %s"},
    {kSqlInsertFieldMissing, "INSERT: Field: %s does not exist in the dataset"},
    {kSqlGroupNotInSelect, "Fields in GROUP BY must also exists in SELECT columns"},
    {kSqlSelectNeedsOpen, "You must use SELECT only with Open method or Active property!"},
    {kSqlCommandNeedsExec, "You must use UPDATE, DELETE, INSERT or CREATE TABLE only with ExecSQL method !"},
    {kSqlInvalidRecord, "GetRecord: Invalid record"},
    {kSqlEmptyStatement, "SQL statement cannot be empty"},
    {kSqlCircularReference, "Circular reference not allowed"},
    {kSqlDataSetNotOpened, "DataSet %s is not opened !"},
    {kSqlJoinNotDefined, "The joining is not correctly defined !"},
    {kSqlNoQuery, "XQuery component not defined !"},
    {kSqlRecnoOutOfRange, "Recno out of range"},
    {kSqlGroupIndexIncorrect, "No. of fields in GROUP unmatched with SELECT"},
    {kSqlDefaultDateFormat, "m/d/yyyy"},
    {kSqlSumOf, "SUM OF "},
    {kSqlAvgOf, "AVG OF "},
    {kSqlStdevOf, "STDEV OF "},
    {kSqlMinOf, "MIN OF "},
    {kSqlMaxOf, "MAX OF "},
};

}  // namespace

AnsiString SqlMessage(int id) {
  for (const SqlMsg& m : kMessages)
    if (m.id == id) return m.text;
  return AnsiString();
}

void SqlQueryError(int id, std::initializer_list<TVarRec> args) {
  AnsiString text = SqlMessage(id);
  throw ESqlQueryError(args.size() ? Format(text, args) : text);
}
