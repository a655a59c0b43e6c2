// TMaskEdit: typing into a fixed layout of positions.
#include "platform/ui/Mask.h"

#include <QLineEdit>
#include <cctype>

#include "platform/core/AnsiText.h"
#include "platform/ui/QtText.h"


TCustomMaskEdit::TCustomMaskEdit(TComponent* owner) : TCustomEdit(owner) {}

void TCustomMaskEdit::ParseMask() {
  positions_.clear();
  AnsiString m = MaskGetMaskText(editMask_);
  char caseRule = 0;
  for (size_t i = 0; i < m.size(); ++i) {
    auto c = static_cast<unsigned char>(m[i]);
    if (IsDBCSLeadByte(c) && i + 1 < m.size()) {
      positions_.push_back({});
      positions_.push_back({});
      ++i;
      continue;
    }
    switch (c) {
      case '!': continue;
      case '>': caseRule = '>'; continue;
      case '<':
        if (i + 1 < m.size() && m[i + 1] == '>') {
          caseRule = 0;
          ++i;
        } else {
          caseRule = '<';
        }
        continue;
      case '\\':
        if (i + 1 < m.size()) ++i;
        positions_.push_back({});
        continue;
      case 'L': case 'l': case 'A': case 'a': case 'C': case 'c': case '0': case '9': case '#':
        positions_.push_back({static_cast<char>(c), caseRule});
        continue;
      default:
        positions_.push_back({});  // literals, separators and '_'
    }
  }
}

void TCustomMaskEdit::SetEditMask(const AnsiString& mask) {
  AnsiString value = GetText();
  editMask_ = mask;
  ParseMask();
  if (IsMasked())
    TCustomEdit::SetTextValue(Display(value));
  else
    TCustomEdit::SetTextValue(value);
}

AnsiString TCustomMaskEdit::Display(const AnsiString& value) const {
  AnsiString shown = FormatMaskText(editMask_, value);
  char blank = MaskGetMaskBlank(editMask_);
  shown.resize(positions_.size(), ' ');
  for (size_t i = 0; i < positions_.size(); ++i)
    if (positions_[i].kind && shown[i] == ' ') shown[i] = blank;
  return shown;
}

AnsiString TCustomMaskEdit::EditText() const { return TCustomEdit::GetText(); }

void TCustomMaskEdit::SetEditText(const AnsiString& text) { TCustomEdit::SetTextValue(text); }

AnsiString TCustomMaskEdit::GetText() const {
  if (!IsMasked()) return TCustomEdit::GetText();
  return MaskGetValue(editMask_, TCustomEdit::GetText());
}

void TCustomMaskEdit::SetTextValue(const AnsiString& text) {
  if (!IsMasked()) {
    TCustomEdit::SetTextValue(text);
    return;
  }
  TCustomEdit::SetTextValue(Display(text));
}

int TCustomMaskEdit::NextTyped(int from) const {
  for (int i = std::max(from, 0); i < static_cast<int>(positions_.size()); ++i)
    if (positions_[static_cast<size_t>(i)].kind) return i;
  return -1;
}

bool TCustomMaskEdit::Accepts(const TPosition& p, unsigned char b) const {
  bool letter = std::isalpha(b) || b >= 0x80;
  bool digit = std::isdigit(b);
  switch (p.kind) {
    case 'L': case 'l': return letter;
    case 'A': case 'a': return letter || digit;
    case 'C': case 'c': return b >= 0x20;
    case '0': case '9': return digit;
    case '#': return digit || b == '+' || b == '-';
    default: return false;
  }
}

// Writes bytes over the shown text at byte offset at and puts the cursor
// on the next typed position.
void TCustomMaskEdit::Put(int at, const AnsiString& bytes) {
  AnsiString shown = EditText();
  shown.resize(positions_.size(), ' ');
  shown.replace(static_cast<size_t>(at), bytes.size(), bytes);
  SetEditText(shown);
  int next = NextTyped(at + static_cast<int>(bytes.size()));
  SetSelStart(next < 0 ? static_cast<int>(positions_.size()) : next);
  SetModified(true);
}

void TCustomMaskEdit::KeyPress(char& key) {
  TCustomEdit::KeyPress(key);
  if (!IsMasked() || key == 0 || ReadOnly()) return;
  auto b = static_cast<unsigned char>(key);
  key = 0;  // the mask places every byte itself
  if (b == 8) {
    // Back space: the typed position before the cursor becomes blank.
    int at = SelStart() - 1;
    while (at >= 0 && !positions_[static_cast<size_t>(at)].kind) --at;
    if (at < 0) return;
    AnsiString shown = EditText();
    shown[static_cast<size_t>(at)] = MaskGetMaskBlank(editMask_);
    SetEditText(shown);
    SetSelStart(at);
    SetModified(true);
    return;
  }
  if (b < 0x20) return;
  AnsiString bytes;
  if (pendingLead_) {
    bytes += static_cast<char>(pendingLead_);
    bytes += static_cast<char>(b);
    pendingLead_ = 0;
  } else if (IsDBCSLeadByte(b)) {
    pendingLead_ = b;
    return;
  } else {
    bytes += static_cast<char>(b);
  }
  int at = NextTyped(SelStart());
  if (at < 0) return;
  // A double-byte character takes two typed positions side by side.
  for (size_t k = 0; k < bytes.size(); ++k) {
    size_t pos = static_cast<size_t>(at) + k;
    if (pos >= positions_.size() || !Accepts(positions_[pos], static_cast<unsigned char>(bytes[k]))) return;
  }
  char rule = positions_[static_cast<size_t>(at)].caseRule;
  if (rule == '>') bytes = AnsiUpperCase(bytes);
  if (rule == '<') bytes = AnsiLowerCase(bytes);
  Put(at, bytes);
}

void TCustomMaskEdit::KeyDown(std::uint16_t& key, TShiftState shift) {
  TCustomEdit::KeyDown(key, shift);
  if (!IsMasked() || key != VK_DELETE || ReadOnly()) return;
  key = 0;
  int at = NextTyped(SelStart());
  if (at < 0) return;
  AnsiString shown = EditText();
  shown[static_cast<size_t>(at)] = MaskGetMaskBlank(editMask_);
  SetEditText(shown);
  SetSelStart(at);
  SetModified(true);
}

void TCustomMaskEdit::ValidateEdit() {
  if (!IsMasked()) return;
  AnsiString shown = EditText();
  if (int bad = MaskValidateText(editMask_, shown); bad != 0) {
    SetSelStart(bad - 1);
    throw EDBEditError("Invalid input value");
  }
}

void TCustomMaskEdit::DoExit() {
  if (IsMasked() && Modified()) {
    try {
      ValidateEdit();
    } catch (...) {
      SetFocus();
      throw;
    }
  }
  TCustomEdit::DoExit();
}

PAYROLL_PUBLISH(TCustomMaskEdit) {
  p.Property("EditMask", &TCustomMaskEdit::EditMask, &TCustomMaskEdit::SetEditMask);
}
PAYROLL_PUBLISH(TMaskEdit) {}
