// uidemo: the visual layer's example program.  Builds TFrmUiDemo from its
// text definition and runs it; --screenshot <file.png> saves a picture of
// the shown form instead of waiting for the user.
#include <QApplication>
#include <QPixmap>
#include <QWidget>
#include <cstring>

#include "platform/core/Resources.h"
#include "platform/core/TypInfo.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/QtText.h"
#include "platform/ui/StdCtrls.h"
#include "resources/PayrollResources.h"


class TFrmUiDemo : public TForm {
  PAYROLL_CLASS(TFrmUiDemo, TForm)
 public:
  explicit TFrmUiDemo(TComponent* owner) : TForm(owner) {
    InitForm("TFrmUiDemo");
    auto* tree = static_cast<TTreeView*>(FindComponent("TreeViewBm"));
    TTreeNode* unit = tree->Items()->Add(nullptr, "总部(12)");
    tree->Items()->AddChild(unit, "财务科(3)");
    tree->Items()->AddChild(unit, "人事科(4)");
    TTreeNode* works = tree->Items()->AddChild(unit, "生产车间(5)");
    tree->Items()->AddChild(works, "一车间(2)");
    unit->Expand(false);
    tree->SetSelected(works);
    static_cast<TEdit*>(FindComponent("EditUserDm"))->SetText("ADMIN");
  }
  void FormKeyPress(TObject*, char& key) {
    if (key == '\r') {
      key = 0;
      SelectNext(ActiveControl(), true, true);
    }
  }
  void BitBtnLoginClick(TObject*) {
    Application->MessageBox("\r欢迎使用本系统!", "系统登录", MB_OK | MB_ICONINFORMATION);
  }
  void MenuExitClick(TObject*) {
    if (Application->MessageBox("真的要退出本系统吗? ", "提示", MB_YESNO | MB_ICONINFORMATION) != IDNO)
      Close();
  }
};

PAYROLL_PUBLISH(TFrmUiDemo) {
  p.Method("FormKeyPress", &TFrmUiDemo::FormKeyPress);
  p.Method("BitBtnLoginClick", &TFrmUiDemo::BitBtnLoginClick);
  p.Method("MenuExitClick", &TFrmUiDemo::MenuExitClick);
}

int main(int argc, char** argv) {
  QApplication qtApp(argc, argv);
  RegisterResources(&PayrollEmbeddedResources());
  Application->Initialize();
  RegisterVisualClasses();
  Application->SetTitle("Velmor工资软件");
  TFrmUiDemo* form = nullptr;
  try {
    Application->CreateForm(form);
  } catch (...) {
    Application->HandleException(Application);
    return 1;
  }
  if (argc == 3 && std::strcmp(argv[1], "--screenshot") == 0) {
    form->Show();
    for (int i = 0; i < 20; ++i) Application->ProcessMessages();
    QPixmap shot = form->Surface()->grab();
    bool ok = shot.save(QString::fromLocal8Bit(argv[2]));
    delete form;
    return ok ? 0 : 2;
  }
  Application->Run();
  return 0;
}
