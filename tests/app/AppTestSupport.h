// Test support of the application tests: a payroll data folder built from
// tests/app/data (payroll.txt, gz.ini) in a fresh temporary folder, which
// is also made the program's folder for the test.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeDialogService.h"
#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"

class TTestPayrollDb {
 public:
  // iniText: the settings file to write (a narrow literal: code page 936);
  // the data folder's gz.ini
  // when null.
  explicit TTestPayrollDb(const char* iniText = nullptr);
  ~TTestPayrollDb();
  const AnsiString& Folder() const { return folder_; }
  // A connection of the test's own (connected on first use).
  TUdbDataBase& DataBase();
  // An open table of that connection, owned by this object.
  TUdbTable* OpenTable(const AnsiString& name, const AnsiString& indexName = "");

 private:
  AnsiString folder_;
  std::vector<std::unique_ptr<TUdbTable>> tables_;
  std::unique_ptr<TUdbDataBase> db_;
};

// Frees the program's forms and its data module as a test that started the
// program leaves them, and clears their globals.
void FreeStartupForms();

class TrbView;

// The text of a file of tests/app/data, and of the demo folder's
// description (tools/demodata/demo).
std::string TestDataText(const char* name);
std::string DemoDataText(const char* name);
// A formed report text with its lines joined by "|" (the form the column
// titles take once their commas are line breaks); paragraph marks and a
// last empty line dropped.
AnsiString JoinedLines(const TrbView* v);

// A test over the program's forms started on a fresh test database: the
// data folder is the current folder, the forms and the data module are
// made (CreatePayrollForms), message boxes go to the answering service;
// everything is freed and the folder restored afterwards.
class TMainFormTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Runs before the forms are made (a report preview hook, say).
  virtual void BeforeForms() {}
  // Runs the handler of the main menu's item of that name.
  void Menu(const char* name);

  std::unique_ptr<TTestPayrollDb> db;
  AnsiString oldDir;
  TFakeDialogService dialogs;
};
