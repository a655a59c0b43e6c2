#include "UiTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTest>

#include "platform/ui/Forms.h"

void EnsureUiApp() { EnsureQtApplicationForTest(); }

QWidget* KeyTarget(TWinControl* control) {
  QWidget* w = control->Surface();
  if (auto* combo = qobject_cast<QComboBox*>(w); combo && combo->lineEdit()) return combo->lineEdit();
  return w;
}

void PressKey(TWinControl* target, int qtKey, const QString& text, Qt::KeyboardModifiers modifiers) {
  QWidget* w = KeyTarget(target);
  QKeyEvent press(QEvent::KeyPress, qtKey, modifiers, text);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, qtKey, modifiers, text);
  QApplication::sendEvent(w, &release);
}

void CommitText(TWinControl* target, const QString& text) {
  QInputMethodEvent e;
  e.setCommitString(text);
  QApplication::sendEvent(KeyTarget(target), &e);
}

void ClickControlAt(TControl* control, int x, int y) {
  QTest::mouseClick(control->Surface(), Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
}

void ClickControl(TControl* control) {
  ClickControlAt(control, control->Width() / 2, control->Height() / 2);
}

void Pump() {
  for (int i = 0; i < 3; ++i) Application->ProcessMessages();
}
