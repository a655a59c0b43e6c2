// Forms: TCustomForm/TForm (top-level windows, modal loops, closing),
// TDataModule, TApplication (the program's message loop) and TScreen.
//
// A form's Width/Height are its outer size, frame and caption included,
// as the class library counts them; the Qt window gets the client size
// (ClientWidth x ClientHeight plus the menu bar, which is part of the
// window here).  The frame metrics are the classic ones (SysColors.h).
//
// Closing (Close, the window's close button, ModalResult):
//   modeless: OnCloseQuery(CanClose) -> OnClose(Action = caHide) ->
//             caHide hides, caMinimize minimises, caFree frees later,
//             caNone keeps the form; the main form's close (any action
//             but caNone) terminates the application.
//   modal:    Close sets ModalResult mrCancel; the modal loop then asks
//             OnCloseQuery and OnClose; a refusal (or caNone) sets
//             ModalResult back to 0 and the loop goes on.  ShowModal
//             returns ModalResult and the form is hidden.
// Forms from text: a form class names its text resource and calls
// InitForm from its constructor; the text's components are created and
// their properties set through the published-property registry, events
// are bound to the form's published methods, then OnCreate runs.
#pragma once

#include "platform/core/TypInfo.h"

#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/Controls.h"
#include "platform/ui/Dialogs.h"

class TMainMenu;
class QEventLoop;
class QMdiArea;
class QMdiSubWindow;
class QRect;

enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
PAYROLL_ENUM_NAMES(TBorderIcon, biSystemMenu, biMinimize, biMaximize, biHelp)
using TBorderIcons = TSet<TBorderIcon, 4>;
enum TPosition {
  poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter,
  poDesktopCenter, poMainFormCenter, poOwnerFormCenter
};
PAYROLL_ENUM_NAMES(TPosition, poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter, poMainFormCenter, poOwnerFormCenter)
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
PAYROLL_ENUM_NAMES(TWindowState, wsNormal, wsMinimized, wsMaximized)
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
PAYROLL_ENUM_NAMES(TFormStyle, fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop)
enum TCloseAction { caNone, caHide, caFree, caMinimize };
PAYROLL_ENUM_NAMES(TCloseAction, caNone, caHide, caFree, caMinimize)

using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;
using TCloseQueryEvent = std::function<void(TObject* sender, bool& canClose)>;

// Private messages of the layer.
constexpr unsigned CM_RELEASE = CM_BASE + 33;

class TCustomForm : public TWinControl {
  PAYROLL_CLASS(TCustomForm, TWinControl)

 public:
  explicit TCustomForm(TComponent* owner);
  ~TCustomForm() override;

