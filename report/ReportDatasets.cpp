// Report datasets (protocol and ranges in ReportDatasets.h).
#include "report/ReportDatasets.h"

#include <vector>

#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "platform/core/Strings.h"
#include "platform/core/TextForm.h"
#include "platform/data/DataSource.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"

// ---- TrbDataset ----

TrbDataset::TrbDataset(TComponent* owner) : TComponent(owner) {}

void TrbDataset::First() {
  recNo_ = 0;
  if (OnFirst) OnFirst(this);
}

void TrbDataset::Next() {
  ++recNo_;
  if (rangeEnd_ == reCount && recNo_ >= rangeEndCount_) return;
  if (OnNext) OnNext(this);
}

void TrbDataset::Prior() {
  --recNo_;
  if (OnPrior) OnPrior(this);
}

bool TrbDataset::Eof() {
  bool eof = rangeEnd_ == reCount && recNo_ >= rangeEndCount_;
  if (OnCheckEOF) OnCheckEOF(this, eof);
  return eof;
}

// ---- TrbDBDataSet ----

TrbDBDataSet::TrbDBDataSet(TComponent* owner) : TrbDataset(owner) {}

TrbDBDataSet::~TrbDBDataSet() {
  if (bookmark_) FreeMark();
  SetDataSet(nullptr);
}

void TrbDBDataSet::SetDataSet(TDataSet* v) {
  if (dataSource_) dataSource_->RemoveFreeNotification(this);
  dataSource_ = nullptr;
  if (dataSet_ && dataSet_ != v) dataSet_->RemoveFreeNotification(this);
  dataSet_ = v;
  if (v) v->FreeNotification(this);
}

void TrbDBDataSet::SetDataSource(TDataSource* v) {
  if (!v) {
    if (dataSource_) dataSource_->RemoveFreeNotification(this);
    dataSource_ = nullptr;
    return;
  }
  SetDataSet(nullptr);
  dataSource_ = v;
  v->FreeNotification(this);
}

void TrbDBDataSet::Notification(TComponent* component, TOperation operation) {
  TrbDataset::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == dataSet_) dataSet_ = nullptr;
  if (component == dataSource_) dataSource_ = nullptr;
}

TDataSet* TrbDBDataSet::GetDataSet() const {
  if (dataSource_ && dataSource_->DataSet()) return dataSource_->DataSet();
  if (dataSet_) return dataSet_;
  throw EDSError("Unable to open dataset " + Name());
}

void TrbDBDataSet::Open() {
  TDataSet* ds = GetDataSet();
  if (openDataSource_) ds->Open();
  if (OnOpen) OnOpen(this);
}

void TrbDBDataSet::Close() {
  if (OnClose) OnClose(this);
  if (closeDataSource_) GetDataSet()->Close();
}

void TrbDBDataSet::FreeMark() {
  TDataSet::FreeBookmark(bookmark_);
  bookmark_ = nullptr;
}

void TrbDBDataSet::Init() {
  Open();
  if (bookmark_) FreeMark();
  TDataSet* ds = GetDataSet();
  if (ds->Active()) bookmark_ = ds->GetBookmark();
  endMark_ = false;
}

void TrbDBDataSet::Exit() {
  if (bookmark_) {
    if (RangeBegin() == rbCurrent || RangeEnd() == reCurrent) GetDataSet()->GotoBookmark(bookmark_);
    FreeMark();
  }
  Close();
}

void TrbDBDataSet::First() {
  // A closed source is read as empty: nothing to move.
  TDataSet* ds = GetDataSet();
  if (!ds->Active()) {
  } else if (RangeBegin() == rbFirst) {
    ds->First();
  } else if (bookmark_) {
    ds->GotoBookmark(bookmark_);
  }
  endMark_ = false;
  TrbDataset::First();
}

