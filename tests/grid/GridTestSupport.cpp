#include "GridTestSupport.h"

#include "platform/ui/Forms.h"

#include <QApplication>
#include <QColor>
#include <QWidget>
#include <cstdlib>

#include "platform/ui/MessageQueue.h"

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

void GridOnFormFixture::SetUp() {
  GridFixture::SetUp();
  form = new TForm(nullptr);
  form->SetBorderStyle(bsNone);
  form->SetBounds(0, 0, 420, 320);
  grid->SetParent(form);
  grid->SetBounds(0, 0, 400, 300);
  form->Show();
}

void GridOnFormFixture::TearDown() {
  grid->SetParent(nullptr);
  delete form;
  form = nullptr;
  GridFixture::TearDown();
}

void GridOnFormFixture::Place(int width, int height) {
  form->SetBounds(0, 0, std::max(420, width + 20), std::max(320, height + 20));
  grid->SetBounds(0, 0, width, height);
}

void GridOnFormFixture::AddRows(int n) {
  for (int i = 0; i < n; ++i)
    ds->AddRow({AnsiString("name") + std::to_string(i), i * 10.5, i, i % 2 ? "Y" : "N",
                i % 2 == 1});
}

QImage GridOnFormFixture::Shot() {
  DeliverPostedMessages();
  QApplication::processEvents();
  return grid->Surface()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

namespace {
QRgb ToRgb(TColor c) {
  unsigned v = static_cast<unsigned>(c);
  return qRgb(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}
}  // namespace

int CountColor(const QImage& img, const TRect& r, TColor c) {
  QRgb want = ToRgb(c);
  int n = 0;
  for (int y = std::max(0, r.Top); y < std::min(img.height(), r.Bottom); ++y)
    for (int x = std::max(0, r.Left); x < std::min(img.width(), r.Right); ++x)
      if ((img.pixel(x, y) & 0xFFFFFF) == (want & 0xFFFFFF)) ++n;
  return n;
}

int CountNotColor(const QImage& img, const TRect& r, TColor c) {
  int w = std::max(0, std::min(img.width(), r.Right) - std::max(0, r.Left));
  int h = std::max(0, std::min(img.height(), r.Bottom) - std::max(0, r.Top));
  return w * h - CountColor(img, r, c);
}

int LeftmostOf(const QImage& img, const TRect& r, TColor c) {
  QRgb want = ToRgb(c) & 0xFFFFFF;
  for (int x = std::max(0, r.Left); x < std::min(img.width(), r.Right); ++x)
    for (int y = std::max(0, r.Top); y < std::min(img.height(), r.Bottom); ++y)
      if ((img.pixel(x, y) & 0xFFFFFF) == want) return x;
  return -1;
}

void SaveGridShot(const QImage& img, const std::string& name) {
  const char* dir = std::getenv("PAYROLL_SHOT_DIR");
  if (dir == nullptr || *dir == 0) return;
  img.save(QString::fromStdString(std::string(dir) + "/" + name + ".png"));
}

TStringField* AddStringField(TDataSet* ds, const char* name, int size) {
  auto* f = new TStringField(ds);
  f->SetFieldName(name);
  f->SetDataSet(ds);
  f->SetSize(size);
  return f;
}

TStringField* AddDeptNameLookup(TDataSet* ds, const char* name, int size, TDataSet* lookup,
                                const char* keyField) {
  TStringField* f = AddStringField(ds, name, size);
  f->SetFieldKind(fkLookup);
  f->SetLookupDataSet(lookup);
  f->SetKeyFields(keyField);
  f->SetLookupKeyFields("CODE");
  f->SetLookupResultField("DNAME");
  return f;
}
