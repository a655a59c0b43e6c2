// Seeds that are files the program writes: made here from the targets' own
// fixtures, so that they stay in step with the formats (scripts/fuzz.sh
// --seeds writes them into fuzz/corpus).
#include <filesystem>
#include <fstream>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"
#include "grid/DBGridExExport.h"
#include "platform/core/Streams.h"
#include "report/ReportBand.h"
#include "report/ReportComponent.h"
#include "report/ReportPage.h"
#include "report/ReportPrepared.h"
#include "report/ReportViews.h"
#include "tests/udb/FileFuzzSupport.h"

namespace {

void Write(const std::filesystem::path& file, const void* data, std::size_t size) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void Write(const std::filesystem::path& file, TMemoryStream& s, const std::string& prefix = std::string()) {
  std::string bytes = prefix;
  bytes.append(static_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
  Write(file, bytes.data(), bytes.size());
}

// A list over "DS": title, page header with framed column titles and a
// line, the data band with a memo per column, a summary with a total.
void BuildList(TrbReport* report) {
  report->Pages().Clear();
  TrbPage* page = report->Pages().Add();
  auto band = [&](int type, int top, int height, const AnsiString& source) {
    auto* b = static_cast<TrbBandView*>(rbCreateObject(gtBand, ""));
    b->SetBounds(0, top, 0, height);
    b->SetBandType(type);
    b->SetDataSource(source);
    page->Add(b);
    b->CreateUniqueName();
  };
  auto text = [&](int left, int top, int width, int height, const AnsiString& t, std::uint16_t frame) {
    auto* m = static_cast<TrbMemoView*>(rbCreateObject(gtMemo, ""));
    m->SetBounds(left, top, width, height);
    m->Memo.SetText(t);
    m->Flags = 0;
    m->FrameTyp = frame;
    page->Add(m);
    m->CreateUniqueName();
  };
  band(btReportTitle, 20, 30, "");
  text(200, 20, 300, 30, "[DWMC]工资表", 0);
  band(btPageHeader, 60, 20, "");
  text(20, 60, 200, 20, "姓名", 15);
  text(220, 60, 120, 20, "金额", 15);
  auto* line = rbCreateObject(gtLine, "");
  line->SetBounds(20, 80, 320, 0);
  page->Add(line);
  line->CreateUniqueName();
  band(btMasterData, 90, 20, "DS");
  text(20, 90, 200, 20, "[DS.\"Name\"]", 15);
  text(220, 90, 120, 20, "[DS.\"Amount\"] #N0.00", 15);
  band(btReportSummary, 120, 20, "");
  text(220, 120, 120, 20, "[SUM([DS.\"Amount\"])]", 0);
}

}  // namespace

// Declared for scripts/fuzz.sh through the replay test (tests/fuzz).
void FuzzWriteSeeds(const std::string& corpusRoot) {
  FuzzStartUp();
  const std::filesystem::path root(corpusRoot);
  const std::vector<std::uint8_t>& db = FuzzBaseDatabase();
  Write(root / "udb_file" / "sample.udb", db.data(), db.size());

  TFuzzReportForm form;
  BuildList(form.report);
  TMemoryStream rbf;
  form.report->SaveToStream(&rbf);
  Write(root / "report_template" / "list.rbf", rbf);
  form.report->PrepareReport();
  TMemoryStream rbp;
  form.report->EMFPages().SaveToStream(&rbp);
  Write(root / "report_prepared" / "list.rbp", rbp);

  TFuzzGrid grid;
  TDBGridExExportAsGRDDBIF exporter;
  exporter.DBGridEx = grid.grid.get();
  TMemoryStream grd;
  exporter.ExportToStream(&grd, true);
  Write(root / "grid_grddbif" / "all", grd, std::string(1, '\x01'));
  Write(root / "grid_grddbif" / "insert", grd, std::string(1, '\x02'));
  Write(root / "grid_grddbif" / "append", grd, std::string(1, '\x04'));
}
