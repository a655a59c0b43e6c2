// The payroll calculation of one row.  See GzCalc.h.
#include "app/GzCalc.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "app/StrCon.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Strings.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/Dialogs.h"

namespace payroll {

namespace {

const char* const kFieldCodes[kPayFieldCount + 1] = {
    "",    "F01", "F02", "F03", "F04", "F05", "F06", "F07", "F08", "F09", "F10", "F11", "F12", "F13", "F14",
    "F15", "F16", "F17", "F18", "F19", "F20", "F21", "F22", "F23", "F24", "F25", "F26", "F27", "F28", "F29",
    "F30", "F31", "F32", "F33", "F34", "F35", "F36", "F37", "F38", "F39", "F40", "F41", "F42", "F43", "F44",
    "F45", "F46", "F47", "F48", "F49", "F50", "F51", "F52", "F53", "F54", "F55", "F56", "F57", "F58", "F59",
    "F60", "F61", "F62", "F63", "F64", "F65", "F66", "F67", "F68", "F69", "F70", "F71", "F72", "F73", "F74",
    "F75", "F76", "F77", "F78", "F79", "F80", "F81", "F82", "F83", "F84", "F85", "F86", "F87", "F88", "F89",
    "F90", "F91", "F92", "F93", "F94", "F95", "F96", "F97", "F98", "F99"};

// The comma-separated items of s up to the first empty one.
std::vector<AnsiString> Items(const AnsiString& s) {
  std::vector<AnsiString> items;
  for (int n = 1;; ++n) {
    AnsiString item;
    StrCon->GetDelimitedField(s, n, item, ',');
    if (item.empty()) break;
    items.push_back(item);
  }
  return items;
}

// calc.log opened for appending for one calculation; closed in every case.
class TCalcLog {
 public:
  explicit TCalcLog(const AnsiString& path) {
    if (path.empty()) return;
    file_ = std::fopen(path.c_str(), "ab");
    if (!file_) throw EInOutError("无法打开文件 " + path);
    path_ = path;
  }
  ~TCalcLog() {
    if (file_) std::fclose(file_);
  }
  TCalcLog(const TCalcLog&) = delete;
  TCalcLog& operator=(const TCalcLog&) = delete;
  bool On() const { return file_ != nullptr; }
  void Write(const AnsiString& line) {
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size())
      throw EInOutError("无法写入文件 " + path_);
  }

 private:
  std::FILE* file_ = nullptr;
  AnsiString path_;
};

// The result field's number: characters 2 and 3 of GSRLT, 1..99.
int ResultIndexChecked(const AnsiString& gsrlt) {
  if (gsrlt.size() >= 3 && std::isdigit(static_cast<unsigned char>(gsrlt[1])) &&
      std::isdigit(static_cast<unsigned char>(gsrlt[2]))) {
    const int k = (gsrlt[1] - '0') * 10 + (gsrlt[2] - '0');
    if (k >= 1) return k;
  }
  throw EConvertError("'" + gsrlt + "' 不是有效的结果字段");
}

void WriteBack(const TGzCalcTables& t, const TPayValues& values) {
  bool started = false;
  try {
    t.DataBase->StartTransaction();
    started = true;
    t.Gzk->Edit();
    for (int k = 1; k <= kPayFieldCount; ++k) t.Gzk->FieldByName(kFieldCodes[k])->SetAsFloat(values.V[k]);
    t.DataBase->Commit();
  } catch (const std::exception& e) {
    AnsiString code;
    try {
      code = t.Gzk->FieldByName("ZGBH")->AsString();
    } catch (...) {
    }
    if (started) {
      try {
        t.DataBase->Rollback();
      } catch (...) {
        // The original failure is what the operator must hear about.
      }
    }
    throw EGzCalcWriteError("\r职工 " + code + " 的计算结果未能保存，该职工的工资数据保持原值。\r" + e.what());
  }
}

}  // namespace

AnsiString CalcFunctionName(int calcMode, const AnsiString& page) {
  switch (calcMode) {
    case 1:
      return kFnMonthInit;
    case 2:
      return kFnYearInit;
    case 3:
      return "岗位绩效";
    default:
      break;
  }
  if (page == "TbsZgKq") return "考勤管理";
  if (page == "TbsGzXg") return "工资修改";
  if (page == "TbsGwjx") return "岗位绩效";
  return "";
}

double RoundToCents(double r) {
  const long double scaled = static_cast<long double>(r) * 100.0L;
  // nearbyint rounds in the current mode: to nearest, halves to even.
  return static_cast<double>(std::nearbyintl(scaled) / 100.0L);
}

