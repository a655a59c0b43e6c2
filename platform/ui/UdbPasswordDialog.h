// TUdbPasswordDialog: the database engine's login form.  It asks for the
// master key of an enciphered database (mode bit 0), for a user name and
// password of a secured one (mode bit 1), or for all three.  The engine
// never includes this layer: the program installs ShowLoginDialog as the
// engine's login dialog (SetUdbLoginDialog in Udb/UdbDataBase.h).
#pragma once

#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

class TUdbPasswordDialog : public TForm {
 public:
  explicit TUdbPasswordDialog(TComponent* owner);

  TButton* OKButton;
  TButton* CancelButton;
  TEdit* ebUsername;
  TEdit* ebPassword;
  TLabel* lblUsername;
  TLabel* lblPassword;
  TLabel* lblMasterKey;
  TEdit* ebMasterKey;
};

// Shows the form modally for databaseName ("C:\data\GZ.udb": the caption
// names "GZ.udb").  OK: the three values take the edits' texts, true.
// Cancel: they stay as passed, false.
bool ShowLoginDialog(const AnsiString& databaseName, int mode, AnsiString& masterKey, AnsiString& password,
                     AnsiString& userName);
