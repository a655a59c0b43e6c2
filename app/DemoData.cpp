// DemoData: a payroll data folder from its description.  See DemoData.h.
#include "app/DemoData.h"

#include <algorithm>
#include <memory>
#include <sstream>
#include <vector>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "app/BonusSheet.h"
#include "app/PayrollSchema.h"
#include "platform/core/CodePage.h"
#include "platform/core/Files.h"
#include "platform/data/Fields.h"

namespace payroll {

namespace {

// A UTF-8 text in code page 936; plain ASCII (codes, numbers: most
// values of a large description) is the same in both and is not passed
// through the converter.
AnsiString FromUtf8(std::string_view text) {
  const bool ascii =
      std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  return ascii ? AnsiString(text) : Utf8ToAnsi(text);
}

// The parts of a UTF-8 line between its bars, each in code page 936.  The
// line is split before it is converted: in code page 936 the second byte
// of a character such as 瑋 is the bar's byte.
std::vector<AnsiString> SplitBars(const std::string& line) {
  std::vector<AnsiString> parts;
  size_t start = 0;
  for (;;) {
    const size_t p = line.find('|', start);
    const size_t length = p == std::string::npos ? std::string::npos : p - start;
    parts.emplace_back(FromUtf8(std::string_view(line).substr(start, length)));
    if (p == std::string::npos) return parts;
    start = p + 1;
  }
}

[[noreturn]] void Malformed(int lineNo, const AnsiString& why) {
  throw EDemoDataError("description line " + std::to_string(lineNo) + ": " + why);
}

void SetValue(TField* field, const AnsiString& value) {
  if (value.empty()) return;
  if (field->DataType() == ftBoolean)
    field->SetAsBoolean(value == "1");
  else
    field->SetAsString(value);
}

class TLoader {
 public:
  explicit TLoader(TUdbDataBase& db) : db_(db) {}

  // One line of the description, still in UTF-8.
  void Line(const std::string& rawLine, int lineNo) {
    std::string line = rawLine;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') return;
    if (line[0] == '[') {
      if (line.back() != ']') Malformed(lineNo, "section header without ]");
      StartTable(FromUtf8(std::string_view(line).substr(1, line.size() - 2)), lineNo);
      return;
    }
    if (!table_) Malformed(lineNo, "row outside a table section");
    if (fields_.empty()) {
      for (const AnsiString& name : SplitBars(line)) {
        TField* f = table_->FindField(name);
        if (!f) Malformed(lineNo, "table " + table_->TableName() + " has no field " + name);
        fields_.push_back(f);
      }
      return;
    }
    const std::vector<AnsiString> values = SplitBars(line);
    if (values.size() != fields_.size()) Malformed(lineNo, "the row does not have one value per field");
    table_->Append();
    for (size_t i = 0; i < values.size(); ++i) SetValue(fields_[i], values[i]);
    table_->Post();
  }

  void Finish() { Close(); }

 private:
  void StartTable(const AnsiString& name, int lineNo) {
    Close();
    const auto& names = PayrollTableNames();
    if (std::find(names.begin(), names.end(), name) == names.end())
      Malformed(lineNo, "no payroll table " + name);
    table_ = std::make_unique<TUdbTable>();
    table_->SetDataBase(&db_);
    table_->SetTableName(name);
    table_->Open();
  }
  void Close() {
    if (table_) table_->Close();
    table_.reset();
    fields_.clear();
  }

  TUdbDataBase& db_;
  std::unique_ptr<TUdbTable> table_;
  std::vector<TField*> fields_;
};

AnsiString WithCrLf(const AnsiString& text) {
  AnsiString out;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace

void BuildPayrollFolder(const std::string& descriptionText, const std::string& iniText,
                        const AnsiString& targetDir) {
  const AnsiString dir = IncludeTrailingPathDelimiter(targetDir);
  if (!DirectoryExists(dir) && !ForceDirectories(dir)) throw EDemoDataError("cannot create the folder " + dir);
  DeleteFile(dir + kDatabaseName);
  DeleteFile(ChangeFileExt(dir + kDatabaseName, ".lck"));

  TUdbDataBase db;
  db.SetDirectory(dir);
  db.SetDataBaseName(kDatabaseName);
  db.SetEncrypted(true);
  db.SetMasterKey(kMasterKey);
  db.CreateDatabase();
  db.SetMasterKey(kMasterKey);
  db.SetConnected(true);
  CreatePayrollTables(db);
  {
    TLoader loader(db);
    std::istringstream in(descriptionText);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) loader.Line(line, ++lineNo);
    loader.Finish();
  }
  db.SetConnected(false);
  WriteFileAtomically(dir + kSettingsName, WithCrLf(Utf8ToAnsi(iniText)));
  WriteBonusTemplate(dir + kBonusTemplate);
  // The bank's card files go to "dept", the worksheets to "backxls" and
  // the monthly backups to "BackDB" of the program's folder (the first two
  // unless the operator picks another); the commands do not create them,
  // so a delivered folder carries them.
  for (const char* sub : {"dept", "backxls", "BackDB"}) {
    const AnsiString out = dir + sub;
    if (!DirectoryExists(out) && !ForceDirectories(out)) throw EDemoDataError("cannot create the folder " + out);
  }
}

}  // namespace payroll
