// Function libraries, report procedures, script bindings and engine globals
// (contracts in ReportFunctions.h).
#include "report/ReportFunctions.h"

#include <algorithm>

#include "platform/core/AnsiText.h"
#include "platform/core/DateTime.h"
#include "platform/core/Exceptions.h"
#include "platform/core/MaskUtils.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Resources.h"
#include "platform/ui/Dialogs.h"
#include "report/ReportObject.h"

namespace {

TrbReportContext* gContext = nullptr;

// The standard library is registered first, before any other.
std::vector<std::unique_ptr<TrbFunctionLibrary>>& Libraries();

std::vector<TrbFunctionDescription>& Descriptions() {
  static std::vector<TrbFunctionDescription> list;
  return list;
}

// Names whose value is being computed, outermost first.
std::vector<AnsiString>& Evaluating() {
  static std::vector<AnsiString> names;
  return names;
}

Variant Arg(const Variant& text) { return rbGlobalParser().Calc(VarToStr(text)); }
AnsiString ArgText(const Variant& text) { return VarToStr(Arg(text)); }
TDateTime ArgDate(const Variant& text) { return Arg(text).AsDateTime(); }

// ---- aggregates ----

// The data band that a footer of this type totals when the call names none.
int LevelOf(int footerType) {
  switch (footerType) {
    case 3: case 1: case 6: case 17: return 5;  // page footer, summary, master and group footers
    case 9: return 8;                           // detail footer
    case 12: return 11;                         // sub-detail footer
    case 20: return 19;                         // cross footer
    default: return -1;
  }
}

AnsiString AccumulatorTail(char code, const AnsiString& expr, const AnsiString& flag) {
  return AnsiString(1, rbagg::kSep) + code + rbagg::kSep + expr + rbagg::kSep + flag;
}

void Aggregate(char code, const Variant& p1, const Variant& p2, const Variant& p3,
               Variant& value) {
  AnsiString expr, band, flag;
  if (code == rbagg::kCount) {
    band = VarToStr(p1).Trim();
    flag = VarToStr(p2).Trim();
  } else {
    expr = VarToStr(p1);
    band = VarToStr(p2).Trim();
    flag = VarToStr(p3).Trim();
  }
  if (flag.empty()) flag = "0";
  value = Variant();
  TrbReportContext* ctx = rbCurrentContext();
  TrbAggregateBand* cur = ctx ? ctx->CurrentBand() : nullptr;
  if (!cur) return;

  if (TrbAggregateBand* target = ctx->RegisteringFor()) {
    if (band.empty() && target->BandType == LevelOf(cur->BandType)) band = target->Name;
    if (!AnsiSameText(band, target->Name)) return;
    AnsiString name = cur->Name + AccumulatorTail(code, expr, flag);
    if (cur->HasCrossObjects && cur->BandType != 20) name = "0" + AnsiString(1, rbagg::kSep) + name;
    target->Aggregates.Add(name);
    cur->AggregateSource = target;
    return;
  }

  TrbAggregateBand* source = cur->AggregateSource;
  if (!source) return;
  if (cur->BandType == 19) {  // a cross-tab cell: the row band's per-column total
    if (!source->AggregateSource) return;
    AnsiString name = IntToStr(ctx->CrossColumn()) + AnsiString(1, rbagg::kSep) + source->Name +
                      AccumulatorTail(code, expr, flag);
    value = source->AggregateSource->Aggregates.Get(name);
    return;
  }
  value = source->Aggregates.Get(cur->Name + AccumulatorTail(code, expr, flag));
}

// ---- report procedures ----

AnsiString ArrayVariable(const AnsiString& array, const Variant& index) {
  AnsiString i = index.IsString() ? index.AsString() : IntToStr(index.AsInteger());
  return "Arr_" + array + "_" + i;
}

// "object.rest" split at the first point; nullptr when no such object.
TrbObject* ObjectOf(const AnsiString& full, AnsiString& rest) {
  size_t dot = full.find('.');
  TrbReportContext* ctx = rbCurrentContext();
  if (dot == std::string::npos || !ctx) return nullptr;
  rest = full.substr(dot + 1);
  return ctx->FindObject(full.substr(0, dot));
}

// True when the name is a report procedure or an object's method.
bool ReportProcedure(const AnsiString& name, const Variant& p1, const Variant& p2,
                     const Variant& p3, Variant& value) {
  TrbReportContext* ctx = rbCurrentContext();
  if (name == "STOPREPORT") {
    if (ctx) ctx->StopReport();
  } else if (name == "NEWPAGE") {
    if (ctx) ctx->NewPage();
  } else if (name == "NEWCOLUMN") {
    if (ctx) ctx->NewColumn();
  } else if (name == "SHOWBAND") {
    if (ctx) ctx->ShowBand(ArgText(p1));
  } else if (name == "INC" || name == "DEC") {
    AnsiString var = VarToStr(p1).Trim();
    Variant v = rbGetValue(var);
    rbGlobalInterpreter().SetValue(var, name == "INC" ? v + Variant(1) : v - Variant(1));
  } else if (name == "SETARRAY" || name == "GETARRAY") {
    AnsiString array = VarToStr(p1).Trim();
    Variant index = Arg(p2);
    if (array.find('.') != std::string::npos) {
      AnsiString property;
      TrbObject* obj = ObjectOf(array, property);
      value = Variant();
      if (!obj) return true;
      if (name == "SETARRAY") obj->DoMethod("SETINDEXPROPERTY", property, index, Arg(p3));
      else value = obj->DoMethod("GETINDEXPROPERTY", property, index, Variant());
      return true;
    }
    if (name == "SETARRAY") rbGlobalVariables().SetVariable(ArrayVariable(array, index), Arg(p3));
    else value = rbGlobalVariables().Variable(ArrayVariable(array, index));
  } else {
    AnsiString method;
    TrbObject* obj = ObjectOf(name, method);
    if (!obj) return false;
    value = obj->DoMethod(method, p1, p2, p3);
  }
  return true;
}

void AddConstants(TrbVariables& c) {
  struct Pair {
    const char* name;
    long long value;
  };
  static const Pair kInts[] = {
      {"mrNone", 0}, {"mrOk", 1}, {"mrCancel", 2}, {"mrYes", 6}, {"mrNo", 7},
      {"fsBold", 2}, {"fsItalic", 1}, {"fsUnderline", 4}, {"fsStrikeOut", 8},
      {"rbftNone", 0}, {"rbftRight", 1}, {"rbftBottom", 2}, {"rbftLeft", 4}, {"rbftTop", 8},
      {"frtaLeft", 0}, {"frtaRight", 1}, {"frtaCenter", 2}, {"frtaVertical", 4},
      {"frtaMiddle", 8}, {"frtaDown", 16},
      {"baNone", 0}, {"baLeft", 1}, {"baRight", 2}, {"baCenter", 3}, {"baWidth", 4},
      {"baBottom", 5}, {"baTop", 6},
      {"psSolid", 0}, {"psDash", 1}, {"psDot", 2}, {"psDashDot", 3}, {"psDashDotDot", 4},
      {"psDouble", 5},
      {"mb_Ok", 0}, {"mb_OkCancel", 1}, {"mb_YesNo", 4}, {"mb_YesNoCancel", 3},
      {"mb_IconError", 16}, {"mb_IconQuestion", 32}, {"mb_IconInformation", 64},
      {"mb_IconWarning", 48},
      {"clWhite", 0xFFFFFF}, {"clBlack", 0}, {"clMaroon", 0x80}, {"clGreen", 0x8000},
      {"clOlive", 0x8080}, {"clNavy", 0x800000}, {"clPurple", 0x800080}, {"clTeal", 0x808000},
      {"clGray", 0x808080}, {"clSilver", 0xC0C0C0}, {"clRed", 0xFF}, {"clLime", 0xFF00},
      {"clYellow", 0xFFFF}, {"clBlue", 0xFF0000}, {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00},
      {"clTransparent", 0x1FFFFFFF},
  };
  for (const Pair& p : kInts) c.SetVariable(p.name, Variant(p.value));
  static const char* kSystemColors[] = {
      "clScrollBar", "clBackground", "clActiveCaption", "clInactiveCaption", "clMenu",
      "clWindow", "clWindowFrame", "clMenuText", "clWindowText", "clCaptionText",
      "clActiveBorder", "clInactiveBorder", "clAppWorkSpace", "clHighlight", "clHighlightText",
      "clBtnFace", "clBtnShadow", "clGrayText", "clBtnText", "clInactiveCaptionText",
      "clBtnHighlight", "cl3DDkShadow", "cl3DLight", "clInfoText", "clInfoBk"};
  long long index = 0;
  for (const char* name : kSystemColors) c.SetVariable(name, Variant(0x80000000LL + index++));
  c.SetVariable("CRLF", Variant("\r\n"));
  c.SetVariable("Null", Variant::Null());
}

}  // namespace