void TrbDBDataSet::Next() {
  TDataSet* ds = GetDataSet();
  endMark_ = false;
  if (RangeEnd() == reCurrent && bookmark_) {
    TBookmark here = ds->GetBookmark();
    endMark_ = ds->CompareBookmarks(here, bookmark_) == 0;
    TDataSet::FreeBookmark(here);
  }
  if (ds->Active()) ds->Next();
  TrbDataset::Next();
}

void TrbDBDataSet::Prior() {
  TDataSet* ds = GetDataSet();
  if (ds->Active()) ds->Prior();
  TrbDataset::Prior();
}

bool TrbDBDataSet::Eof() {
  // A closed source reads as empty.
  TDataSet* ds = GetDataSet();
  return TrbDataset::Eof() || !ds->Active() || ds->Eof() || endMark_;
}

PAYROLL_PUBLISH(TrbUserDataset) {
  p.Property("RangeBegin", &TrbDataset::RangeBegin, &TrbDataset::SetRangeBegin).Default(rbFirst);
  p.Property("RangeEnd", &TrbDataset::RangeEnd, &TrbDataset::SetRangeEnd).Default(reLast);
  p.Property("RangeEndCount", &TrbDataset::RangeEndCount, &TrbDataset::SetRangeEndCount);
  p.Event("OnCheckEOF", &TrbDataset::OnCheckEOF);
  p.Event("OnFirst", &TrbDataset::OnFirst);
  p.Event("OnNext", &TrbDataset::OnNext);
  p.Event("OnPrior", &TrbDataset::OnPrior);
}

PAYROLL_PUBLISH(TrbDBDataSet) {
  p.Property("CloseDataSource", &TrbDBDataSet::CloseDataSource, &TrbDBDataSet::SetCloseDataSource)
      .Default(false);
  p.Property("DataSet", &TrbDBDataSet::DataSet, &TrbDBDataSet::SetDataSet);
  p.Property("DataSource", &TrbDBDataSet::DataSource, &TrbDBDataSet::SetDataSource);
  p.Property("OpenDataSource", &TrbDBDataSet::OpenDataSource, &TrbDBDataSet::SetOpenDataSource)
      .Default(true);
  p.Property("RangeBegin", &TrbDataset::RangeBegin, &TrbDataset::SetRangeBegin).Default(rbFirst);
  p.Property("RangeEnd", &TrbDataset::RangeEnd, &TrbDataset::SetRangeEnd).Default(reLast);
  p.Property("RangeEndCount", &TrbDataset::RangeEndCount, &TrbDataset::SetRangeEndCount);
  p.Event("OnCheckEOF", &TrbDataset::OnCheckEOF);
  p.Event("OnClose", &TrbDBDataSet::OnClose);
  p.Event("OnFirst", &TrbDataset::OnFirst);
  p.Event("OnNext", &TrbDataset::OnNext);
  p.Event("OnOpen", &TrbDBDataSet::OnOpen);
  p.Event("OnPrior", &TrbDataset::OnPrior);
}

// ---- data-access routines ----

bool IsBlobField(TField* field) {
  if (!field) return false;
  switch (field->DataType()) {
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo:
    case ftParadoxOle: case ftDBaseOle: case ftTypedBinary:
      return true;
    default:
      return false;
  }
}

void AssignBlobField(TField* field, TObject* target) {
  if (auto* stream = dynamic_cast<TStream*>(target)) {
    if (auto* blob = dynamic_cast<TBlobField*>(field)) blob->SaveToStream(stream);
    stream->SetPosition(0);
  } else if (auto* persistent = dynamic_cast<TPersistent*>(target)) {
    persistent->Assign(field);
  }
}

void GetDataSetFieldNames(TDataSet* dataSet, TStrings* list) {
  try {
    std::vector<AnsiString> names;
    dataSet->GetFieldNames(names);
    for (const AnsiString& n : names) list->Add(n);
  } catch (const Exception&) {
  }
}

