// The grid's imports, the component text form, the pay formulas and
// conditions, and the settings file under the fuzzer (FuzzTargets.h).
#include <cstdio>
#include <memory>

#include "app/GzSettings.h"
#include "app/StrCon.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"
#include "grid/DBGridEx.h"
#include "grid/DBGridExImport.h"
#include "platform/core/IniFiles.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "platform/core/Strings.h"
#include "platform/data/DataSource.h"
#include "platform/data/Fields.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "tests/data/MemDataSet.h"

namespace {

// The first input byte chooses the mode: bit 0 import all, bit 1 insert
// before the second row, bit 2 append at the end, bit 3 no appending.
template <class Importer>
int Import(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  TFuzzGrid g;
  if (data[0] & 8) g.grid->SetAllowedOperations(TDBGridExAllowedOperations{alopUpdateEx});
  return FuzzShown([&] {
    if (data[0] & 2) {
      g.ds->First();
      g.ds->Next();
      g.ds->Insert();
    } else if (data[0] & 4) {
      g.ds->Append();
    }
    TMemoryStream in;
    in.WriteBuffer(data + 1, static_cast<int>(size - 1));
    in.SetPosition(0);
    Importer importer;
    importer.DBGridEx = g.grid.get();
    importer.ImportFromStream(&in, (data[0] & 1) != 0);
  });
}

}  // namespace

TFuzzGrid::TFuzzGrid() : ds(std::make_unique<TMemDataSet>()), source(std::make_unique<TDataSource>(nullptr)) {
  ds->AddColumn("ZGBH", ftString, 10);
  ds->AddColumn("XM", ftString, 8);
  ds->AddColumn("N", ftInteger);
  ds->AddColumn("F01", ftFloat);
  ds->AddColumn("HIRED", ftDate);
  ds->AddColumn("OK", ftBoolean);
  ds->AddColumn("NOTE", ftMemo);
  for (int i = 1; i <= 3; ++i)
    ds->AddRow({Variant("00" + IntToStr(i)), Variant("职工" + IntToStr(i)), Variant(i), Variant(i * 10.5),
                Variant(TDateTime(40000 + i)), Variant(i % 2 == 0), Variant("备注")});
  source->SetDataSet(ds.get());
  grid.reset(new TDBGridEx(nullptr));
  for (const char* name : {"ZGBH", "XM", "N", "F01", "HIRED", "OK", "NOTE"})
    grid->Columns()->Add()->SetFieldName(name);
  ds->Open();
  grid->SetDataSource(source.get());
  ds->First();
}

TFuzzGrid::~TFuzzGrid() {
  grid.reset();
  source.reset();
  ds.reset();
}

int FuzzGridText(const std::uint8_t* data, std::size_t size) { return Import<TDBGridExImportAsText>(data, size); }

int FuzzGridGrddbif(const std::uint8_t* data, std::size_t size) {
  return Import<TDBGridExImportAsGRDDBIF>(data, size);
}

namespace {

// A form that reads its definition from the text given, as a form class
// reads its resource.
class TFuzzForm : public TForm {
 public:
  explicit TFuzzForm(TComponent* owner) : TForm(owner) {}
  using TForm::InitFormFromText;
};

}  // namespace

int FuzzTextForm(const std::uint8_t* data, std::size_t size) {
  const AnsiString text = FuzzText(data, size);
  return FuzzShown([&] {
    std::unique_ptr<TFuzzForm> form(new TFuzzForm(nullptr));
    form->InitFormFromText(text);
  });
}

int FuzzPayFormula(const std::uint8_t* data, std::size_t size) {
  AnsiString formula, condition;
  FuzzSplitLine(FuzzText(data, size), formula, condition);
  TMemDataSet ds;
  for (const char* name : {"F01", "F02", "F03", "F_X"}) ds.AddColumn(name, ftFloat);
  ds.AddColumn("OK", ftBoolean);
  ds.AddColumn("XM", ftString, 8);
  ds.AddRow({Variant(1000.0), Variant(-250.5), Variant(0.0), Variant(3.0), Variant(true), Variant("张三")});
  ds.Open();
  return FuzzShown([&] {
    double value = 0;
    bool error = false;
    StrCon->EvaluateFormula(formula, &ds, value, error);
    bool met = false;
    error = false;
    StrCon->EvaluateCondition(condition, &ds, met, error);
  });
}

int FuzzGzIni(const std::uint8_t* data, std::size_t size) {
  const std::string path = FuzzFolder() + "gz.ini";
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw EFuzzEscape("cannot write gz.ini in the fuzz folder");
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  return FuzzShown([&] {
    TIniFile ini{AnsiString(path)};
    TStringList fields;
    LoadGzSettings(ini, &fields);
    for (const TFldDesc& d : FldDescs) {
      (void)getFldNameByDesc(d.second);
      (void)CommaToLines(d.second);
    }
    TDataSource source(nullptr);
    std::unique_ptr<TComponent> owner(new TComponent(nullptr));
    TForm* form = new TForm(owner.get());
    for (const char* page : {"考勤管理", "工资修改", "岗位绩效"}) {
      TPanel* panel = new TPanel(form);
      panel->SetParent(form);
      CreatUserPanel(AnsiString(path), page, panel, owner.get(), &source, nullptr, TNotifyEvent());
    }
  });
}
