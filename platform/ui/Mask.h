// Mask: TMaskEdit, an edit whose text follows an edit mask (the mask
// language of platform/core/MaskUtils.h).
//
// With a mask, the edit always shows every position: literals in place,
// empty positions as the mask's blank character.  Typing overwrites the
// position at the cursor and skips literals; a character the position does
// not accept is refused.  Text is the value the mask stores (with or
// without the literals, MaskGetValue); EditText is what the edit shows.
// Leaving the control checks the text: a required position left empty
// raises EDBEditError "Invalid input value" (ValidateEdit) and keeps the
// focus.  Without a mask it is a plain edit.
#pragma once

#include "platform/core/TypInfo.h"

#include <vector>

#include "platform/core/MaskUtils.h"
#include "platform/ui/StdCtrls.h"

PAYROLL_DECLARE_EXCEPTION(EDBEditError, Exception)

class TCustomMaskEdit : public TCustomEdit {
  PAYROLL_CLASS(TCustomMaskEdit, TCustomEdit)

 public:
  explicit TCustomMaskEdit(TComponent* owner);
  const AnsiString& EditMask() const { return editMask_; }
  void SetEditMask(const AnsiString& mask);
  bool IsMasked() const { return !MaskGetMaskTextOf().IsEmpty(); }
  // The shown text, literals and blanks included.
  AnsiString EditText() const;
  void SetEditText(const AnsiString& text);
  // Raises EDBEditError when the shown text does not satisfy the mask.
  virtual void ValidateEdit();

 protected:
  AnsiString GetText() const override;
  void SetTextValue(const AnsiString& text) override;
  void KeyPress(char& key) override;
  void KeyDown(std::uint16_t& key, TShiftState shift) override;
  void DoExit() override;

 private:
  // One shown byte of the mask: the mask character of a typed position
  // (L, l, A, a, C, c, 0, 9, #) with its case rule, or 0 for a literal.
  struct TPosition {
    char kind = 0;
    char caseRule = 0;  // '>' upper, '<' lower, 0 as typed
  };
  AnsiString MaskGetMaskTextOf() const { return MaskGetMaskText(editMask_); }
  void ParseMask();
  // The shown text for a stored value.
  AnsiString Display(const AnsiString& value) const;
  int NextTyped(int from) const;
  bool Accepts(const TPosition& p, unsigned char byte) const;
  void Put(int at, const AnsiString& bytes);
  AnsiString editMask_;
  std::vector<TPosition> positions_;
  unsigned char pendingLead_ = 0;
};

class TMaskEdit : public TCustomMaskEdit {
  PAYROLL_CLASS(TMaskEdit, TCustomMaskEdit)

 public:
  explicit TMaskEdit(TComponent* owner) : TCustomMaskEdit(owner) {}
};
