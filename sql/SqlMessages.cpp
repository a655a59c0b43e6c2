#include "sql/SqlMessages.h"

namespace {

struct SqlMsg {
  int id;
  const char* text;
};

// Ordered by id.
const SqlMsg kMessages[] = {
    {kSqlPositionBeyondEof, "Position beyond EOF"},
    {kSqlCannotReadInteger, "Cannot read field as integer"},
    {kSqlCannotReadString, "Cannot read field as string"},
    {kSqlCannotAssignBoolean, "Cannot assign field as boolean"},
    {kSqlCannotAssignFloat, "Cannot assign field as float"},
    {kSqlCannotAssignInteger, "Cannot assign field as integer"},
    {kSqlCannotAssignString, "Cannot assign field as string"},
    {kSqlInvalidFloat, "Invalid floating point value %s"},
    {kSqlInvalidInteger, "Invalid integer value %s"},
    {kSqlInvalidBoolean, "Invalid boolean value %s"},
    {kSqlFileOpenFailed, "Failed to open or create file"},
    {kSqlFileMappingFailed, "Failed to create file mapping"},
    {kSqlMapViewFailed, "Failed to map view of file"},
    {kSqlFieldNotFound, "Field %s was not found"},
    {kSqlCannotReadBoolean, "Cannot read field as boolean"},
    {kSqlCannotReadFloat, "Cannot read field as float"},
    {kSqlRecnoOutOfRange, "Recno out of range"},
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
