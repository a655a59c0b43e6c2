// The report engine's function library and script bindings: function
// libraries and their registry, the standard library (text, date, number
// functions and the aggregates SUM, MIN, MAX, AVG, COUNT), the report
// procedures that scripts call (STOPREPORT, NEWPAGE, SETARRAY, ...), the
// engine-wide evaluator, interpreter, variables and constants, and the
// engine's texts.  Calls the parser, the interpreter, platform/core and the
// dialog service of platform/ui (INPUT, MESSAGEBOX).
//
// The report being formed is seen only through TrbReportContext, the
// narrow interface that the report component implements; one report forms
// at a time (rbSetCurrentContext).
//
//   rbSetCurrentContext(&report);             // done by the report
//   rbGlobalParser().Calc("UPPERCASE('ab')"); // "AB"
#pragma once

#include <memory>
#include <vector>

#include "report/ReportAggregates.h"
#include "report/ReportInterpreter.h"
#include "report/ReportParser.h"

class TrbObject;
class TStrings;

// What the function library and the script bindings need of the report
// that is being formed.  Defaults do nothing.
class TrbReportContext {
 public:
  virtual ~TrbReportContext() = default;
  // The report's value request (OnGetValue, dictionary, system variables,
  // global variables, constants, a name evaluated as an expression).
  virtual void GetVariableValue(const AnsiString& name, Variant& value) = 0;
  // OnUserFunction, with the result so far.
  virtual void UserFunction(const AnsiString& name, const Variant& p1, const Variant& p2,
                            const Variant& p3, Variant& value) {}
  virtual void StopReport() {}
  virtual AnsiString ReportName() { return AnsiString(); }
  virtual bool Terminated() { return false; }  // lets pending messages through first
  virtual void NewPage() {}
  virtual void NewColumn() {}
  virtual void ShowBand(const AnsiString& name) {}
  virtual TrbObject* FindObject(const AnsiString& name) { return nullptr; }
  // Script writes; false when the name is not served.
  virtual bool SetDictionaryVariable(const AnsiString& name, const Variant& value) { return false; }
  virtual bool SetModalResult(int result) { return false; }  // on a dialog page
  virtual bool SetCurY(int y) { return false; }
  virtual void ShowProgress(const AnsiString& text) {}
  // Before an object is written to a prepared page (OnBeforePrint).
  virtual void BeforePrint(TStrings* memo, TrbObject* view) {}
  // The text that a bracketed expression of a view shows (display formats
  // applied); by default the value request's value as text.
  virtual AnsiString ExpandValue(TrbObject* view, const AnsiString& expression);
  // Aggregates: the band being formed (nullptr between bands), the data
  // band whose aggregates are being registered (nullptr while forming: the
  // calls then read their values), and the current cross-tab column.
  virtual TrbAggregateBand* CurrentBand() { return nullptr; }
  virtual TrbAggregateBand* RegisteringFor() { return nullptr; }
  virtual int CrossColumn() { return 0; }
};

void rbSetCurrentContext(TrbReportContext* context);
TrbReportContext* rbCurrentContext();

// ---- function libraries ----

class TrbFunctionLibrary {
 public:
  TrbFunctionLibrary() = default;
  virtual ~TrbFunctionLibrary() = default;
  TrbFunctionLibrary(const TrbFunctionLibrary&) = delete;
  TrbFunctionLibrary& operator=(const TrbFunctionLibrary&) = delete;

  // True when the name (upper case) is in List and DoFunction answered.
  virtual bool OnFunction(const AnsiString& name, const Variant& p1, const Variant& p2,
                          const Variant& p3, Variant& value);
  virtual void DoFunction(int index, const Variant& p1, const Variant& p2, const Variant& p3,
                          Variant& value) = 0;
  const std::vector<AnsiString>& List() const { return list_; }
  virtual const char* ClassName() const = 0;

 protected:
  std::vector<AnsiString> list_;
};

class TrbStdFunctionLibrary : public TrbFunctionLibrary {
 public:
  TrbStdFunctionLibrary();
  void DoFunction(int index, const Variant& p1, const Variant& p2, const Variant& p3,
                  Variant& value) override;
  const char* ClassName() const override { return "TrbStdFunctionLibrary"; }
};

// Registers one instance per library class (by class name) in the ordered
// list that the function request offers calls to; at most 32.
void rbRegisterFunctionLibrary(std::unique_ptr<TrbFunctionLibrary> library);
void rbUnregisterFunctionLibrary(const AnsiString& className);
const std::vector<std::unique_ptr<TrbFunctionLibrary>>& rbFunctionLibraries();

// Help records of the functions (class, name, category, description).
struct TrbFunctionDescription {
  AnsiString libraryClass, name, category, description;
};
void rbAddFunctionDescription(const AnsiString& libraryClass, const AnsiString& name,
                              const AnsiString& category, const AnsiString& description);
const std::vector<TrbFunctionDescription>& rbFunctionDescriptions();

// The function request of the report: the libraries in registration order,
// then the report procedures (or object.method), then OnUserFunction; "0"
// when nothing answers.
void rbDoFunction(const AnsiString& name, const Variant& p1, const Variant& p2,
                  const Variant& p3, Variant& value);
// The value request of the current report (Unassigned without one).
Variant rbGetValue(const AnsiString& name);

// Evaluates the expression that gives `name` its value.  A name met again
// while its own value is being computed (directly or through other names)
// raises EParserError "符号没定义 "<name>"" naming the chain, instead of
// recursing until the stack runs out.
Variant rbCalcNamed(const AnsiString& name, const AnsiString& expression);

// ---- script bindings ----

class TInterpretator : public TrbInterpretator {
 public:
  void GetValue(const AnsiString& name, Variant& value) override;
  // Global variable, dictionary variable, MODALRESULT, CURY, PROGRESS,
  // object.property, else a new global variable.
  void SetValue(const AnsiString& name, const Variant& value) override;
  void DoFunction(const AnsiString& name, const Variant& p1, const Variant& p2,
                  const Variant& p3, Variant& value) override;
  bool StopRequested() override;
};

// ---- engine globals (one set per process) ----

TrbParser& rbGlobalParser();        // hooks: rbGetValue, rbDoFunction
TInterpretator& rbGlobalInterpreter();
TrbVariables& rbGlobalVariables();  // script variables and SETARRAY's arrays
const TrbVariables& rbConstants();  // mrOk, clRed, fsBold, ...

// The engine text with that number; "" when the string table lacks it.
AnsiString rbLoadStr(int id);
