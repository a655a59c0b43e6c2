// TUdbPasswordDialog (see UdbPasswordDialog.h).
#include "platform/ui/UdbPasswordDialog.h"

#include <memory>

#include "platform/ui/SysColors.h"

namespace {

constexpr int kMaxLength = 40;

template <class T>
T* Place(TUdbPasswordDialog* form, int left, int top, int width, int height) {
  T* c = new T(form);
  c->SetParent(form);
  c->SetBounds(left, top, width, height);
  return c;
}

TEdit* MakeEdit(TUdbPasswordDialog* form, int top, int tabOrder, bool password) {
  TEdit* e = Place<TEdit>(form, 120, top, 200, 21);
  e->SetMaxLength(kMaxLength);
  if (password) e->SetPasswordChar('*');
  e->SetTabOrder(tabOrder);
  return e;
}

TLabel* MakeLabel(TUdbPasswordDialog* form, int top, const char* caption) {
  TLabel* l = new TLabel(form);
  l->SetParent(form);
  l->SetLeft(8);
  l->SetTop(top);
  l->SetCaption(caption);
  return l;
}

}  // namespace

TUdbPasswordDialog::TUdbPasswordDialog(TComponent* owner) : TForm(owner) {
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(329);
  SetClientHeight(159);
  OKButton = Place<TButton>(this, 109, 122, 75, 25);
  OKButton->SetCaption("&OK");
  OKButton->SetDefault(true);
  OKButton->SetModalResult(mrOk);
  OKButton->SetTabOrder(0);
  CancelButton = Place<TButton>(this, 190, 122, 75, 25);
  CancelButton->SetCaption("Cancel");
  CancelButton->SetCancel(true);
  CancelButton->SetModalResult(mrCancel);
  CancelButton->SetTabOrder(1);
  ebUsername = MakeEdit(this, 48, 3, false);
  ebPassword = MakeEdit(this, 88, 4, true);
  lblUsername = MakeLabel(this, 52, "User name:");
  lblPassword = MakeLabel(this, 92, "User Password:");
  lblMasterKey = MakeLabel(this, 20, "Database Password:");
  ebMasterKey = MakeEdit(this, 16, 2, true);
}

bool ShowLoginDialog(const AnsiString& databaseName, int mode, AnsiString& masterKey, AnsiString& password,
                     AnsiString& userName) {
  auto form = std::make_unique<TUdbPasswordDialog>(nullptr);
  form->ebMasterKey->SetText(masterKey);
  form->ebMasterKey->SetEnabled((mode & 1) != 0);
  form->ebUsername->SetText(userName);
  form->ebPassword->SetText(password);
  form->ebUsername->SetEnabled((mode & 2) != 0);
  form->ebPassword->SetEnabled((mode & 2) != 0);
  const auto cut = databaseName.find_last_of("\\:");
  const AnsiString file = cut == AnsiString::npos ? databaseName : AnsiString(databaseName.substr(cut + 1));
  form->SetCaption(file + " - Database Login");
  for (TEdit* e : {form->ebMasterKey, form->ebUsername, form->ebPassword})
    if (!e->Enabled()) e->SetColor(clMenu);
  form->SetActiveControl(form->ebMasterKey->Enabled() ? form->ebMasterKey : form->ebPassword);
  if (form->ShowModal() != mrOk) return false;
  userName = form->ebUsername->Text();
  password = form->ebPassword->Text();
  masterKey = form->ebMasterKey->Text();
  return true;
}
