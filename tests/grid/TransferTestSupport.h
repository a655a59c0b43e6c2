// Fixtures of the grid's export, import and clipboard tests: a grid over
// an in-memory dataset with the columns the test names, and a dialog
// service that answers from a queue and records every question.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <vector>

#include "MemDataSet.h"
#include "grid/DBGridEx.h"
#include "grid/GridSelection.h"
#include "platform/data/DataSource.h"
#include "platform/data/Fields.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/FontMetrics.h"

// Answers message boxes from Answers (the first button when empty) and
// keeps their texts.
class TAnsweringDialogs : public TDialogService {
 public:
  TAnsweringDialogs();
  ~TAnsweringDialogs() override;
  int ShowMessageBox(const TMessageRequest& request) override;
  bool InputQuery(const AnsiString&, const AnsiString&, AnsiString&) override { return false; }
  bool OpenFile(TFileRequest&) override { return false; }
  bool SaveFile(TFileRequest&) override { return false; }
  bool SelectDirectory(const AnsiString&, const AnsiString&, AnsiString&) override {
    return false;
  }
  std::deque<int> Answers;
  std::vector<TMessageRequest> Boxes;

 private:
  TDialogService* previous_;
};

struct TTestField {
  AnsiString Name;
  TFieldType Type;
  int Size = 0;
};

class TransferFixture : public ::testing::Test {
 public:
  void SetUp() override;
  void TearDown() override;

  // Builds the dataset and one stored column per field, adds the rows and
  // links the grid (the first record current).
  void Make(const std::vector<TTestField>& fields, const std::vector<std::vector<Variant>>& rows);
  void GoTo(int row);
  TBookmarkStr Mark(int row);
  // The stored rows, each value as text ("<null>" for null).
  std::vector<std::vector<AnsiString>> Rows() { return RowsOf(ds.get()); }
  static std::vector<std::vector<AnsiString>> RowsOf(TDataSet* data);
  TColumnEx* Col(int i) { return grid->Columns()->Items(i); }

  TFixedFontMetrics metrics_{TTextMetric{16, 13, 3, 3, 0, 7, 14, 0}};
  std::unique_ptr<TMemDataSet> ds;
  std::unique_ptr<TDataSource> source;
  TDBGridEx* grid = nullptr;
  TAnsweringDialogs dialogs;
};

// The bytes of stream from its start.
AnsiString StreamText(TStream& stream);
