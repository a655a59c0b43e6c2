#include "TransferTestSupport.h"

#include "platform/core/Streams.h"
#include "platform/ui/Forms.h"

TAnsweringDialogs::TAnsweringDialogs() : previous_(SetDialogService(this)) {}

TAnsweringDialogs::~TAnsweringDialogs() { SetDialogService(previous_); }

int TAnsweringDialogs::ShowMessageBox(const TMessageRequest& request) {
  Boxes.push_back(request);
  if (Answers.empty()) return request.Buttons.empty() ? 0 : request.Buttons.front().Result;
  int answer = Answers.front();
  Answers.pop_front();
  return answer;
}

void TransferFixture::SetUp() {
  EnsureQtApplicationForTest();
  SetFontMetricsSourceForTest(&metrics_);
  ds = std::make_unique<TMemDataSet>();
  source = std::make_unique<TDataSource>(nullptr);
  source->SetDataSet(ds.get());
  grid = new TDBGridEx(nullptr);
}

void TransferFixture::TearDown() {
  delete grid;
  source.reset();
  ds.reset();
  SetFontMetricsSourceForTest(nullptr);
}

void TransferFixture::Make(const std::vector<TTestField>& fields,
                           const std::vector<std::vector<Variant>>& rows) {
  for (const TTestField& f : fields) ds->AddColumn(f.Name, f.Type, f.Size);
  for (const auto& r : rows) ds->AddRow(r);
  for (const TTestField& f : fields) grid->Columns()->Add()->SetFieldName(f.Name);
  ds->Open();
  grid->SetDataSource(source.get());
  ds->First();
}

void TransferFixture::GoTo(int row) {
  ds->First();
  ds->MoveBy(row);
}

TBookmarkStr TransferFixture::Mark(int row) {
  GoTo(row);
  return ds->Bookmark();
}

std::vector<std::vector<AnsiString>> TransferFixture::RowsOf(TDataSet* ds) {
  std::vector<std::vector<AnsiString>> out;
  TBookmarkStr here = ds->Bookmark();
  ds->First();
  while (!ds->Eof()) {
    std::vector<AnsiString> row;
    for (int i = 0; i < ds->FieldCount(); ++i) {
      TField* f = ds->Fields()->Fields(i);
      row.push_back(f->IsNull() ? AnsiString("<null>") : f->AsString());
    }
    out.push_back(row);
    ds->Next();
  }
  if (!here.empty()) ds->SetBookmark(here);
  return out;
}

AnsiString StreamText(TStream& stream) {
  AnsiString s(static_cast<size_t>(stream.Size()), '\0');
  stream.SetPosition(0);
  if (!s.empty()) stream.ReadBuffer(s.data(), static_cast<int>(s.size()));
  return s;
}
