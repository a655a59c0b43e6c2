// DBConsts: the class library's database error texts (resource strings),
// with their numeric ids where the system refers to them by number.  Every
// error of the dataset interface is raised with one of these through
// DatabaseError (DBErrors.h), which puts "ComponentName: " in front when
// the failing component has a name.  The filter-expression texts
// (65200-65231) are here too: the engine's filter parser raises them.
#pragma once

namespace dbconsts {

// --- datasets -------------------------------------------------------------
inline constexpr const char* SFieldNotFound = "Field '%s' not found";               // 65257
inline constexpr const char* SNotEditing = "Dataset not in edit or insert mode";  // 65246
inline constexpr const char* SFieldReadOnly = "Field '%s' cannot be modified";     // 65240
inline constexpr const char* SCircularDataLink = "Circular datalinks are not allowed";  // 65242
inline constexpr const char* SDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* SDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* SDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* SRecordNotFound = "Record not found";
inline constexpr const char* SUnknownFieldType = "Field '%s' is of an unknown type";
inline constexpr const char* SFieldTypeMismatch =
    "Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr const char* SFieldAccessError = "Cannot access field '%s' as type %s";
inline constexpr const char* SDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char* SFieldNameMissing = "Field name missing";
inline constexpr const char* SFieldIndexError = "Field index out of range";
inline constexpr const char* SDataSetMissing = "Field '%s' has no dataset";
inline constexpr const char* SFieldRequired = "Field '%s' must have a value";
inline constexpr const char* SNotABoolean = "'%s' is not a valid boolean value";
inline constexpr const char* SFieldRangeError =
    "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr const char* SInvalidFloatValue = "'%s' is not a valid floating point value";
inline constexpr const char* SInvalidIntegerValue = "'%s' is not a valid integer value";
inline constexpr const char* SInvalidCalcType =
    "Field '%s' cannot be a calculated or lookup field";
inline constexpr const char* SLookupInfoError = "Lookup information for field '%s' is incomplete";
inline constexpr const char* SDataSourceChange = "DataSource cannot be changed";
inline constexpr const char* SBookmarkNotValid = "Bookmark not valid";
inline constexpr const char* SIndexNotFound = "Index '%s' not found";
inline constexpr const char* SNoFieldIndexes = "No index currently active";
inline constexpr const char* SParameterNotFound = "Parameter '%s' not found";
inline constexpr const char* SInvalidParamData = "Invalid parameter data";
inline constexpr const char* SIndex = "Index %s";                              // 65158
inline constexpr const char* SMasterDetailError = "Master-detail error";      // 65166
inline constexpr const char* SNotIndexField = " is not a valid index field for this index";  // 65167
inline constexpr const char* SNotValidValue =
    "%s is not a valid value (min. length %d, max. length %d)";               // 65161

// --- filter expressions (65200-65231) --------------------------------------
inline constexpr const char* SExprTypeMis = "Type mismatch in expression";                    // 65200
inline constexpr const char* SExprNoArith = "Arithmetic in filter expressions not supported";  // 65202
inline constexpr const char* SExprBadConst = "Constant is not correct type %s";               // 65204
inline constexpr const char* SExprEmptyInList = "IN predicate list may not be empty";         // 65206
inline constexpr const char* SExprInvalidKeyword = "Invalid use of keyword";                  // 65207
inline constexpr const char* STextFalse = "False";                                            // 65208
inline constexpr const char* STextTrue = "True";                                              // 65209
inline constexpr const char* SExprTermination = "Filter expression incorrectly terminated";   // 65219
inline constexpr const char* SExprNameError = "Unterminated field name";                      // 65220
inline constexpr const char* SExprStringError = "Unterminated string constant";               // 65221
inline constexpr const char* SExprInvalidChar = "Invalid filter expression character: '%s'";  // 65222
inline constexpr const char* SExprNoLParen = "'(' expected but %s found";                     // 65223
inline constexpr const char* SExprNoRParen = "')' expected but %s found";                     // 65224
inline constexpr const char* SExprNoRParenOrComma = "')' or ',' expected but %s found";       // 65225
inline constexpr const char* SExprExpected = "Expression expected but %s found";              // 65226
inline constexpr const char* SExprBadField = "Field '%s' cannot be used in a filter expression";  // 65227
inline constexpr const char* SExprBadNullTest = "NULL only allowed with '=' and '<>'";        // 65228
inline constexpr const char* SExprRangeError = "Constant out of range";                       // 65229
inline constexpr const char* SExprIncorrect = "Incorrectly formed filter expression";         // 65230
inline constexpr const char* SExprNothing = "nothing";                                        // 65231

}  // namespace dbconsts
