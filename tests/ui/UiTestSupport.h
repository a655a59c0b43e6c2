// Helpers for driving controls in tests: the Qt application, keys as the
// user types them, input-method text and mouse clicks.
#pragma once

#include <gtest/gtest.h>

#include <QString>

#include "platform/ui/Controls.h"
#include "platform/ui/Forms.h"

class QWidget;

// Creates the (offscreen) Qt application once.
void EnsureUiApp();
// The widget that receives keys for the control (an inner line edit of a
// combo box, the control's widget otherwise).
QWidget* KeyTarget(TWinControl* control);
// Presses and releases qtKey on the form's focused control (or target),
// with the text Qt would report for it.
void PressKey(TWinControl* target, int qtKey, const QString& text = QString(),
              Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Text committed by an input method (Chinese characters) into target.
void CommitText(TWinControl* target, const QString& text);
// A left click at the centre of the control (or at x, y).
void ClickControl(TControl* control);
void ClickControlAt(TControl* control, int x, int y);
// Delivers the posted Qt events and the class library's posted messages.
void Pump();

// A borderless 400 x 300 form for each test, freed afterwards; Add<T>()
// puts a new control of class T on it (or on parent).
class TFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    form = new TForm(nullptr);
    form->SetBorderStyle(bsNone);
    form->SetBounds(0, 0, 400, 300);
  }
  void TearDown() override {
    delete form;
    Pump();
  }
  template <class T>
  T* Add(TWinControl* parent = nullptr) {
    T* c = new T(form);
    c->SetParent(parent ? parent : form);
    return c;
  }
  TForm* form = nullptr;
};
