#include "UiTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"

namespace {

// Installed under every test's own answering service: a box nobody
// expected fails the test instead of waiting for a user who is not there.
class TUnexpectedDialogs : public TDialogService {
 public:
  int ShowMessageBox(const TMessageRequest& r) override {
    ADD_FAILURE() << "unexpected message box: " << r.Text;
    return r.CloseResult;
  }
  bool InputQuery(const AnsiString&, const AnsiString& prompt, AnsiString&) override {
    ADD_FAILURE() << "unexpected input box: " << prompt;
    return false;
  }
  bool OpenFile(TFileRequest&) override {
    ADD_FAILURE() << "unexpected open dialog";
    return false;
  }
  bool SaveFile(TFileRequest&) override {
    ADD_FAILURE() << "unexpected save dialog";
    return false;
  }
  bool SelectDirectory(const AnsiString&, const AnsiString&, AnsiString&) override {
    ADD_FAILURE() << "unexpected folder dialog";
    return false;
  }
};

}  // namespace

void EnsureUiApp() {
  EnsureQtApplicationForTest();
  static TUnexpectedDialogs unexpected;
  TDialogService* previous = SetDialogService(&unexpected);
  // A test's own answering service installed first stays in force.
  if (previous != nullptr && previous != &unexpected) SetDialogService(previous);
}

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