  // --- appearance ----------------------------------------------------------
  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle s);
  const TBorderIcons& BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(const TBorderIcons& icons);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition p) { position_ = p; }
  TWindowState WindowState() const;
  void SetWindowState(TWindowState s);
  TFormStyle FormStyle() const { return formStyle_; }
  // fsMDIForm gives the form an MDI client area: the part of its client
  // area its aligned controls leave.  fsMDIChild puts the form into the
  // MDI form's client area (the main form when it is one, else the first
  // MDI form shown), as a framed child window there; Left and Top are
  // then relative to that area.  Without an MDI form it raises
  // EInvalidOperation "Cannot create form. No MDI forms are currently
  // active".  An MDI child's Close minimises it by default (caMinimize).
  void SetFormStyle(TFormStyle s);

  // --- MDI ----------------------------------------------------------------------
  // The MDI children of an MDI form, the active one first, then by their
  // stacking order.
  int MDIChildCount() const;
  TCustomForm* MDIChildren(int index) const;
  TCustomForm* ActiveMDIChild() const;
  // Arrange the children: overlapping from the top-left corner, or side by
  // side filling the area.  Each child's bounds follow.
  void Cascade();
  void Tile();
  // The MDI form an MDI child lives in.
  TCustomForm* MDIParent() const { return mdiParent_; }
  bool KeyPreview() const { return keyPreview_; }
  void SetKeyPreview(bool v) { keyPreview_ = v; }
  TMainMenu* Menu() const { return menu_; }
  void SetMenu(TMainMenu* menu);
  // The frame around the client area: left+right and top+bottom (caption
  // and menu bar included).
  int NonClientWidth() const;
  int NonClientHeight() const;
  TRect ClientRect() const override;
  // Read from a definition, the client size takes effect once the whole
  // form is read (a main menu read later must not shrink it).
  void SetClientWidth(int v) override;
  void SetClientHeight(int v) override;
  void Loaded() override;

  // --- showing ---------------------------------------------------------------
  bool Showing() const override;
  void Show();
  void Hide();
  void Close();
  // Asks OnCloseQuery; true when the form may close.
  virtual bool CloseQuery();
  TModalResult ShowModal();
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult r);
  bool IsModal() const { return loop_ != nullptr; }
  // Frees the form once the messages already queued are handled.
  void Release();
  void BringToFront() override;

  // --- focus -------------------------------------------------------------------
  TWinControl* ActiveControl() const { return activeControl_; }
  void SetActiveControl(TWinControl* control);
  bool Active() const { return active_; }
  void FocusControl(TWinControl* control) { SetActiveControl(control); }
  // Tab, Enter (default button) and Esc (cancel button) not used by the
  // focused control; true when taken.
  bool DialogKey(std::uint16_t vk, TShiftState shift);

  // --- events ------------------------------------------------------------------
  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  // A form is a root: it has no parent in the text form.  It writes its
  // client size, which does not depend on the frame's metrics.
  bool HasParent() const override { return false; }
  bool IsSizeStored() const override { return false; }
  // Non-visual components first, then the controls.
  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
  void Notification(TComponent* component, TOperation operation) override;

  // Called by the controls (focus bookkeeping).
  void FocusControlChanged(TWinControl* control, int reason);
  void ControlRemoved(TControl* control);
  void WndProc(TMessage& message) override;
  bool SurfaceEvent(QObject* watched, QEvent* event) override;
  QWidget* ChildContainer() const override { return client_; }

  // Used by TApplication (window activation).
  void Activate();
  void Deactivate();

 protected:
  // Reads the text definition named resourceName (a resource compiled
  // into the program), builds the components, binds the events to this
  // form's published methods and runs OnCreate.
  void InitForm(const AnsiString& resourceName);
  // The same from definition text (tests, forms built at run time).
  void InitFormFromText(const AnsiString& text);
  virtual void DoCreate();
  virtual void DoClose(TCloseAction& action);
  void UpdateSurfaceBounds() override;
  void SurfaceResized(int width, int height) override;
  void AlignControls(TControl* control, TRect& rect) override;
  void VisibleChanged() override;
  bool OpaqueBackground() const override { return true; }
  void SetTextValue(const AnsiString& text) override;

 private:
  void ApplyWindowFlags();
  void EnterMDI();
  void LeaveMDI();
  std::vector<TCustomForm*> MDIChildList() const;
  void SyncFromSubWindow();
  void PlaceInFrame(const QRect& frame);
  void PlaceOnShow();
  void LayoutMenuBar();
  bool CloseModal();
  friend class TApplication;

  QWidget* client_ = nullptr;
  TFormBorderStyle borderStyle_ = bsSizeable;
  TBorderIcons borderIcons_{biSystemMenu, biMinimize, biMaximize};
  TPosition position_ = poDesigned;
  TWindowState windowState_ = wsNormal;
  TFormStyle formStyle_ = fsNormal;
  bool keyPreview_ = false;
  TMainMenu* menu_ = nullptr;
  TModalResult modalResult_ = mrNone;
  QEventLoop* loop_ = nullptr;
  TWinControl* activeControl_ = nullptr;
  unsigned focusMoves_ = 0;  // counts the moves FocusControlChanged records
  bool active_ = false;
  bool placed_ = false;
  bool syncingSize_ = false;
  bool created_ = false;
  int menuBarHeight_ = 0;
  QMdiArea* mdiArea_ = nullptr;         // fsMDIForm: the client area of the children
  QMdiSubWindow* subWindow_ = nullptr;  // fsMDIChild: the frame the form lives in
  TCustomForm* mdiParent_ = nullptr;  // the menu bar's part of the window's height
  int pendingClientWidth_ = -1;
  int pendingClientHeight_ = -1;
};

class TForm : public TCustomForm {
  PAYROLL_CLASS(TForm, TCustomForm)

 public:
  explicit TForm(TComponent* owner) : TCustomForm(owner) {}
};

// --- scroll box -------------------------------------------------------------

class TScrollBox;
class QScrollArea;