AnsiString TrbReportContext::ExpandValue(TrbObject*, const AnsiString& expression) {
  Variant v;
  GetVariableValue(expression, v);
  return VarToStr(v);
}

void rbSetCurrentContext(TrbReportContext* context) { gContext = context; }
TrbReportContext* rbCurrentContext() { return gContext; }

// ---- libraries ----

namespace {
std::vector<std::unique_ptr<TrbFunctionLibrary>>& Libraries() {
  static std::vector<std::unique_ptr<TrbFunctionLibrary>> libs = [] {
    std::vector<std::unique_ptr<TrbFunctionLibrary>> v;
    v.push_back(std::make_unique<TrbStdFunctionLibrary>());
    return v;
  }();
  return libs;
}
}  // namespace

bool TrbFunctionLibrary::OnFunction(const AnsiString& name, const Variant& p1, const Variant& p2,
                                    const Variant& p3, Variant& value) {
  auto it = std::find(list_.begin(), list_.end(), name);
  if (it == list_.end()) return false;
  DoFunction(static_cast<int>(it - list_.begin()), p1, p2, p3, value);
  return true;
}

TrbStdFunctionLibrary::TrbStdFunctionLibrary() {
  list_ = {"AVG",       "COUNT",   "DAYOF", "FORMATDATETIME", "FORMATFLOAT", "FORMATTEXT",
           "INPUT",     "LENGTH",  "LOWERCASE", "MAX",      "MAXNUM",      "MESSAGEBOX",
           "MIN",       "MINNUM",  "MONTHOF", "NAMECASE",   "POS",         "SUM",
           "TRIM",      "UPPERCASE", "YEAROF"};
}

