// TrbPrintForm (see ReportPrintDialog.h).
#include "report/ReportPrintDialog.h"

#include <memory>

#include "platform/core/NumFormat.h"
#include "platform/ui/Canvas.h"
#include "report/ReportFormsInt.h"
#include "report/ReportPrinter.h"

using namespace rbforms;

TrbPrintForm::TrbPrintForm(TComponent* owner, int currentPage)
    : TForm(owner), currentPage_(currentPage), oldIndex_(rbPrinter()->PrinterIndex()) {
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetCaption("打印");
  SetClientWidth(404);
  SetClientHeight(236);

  auto* printerBox = Place<TGroupBox>(this, 8, 4, 388, 56);
  printerBox->SetCaption("打印机");
  Label(printerBox, 8, 24, "名称(&N):");
  CB1 = Place<TComboBox>(printerBox, 72, 20, 220, 21);
  CB1->SetStyle(csDropDownList);
  CB1->SetItems(rbPrinter()->Printers());
  CB1->SetItemIndex(rbPrinter()->PrinterIndex());
  PropButton = Button(printerBox, 302, 18, "属性", mrNone);

  auto* rangeBox = Place<TGroupBox>(this, 8, 64, 220, 132);
  rangeBox->SetCaption("页范围");
  RB1 = Place<TRadioButton>(rangeBox, 8, 18, 120, 17);
  RB1->SetCaption("全部(&A)");
  RB1->SetChecked(true);
  RB2 = Place<TRadioButton>(rangeBox, 8, 38, 120, 17);
  RB2->SetCaption("当前页(&g)");
  RB3 = Place<TRadioButton>(rangeBox, 8, 58, 64, 17);
  RB3->SetCaption("页(&P):");
  E2 = Place<TEdit>(rangeBox, 76, 56, 136, 21);
  E2->SetHint("输入页号或页范围,逗号分隔.例如: 1,3,5-12");
  E2->SetShowHint(true);
  Label(rangeBox, 8, 86, "打印(&r)");
  CB2 = Place<TComboBox>(rangeBox, 76, 82, 136, 21);
  CB2->SetStyle(csDropDownList);
  for (const char* s : {"全部页", "奇数页", "偶数页"}) CB2->Items()->Add(s);
  CB2->SetItemIndex(0);

  auto* copiesBox = Place<TGroupBox>(this, 236, 64, 160, 132);
  copiesBox->SetCaption("打印份数");
  Label(copiesBox, 8, 22, "打印份数(&c):");
  E1 = Place<TEdit>(copiesBox, 88, 18, 40, 21);
  E1->SetText("1");
  rbSpeedButton1 = Place<TSpeedButton>(copiesBox, 130, 18, 20, 10);
  rbSpeedButton1->SetCaption("+");
  rbSpeedButton2 = Place<TSpeedButton>(copiesBox, 130, 29, 20, 10);
  rbSpeedButton2->SetCaption("-");
  PB1 = Place<TPaintBox>(copiesBox, 8, 46, 92, 56);
  CollateCB = Place<TCheckBox>(copiesBox, 8, 106, 140, 17);
  CollateCB->SetCaption("逐份打印(&l)");

  OKBtn = Button(this, 240, 204, "确认", mrOk);
  OKBtn->SetDefault(true);
  CancelBtn = Button(this, 321, 204, "取消", mrCancel);
  CancelBtn->SetCancel(true);

  CB1->OnChange = [this](TObject*) {
    if (CB1->ItemIndex() >= 0) rbPrinter()->SetPrinterIndex(CB1->ItemIndex());
  };
  PropButton->OnClick = [](TObject*) { rbPrinter()->PrinterProperties(); };
  E2->OnEnter = [this](TObject*) { RB3->SetChecked(true); };
  RB3->OnClick = [this](TObject*) {
    if (E2->CanFocus()) E2->SetFocus();
  };
  rbSpeedButton1->OnClick = [this](TObject*) { E1->SetText(IntToStr(Copies() + 1)); };
  rbSpeedButton2->OnClick = [this](TObject*) { E1->SetText(IntToStr(std::max(1, Copies() - 1))); };
  CollateCB->OnClick = [this](TObject*) { PB1->Invalidate(); };
  PB1->OnPaint = [this](TObject*) { PaintCollate(); };
  OnClose = [this](TObject*, TCloseAction&) {
    // Without OK the printer chosen on opening is current again.
    if (ModalResult() != mrOk && rbPrinter()->PrinterIndex() != oldIndex_) rbPrinter()->SetPrinterIndex(oldIndex_);
  };
}

int TrbPrintForm::Copies() const { return std::max(1, StrToIntDef(E1->Text().Trim(), 1)); }

AnsiString TrbPrintForm::PageNumbers() const {
  if (RB2->Checked()) return IntToStr(currentPage_);
  if (RB3->Checked()) return E2->Text();
  return AnsiString();
}

TrbPrintPages TrbPrintForm::PrintPages() const {
  int i = CB2->ItemIndex();
  return i == 1 ? ppOdd : i == 2 ? ppEven : ppAll;
}

// Collated: two sets of three sheets (74 x 53); uncollated: three pairs of
// equal sheets (92 x 40).
void TrbPrintForm::PaintCollate() {
  TCanvas* c = PB1->Canvas();
  c->Brush()->SetColor(clBtnFace);
  c->FillRect(TRect(0, 0, PB1->Width(), PB1->Height()));
  c->Pen()->SetColor(clBlack);
  c->Font()->SetSize(7);
  auto sheet = [c](int x, int y, int n) {
    c->Brush()->SetColor(clWhite);
    c->Rectangle(x, y, x + 16, y + 22);
    c->Brush()->SetStyle(bsClear);
    c->TextOut(x + 5, y + 6, IntToStr(n));
    c->Brush()->SetStyle(bsSolid);
  };
  if (Collate()) {
    for (int set = 0; set < 2; ++set)
      for (int n = 3; n >= 1; --n) sheet(set * 38 + (n - 1) * 6, 31 - (n - 1) * 6 - 4, n);
  } else {
    for (int n = 1; n <= 3; ++n)
      for (int k = 1; k >= 0; --k) sheet((n - 1) * 30 + k * 6, 18 - k * 6, n);
  }
}

bool rbShowPrintDialog(int currentPage, int& copies, bool& collate, AnsiString& pageNumbers,
                       TrbPrintPages& printPages) {
  auto form = std::make_unique<TrbPrintForm>(nullptr, currentPage);
  form->E1->SetText(IntToStr(std::max(1, copies)));
  form->CollateCB->SetChecked(collate);
  if (form->ShowModal() != mrOk) return false;
  copies = form->Copies();
  collate = form->Collate();
  pageNumbers = form->PageNumbers();
  printPages = form->PrintPages();
  return true;
}
