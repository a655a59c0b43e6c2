// The target table and the start-up of the fuzz targets (FuzzTargets.h).
#include "fuzz/FuzzSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/PayrollProgram.h"
#include "fuzz/FuzzTargets.h"
#include "platform/core/Resources.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"
#include "resources/PayrollResources.h"

namespace {

// Every question answered at once with its first button; no file chosen.
class TFuzzDialogs : public TDialogService {
 public:
  int ShowMessageBox(const TMessageRequest& request) override {
    return request.Buttons.empty() ? 0 : request.Buttons.front().Result;
  }
  bool InputQuery(const AnsiString&, const AnsiString&, AnsiString&) override { return false; }
  bool OpenFile(TFileRequest&) override { return false; }
  bool SaveFile(TFileRequest&) override { return false; }
  bool SelectDirectory(const AnsiString&, const AnsiString&, AnsiString&) override { return false; }
};

}  // namespace

void FuzzSplitLine(const AnsiString& text, AnsiString& first, AnsiString& rest) {
  const size_t eol = text.find('\n');
  first = text.substr(0, eol);
  rest = eol == AnsiString::npos ? AnsiString() : AnsiString(text.substr(eol + 1));
}

const std::vector<TFuzzTarget>& FuzzTargets() {
  static const std::vector<TFuzzTarget> targets = {
      {"sql_query", FuzzSqlQuery},
      {"udb_filter", FuzzUdbFilter},
      {"udb_file", FuzzUdbFile},
      {"report_template", FuzzReportTemplate},
      {"report_prepared", FuzzReportPrepared},
      {"report_script", FuzzReportScript},
      {"grid_text", FuzzGridText},
      {"grid_grddbif", FuzzGridGrddbif},
      {"text_form", FuzzTextForm},
      {"pay_formula", FuzzPayFormula},
      {"gz_ini", FuzzGzIni},
  };
  return targets;
}

TFuzzEntry FuzzEntry(const std::string& name) {
  for (const TFuzzTarget& t : FuzzTargets())
    if (name == t.Name) return t.Entry;
  return nullptr;
}

const std::string& FuzzFolder() {
  // Never destroyed: the exit handler that removes the folder needs it.
  static const std::string* folder = [] {
    std::string f = (std::filesystem::temp_directory_path() / "payroll-fuzz-XXXXXX").string();
    if (!mkdtemp(f.data())) {
      std::perror("fuzz folder");
      std::abort();
    }
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(FuzzFolder(), ignored);
    });
    return new std::string(f + "/");
  }();
  return *folder;
}

void FuzzStartUp() {
  static bool done = false;
  if (done) return;
  done = true;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  RegisterResources(&PayrollEmbeddedResources());
  EnsureQtApplicationForTest();
  payroll::RegisterPayrollClasses();
  static TFuzzDialogs dialogs;
  SetDialogService(&dialogs);
}
