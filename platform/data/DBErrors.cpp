#include "platform/data/DBErrors.h"

#include "platform/core/Component.h"
#include "platform/data/DBTypes.h"

AnsiString FormatDBText(const char* text, std::initializer_list<AnsiString> args) {
  AnsiString out;
  auto next = args.begin();
  for (const char* p = text; *p != '\0'; ++p) {
    if (p[0] == '%' && (p[1] == 's' || p[1] == 'd') && next != args.end()) {
      out += *next++;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

void DatabaseError(const AnsiString& message, const TComponent* component) {
  if (component != nullptr && !component->Name().empty())
    throw EDatabaseError(component->Name() + ": " + message);
  throw EDatabaseError(message);
}

void DatabaseErrorFmt(const char* text, std::initializer_list<AnsiString> args,
                      const TComponent* component) {
  DatabaseError(FormatDBText(text, args), component);
}

AnsiString FieldTypeName(TFieldType type) {
  static const char* const kNames[kFieldTypeCount] = {
      "Unknown",  "String",     "SmallInt",   "Integer",  "Word",      "Boolean",
      "Float",    "Currency",   "BCD",        "Date",     "Time",      "DateTime",
      "Bytes",    "VarBytes",   "AutoInc",    "Blob",     "Memo",      "Graphic",
      "FmtMemo",  "ParadoxOle", "dBaseOle",   "TypedBinary", "Cursor", "FixedChar",
      "WideString", "Largeint", "ADT",        "Array",    "Reference", "DataSet",
      "OraBlob",  "OraClob",    "Variant",    "Interface", "IDispatch", "Guid"};
  int i = static_cast<int>(type);
  return (i >= 0 && i < kFieldTypeCount) ? kNames[i] : "Unknown";
}

bool IsBlobType(TFieldType type) {
  return (type >= ftBlob && type <= ftTypedBinary) || type == ftOraBlob || type == ftOraClob;
}
