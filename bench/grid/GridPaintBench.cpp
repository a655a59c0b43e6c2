// The data grid over a payroll-shaped engine table of 100,000 rows: a full
// repaint of an 800 x 600 grid, scrolling by one record (the window's
// pixels shift, one row is painted) against a full repaint per step, and
// paging through every record with PageDown-sized moves.
//
//   build/bench/bench_GridPaintBench [--rows N] [--screenshot file.png]
//
// With --screenshot the grid is shown in a real window, the window is
// grabbed from the screen into file.png and the program ends (run it
// under xvfb-run with QT_QPA_PLATFORM=xcb); otherwise it runs offscreen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "grid/DBGridEx.h"
#include "grid/DBSumList.h"
#include "grid/GridDataLinkEx.h"
#include "platform/data/DataSource.h"
#include "platform/data/Fields.h"
#include "platform/ui/Forms.h"

namespace {

int gRows = 100000;
constexpr int kPayItems = 12;

AnsiString PayField(int i) {
  char name[8];
  std::snprintf(name, sizeof name, "F%02d", i);
  return name;
}

// One database file with the table "gzk": code, name, department and pay
// items, filled once per run.
struct TPayrollTable {
  std::filesystem::path dir;
  TUdbDataBase db;
  std::unique_ptr<TUdbTable> table;
  TPayrollTable() {
    dir = std::filesystem::temp_directory_path() / ("payroll-gridbench-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    db.SetDirectory((dir.string() + "/").c_str());
    db.SetDataBaseName("GZ.udb");
    db.CreateDatabase();
    db.SetConnected(true);
    table = std::make_unique<TUdbTable>();
    table->SetDataBase(&db);
    table->SetTableName("gzk");
    table->FieldDefs()->Add("ZGBH", ftString, 11);
    table->FieldDefs()->Add("XM", ftString, 20);
    table->FieldDefs()->Add("BMBH", ftString, 8);
    for (int i = 1; i <= kPayItems; ++i) table->FieldDefs()->Add(PayField(i), ftFloat);
    table->IndexDefs()->Add("ByCode", "ZGBH", TIndexOptions() << ixUnique);
    table->CreateTable();
    table->SetIndexName("ByCode");
    table->Open();
    const char* names[] = {"张三", "李四", "王五", "赵六", "钱七", "孙八", "周九", "吴十"};
    db.StartTransaction();
    for (int r = 0; r < gRows; ++r) {
      char code[16];
      std::snprintf(code, sizeof code, "0102%07d", r);
      table->Append();
      table->FieldByName("ZGBH")->SetAsString(code);
      table->FieldByName("XM")->SetAsString(AnsiString(names[r % 8]) + std::to_string(r % 100));
      table->FieldByName("BMBH")->SetAsString(AnsiString(code).substr(0, 4));
      for (int k = 1; k <= kPayItems; ++k)
        table->FieldByName(PayField(k))->SetAsFloat((r % 997) * 1.25 + k * 100);
      table->Post();
    }
    db.Commit();
    table->First();
  }
  ~TPayrollTable() {
    table.reset();
    db.SetConnected(false);
    std::filesystem::remove_all(dir);
  }
};

TPayrollTable& Table() {
  static TPayrollTable* t = new TPayrollTable();
  return *t;
}

// A form with the grid over "gzk", as the payroll pages show it.
struct TGridWindow {
  TForm* form;
  TDBGridEx* grid;
  TDataSource source{nullptr};
  TGridWindow() {
    form = new TForm(nullptr);
    form->SetBorderStyle(bsNone);
    form->SetBounds(0, 0, 820, 620);
    grid = new TDBGridEx(form);
    grid->SetParent(form);
    grid->SetBounds(0, 0, 800, 600);
    grid->SetFlat(true);
    source.SetDataSet(Table().table.get());
    const char* captions[] = {"职工编号", "姓名", "部门"};
    const char* fields[] = {"ZGBH", "XM", "BMBH"};
    for (int i = 0; i < 3; ++i) {
      TColumnEx* c = grid->Columns()->Add();
      c->SetFieldName(fields[i]);
      c->Title()->SetCaption(captions[i]);
      c->SetWidth(i == 0 ? 90 : 70);
    }
    const char* items[] = {"基本工资", "岗位工资", "津贴", "奖金", "扣款", "实发"};
    for (int i = 0; i < 6; ++i) {
      TColumnEx* c = grid->Columns()->Add();
      c->SetFieldName(PayField(i + 1));
      c->Title()->SetCaption(AnsiString("工资|") + items[i]);
      c->SetWidth(80);
      c->Footer()->SetValueType(i == 0 ? fvtCount : fvtStaticText);
      if (i == 0) c->Footer()->SetAlignment(taRightJustify);
    }
    grid->Columns()->Items(0)->Footer()->SetValueType(fvtStaticText);
    grid->Columns()->Items(0)->Footer()->SetValue("合计");
    grid->SetUseMultiTitle(true);
    grid->SetFooterRowCount(1);
    grid->SetDataSource(&source);
    form->Show();
    QApplication::processEvents();
  }
  ~TGridWindow() { delete form; }
  void Paint() {
    grid->Update();  // runs the pending paint now
  }
};

TGridWindow& Window() {
  static TGridWindow* w = new TGridWindow();
  return *w;
}

void BM_FullRepaint(benchmark::State& state) {
  TGridWindow& w = Window();
  for (auto _ : state) {
    w.grid->Invalidate();
    w.Paint();
  }
  state.counters["rows_shown"] = w.grid->RowCount();
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMicrosecond);

// Scrolling by one record at a time at the bottom of the window: the
// window's pixels shift and one row is painted, against repainting the
// whole grid for every step.
void BM_ScrollByOne(benchmark::State& state) {
  TGridWindow& w = Window();
  TUdbTable* t = Table().table.get();
  const bool full = state.range(0) != 0;
  t->First();
  t->MoveBy(w.grid->DataLink()->BufferCount());
  for (auto _ : state) {
    t->Next();
    if (t->Eof()) {
      state.PauseTiming();
      t->First();
      t->MoveBy(w.grid->DataLink()->BufferCount());
      state.ResumeTiming();
    }
    if (full) w.grid->Invalidate();
    w.Paint();
  }
  state.SetLabel(full ? "full repaint per step" : "pixel shift");
}
BENCHMARK(BM_ScrollByOne)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Paging through every record (a window of rows per step) and painting.
void BM_PageThroughAll(benchmark::State& state) {
  TGridWindow& w = Window();
  TUdbTable* t = Table().table.get();
  int pages = 0;
  for (auto _ : state) {
    t->First();
    w.Paint();
    const int page = w.grid->DataLink()->BufferCount();
    while (!t->Eof()) {
      t->MoveBy(page);
      w.Paint();
      ++pages;
    }
  }
  state.counters["records"] = gRows;
  state.counters["pages_per_pass"] = benchmark::Counter(pages, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PageThroughAll)->Unit(benchmark::kMillisecond)->Iterations(2);

int Screenshot(const char* file) {
  TGridWindow& w = Window();
  Table().table->MoveBy(3);
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  QScreen* screen = QGuiApplication::primaryScreen();
  QPixmap shot = screen->grabWindow(w.form->Surface()->winId());
  if (shot.isNull() || !shot.save(file)) {
    std::fprintf(stderr, "cannot write %s\n", file);
    return 1;
  }
  std::printf("window (%s) grabbed into %s\n", QGuiApplication::platformName().toUtf8().constData(),
              file);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* screenshot = nullptr;
  std::vector<char*> rest{argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc)
      screenshot = argv[++i];
    else if (std::strcmp(argv[i], "--rows") == 0 && i + 1 < argc)
      gRows = std::max(1, std::atoi(argv[++i]));
    else
      rest.push_back(argv[i]);
  }
  if (!screenshot && std::getenv("QT_QPA_PLATFORM") == nullptr)
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  if (screenshot) return Screenshot(screenshot);
  int n = static_cast<int>(rest.size());
  benchmark::Initialize(&n, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