TBookmark GetBookmark(TDataSet* dataSet) { return dataSet->GetBookmark(); }
void GotoBookmark(TDataSet* dataSet, TBookmark bookmark) { dataSet->GotoBookmark(bookmark); }
void FreeBookmark(TDataSet*, TBookmark bookmark) { TDataSet::FreeBookmark(bookmark); }
bool SameBookmark(TDataSet* dataSet, TBookmark a, TBookmark b) {
  return dataSet->CompareBookmarks(a, b) == 0;
}

PAYROLL_PUBLISH(TrbDataset) {}

// ---- lookups by name ----

namespace {
std::vector<AnsiString> SplitPoints(const AnsiString& s) {
  std::vector<AnsiString> parts(1);
  for (char c : s) {
    if (c == '.') parts.emplace_back();
    else parts.back() += c;
  }
  return parts;
}
}  // namespace

TComponent* rbFindComponent(TComponent* owner, const AnsiString& name) {
  std::vector<AnsiString> parts = SplitPoints(name);
  if (parts.size() == 1) return owner ? owner->FindComponent(name) : nullptr;
  if (parts.size() > 3) return nullptr;
  TComponent* c = FindGlobalComponent(parts[0]);
  for (size_t i = 1; c && i < parts.size(); ++i) c = c->FindComponent(parts[i]);
  return c;
}

TrbDataset* rbFindDataSet(TComponent* owner, const AnsiString& source, bool& owned) {
  owned = false;
  if (source.empty()) return nullptr;
  TrbDataset* ds = nullptr;
  if (source[0] >= '1' && source[0] <= '9') {
    auto* counted = new TrbUserDataset(nullptr);
    counted->SetRangeEnd(reCount);
    counted->SetRangeEndCount(StrToInt(source.Trim()));
    ds = counted;
    owned = true;
  } else {
    TComponent* c = rbFindComponent(owner, source);
    if (!c) return nullptr;
    ds = dynamic_cast<TrbDataset*>(c);
    if (!ds) throw EInvalidCast("Invalid class typecast");
  }
  ds->Init();
  return ds;
}

void rbParseFieldReference(TComponent* owner, const AnsiString& reference, TDataSet*& dataSet,
                           AnsiString& fieldName, TDataSet* defaultDataSet) {
  size_t quote = reference.find('"');
  AnsiString head = reference.substr(0, quote);
  AnsiString field = quote == std::string::npos ? AnsiString() : AnsiString(reference.substr(quote));
  std::vector<AnsiString> parts = SplitPoints(head);
  if (!field.empty() && !parts.empty() && parts.back().empty()) parts.pop_back();  // the point before the quote
  if (field.empty()) {
    field = parts.back();
    parts.pop_back();
  }
  dataSet = nullptr;
  if (parts.empty()) {
    dataSet = defaultDataSet;
  } else {
    AnsiString name = parts[0];
    for (size_t i = 1; i < parts.size(); ++i) name += "." + parts[i];
    TComponent* c = rbFindComponent(owner, name);
    if (auto* rb = dynamic_cast<TrbDBDataSet*>(c)) {
      try {
        dataSet = rb->GetDataSet();
      } catch (const EDSError&) {
      }
    } else {
      dataSet = dynamic_cast<TDataSet*>(c);
    }
  }
  AnsiString stripped = field.size() >= 3 && field.front() == '"' && field.back() == '"'
                            ? AnsiString(field.substr(1, field.size() - 2))
                            : field;
  fieldName = dataSet && dataSet->FindField(stripped) ? stripped : AnsiString();
}

Variant rbGetFieldValue(TField* f) {
  TDataSet* ds = f->DataSet();
  if (ds && !ds->Active()) ds->Open();
  if (f->OnGetText || f->DataType() == ftLargeint) return Variant(f->Text());
  Variant v = f->Value();
  if (!v.IsNull()) return v;
  if (f->DataType() == ftString) return Variant("");
  if (f->DataType() == ftBoolean) return Variant(false);
  return Variant(0);
}