// One scroll bar of a scrolling control.  Range is the extent of what is
// scrolled (0: as far as the children reach, with AutoScroll); Position
// the offset shown at the top or left; the bar shows while Range exceeds
// the visible part (and Visible is on).
class TControlScrollBar : public TPersistent {
  PAYROLL_CLASS(TControlScrollBar, TPersistent)

 public:
  TControlScrollBar(TScrollBox* box, bool horizontal) : box_(box), horizontal_(horizontal) {}
  int Position() const;
  void SetPosition(int v);
  int Range() const { return range_; }
  void SetRange(int v);
  int Increment() const { return increment_; }
  void SetIncrement(int v);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  bool IsScrollBarVisible() const;
  void Assign(TPersistent* source) override;

 private:
  friend class TScrollBox;
  TScrollBox* box_;
  bool horizontal_;
  int range_ = 0;
  int increment_ = 8;
  bool visible_ = true;
};

// A control whose children live on an area larger than itself, scrolled
// with the two bars.  Children keep their Left and Top on that area; the
// client rectangle is the visible part (aligned children fill it).
class TScrollBox : public TWinControl {
  PAYROLL_CLASS(TScrollBox, TWinControl)

 public:
  explicit TScrollBox(TComponent* owner);
  ~TScrollBox() override;
  TControlScrollBar* HorzScrollBar() const { return horz_.get(); }
  TControlScrollBar* VertScrollBar() const { return vert_.get(); }
  bool AutoScroll() const { return autoScroll_; }
  void SetAutoScroll(bool v);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle s);
  // Scrolls so that control is wholly visible (as far as it fits).
  void ScrollInView(TControl* control);
  TRect ClientRect() const override;
  QWidget* ChildContainer() const override;
  void AlignControls(TControl* control, TRect& rect) override;
  // Lays the scrolled area out again (children moved or resized).
  void UpdateScrollRange();

 protected:
  bool OpaqueBackground() const override { return true; }
  bool WantsFocusInTabOrder() const override { return false; }
  void Resize() override;

 private:
  friend class TControlScrollBar;
  QScrollArea* area_ = nullptr;
  QWidget* content_ = nullptr;
  std::unique_ptr<TControlScrollBar> horz_, vert_;
  bool autoScroll_ = true;
  TBorderStyle borderStyle_ = bsSingle;
  bool updating_ = false;
};

// A non-visual container of components (tables, data sources, queries).
class TDataModule : public TComponent {
  PAYROLL_CLASS(TDataModule, TComponent)

 public:
  explicit TDataModule(TComponent* owner);
  ~TDataModule() override;
  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;

 protected:
  void InitDataModule(const AnsiString& resourceName);
  void InitDataModuleFromText(const AnsiString& text);
};

