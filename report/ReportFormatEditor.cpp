// TrbFmtForm (see ReportFormatEditor.h).
#include "report/ReportFormatEditor.h"

#include <memory>

#include "platform/core/NumFormat.h"
#include "report/ReportFormsInt.h"
#include "report/ReportFunctions.h"
#include "report/ReportWindowPos.h"

using namespace rbforms;

namespace {

constexpr int kCategoryNameId = 55130;
constexpr int kTypeNameId = 55150;
constexpr int kCategories = 5;
constexpr int kNumberCategory = 1;
constexpr int kCustomType = 4;

}  // namespace

TrbFmtForm::TrbFmtForm(TComponent* owner) : TForm(owner) {
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetCaption(rbLoadStr(53420));
  SetClientWidth(348);
  SetClientHeight(190);
  CatLB = Place<TListBox>(this, 8, 8, 110, 140);
  TypeLB = Place<TListBox>(this, 126, 8, 120, 140);
  DecLabel = Label(this, 256, 8, rbLoadStr(53422));
  DecEdit = Place<TEdit>(this, 256, 26, 84, 21);
  SplLabel = Label(this, 256, 54, rbLoadStr(53423));
  SplEdit = Place<TEdit>(this, 256, 72, 84, 21);
  SplEdit->SetMaxLength(1);
  FormatLabel = Label(this, 8, 160, rbLoadStr(53424));
  FormatEdit = Place<TEdit>(this, 60, 156, 186, 21);
  OKBtn = Button(this, 260, 120, "确认", mrNone);
  OKBtn->SetDefault(true);
  CancelBtn = Button(this, 260, 152, "取消", mrCancel);
  CancelBtn->SetCancel(true);
  CatLB->OnClick = [this](TObject*) { CatLBClick(); };
  TypeLB->OnClick = [this](TObject*) { TypeLBClick(); };
  // Filled when shown, not at every activation: the message box of a
  // refused OK reactivates the dialog and must not undo the user's choices.
  OnShow = [this](TObject*) { FormActivate(); };
  OKBtn->OnClick = [this](TObject*) {
    try {
      int code = ControlsFormat();
      Format = code;
      if (FormatEdit->Enabled()) FormatStr = FormatEdit->Text();
      SetModalResult(mrOk);
    } catch (const EConvertError& e) {
      MessageBox(e.Message(), "错误", MB_OK | MB_ICONERROR);
      DecEdit->SetFocus();
    }
  };
}

void TrbFmtForm::FormActivate() {
  CatLB->Items()->Clear();
  for (int c = 0; c < kCategories; ++c) CatLB->Items()->Add(rbLoadStr(kCategoryNameId + c));
  int category = rbFormatCategory(Format);
  if (category >= kCategories) category = 0;
  CatLB->SetItemIndex(category);
  FillTypes(category);
  int row = 0;
  for (size_t i = 0; i < types_.size(); ++i)
    if (types_[i] == rbFormatType(Format)) row = static_cast<int>(i);
  TypeLB->SetItemIndex(row);
  UpdateEdits();
}

void TrbFmtForm::FillTypes(int category) {
  TypeLB->Items()->Clear();
  types_.clear();
  for (int t = 0; t <= kCustomType; ++t) {
    AnsiString name = rbLoadStr(kTypeNameId + 5 * category + t);
    if (name.empty()) continue;
    TypeLB->Items()->Add(name);
    types_.push_back(t);
  }
}

void TrbFmtForm::CatLBClick() {
  FillTypes(std::max(0, CatLB->ItemIndex()));
  TypeLB->SetItemIndex(0);
  UpdateEdits();
}

void TrbFmtForm::TypeLBClick() { UpdateEdits(); }

int TrbFmtForm::SelectedType() const {
  int row = TypeLB->ItemIndex();
  return row >= 0 && row < static_cast<int>(types_.size()) ? types_[static_cast<size_t>(row)] : 0;
}

// Decimals and separator belong to numbers, the custom text to type 4.
void TrbFmtForm::UpdateEdits() {
  bool number = CatLB->ItemIndex() == kNumberCategory;
  for (TControl* c : {static_cast<TControl*>(DecEdit), static_cast<TControl*>(SplEdit),
                      static_cast<TControl*>(DecLabel), static_cast<TControl*>(SplLabel)})
    c->SetEnabled(number);
  if (number) {
    DecEdit->SetText(IntToStr(rbFormatDecimals(Format)));
    int sep = rbFormatSeparator(Format);
    SplEdit->SetText(sep ? AnsiString(1, static_cast<char>(sep)) : AnsiString());
  } else {
    DecEdit->SetText("");
    SplEdit->SetText("");
  }
  bool custom = SelectedType() == kCustomType;
  FormatEdit->SetEnabled(custom);
  FormatLabel->SetEnabled(custom);
  FormatEdit->SetText(custom ? FormatStr : AnsiString());
}

int TrbFmtForm::ControlsFormat() const {
  int category = std::max(0, CatLB->ItemIndex());
  // Decimals that are not a number count as 0; a number outside 0..255
  // would spill into the type and category bits, so it is refused.
  AnsiString text = DecEdit->Text().Trim();
  size_t digits = text.empty() || (text[0] != '-' && text[0] != '+') ? 0 : 1;
  bool number = text.size() > digits && text.find_first_not_of("0123456789", digits) == AnsiString::npos;
  std::int64_t decimals = 0;
  if (number && (!TryStrToInt64(text, decimals) || decimals < 0 || decimals > 255))
    throw EConvertError("小数位数必须在 0 到 255 之间: " + text);
  if (!number) decimals = 0;
  AnsiString sep = SplEdit->Text();
  int separator = sep.empty() ? ',' : static_cast<unsigned char>(sep[0]);
  return (category << 24) + (SelectedType() << 16) + (static_cast<int>(decimals) << 8) + separator;
}

bool rbEditFormat(int& format, AnsiString& formatStr) {
  auto form = std::make_unique<TrbFmtForm>(nullptr);
  form->Format = format;
  form->FormatStr = formatStr;
  if (form->ShowModal() != mrOk) return false;
  format = form->Format;
  formatStr = form->FormatStr;
  return true;
}
