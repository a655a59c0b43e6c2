// Edit-button faces: a screen of drop-down, ellipsis, up-down and check-box
// faces drawn from the face cache (every face painted once, then copied)
// against the same screen with the cache emptied before each face (every
// face painted anew).  Prints the ratio.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>

#include "grid/EditButtonsEx.h"
#include "platform/ui/Bitmaps.h"

namespace {

constexpr int kFaces = 40 * 20;  // a 40-row grid with 20 button cells a row

void DrawScreen(TCanvas* c, bool emptyFirst) {
  for (int i = 0; i < kFaces; ++i) {
    if (emptyFirst) ButtonsBitmapCache().Clear();
    int x = (i % 20) * 18, y = (i / 20) * 21;
    switch (i % 4) {
      case 0:
        DrawButtonFace(c, TRect(x, y, x + 17, y + 20), clWindow, true, false, false, 0,
                       bpsDropDown);
        break;
      case 1:
        DrawButtonFace(c, TRect(x, y, x + 17, y + 20), clWindow, true, false, false, 0,
                       bpsEllipsis);
        break;
      case 2:
        DrawButtonFace(c, TRect(x, y, x + 17, y + 20), clWindow, true, false, false, 0,
                       bpsUpDown);
        break;
      default:
        DrawCheckBoxFace(c, TRect(x, y, x + 17, y + 20), clWindow, cbChecked, false, true);
        break;
    }
  }
}

double gCached = 0, gUncached = 0;

void BM_FacesFromCache(benchmark::State& state) {
  TBitmap target;
  target.SetSize(360, 840);
  ButtonsBitmapCache().Clear();
  DrawScreen(target.Canvas(), false);
  for (auto _ : state) DrawScreen(target.Canvas(), false);
  state.SetItemsProcessed(state.iterations() * kFaces);
}
BENCHMARK(BM_FacesFromCache)->Unit(benchmark::kMicrosecond);

void BM_FacesPaintedEachTime(benchmark::State& state) {
  TBitmap target;
  target.SetSize(360, 840);
  for (auto _ : state) DrawScreen(target.Canvas(), true);
  state.SetItemsProcessed(state.iterations() * kFaces);
}
BENCHMARK(BM_FacesPaintedEachTime)->Unit(benchmark::kMicrosecond);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.benchmark_name() == "BM_FacesFromCache") gCached = r.GetAdjustedRealTime();
      if (r.benchmark_name() == "BM_FacesPaintedEachTime") gUncached = r.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (gCached > 0)
    std::printf("painted each time / from cache: %.2f\n", gUncached / gCached);
  benchmark::Shutdown();
  return 0;
}
