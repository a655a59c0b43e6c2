// TrbFmtForm: the display-format editor of a text object.  Edits the
// 32-bit display-format code and the custom format text beside it.
// Calls platform/ui (forms, controls) and the report's resource strings.
//
// Display-format code:
//   bits 24-27  category: 0 text, 1 number, 2 date, 3 time, 4 boolean
//   bits 16-23  type within the category (0-4; 4 is custom except for text)
//   bits  8-15  decimals (numbers), 0-255
//   bits  0-7   character code of the decimal separator (numbers)
// Category names are resource strings 55130-55134; the type names of
// category c are 55150 + 5c + t, absent ones skipped.
//
// Usage:
//   int code = 0x01000000; AnsiString custom;
//   if (rbEditFormat(code, custom)) ...   // number, type 2, 2 decimals,
//                                         // separator "" -> 0x0102022C
#pragma once

#include <vector>

#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

// The code's parts.
constexpr int rbFormatCategory(int code) { return (code >> 24) & 0x0F; }
constexpr int rbFormatType(int code) { return (code >> 16) & 0xFF; }
constexpr int rbFormatDecimals(int code) { return (code >> 8) & 0xFF; }
constexpr int rbFormatSeparator(int code) { return code & 0xFF; }

class TrbFmtForm : public TForm {
 public:
  explicit TrbFmtForm(TComponent* owner);

  // Given before showing; the result after OK.
  int Format = 0;
  AnsiString FormatStr;

  TListBox* CatLB;
  TListBox* TypeLB;
  TLabel* DecLabel;
  TEdit* DecEdit;
  TLabel* SplLabel;
  TEdit* SplEdit;
  TLabel* FormatLabel;
  TEdit* FormatEdit;
  TButton* OKBtn;
  TButton* CancelBtn;

  // Activation: the lists and edits show Format and FormatStr.
  void FormActivate();
  // A category chosen: its types, the first one selected.
  void CatLBClick();
  // A type chosen: the edits follow.
  void TypeLBClick();
  // The code the controls stand for; raises EConvertError naming the
  // decimals when they are a number outside 0 to 255.
  int ControlsFormat() const;

 private:
  void FillTypes(int category);
  void UpdateEdits();
  int SelectedType() const;
  std::vector<int> types_;  // type code of each row of TypeLB
};

// Shows the editor; true with format and formatStr changed when confirmed.
bool rbEditFormat(int& format, AnsiString& formatStr);
