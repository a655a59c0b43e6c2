// GzSettings: gz.ini, FldDescs and the generated page panels.  See
// GzSettings.h.
#include "app/GzSettings.h"

#include <memory>

#include "app/StrCon.h"
#include "platform/core/IniFiles.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Strings.h"
#include "platform/data/DataSource.h"
#include "platform/data/Fields.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StdCtrls.h"

std::vector<TFldDesc> FldDescs;
const char* const FldLetter = "F";
bool CalcLogOn = false;
AnsiString DwMc;
AnsiString CurBmBh;
std::vector<AnsiString> BmNames, BmCodes;

namespace {

const char* const kMissing = "ERROR";

// "01", "02", ...
AnsiString EntryKey(int n) { return StrCon->IntToFixed(n, 2, '0'); }

// The values of a numbered list, from "01" to the first missing entry.
std::vector<AnsiString> ReadList(TIniFile& ini, const AnsiString& section) {
  std::vector<AnsiString> values;
  for (int n = 1;; ++n) {
    AnsiString v = ini.ReadString(section, EntryKey(n), kMissing);
    if (v == kMissing) return values;
    values.push_back(v);
  }
}

AnsiString Field(const AnsiString& s, int n) {
  AnsiString r;
  StrCon->GetDelimitedField(s, n, r, ',');
  return r;
}

}  // namespace

void LoadGzSettings(TIniFile& ini, TStrings* resultFields, const std::function<void()>& afterEach) {
  CalcLogOn = ini.ReadBool("SYSTEM", "CALC_LOG", false);
  FldDescs.clear();
  if (resultFields) resultFields->Clear();
  for (const AnsiString& entry : ReadList(ini, payroll::kFldSection)) {
    // "05,description": the description is everything after the first comma.
    const int comma = entry.Pos(",");
    const AnsiString number = comma > 0 ? entry.SubString(1, comma - 1) : entry;
    const AnsiString desc = comma > 0 ? entry.SubString(comma + 1, entry.Length()) : AnsiString();
    FldDescs.emplace_back(AnsiString(FldLetter) + number, desc);
    if (resultFields) resultFields->Add(desc);
    if (afterEach) afterEach();
  }
  static const TFldDesc kFixed[payroll::kFixedFldDescs] = {
      {"zgbh", "职工编号"}, {"ylbxh", "养老保险号"}, {"xm", "姓名"},
      {"gzzh", "工资帐号"}, {"db_flag", "倒班"},     {"zgqk", "职工情况"}};
  for (const TFldDesc& d : kFixed) FldDescs.push_back(d);
}

AnsiString payroll::FldDescEntryName(size_t index) {
  return AnsiString("gz.ini [") + payroll::kFldSection + "] " + EntryKey(static_cast<int>(index) + 1);
}

AnsiString getFldNameByDesc(const AnsiString& desc) {
  for (const TFldDesc& d : FldDescs)
    if (d.second == desc) return d.first;
  return AnsiString();
}

AnsiString CommaToLines(const AnsiString& text) {
  std::unique_ptr<TStringList> fields(StrCon->SplitDelimited(text, ','));
  AnsiString r;
  for (int i = 0; i < fields->Count(); ++i) {
    if (i > 0) r += '\r';
    r += fields->Strings(i);
  }
  return r;
}

AnsiString QualifyFieldCodes(const AnsiString& expr, const AnsiString& prefix) {
  AnsiString text = expr;
  for (int n = 1; n <= 99; ++n) {
    const AnsiString code = AnsiString(FldLetter) + StrCon->IntToFixed(n, 2, '0');
    AnsiString replaced;
    StrCon->ReplaceText(code, prefix + code, replaced, text);
    text = replaced;
  }
  return "[" + text + "]";
}

void CreatUserPanel(const AnsiString& iniPath, const AnsiString& page, TWinControl* panel, TComponent* owner,
                    TDataSource* dataSource, TComponent* dataModule, const TNotifyEvent& onExit,
                    const std::function<void()>& afterEach) {
  TIniFile ini(iniPath);
  for (const AnsiString& entry : ReadList(ini, "Scr_" + page)) {
    auto* label = new TLabel(owner);
    label->SetParent(panel);
    label->SetLeft(StrToInt(Field(entry, 4)));
    label->SetTop(StrToInt(Field(entry, 5)));
    label->SetCaption(Field(entry, 3));
    label->Font()->SetColor(static_cast<TColor>(StrToInt(Field(entry, 6))));
    label->SetVisible(true);

    const AnsiString fieldCode = AnsiString(FldLetter) + Field(entry, 2);
    auto* edit = new TDBEdit(owner);
    edit->SetParent(panel);
    edit->SetTabOrder(StrToInt(Field(entry, 1)));
    edit->SetTabStop(true);
    edit->SetLeft(StrToInt(Field(entry, 7)));
    edit->SetTop(StrToInt(Field(entry, 8)));
    edit->SetWidth(StrToInt(Field(entry, 15)));
    edit->Font()->SetColor(static_cast<TColor>(StrToInt(Field(entry, 9))));
    edit->SetDataField(fieldCode);
    edit->SetDataSource(dataSource);
    edit->SetEnabled(Field(entry, 14) == "1");
    edit->OnExit = onExit;
    edit->SetVisible(true);

    const int decimals = StrToInt(Field(entry, 11));
    if (dataModule) {
      if (auto* field = dynamic_cast<TNumericField*>(dataModule->FindComponent("TblGzk" + fieldCode)))
        field->SetDisplayFormat("0." + StrCon->RepeatChar('0', decimals));
    }
    if (afterEach) afterEach();
  }
  for (const AnsiString& entry : ReadList(ini, "Lne_" + page)) {
    auto* bevel = new TBevel(owner);
    bevel->SetParent(panel);
    bevel->SetShape(bsFrame);
    bevel->SetBounds(StrToInt(Field(entry, 1)), StrToInt(Field(entry, 2)), StrToInt(Field(entry, 3)),
                     StrToInt(Field(entry, 4)));
    if (afterEach) afterEach();
  }
}
