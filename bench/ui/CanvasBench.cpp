// Canvas throughput for what a grid page costs: measuring text, laying out
// word-broken Chinese text, filling cells and drawing grid lines.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "platform/ui/Graphics.h"
#include "platform/ui/Frames3D.h"

namespace {

void RequireApp() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char arg0[] = "bench";
  static char* argv[] = {arg0, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  new QApplication(argc, argv);
}

void BM_TextWidth(benchmark::State& state) {
  RequireApp();
  TCanvas c;
  const AnsiString text = "职工工资 1234.56";
  for (auto _ : state) benchmark::DoNotOptimize(c.TextWidth(text));
}
BENCHMARK(BM_TextWidth);

void BM_DrawTextWordBreak(benchmark::State& state) {
  RequireApp();
  TBitmap b(200, 100);
  TCanvas* c = b.Canvas();
  const AnsiString text = "职工工资汇总表按部门统计，含基本工资、津贴和扣款";
  for (auto _ : state) {
    TRect r = Rect(0, 0, 120, 100);
    c->DrawText(text, r, DT_WORDBREAK);
  }
}
BENCHMARK(BM_DrawTextWordBreak);

void BM_GridCells(benchmark::State& state) {
  RequireApp();
  TBitmap b(800, 600);
  TCanvas* c = b.Canvas();
  for (auto _ : state) {
    // 30 rows x 8 columns: fill, text, lines, one 3-D title edge a column.
    for (int col = 0; col < 8; ++col) {
      TRect t = Bounds(col * 100, 0, 100, 20);
      DrawEdge(c, t, BDR_RAISEDINNER, BF_RECT | BF_MIDDLE);
    }
    for (int row = 1; row < 30; ++row)
      for (int col = 0; col < 8; ++col) {
        TRect r = Bounds(col * 100, row * 20, 99, 19);
        c->Brush()->SetColor(row % 2 ? clWindow : clInfoBk);
        c->FillRect(r);
        c->TextRect(r, r.Left + 2, r.Top + 2, "1234.56");
        c->MoveTo(r.Right, r.Top);
        c->LineTo(r.Right, r.Bottom + 1);
      }
  }
  state.SetItemsProcessed(state.iterations() * 240);
}
BENCHMARK(BM_GridCells);

}  // namespace