void TrbStdFunctionLibrary::DoFunction(int index, const Variant& p1, const Variant& p2,
                                       const Variant& p3, Variant& value) {
  unsigned short y, m, d;
  switch (index) {
    case 0: Aggregate(rbagg::kAvg, p1, p2, p3, value); break;
    case 1: Aggregate(rbagg::kCount, p1, p2, p3, value); break;
    case 2: DecodeDate(ArgDate(p1), y, m, d); value = Variant(static_cast<int>(d)); break;
    case 3: value = Variant(FormatDateTime(ArgText(p1), ArgDate(p2))); break;
    case 4: value = Variant(FormatFloat(ArgText(p1), Arg(p2).AsDouble())); break;
    case 5: value = Variant(FormatMaskText(ArgText(p1) + ";0; ", ArgText(p2))); break;
    case 6: value = Variant(InputBox("", ArgText(p1), ArgText(p2))); break;
    case 7: value = Variant(ArgText(p1).Length()); break;
    case 8: value = Variant(AnsiLowerCase(ArgText(p1))); break;
    case 9: Aggregate(rbagg::kMax, p1, p2, p3, value); break;
    case 10: {
      Variant a = Arg(p1), b = Arg(p2);
      value = a > b ? a : b;
      break;
    }
    case 11:
      value = Variant(MessageBox(ArgText(p1), ArgText(p2), static_cast<unsigned>(Arg(p3).AsInteger())));
      break;
    case 12: Aggregate(rbagg::kMin, p1, p2, p3, value); break;
    case 13: {
      Variant a = Arg(p1), b = Arg(p2);
      value = a < b ? a : b;
      break;
    }
    case 14: DecodeDate(ArgDate(p1), y, m, d); value = Variant(static_cast<int>(m)); break;
    case 15: {
      AnsiString s = AnsiLowerCase(ArgText(p1));
      if (!s.empty() && !IsDBCSLeadByte(static_cast<unsigned char>(s[0])))
        s = AnsiUpperCase(s.substr(0, 1)) + s.substr(1);
      value = Variant(s);
      break;
    }
    case 16: value = Variant(AnsiPos(ArgText(p1), ArgText(p2))); break;
    case 17: Aggregate(rbagg::kSum, p1, p2, p3, value); break;
    case 18: value = Variant(ArgText(p1).Trim()); break;
    case 19: value = Variant(AnsiUpperCase(ArgText(p1))); break;
    case 20: DecodeDate(ArgDate(p1), y, m, d); value = Variant(static_cast<int>(y)); break;
  }
}

void rbRegisterFunctionLibrary(std::unique_ptr<TrbFunctionLibrary> library) {
  auto& libs = Libraries();
  if (libs.size() >= 32) return;
  for (const auto& l : libs)
    if (AnsiString(l->ClassName()) == library->ClassName()) return;
  libs.push_back(std::move(library));
}