using TExceptionEvent = std::function<void(TObject* sender, const Exception& e)>;
using TIdleEvent = std::function<void(TObject* sender, bool& done)>;
// A main-window hook: sees the main window's messages first; true when it
// handled one (the window's own handling is then skipped).
using TWindowHook = std::function<bool(TMessage& message)>;
// A keyboard hook: every key transition in the program, as the class
// library's thread keyboard hook reports it (virtual key, key data with
// bit 30 = previously down, bit 31 = going up).
using TKeyboardHook = std::function<void(std::uint16_t vk, std::uint32_t keyData)>;

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* owner);
  ~TApplication() override;

  // Creates the Qt application object when none exists yet.
  void Initialize();
  const AnsiString& Title() const { return title_; }
  void SetTitle(const AnsiString& title) { title_ = title; }
  const AnsiString& HelpFile() const { return helpFile_; }
  void SetHelpFile(const AnsiString& f) { helpFile_ = f; }
  AnsiString ExeName() const;
  TCustomForm* MainForm() const { return mainForm_; }
  bool ShowMainForm() const { return showMainForm_; }
  void SetShowMainForm(bool v) { showMainForm_ = v; }
  bool Terminated() const { return terminated_; }
  bool Active() const { return active_; }
  const AnsiString& Hint() const { return hint_; }
  void SetHint(const AnsiString& hint);

  // Creates a form (or data module) owned by the application; the first
  // form created becomes the main form.  reference is set before the
  // constructor runs, as the class library does, so that handlers run
  // during creation already see it.
  template <class T>
  void CreateForm(T*& reference) {
    void* memory = ::operator new(sizeof(T));
    reference = static_cast<T*>(memory);
    T* instance;
    try {
      instance = new (memory) T(this);
    } catch (...) {
      reference = nullptr;
      ::operator delete(memory);
      throw;
    }
    reference = instance;
    if constexpr (std::is_base_of_v<TCustomForm, T>) {
      if (!mainForm_) mainForm_ = instance;
    }
  }
  // Runs the message loop until Terminate (returning at once when it was
  // called before); shows the main form first.  On return the forms and
  // data modules the application owns have been freed.
  void Run();
  void Terminate();
  // Handles the events and posted messages waiting now.
  void ProcessMessages();
  // Waits for one event and handles it (the body of a message loop).
  void HandleMessage();
  // Reports the exception being handled (call inside a catch block):
  // nothing for EAbort, OnException when set, else the error box.
  void HandleException(TObject* sender);
  void ShowException(const Exception& e);
  int MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags);
  void Minimize();
  void Restore();
  void BringToFront();

  void HookMainWindow(const TWindowHook& hook, const void* id);
  void UnhookMainWindow(const void* id);
  int AddKeyboardHook(const TKeyboardHook& hook);
  void RemoveKeyboardHook(int id);
  // Passes a message through the main-window hooks; true when one took it.
  bool RunMainWindowHooks(TMessage& message);
  // Calls the keyboard hooks (the application-wide event filter does).
  void RunKeyboardHooks(std::uint16_t vk, std::uint32_t keyData);

  // The hint of the control under the mouse changed.
  void DoHint(const AnsiString& hint);
  // Application-level activation (WM_ACTIVATEAPP to the hooks).
  void SetActive(bool active);
  // Runs OnIdle (the event loop is about to wait).
  void Idle();

  TExceptionEvent OnException;
  TIdleEvent OnIdle;
  TNotifyEvent OnHint;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;

  // Modal loops in progress (innermost last), for Terminate.
  std::vector<TCustomForm*> ModalForms;

 private:
  void InstallFilters();

  AnsiString title_;
  AnsiString helpFile_;
  AnsiString hint_;
  TCustomForm* mainForm_ = nullptr;
  TCustomForm* lastActiveForm_ = nullptr;
  bool showMainForm_ = true;
  bool terminated_ = false;
  bool active_ = false;
  bool running_ = false;
  QObject* filter_ = nullptr;
  struct Hook {
    const void* id;
    TWindowHook fn;
  };
  std::vector<Hook> windowHooks_;
  std::vector<std::pair<int, TKeyboardHook>> keyboardHooks_;
  int nextHookId_ = 1;
  friend class TCustomForm;
};

class TScreen : public TComponent {
 public:
  explicit TScreen(TComponent* owner);
  int Width() const;
  int Height() const;
  TRect WorkAreaRect() const;
  int WorkAreaWidth() const { return WorkAreaRect().Width(); }
  int WorkAreaHeight() const { return WorkAreaRect().Height(); }
  int PixelsPerInch() const { return 96; }
  // The program-wide cursor: crDefault lets each control show its own;
  // any other value (crHourGlass while working) shows over every window.
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor cursor);
  TCustomForm* ActiveForm() const { return activeForm_; }
  TWinControl* ActiveControl() const;
  int FormCount() const { return static_cast<int>(forms_.size()); }
  TCustomForm* Forms(int index) const;
  int DataModuleCount() const { return static_cast<int>(dataModules_.size()); }
  TDataModule* DataModules(int index) const;

 private:
  friend class TCustomForm;
  friend class TDataModule;
  TCursor cursor_ = crDefault;
  TCustomForm* activeForm_ = nullptr;
  std::vector<TCustomForm*> forms_;
  std::vector<TDataModule*> dataModules_;
};

// The program's one application and screen objects (created on first use,
// alive until the program ends).
extern TApplication* const& Application;
extern TScreen* const& Screen;

// Whether caption marks vk's letter or digit as its accelerator ("姓名(&N):"
// for 'N'); "&&" is a literal ampersand, and a double-byte character's
// trail byte is never read as one.
bool IsAccel(std::uint16_t vk, const AnsiString& caption);

// Registers the visual classes (controls, menus, forms) by name for the
// text form; programs call it at start-up before creating forms
// (RegisterDataControls in DBCtrls.h does the same for data-aware ones).
void RegisterVisualClasses();

// Test hook: creates the Qt application object for tests (offscreen).
void EnsureQtApplicationForTest();
