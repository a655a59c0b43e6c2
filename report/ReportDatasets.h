// Report datasets: the iteration protocol through which a report band walks
// its data (Init, First, Eof/Next, Exit), a counting dataset without data of
// its own, and the binding of the protocol to a class-library dataset with a
// range that starts at the first or current record and ends at the last,
// the current record or after a count.  Calls platform/data only.
//
//   TrbDBDataSet ds(form);                 // the form's query bound later
//   ds.SetDataSet(query);
//   ds.Init(); ds.First();
//   while (!ds.Eof()) { ...print...; ds.Next(); }
//   ds.Exit();                             // back to the remembered record
#pragma once

#include "platform/core/Component.h"
#include "platform/core/Exceptions.h"
#include "platform/core/TypInfo.h"
#include "platform/core/Variant.h"
#include "platform/data/DBTypes.h"

class TDataSet;
class TDataSource;
class TField;
class TStrings;

PAYROLL_DECLARE_EXCEPTION(EDSError, Exception)

enum TRangeBegin : unsigned char { rbFirst, rbCurrent };
enum TRangeEnd : unsigned char { reLast, reCurrent, reCount };
PAYROLL_ENUM_NAMES(TRangeBegin, rbFirst, rbCurrent)
PAYROLL_ENUM_NAMES(TRangeEnd, reLast, reCurrent, reCount)

using TCheckEOFEvent = std::function<void(TObject* sender, bool& eof)>;

class TrbDataset : public TComponent {
  PAYROLL_CLASS(TrbDataset, TComponent)

 public:
  explicit TrbDataset(TComponent* owner);

  virtual void Init() {}
  virtual void Exit() {}
  virtual void First();
  virtual void Next();
  virtual void Prior();
  virtual bool Eof();

  TRangeBegin RangeBegin() const { return rangeBegin_; }
  void SetRangeBegin(TRangeBegin v) { rangeBegin_ = v; }
  TRangeEnd RangeEnd() const { return rangeEnd_; }
  void SetRangeEnd(TRangeEnd v) { rangeEnd_ = v; }
  int RangeEndCount() const { return rangeEndCount_; }
  void SetRangeEndCount(int v) { rangeEndCount_ = v; }
  // Number of the current record within the run, 0 for the first.
  int RecNo() const { return recNo_; }

  TNotifyEvent OnFirst, OnNext, OnPrior;
  TCheckEOFEvent OnCheckEOF;

 private:
  TRangeBegin rangeBegin_ = rbFirst;
  TRangeEnd rangeEnd_ = reLast;
  int rangeEndCount_ = 0;
  int recNo_ = 0;
};

// Counts records and raises events; the application (or a band whose data
// source is a number) drives it.
class TrbUserDataset : public TrbDataset {
  PAYROLL_CLASS(TrbUserDataset, TrbDataset)

 public:
  using TrbDataset::TrbDataset;
};

class TrbDBDataSet : public TrbDataset {
  PAYROLL_CLASS(TrbDBDataSet, TrbDataset)

 public:
  explicit TrbDBDataSet(TComponent* owner);
  ~TrbDBDataSet() override;

  // At most one is set: setting DataSet clears DataSource; setting a
  // non-nil DataSource clears DataSet.
  TDataSet* DataSet() const { return dataSet_; }
  void SetDataSet(TDataSet* v);
  TDataSource* DataSource() const { return dataSource_; }
  void SetDataSource(TDataSource* v);
  bool OpenDataSource() const { return openDataSource_; }
  void SetOpenDataSource(bool v) { openDataSource_ = v; }
  bool CloseDataSource() const { return closeDataSource_; }
  void SetCloseDataSource(bool v) { closeDataSource_ = v; }
  TNotifyEvent OnOpen, OnClose;

  // The dataset read; EDSError "Unable to open dataset <Name>" when none.
  TDataSet* GetDataSet() const;
  void Open();
  void Close();
  void Init() override;
  void Exit() override;
  void First() override;
  void Next() override;
  void Prior() override;
  bool Eof() override;

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  void FreeMark();
  TDataSet* dataSet_ = nullptr;
  TDataSource* dataSource_ = nullptr;
  bool openDataSource_ = true;
  bool closeDataSource_ = false;
  TBookmark bookmark_ = nullptr;  // the record current at Init, until Exit
  bool endMark_ = false;
};

// Data-access routines of the report's objects.
bool IsBlobField(TField* field);
// A persistent target (picture, string list) assigns itself from the field;
// a stream receives the blob's bytes and is rewound; others are left alone.
void AssignBlobField(TField* field, TObject* target);
// Any error while listing is swallowed; the list keeps what was added.
void GetDataSetFieldNames(TDataSet* dataSet, TStrings* list);
TBookmark GetBookmark(TDataSet* dataSet);
void GotoBookmark(TDataSet* dataSet, TBookmark bookmark);
void FreeBookmark(TDataSet* dataSet, TBookmark bookmark);
bool SameBookmark(TDataSet* dataSet, TBookmark a, TBookmark b);

// A component by name from an owner: "Name" in the owner, "Form.Name"
// through the global component lookup, "Form.Frame.Name" one level deeper.
// Case is ignored; nullptr when absent.
TComponent* rbFindComponent(TComponent* owner, const AnsiString& name);
// A data-source text to a report dataset: a text beginning with 1-9 makes
// a counting TrbUserDataset of that many records (owned = true: the caller
// frees it); any other names a TrbDataset component (another class raises
// EInvalidCast).  The dataset found is initialised (Init).
TrbDataset* rbFindDataSet(TComponent* owner, const AnsiString& source, bool& owned);
// "DataSet."Field"" to its dataset and field name; the field name is empty
// unless the dataset has that field.  Without a point the text is a field
// of defaultDataSet.
void rbParseFieldReference(TComponent* owner, const AnsiString& reference,
                           TDataSet*& dataSet, AnsiString& fieldName,
                           TDataSet* defaultDataSet = nullptr);
// A field's value as reports show it: through OnGetText or as text for a
// large integer, else its value; Null as "" (strings), False (Booleans) or
// 0.  A closed dataset is opened first.
Variant rbGetFieldValue(TField* field);
