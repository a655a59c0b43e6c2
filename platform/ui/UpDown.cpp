// TUpDown: two arrow buttons stepping a position, shown in an associated
// control.
#include <algorithm>
#include <string>

#include "platform/ui/ComCtrls.h"
#include "platform/ui/Frames3D.h"

TUpDown::TUpDown(TComponent* owner) : TCustomControl(owner) {
  SetBounds(0, 0, 17, 25);
  SetTabStop(false);
}

TUpDown::~TUpDown() {
  Destroying();
  UnhookAssociate();
}

void TUpDown::SetMin(int v) {
  min_ = v;
  SetPosition(position_);
}

void TUpDown::SetMax(int v) {
  max_ = v;
  SetPosition(position_);
}

// Min may be above Max (the buttons then count down); the position stays
// between the two.
void TUpDown::SetPosition(int v) {
  int lo = std::min(min_, max_), hi = std::max(min_, max_);
  position_ = std::clamp(v, lo, hi);
  ShowInAssociate();
}

void TUpDown::SetThousands(bool v) {
  thousands_ = v;
  ShowInAssociate();
}

void TUpDown::SetOrientation(TUDOrientation o) {
  orientation_ = o;
  Invalidate();
}

void TUpDown::SetAlignButton(TUDAlignButton a) {
  alignButton_ = a;
  PlaceAtAssociate();
}

void TUpDown::SetAssociate(TWinControl* control) {
  if (control == associate_) return;
  UnhookAssociate();
  associate_ = control;
  if (associate_) {
    associate_->FreeNotification(this);
    if (!IsLoading()) {
      HookAssociate();
      PlaceAtAssociate();
      ShowInAssociate();
    }
  }
}

void TUpDown::Loaded() {
  TCustomControl::Loaded();
  if (associate_) {
    HookAssociate();
    PlaceAtAssociate();
    ShowInAssociate();
  }
}

// Up and Down typed in the associate step the position.
void TUpDown::HookAssociate() {
  if (!associate_) return;
  associateKeyDown_ = associate_->OnKeyDown;
  associate_->OnKeyDown = [this](TObject* sender, std::uint16_t& key, TShiftState shift) {
    if (associateKeyDown_) associateKeyDown_(sender, key, shift);
    if (arrowKeys_ && (key == VK_UP || key == VK_DOWN) && shift.Empty()) {
      Step(key == VK_UP ? btNext : btPrev);
      key = 0;
    }
  };
}

void TUpDown::UnhookAssociate() {
  if (!associate_) return;
  associate_->OnKeyDown = associateKeyDown_;
  associateKeyDown_ = nullptr;
}

void TUpDown::PlaceAtAssociate() {
  if (!associate_ || IsLoading()) return;
  if (associate_->Parent() && Parent() != associate_->Parent()) SetParent(associate_->Parent());
  int left = alignButton_ == udRight ? associate_->Left() + associate_->Width() : associate_->Left() - Width();
  SetBounds(left, associate_->Top(), Width(), associate_->Height());
}

void TUpDown::ShowInAssociate() {
  if (!associate_ || IsLoading()) return;
  std::string digits = std::to_string(position_ < 0 ? -static_cast<long long>(position_) : position_);
  // Built from the right: a separator before every third digit.
  std::string shown;
  for (size_t i = 0; i < digits.size(); ++i) {
    size_t left = digits.size() - i;
    shown.push_back(digits[i]);
    if (thousands_ && left > 1 && (left - 1) % 3 == 0) shown.push_back(',');
  }
  if (position_ < 0) shown.insert(shown.begin(), '-');
  associate_->SetText(AnsiString(shown));
}

void TUpDown::Step(TUDBtnType button) {
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  if (allow) {
    int lo = std::min(min_, max_), hi = std::max(min_, max_);
    int dir = (button == btNext) == (max_ >= min_) ? 1 : -1;
    long long next = static_cast<long long>(position_) + dir * static_cast<long long>(increment_);
    if (next > hi) next = wrap_ ? lo : hi;
    if (next < lo) next = wrap_ ? hi : lo;
    position_ = static_cast<int>(next);
    ShowInAssociate();
  }
  if (OnClick) OnClick(this, button);
}

void TUpDown::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseDown(button, shift, x, y);
  if (button != mbLeft || !Enabled()) return;
  // Upper (vertical) or right (horizontal) half: the next value.
  bool next = orientation_ == udVertical ? y < Height() / 2 : x >= Width() / 2;
  pressed_ = next ? btNext : btPrev;
  Invalidate();
  Step(next ? btNext : btPrev);
}

void TUpDown::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseUp(button, shift, x, y);
  pressed_ = -1;
  Invalidate();
}

void TUpDown::KeyDown(std::uint16_t& key, TShiftState shift) {
  TCustomControl::KeyDown(key, shift);
  if (!arrowKeys_ || !shift.Empty()) return;
  if (key == VK_UP || key == VK_RIGHT) Step(btNext), key = 0;
  else if (key == VK_DOWN || key == VK_LEFT) Step(btPrev), key = 0;
}

void TUpDown::Paint() {
  TCanvas* c = Canvas();
  int w = Width(), h = Height();
  TRect first, second;  // first: btNext
  unsigned nextArrow, prevArrow;
  if (orientation_ == udVertical) {
    first = Rect(0, 0, w, h / 2);
    second = Rect(0, h / 2, w, h);
    nextArrow = DFCS_SCROLLUP;
    prevArrow = DFCS_SCROLLDOWN;
  } else {
    first = Rect(w / 2, 0, w, h);
    second = Rect(0, 0, w / 2, h);
    nextArrow = DFCS_SCROLLRIGHT;
    prevArrow = DFCS_SCROLLLEFT;
  }
  unsigned state = Enabled() ? 0 : DFCS_INACTIVE;
  DrawFrameControl(c, first, DFC_SCROLL, nextArrow | state | (pressed_ == btNext ? DFCS_PUSHED : 0));
  DrawFrameControl(c, second, DFC_SCROLL, prevArrow | state | (pressed_ == btPrev ? DFCS_PUSHED : 0));
}

void TUpDown::Notification(TComponent* component, TOperation operation) {
  TCustomControl::Notification(component, operation);
  if (operation == opRemove && component == associate_) {
    associateKeyDown_ = nullptr;
    associate_ = nullptr;
  }
}

PAYROLL_PUBLISH(TUpDown) {
  p.Property("AlignButton", &TUpDown::AlignButton, &TUpDown::SetAlignButton).Default(udRight);
  p.Property("ArrowKeys", &TUpDown::ArrowKeys, &TUpDown::SetArrowKeys).Default(true);
  p.Property("Associate", &TUpDown::Associate, &TUpDown::SetAssociate);
  p.Property("Increment", &TUpDown::Increment, &TUpDown::SetIncrement).Default(1);
  p.Property("Max", &TUpDown::Max, &TUpDown::SetMax).Default(100);
  p.Property("Min", &TUpDown::Min, &TUpDown::SetMin).Default(0);
  p.Property("Orientation", &TUpDown::Orientation, &TUpDown::SetOrientation).Default(udVertical);
  p.Property("Position", &TUpDown::Position, &TUpDown::SetPosition).Default(0);
  p.Property("Thousands", &TUpDown::Thousands, &TUpDown::SetThousands).Default(true);
  p.Property("Wrap", &TUpDown::Wrap, &TUpDown::SetWrap).Default(false);
  p.Event("OnChanging", &TUpDown::OnChanging);
  p.Event("OnClick", &TUpDown::OnClick);
}
