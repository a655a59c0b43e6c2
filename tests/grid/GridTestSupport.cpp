#include "GridTestSupport.h"

#include "platform/ui/Forms.h"

void EnsureGridTestApp() { EnsureQtApplicationForTest(); }

void GridFixture::SetUp() {
  EnsureGridTestApp();
  SetFontMetricsSourceForTest(&metrics_);
  ds = std::make_unique<TMemDataSet>();
  ds->AddColumn("NAME", ftString, 20);
  ds->AddColumn("PAY", ftFloat);
  ds->AddColumn("N", ftInteger);
  ds->AddColumn("FLAG", ftString, 1);
  ds->AddColumn("OK", ftBoolean);
  source = std::make_unique<TDataSource>(nullptr);
  source->SetDataSet(ds.get());
  grid = new TDBGridEx(nullptr);
}

void GridFixture::TearDown() {
  delete grid;
  source.reset();
  ds.reset();
  SetFontMetricsSourceForTest(nullptr);
}

void GridFixture::Link() {
  ds->Open();
  grid->SetDataSource(source.get());
}

TColumnEx* GridFixture::AddColumn(const AnsiString& fieldName) {
  TColumnEx* c = grid->Columns()->Add();
  c->SetFieldName(fieldName);
  return c;
}

void GridFixture::GoTo(int row) {
  ds->First();
  ds->MoveBy(row);
}