void rbUnregisterFunctionLibrary(const AnsiString& className) {
  auto& d = Descriptions();
  d.erase(std::remove_if(d.begin(), d.end(),
                         [&](const TrbFunctionDescription& f) { return f.libraryClass == className; }),
          d.end());
  auto& libs = Libraries();
  libs.erase(std::remove_if(libs.begin(), libs.end(),
                            [&](const auto& l) { return className == l->ClassName(); }),
             libs.end());
}

const std::vector<std::unique_ptr<TrbFunctionLibrary>>& rbFunctionLibraries() { return Libraries(); }

void rbAddFunctionDescription(const AnsiString& libraryClass, const AnsiString& name,
                              const AnsiString& category, const AnsiString& description) {
  if (description.empty()) return;
  for (const auto& f : Descriptions())
    if (f.name == name) return;
  Descriptions().push_back({libraryClass, name, category, description});
}

const std::vector<TrbFunctionDescription>& rbFunctionDescriptions() { return Descriptions(); }

// ---- requests ----

void rbDoFunction(const AnsiString& name, const Variant& p1, const Variant& p2,
                  const Variant& p3, Variant& value) {
  value = Variant("0");
  for (const auto& lib : rbFunctionLibraries())
    if (lib->OnFunction(name, p1, p2, p3, value)) return;
  ReportProcedure(name, p1, p2, p3, value);
  if (TrbReportContext* ctx = rbCurrentContext()) ctx->UserFunction(name, p1, p2, p3, value);
}

Variant rbGetValue(const AnsiString& name) {
  Variant v;
  if (TrbReportContext* ctx = rbCurrentContext()) ctx->GetVariableValue(name, v);
  return v;
}

Variant rbCalcNamed(const AnsiString& name, const AnsiString& expression) {
  auto& stack = Evaluating();
  auto it = std::find_if(stack.begin(), stack.end(),
                         [&](const AnsiString& n) { return AnsiSameText(n, name); });
  if (it != stack.end()) {
    AnsiString chain;
    for (; it != stack.end(); ++it) chain += *it + " -> ";
    throw EParserError("符号没定义 \"" + name + "\" (" + chain + name + ")");
  }
  stack.push_back(name);
  struct TPop {
    ~TPop() { Evaluating().pop_back(); }
  } pop;
  return rbGlobalParser().Calc(expression);
}

// ---- script bindings ----

void TInterpretator::GetValue(const AnsiString& name, Variant& value) { value = rbGetValue(name); }

void TInterpretator::SetValue(const AnsiString& name, const Variant& value) {
  TrbVariables& globals = rbGlobalVariables();
  if (globals.IndexOf(name) >= 0) return globals.SetVariable(name, value);
  TrbReportContext* ctx = rbCurrentContext();
  if (ctx) {
    AnsiString upper = AnsiUpperCase(name);
    if (ctx->SetDictionaryVariable(name, value)) return;
    if (upper == "MODALRESULT" && ctx->SetModalResult(value.AsInteger())) return;
    if (upper == "CURY" && ctx->SetCurY(value.AsInteger())) return;
    if (upper == "PROGRESS") return ctx->ShowProgress(VarToStr(value));
    AnsiString property;
    if (TrbObject* obj = ObjectOf(name, property)) return obj->SetPropValue(property, value);
  }
  globals.SetVariable(name, value);
}

void TInterpretator::DoFunction(const AnsiString& name, const Variant& p1, const Variant& p2,
                                const Variant& p3, Variant& value) {
  rbDoFunction(name, p1, p2, p3, value);
}

bool TInterpretator::StopRequested() {
  TrbReportContext* ctx = rbCurrentContext();
  return ctx && ctx->Terminated();
}

// ---- globals ----

namespace {

struct TrbGlobals {
  TrbGlobals() {
    parser.OnGetValue = [](const AnsiString& name, Variant& value) { value = rbGetValue(name); };
    parser.OnFunction = [](const AnsiString& name, const Variant& p1, const Variant& p2,
                           const Variant& p3, Variant& value) { rbDoFunction(name, p1, p2, p3, value); };
    AddConstants(constants);
  }
  TrbParser parser;
  TInterpretator interpreter;
  TrbVariables variables;
  TrbVariables constants;
};

TrbGlobals& Globals() {
  static TrbGlobals globals;
  return globals;
}

}  // namespace

TrbParser& rbGlobalParser() { return Globals().parser; }
TInterpretator& rbGlobalInterpreter() { return Globals().interpreter; }
TrbVariables& rbGlobalVariables() { return Globals().variables; }
const TrbVariables& rbConstants() { return Globals().constants; }

AnsiString rbLoadStr(int id) { return LoadStr(id); }
