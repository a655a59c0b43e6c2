// EUdbDatabaseError and the raiser; see UdbErrors.h.
#include "Udb/UdbErrors.h"

#include <cstdio>

#include "Udb/DBLogger.h"
#include "platform/core/Component.h"

namespace {

// Resource strings 65181 and 65182.
constexpr const char* kErrorNoCustom = "The ZodAZ database engine raised an error\r\n (error code #%d). %s";
constexpr const char* kErrorWithCustom =
    "The ZodAZ database engine raised an error\r\n %s (error code #%d) - %s";

AnsiString Pad(AnsiString text, int width, bool left) {
  if (width > text.Length()) {
    AnsiString blanks(static_cast<size_t>(width - text.Length()), ' ');
    text = left ? text + blanks : blanks + text;
  }
  return text;
}

AnsiString ArgText(const TVarRec& arg, char type) {
  switch (arg.VType()) {
    case TVarRec::vtString:
    case TVarRec::vtChar:
      return arg.AsString();
    case TVarRec::vtExtended:
      return AnsiString(std::to_string(arg.AsDouble()));
    case TVarRec::vtPointer: {
      char text[32];
      std::snprintf(text, sizeof text, "%p", arg.AsPointer());
      return text;
    }
    default:
      break;
  }
  char text[32];
  long long v = arg.AsInt64();
  if (type == 'x' || type == 'X')
    std::snprintf(text, sizeof text, type == 'x' ? "%llx" : "%llX",
                  static_cast<unsigned long long>(v & 0xFFFFFFFFull));
  else if (type == 'u')
    std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(v & 0xFFFFFFFFull));
  else
    std::snprintf(text, sizeof text, "%lld", v);
  return text;
}

}  // namespace

AnsiString UdbFormat(const AnsiString& format, std::initializer_list<TVarRec> args) {
  AnsiString out;
  auto next = args.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    size_t j = i + 1;
    bool left = j < format.size() && format[j] == '-';
    if (left) ++j;
    int width = 0;
    while (j < format.size() && format[j] >= '0' && format[j] <= '9') width = width * 10 + (format[j++] - '0');
    if (j >= format.size()) {
      out += format.substr(i);
      break;
    }
    char type = format[j];
    AnsiString text;
    if (next != args.end()) text = ArgText(*next++, type);
    out += Pad(text, width, left);
    i = j;
  }
  return out;
}

EUdbDatabaseError::EUdbDatabaseError(int errorCode, const AnsiString& customMessage,
                                     const AnsiString& tableMessage)
    : errorCode_(errorCode), errorText_(tableMessage) {
  if (customMessage.empty())
    SetMessage(UdbFormat(kErrorNoCustom, {errorCode, tableMessage}));
  else
    SetMessage(UdbFormat(kErrorWithCustom, {tableMessage, errorCode, customMessage}));
}

void UdbDatabaseError(int errorCode, const AnsiString& location, const AnsiString& customMessage,
                      const TObject* sender) {
  const UdbErr& row = UdbErrorRow(UdbErrorRowOf(errorCode));
  AnsiString caller;
  if (sender) {
    auto* component = dynamic_cast<const TComponent*>(sender);
    caller = (component && !component->Name().empty()) ? component->Name() : sender->ClassName();
  }
  UdbLogger().Log(location,
                  UdbFormat("Exception:  Caller %20s ErrCode %5d [ErrContext %s]. CustomMsg %s",
                            {caller, row.code, AnsiString(row.message), customMessage}));
  throw EUdbDatabaseError(errorCode, customMessage, row.message);
}

void UdbDatabaseErrorFmt(int errorCode, const AnsiString& location, const AnsiString& format,
                         const TObject* sender, std::initializer_list<TVarRec> args) {
  UdbDatabaseError(errorCode, location, UdbFormat(format, args), sender);
}
