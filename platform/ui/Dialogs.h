// Dialogs: message boxes, input boxes and the open, save and folder
// dialogs, all through ONE service (TDialogService).
//
// The program asks; the service answers.  The installed service decides
// whether a window appears: the Qt service (the default) shows real
// modal dialogs, a test installs an answering fake that shows nothing and
// records what was asked (tests/ui/FakeDialogService.h).  Every function
// below goes through DialogService(), so there is no second path that a
// test could miss.
//
// Results keep the class library's numbers: IDOK 1, IDCANCEL 2, IDABORT 3,
// IDRETRY 4, IDIGNORE 5, IDYES 6, IDNO 7 (MessageBox) and mrOk 1 ... mrAll
// 8, mrNoToAll 9, mrYesToAll 10 (MessageDlg); the two sets agree where
// they overlap.
#pragma once

#include <memory>
#include <vector>

#include "platform/core/AnsiString.h"
#include "platform/core/Sets.h"

// --- MessageBox flags and results -----------------------------------------
constexpr unsigned MB_OK = 0x00000000;
constexpr unsigned MB_OKCANCEL = 0x00000001;
constexpr unsigned MB_ABORTRETRYIGNORE = 0x00000002;
constexpr unsigned MB_YESNOCANCEL = 0x00000003;
constexpr unsigned MB_YESNO = 0x00000004;
constexpr unsigned MB_RETRYCANCEL = 0x00000005;
constexpr unsigned MB_TYPEMASK = 0x0000000F;
constexpr unsigned MB_ICONHAND = 0x00000010;
constexpr unsigned MB_ICONSTOP = MB_ICONHAND;
constexpr unsigned MB_ICONERROR = MB_ICONHAND;
constexpr unsigned MB_ICONQUESTION = 0x00000020;
constexpr unsigned MB_ICONEXCLAMATION = 0x00000030;
constexpr unsigned MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr unsigned MB_ICONASTERISK = 0x00000040;
constexpr unsigned MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr unsigned MB_ICONMASK = 0x000000F0;
constexpr unsigned MB_DEFBUTTON1 = 0x00000000;
constexpr unsigned MB_DEFBUTTON2 = 0x00000100;
constexpr unsigned MB_DEFBUTTON3 = 0x00000200;
constexpr unsigned MB_DEFMASK = 0x00000F00;
constexpr unsigned MB_APPLMODAL = 0x00000000;
constexpr unsigned MB_SYSTEMMODAL = 0x00001000;
constexpr unsigned MB_TASKMODAL = 0x00002000;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Modal results (TModalResult) of forms and MessageDlg.
using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = IDOK;
constexpr TModalResult mrCancel = IDCANCEL;
constexpr TModalResult mrAbort = IDABORT;
constexpr TModalResult mrRetry = IDRETRY;
constexpr TModalResult mrIgnore = IDIGNORE;
constexpr TModalResult mrYes = IDYES;
constexpr TModalResult mrNo = IDNO;
constexpr TModalResult mrAll = mrNo + 1;
constexpr TModalResult mrNoToAll = mrAll + 1;
constexpr TModalResult mrYesToAll = mrNoToAll + 1;

// --- MessageDlg kinds and buttons -------------------------------------------
enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn {
  mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp
};
using TMsgDlgButtons = TSet<TMsgDlgBtn, 16>;
inline const TMsgDlgButtons mbYesNoCancel{mbYes, mbNo, mbCancel};
inline const TMsgDlgButtons mbYesAllNoAllCancel{mbYes, mbYesToAll, mbNo, mbNoToAll, mbCancel};
inline const TMsgDlgButtons mbOKCancel{mbOK, mbCancel};
inline const TMsgDlgButtons mbAbortRetryIgnore{mbAbort, mbRetry, mbIgnore};

// The icon a box shows.
enum TDialogIcon { diNone, diInformation, diWarning, diError, diQuestion };

// One question put to the user: a message box or a message dialog.
// Buttons are listed in the order shown, each with the result it returns
// and its caption.
struct TDialogButton {
  int Result = 0;
  AnsiString Caption;
};
struct TMessageRequest {
  AnsiString Text;
  AnsiString Caption;
  TDialogIcon Icon = diNone;
  std::vector<TDialogButton> Buttons;
  int DefaultIndex = 0;  // index into Buttons
  // The result when the box is closed without a button (Esc, the window's
  // close button): the Cancel or No button's result when there is one, the
  // only button's result for a one-button box.
  int CloseResult = 0;
};

// File dialogs: Filter is the class library's "Text|*.ext|Text|*.a;*.b".
struct TFileRequest {
  AnsiString Title;
  AnsiString Filter;
  int FilterIndex = 1;  // 1-based as the class library counts
  AnsiString InitialDir;
  AnsiString FileName;
  AnsiString DefaultExt;  // without the dot
  bool OverwritePrompt = false;
  bool FileMustExist = false;
};

class TDialogService {
 public:
  virtual ~TDialogService() = default;
  // Shows the box and returns the chosen button's Result.
  virtual int ShowMessageBox(const TMessageRequest& request) = 0;
  // Asks for one line of text; false when cancelled (value untouched).
  virtual bool InputQuery(const AnsiString& caption, const AnsiString& prompt,
                          AnsiString& value) = 0;
  // Open and save: true with request.FileName (and FilterIndex) set to the
  // choice; false when cancelled.
  virtual bool OpenFile(TFileRequest& request) = 0;
  virtual bool SaveFile(TFileRequest& request) = 0;
  // Folder choice; true with directory set.
  virtual bool SelectDirectory(const AnsiString& caption, const AnsiString& root,
                               AnsiString& directory) = 0;
};

// The service in force: the Qt dialogs unless one was installed.
TDialogService& DialogService();
// Installs a service (null restores the Qt dialogs); returns the previous
// installed one, or null.  The caller keeps ownership.
TDialogService* SetDialogService(TDialogService* service);
// The Qt implementation, for programs that want it explicitly.
std::unique_ptr<TDialogService> CreateQtDialogService();

// --- The class library's functions over the service ----------------------
// MessageBox with MB_ flags; returns an ID* value.
int MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags);
// MessageDlg: caption from the kind ("警告", "错误", "信息", "确认" or the
// application title for mtCustom); returns an mr* value.
int MessageDlg(const AnsiString& msg, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx);
// An information box with only OK, captioned with the application title.
void ShowMessage(const AnsiString& msg);
// InputBox returns defaultValue when cancelled; InputQuery reports it.
AnsiString InputBox(const AnsiString& caption, const AnsiString& prompt,
                    const AnsiString& defaultValue);
bool InputQuery(const AnsiString& caption, const AnsiString& prompt, AnsiString& value);
bool SelectDirectory(const AnsiString& caption, const AnsiString& root, AnsiString& directory);

// Building blocks, public for the fake and the tests.
TMessageRequest MessageBoxRequest(const AnsiString& text, const AnsiString& caption,
                                  unsigned flags);
TMessageRequest MessageDlgRequest(const AnsiString& msg, TMsgDlgType type,
                                  TMsgDlgButtons buttons);
// The application's title as captions use it; the default title hook is
// empty until TApplication sets it (Forms.cpp).
extern AnsiString (*DialogDefaultCaption)();