AnsiString SubstituteFields(const AnsiString& text, const TPayValues& values, bool wrapNegatives) {
  AnsiString s = text;
  for (int k = 1; k <= kPayFieldCount; ++k) {
    // Only codes present are converted: the text of a value is costly and
    // most items name a few fields.
    if (s.find(kFieldCodes[k]) == std::string::npos) continue;
    AnsiString v = FloatToStr(values.V[k]);
    if (wrapNegatives && values.V[k] < 0) v = "(0" + v + ")";
    AnsiString out;
    StrCon->ReplaceText(kFieldCodes[k], v, out, s);
    s = out;
  }
  return s;
}

AnsiString CalcLogLine(const AnsiString& gn, const AnsiString& resultDesc, const AnsiString& formulaDesc,
                       const AnsiString& conditionDesc) {
  AnsiString line = gn + ": " + StrCon->PadText(resultDesc, 20, ' ') + "公式:" + formulaDesc;
  if (!conditionDesc.Trim().empty()) line += "    [条件:" + conditionDesc + "]";
  return line + "\r\n";
}

TGzCalcOutcome GzCalcRow(const TGzCalcTables& t, const AnsiString& gn, const AnsiString& logPath) {
  TCalcLog log(logPath);
  TPayValues values;
  for (int k = 1; k <= kPayFieldCount; ++k) values.V[k] = t.Gzk->FieldByName(kFieldCodes[k])->AsFloat();

  AnsiString trace;
  TUdbTable* js = t.JsGsk;
  {
    // The formula editor's row loader need not follow the walk.
    TControlsDisabler quiet(js);
    js->SetFiltered(false);
    TField* fGnName = js->FieldByName("GNNAME");
    TField* fGsStr = js->FieldByName("GSSTR");
    TField* fTjStr = js->FieldByName("TJSTR");
    TField* fGsRlt = js->FieldByName("GSRLT");
    TField* fRltDesc = js->FieldByName("GSRLTDESC");
    TField* fStrDesc = js->FieldByName("GSSTRDESC");
    TField* fTjDesc = js->FieldByName("TJDESC");
    for (js->First(); !js->Eof(); js->Next()) {
      const AnsiString tjStr = fTjStr->AsString();
      const AnsiString gsStr = fGsStr->AsString();
      const std::vector<AnsiString> conds = Items(tjStr);
      const std::vector<AnsiString> forms = Items(gsStr);
      const size_t nT = conds.size(), nG = forms.size();
      if (fGnName->AsString() != gn || !(nT == nG || nT + nG == 1)) continue;
      if (log.On()) log.Write(CalcLogLine(gn, fRltDesc->AsString(), fStrDesc->AsString(), fTjDesc->AsString()));

      AnsiString prefix;
      {
        AnsiString first, second, third;
        StrCon->GetDelimitedField(tjStr, 1, first, '=');
        StrCon->GetDelimitedField(tjStr, 2, second, '=');
        StrCon->GetDelimitedField(tjStr, 3, third, '=');
        if (!first.empty() && !second.empty() && third.empty()) prefix = first;
      }

      std::vector<bool> c(std::max<size_t>(nT, 1), false);
      for (size_t i = 0; i < nT; ++i) {
        AnsiString item = conds[i];
        if (!prefix.empty() && i > 0) item = prefix + "=" + item;
        if (item.empty() || item == " ") {
          c[i] = true;
          continue;
        }
        const AnsiString substituted = SubstituteFields(item, values, false);
        trace = "条件:" + substituted;
        bool value = false, error = false;
        StrCon->EvaluateCondition(substituted, t.Gzk, value, error);
        if (error) {
          ShowMessage("条件公式有错！条件:" + substituted);
          return TGzCalcOutcome::ConditionError;
        }
        c[i] = value;
      }

      for (size_t i = 0; i < nG; ++i) {
        if (i >= c.size() || !c[i]) continue;
        double r = 0;
        if (!TryStrToFloat(forms[i], r)) {
          const AnsiString substituted = SubstituteFields(forms[i], values, true);
          trace += "计算:" + substituted;
          bool error = false;
          StrCon->EvaluateFormula(substituted, t.Gzk, r, error);
          if (error) {
            ShowMessage("计算公式有错！" + trace + "\r" + forms[i]);
            return TGzCalcOutcome::FormulaError;
          }
        }
        const AnsiString gsrlt = fGsRlt->AsString();
        values.V[ResultIndexChecked(gsrlt)] = RoundToCents(r);
        trace += "结果:" + gsrlt;
      }
    }
  }
  WriteBack(t, values);
  return TGzCalcOutcome::Written;
}

}  // namespace payroll
