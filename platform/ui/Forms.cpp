// TCustomForm, TDataModule, TApplication and TScreen over Qt.
#include "platform/ui/Forms.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QLocale>
#include <QTranslator>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/core/Resources.h"
#include "platform/core/TextForm.h"
#include "platform/ui/ControlsInt.h"
#include "platform/ui/Menus.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/QtText.h"
#include "platform/ui/StdCtrls.h"

namespace {

TApplication* gApplication = nullptr;
TScreen* gScreen = nullptr;

TApplication* MakeApplication() {
  if (!gApplication) gApplication = new TApplication(nullptr);
  return gApplication;
}
TScreen* MakeScreen() {
  if (!gScreen) gScreen = new TScreen(nullptr);
  return gScreen;
}

// Built during static initialisation; they touch no Qt until used.
TApplication* const kApplication = MakeApplication();
TScreen* const kScreen = MakeScreen();

// Words of Qt's own dialogs that its Chinese translation leaves in English
// (the file list's kinds of entries); asked before that translation.
class TDialogWords : public QTranslator {
 public:
  QString translate(const char* context, const char* source, const char* disambiguation = nullptr,
                    int n = -1) const override {
    (void)disambiguation;
    (void)n;
    static const struct {
      const char *context, *source, *text;
    } words[] = {
        {"QAbstractFileIconProvider", "Folder", "文件夹"},
        {"QAbstractFileIconProvider", "File", "文件"},
        {"QAbstractFileIconProvider", "%1 File", "%1 文件"},
        {"QAbstractFileIconProvider", "Drive", "驱动器"},
        {"QAbstractFileIconProvider", "Unknown", "未知"},
    };
    for (const auto& w : words)
      if (std::strcmp(context, w.context) == 0 && std::strcmp(source, w.source) == 0) return ToQString(w.text);
    return QString();
  }
  bool isEmpty() const override { return false; }
};

void EnsureQApplication() {
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char arg0[] = "payroll";
    static char* argv[] = {arg0, nullptr};
    new QApplication(argc, argv);
  }
  // The system's own dialogs (file and folder choosers, the print dialog)
  // speak the program's language: Qt's Chinese translation when installed,
  // also where the program made the application object itself.
  static bool translated = false;
  if (translated) return;
  translated = true;
  static QTranslator qtChinese;
  if (qtChinese.load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(&qtChinese);
  static TDialogWords words;
  QCoreApplication::installTranslator(&words);
  // Dates and numbers that Qt writes through the default locale as a Chinese
  // system writes them (the file boxes' list dates go through it as well:
  // see the file box's proxy in Dialogs.cpp).
  QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
}

// Buttons among control's children, depth first.
void CollectButtons(TWinControl* control, std::vector<TButton*>& out) {
  for (int i = 0; i < control->ControlCount(); ++i) {
    TControl* c = control->Controls(i);
    if (auto* b = dynamic_cast<TButton*>(c)) out.push_back(b);
    if (auto* w = dynamic_cast<TWinControl*>(c)) CollectButtons(w, out);
  }
}

bool IsSizeable(TFormBorderStyle s) { return s == bsSizeable || s == bsSizeToolWin; }

}  // namespace

TApplication* const& Application = gApplication;
TScreen* const& Screen = gScreen;

void EnsureQtApplicationForTest() {
  // Tests run on the platform the test run set (offscreen), unless
  // PAYROLL_TEST_QPA names another: the test script runs the visual tests
  // once more in a real X server with it set to xcb.
  const char* qpa = std::getenv("PAYROLL_TEST_QPA");
  if (qpa && *qpa && !QCoreApplication::instance()) setenv("QT_QPA_PLATFORM", qpa, 1);
  EnsureQApplication();
  Application->Initialize();
}

void HandleEventException() {
  if (Application) Application->HandleException(Application);
}

// --- TCustomForm ---------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner) {
  EnsureQApplication();
  auto* window = new QWidget(nullptr, Qt::Window);
  client_ = new QWidget(window);
  client_->setAttribute(Qt::WA_NoMousePropagation);
  SetVisible(false);
  SetWidget(window);
  // Mouse and paint messages of the client area belong to the form too.
  BridgeInnerWidget(client_);
  ApplyWindowFlags();
  SetBounds(0, 0, 320, 240);
  if (Screen) Screen->forms_.push_back(this);
}

TCustomForm::~TCustomForm() {
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
      HandleEventException();
    }
  }
  Destroying();
  if (loop_) loop_->quit();
  // The form's components go while its window still exists.
  DestroyComponents();
  // MDI: children leave the area before it goes; a child leaves its frame.
  if (mdiArea_)
    for (TCustomForm* child : MDIChildList()) child->LeaveMDI();
  LeaveMDI();
  if (Screen) {
    auto& f = Screen->forms_;
    f.erase(std::remove(f.begin(), f.end(), this), f.end());
    if (Screen->activeForm_ == this) Screen->activeForm_ = nullptr;
  }
  if (Application && Application->mainForm_ == this) Application->mainForm_ = nullptr;
  DiscardPostedMessages(this);
}

int TCustomForm::NonClientWidth() const {
  switch (borderStyle_) {
    case bsNone: return 0;
    case bsSizeable: case bsSizeToolWin: return 2 * GetSystemMetrics(SM_CXFRAME);
    default: return 2 * GetSystemMetrics(SM_CXDLGFRAME);
  }
}

int TCustomForm::NonClientHeight() const {
  int h = 0;
  switch (borderStyle_) {
    case bsNone: break;
    case bsSizeable: h = 2 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION); break;
    case bsSizeToolWin: h = 2 * GetSystemMetrics(SM_CYFRAME) + 16; break;
    case bsToolWindow: h = 2 * GetSystemMetrics(SM_CYDLGFRAME) + 16; break;
    default: h = 2 * GetSystemMetrics(SM_CYDLGFRAME) + GetSystemMetrics(SM_CYCAPTION); break;
  }
  if (menu_ && menu_->HasVisibleItems()) h += GetSystemMetrics(SM_CYMENU);
  return h;
}

TRect TCustomForm::ClientRect() const {
  return TRect(0, 0, std::max(Width() - NonClientWidth(), 0), std::max(Height() - NonClientHeight(), 0));
}

void TCustomForm::SetClientWidth(int v) {
  if (ComponentState().Contains(csLoading)) pendingClientWidth_ = v;
  TWinControl::SetClientWidth(v);
}

void TCustomForm::SetClientHeight(int v) {
  if (ComponentState().Contains(csLoading)) pendingClientHeight_ = v;
  TWinControl::SetClientHeight(v);
}

void TCustomForm::Loaded() {
  TWinControl::Loaded();
  if (pendingClientWidth_ >= 0) TWinControl::SetClientWidth(pendingClientWidth_);
  if (pendingClientHeight_ >= 0) TWinControl::SetClientHeight(pendingClientHeight_);
  pendingClientWidth_ = pendingClientHeight_ = -1;
  UpdateSurfaceBounds();
  Realign();
  if (Visible() && !surface_->isVisible()) VisibleChanged();
}

void TCustomForm::UpdateSurfaceBounds() {
  if (!surface_ || !client_) return;
  TRect cr = ClientRect();
  QMenuBar* bar = menu_ ? menu_->MenuBarFor(this) : nullptr;
  int barH = bar && menu_->HasVisibleItems() ? bar->sizeHint().height() : 0;
  menuBarHeight_ = barH;
  if (bar) {
    bar->setVisible(barH > 0);
    bar->setGeometry(0, 0, cr.Width(), barH);
  }
  bool wasSyncing = syncingSize_;
  syncingSize_ = true;
  if (IsSizeable(borderStyle_)) {
    surface_->setMinimumSize(0, 0);
    surface_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (surface_->width() != cr.Width() || surface_->height() != cr.Height() + barH)
      surface_->resize(cr.Width(), cr.Height() + barH);
  } else {
    surface_->setFixedSize(cr.Width(), cr.Height() + barH);
  }
  if (subWindow_) {
    // The frame around the form's window: its own margins and title.
    QMargins m = subWindow_->contentsMargins();
    QRect want(Left(), Top(), cr.Width() + m.left() + m.right(), cr.Height() + barH + m.top() + m.bottom());
    if (subWindow_->geometry() != want) subWindow_->setGeometry(want);
  } else if (surface_->x() != Left() || surface_->y() != Top()) {
    surface_->move(Left(), Top());
  }
  client_->setGeometry(0, barH, cr.Width(), cr.Height());
  syncingSize_ = wasSyncing;
}

void TCustomForm::SurfaceResized(int width, int height) {
  if (syncingSize_) return;
  // The bar's height as the window was laid out: the bar is not visible
  // yet while the window is hidden, but its height is part of the window.
  int barH = menuBarHeight_;
  syncingSize_ = true;
  SetBounds(Left(), Top(), width + NonClientWidth(),
            height - barH + NonClientHeight());
  syncingSize_ = false;
  UpdateSurfaceBounds();
}

void TCustomForm::SetTextValue(const AnsiString& text) {
  TWinControl::SetTextValue(text);
  if (surface_) surface_->setWindowTitle(ToQString(text));
  if (subWindow_) subWindow_->setWindowTitle(ToQString(text));
}

void TCustomForm::ApplyWindowFlags() {
  if (!surface_ || subWindow_) return;
  Qt::WindowFlags f = Qt::Window;
  switch (borderStyle_) {
    case bsNone: f |= Qt::FramelessWindowHint; break;
    case bsToolWindow: case bsSizeToolWin: f = Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint; break;
    case bsDialog:
      f = Qt::Dialog | Qt::WindowTitleHint;
      if (borderIcons_.Contains(biSystemMenu)) f |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
      break;
    default:
      f |= Qt::WindowTitleHint | Qt::CustomizeWindowHint;
      if (borderIcons_.Contains(biSystemMenu)) {
        f |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (borderIcons_.Contains(biMinimize)) f |= Qt::WindowMinimizeButtonHint;
        if (borderIcons_.Contains(biMaximize)) f |= Qt::WindowMaximizeButtonHint;
      }
      break;
  }
  if (formStyle_ == fsStayOnTop) f |= Qt::WindowStaysOnTopHint;
  bool shown = surface_->isVisible();
  surface_->setWindowFlags(f);
  if (shown) surface_->show();
}

void TCustomForm::SetBorderStyle(TFormBorderStyle s) {
  if (s == borderStyle_) return;
  int cw = ClientWidth(), ch = ClientHeight();
  borderStyle_ = s;
  ApplyWindowFlags();
  // The client area keeps its size; the outer size follows the frame.
  SetBounds(Left(), Top(), cw + NonClientWidth(), ch + NonClientHeight());
  UpdateSurfaceBounds();
}

void TCustomForm::SetBorderIcons(const TBorderIcons& icons) {
  borderIcons_ = icons;
  ApplyWindowFlags();
}

void TCustomForm::SetFormStyle(TFormStyle s) {
  if (s == formStyle_) return;
  if (s == fsMDIChild) {
    TCustomForm* parent = nullptr;
    TCustomForm* main = Application->MainForm();
    if (main && main != this && main->formStyle_ == fsMDIForm) parent = main;
    for (int i = 0; !parent && i < Screen->FormCount(); ++i)
      if (Screen->Forms(i) != this && Screen->Forms(i)->formStyle_ == fsMDIForm) parent = Screen->Forms(i);
    if (!parent) throw EInvalidOperation("Cannot create form. No MDI forms are currently active");
    LeaveMDI();
    formStyle_ = s;
    mdiParent_ = parent;
    EnterMDI();
    return;
  }
  if (formStyle_ == fsMDIForm && !MDIChildList().empty())
    throw EInvalidOperation("Cannot change the style of a form with MDI children");
  LeaveMDI();
  formStyle_ = s;
  if (s == fsMDIForm && !mdiArea_) {
    mdiArea_ = new QMdiArea(client_);
    mdiArea_->setBackground(QBrush(ToQColor(clAppWorkSpace)));
    mdiArea_->show();
    Realign();
  } else if (s != fsMDIForm && mdiArea_) {
    delete mdiArea_;
    mdiArea_ = nullptr;
  }
  ApplyWindowFlags();
}

// The form's window goes into a frame in the MDI form's area.
void TCustomForm::EnterMDI() {
  if (!mdiParent_ || !mdiParent_->mdiArea_ || subWindow_) return;
  bool shown = Visible() && !IsLoading();
  surface_->setWindowFlags(Qt::Widget);
  subWindow_ = mdiParent_->mdiArea_->addSubWindow(surface_);
  subWindow_->setAttribute(Qt::WA_DeleteOnClose, false);
  subWindow_->setWindowTitle(ToQString(Caption()));
  // The frame's close button is the form's Close.
  subWindow_->installEventFilter(bridge_.get());
  UpdateSurfaceBounds();
  subWindow_->setVisible(shown);
}

void TCustomForm::LeaveMDI() {
  if (subWindow_) {
    QMdiSubWindow* sub = subWindow_;
    subWindow_ = nullptr;
    if (mdiParent_ && mdiParent_->mdiArea_) mdiParent_->mdiArea_->removeSubWindow(surface_);
    surface_->setParent(nullptr);
    sub->removeEventFilter(bridge_.get());
    delete sub;
    surface_->hide();
  }
  mdiParent_ = nullptr;
}

std::vector<TCustomForm*> TCustomForm::MDIChildList() const {
  std::vector<TCustomForm*> out;
  if (!mdiArea_) return out;
  // Stacking order is bottom first: the active child ends the list.
  QList<QMdiSubWindow*> subs = mdiArea_->subWindowList(QMdiArea::StackingOrder);
  QMdiSubWindow* active = mdiArea_->currentSubWindow();
  auto formOf = [](QMdiSubWindow* sub) -> TCustomForm* {
    for (int i = 0; i < Screen->FormCount(); ++i)
      if (Screen->Forms(i)->subWindow_ == sub) return Screen->Forms(i);
    return nullptr;
  };
  if (active)
    if (TCustomForm* f = formOf(active)) out.push_back(f);
  for (auto it = subs.rbegin(); it != subs.rend(); ++it)
    if (*it != active)
      if (TCustomForm* f = formOf(*it)) out.push_back(f);
  return out;
}

int TCustomForm::MDIChildCount() const { return static_cast<int>(MDIChildList().size()); }

TCustomForm* TCustomForm::MDIChildren(int index) const {
  std::vector<TCustomForm*> list = MDIChildList();
  if (index < 0 || index >= static_cast<int>(list.size())) ListIndexError(index);
  return list[static_cast<size_t>(index)];
}

TCustomForm* TCustomForm::ActiveMDIChild() const {
  std::vector<TCustomForm*> list = MDIChildList();
  if (list.empty() || !mdiArea_->currentSubWindow()) return nullptr;
  return list.front();
}

namespace {
// The children Cascade and Tile arrange: shown and not minimised, the
// oldest first.
std::vector<TCustomForm*> Arranged(std::vector<TCustomForm*> list) {
  std::reverse(list.begin(), list.end());
  std::erase_if(list, [](TCustomForm* f) { return !f->Visible() || f->WindowState() == wsMinimized; });
  return list;
}
}  // namespace

// Overlapping from the top-left corner, each a title bar lower and to the
// right; each keeps its size.  The active child ends on top.
void TCustomForm::Cascade() {
  if (!mdiArea_) return;
  std::vector<TCustomForm*> list = Arranged(MDIChildList());
  int step = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    TCustomForm* f = list[i];
    if (f->WindowState() == wsMaximized) f->SetWindowState(wsNormal);
    if (!step) step = std::max(f->subWindow_->contentsMargins().top(), 8);
    int offset = static_cast<int>(i) * step;
    f->PlaceInFrame(QRect(offset, offset, f->subWindow_->width(), f->subWindow_->height()));
  }
  // Stacked oldest first; the active child stays on top.
  for (TCustomForm* f : list) f->subWindow_->raise();
  if (QMdiSubWindow* active = mdiArea_->currentSubWindow()) active->raise();
}

// Side by side in a grid that fills the area: as many columns as the
// square root of the count (rounded up), rows for the rest.
void TCustomForm::Tile() {
  if (!mdiArea_) return;
  std::vector<TCustomForm*> list = Arranged(MDIChildList());
  if (list.empty()) return;
  int n = static_cast<int>(list.size());
  int cols = 1;
  while (cols * cols < n) ++cols;
  int rows = (n + cols - 1) / cols;
  QSize area = mdiArea_->viewport()->size();
  for (int i = 0; i < n; ++i) {
    int c = i % cols, r = i / cols;
    int x0 = area.width() * c / cols, x1 = area.width() * (c + 1) / cols;
    int y0 = area.height() * r / rows, y1 = area.height() * (r + 1) / rows;
    TCustomForm* f = list[static_cast<size_t>(i)];
    if (f->WindowState() == wsMaximized) f->SetWindowState(wsNormal);
    f->PlaceInFrame(QRect(x0, y0, x1 - x0, y1 - y0));
  }
}

// The user moved or sized the frame: the stored bounds follow it.
void TCustomForm::SyncFromSubWindow() {
  if (!subWindow_) return;
  QRect g = subWindow_->geometry();
  QSize inner = surface_->size();
  syncingSize_ = true;
  SetBounds(g.x(), g.y(), inner.width() + NonClientWidth(), inner.height() - menuBarHeight_ + NonClientHeight());
  syncingSize_ = false;
}

// Bounds for a frame of the given geometry in the MDI area.
void TCustomForm::PlaceInFrame(const QRect& frame) {
  if (!subWindow_) return;
  QMargins m = subWindow_->contentsMargins();
  int cw = std::max(frame.width() - m.left() - m.right(), 0);
  int ch = std::max(frame.height() - m.top() - m.bottom() - menuBarHeight_, 0);
  SetBounds(frame.x(), frame.y(), cw + NonClientWidth(), ch + NonClientHeight());
  UpdateSurfaceBounds();
}

void TCustomForm::AlignControls(TControl* control, TRect& rect) {
  TWinControl::AlignControls(control, rect);
  // The MDI children's area is what the aligned controls leave.
  if (mdiArea_) {
    mdiArea_->setGeometry(rect.Left, rect.Top, std::max(rect.Width(), 0), std::max(rect.Height(), 0));
    mdiArea_->lower();
  }
}

TWindowState TCustomForm::WindowState() const {
  if (subWindow_ && subWindow_->isVisible()) {
    if (subWindow_->isMinimized()) return wsMinimized;
    if (subWindow_->isMaximized()) return wsMaximized;
    return wsNormal;
  }
  if (surface_ && surface_->isVisible()) {
    if (surface_->isMinimized()) return wsMinimized;
    if (surface_->isMaximized()) return wsMaximized;
    return wsNormal;
  }
  return windowState_;
}

void TCustomForm::SetWindowState(TWindowState s) {
  windowState_ = s;
  if (subWindow_) {
    if (!subWindow_->isVisible()) return;
    switch (s) {
      case wsMaximized: subWindow_->showMaximized(); break;
      case wsMinimized: subWindow_->showMinimized(); break;
      default: subWindow_->showNormal(); break;
    }
    return;
  }
  if (!surface_ || !surface_->isVisible()) return;
  switch (s) {
    case wsMaximized: surface_->showMaximized(); break;
    case wsMinimized: surface_->showMinimized(); break;
    default: surface_->showNormal(); break;
  }
}

void TCustomForm::SetMenu(TMainMenu* menu) {
  if (menu == menu_) return;
  if (menu_) menu_->DetachFromForm(this);
  menu_ = menu;
  if (menu_) {
    menu_->FreeNotification(this);
    menu_->AttachToForm(this);
  }
  UpdateSurfaceBounds();
}

bool TCustomForm::Showing() const { return Visible() && surface_ && surface_->isVisible(); }


void TCustomForm::Show() {
  SetVisible(true);
  BringToFront();
}

void TCustomForm::Hide() { SetVisible(false); }

void TCustomForm::PlaceOnShow() {
  int l = Left(), t = Top();
  switch (position_) {
    case poScreenCenter: case poDesktopCenter:
      l = (Screen->Width() - Width()) / 2;
      t = (Screen->Height() - Height()) / 2;
      break;
    case poMainFormCenter: case poOwnerFormCenter: {
      TCustomForm* ref = Application->MainForm();
      if (position_ == poOwnerFormCenter) ref = dynamic_cast<TCustomForm*>(Owner());
      if (ref && ref != this && ref->Visible()) {
        l = ref->Left() + (ref->Width() - Width()) / 2;
        t = ref->Top() + (ref->Height() - Height()) / 2;
      } else {
        l = (Screen->Width() - Width()) / 2;
        t = (Screen->Height() - Height()) / 2;
      }
      break;
    }
    default: break;
  }
  if (l != Left() || t != Top()) SetBounds(l, t, Width(), Height());
}

void TCustomForm::VisibleChanged() {
  if (!surface_) return;
  // A definition that says Visible = True shows the form once it is read.
  if (ComponentState().Contains(csLoading)) return;
  if (subWindow_) {
    if (Visible()) {
      if (OnShow) OnShow(this);
      UpdateSurfaceBounds();
      surface_->show();
      subWindow_->show();
      if (windowState_ == wsMaximized) subWindow_->showMaximized();
      if (windowState_ == wsMinimized) subWindow_->showMinimized();
      mdiParent_->mdiArea_->setActiveSubWindow(subWindow_);
      Realign();
      // The MDI form stays the active form; the child takes the focus.
      if (!activeControl_)
        if (TWinControl* first = FindNextControl(nullptr, true, true, false)) SetActiveControl(first);
      if (OnActivate) OnActivate(this);
    } else {
      if (OnHide) OnHide(this);
      subWindow_->hide();
      if (active_) Deactivate();
    }
    return;
  }
  if (Visible()) {
    PlaceOnShow();
    if (OnShow) OnShow(this);
    UpdateSurfaceBounds();
    switch (windowState_) {
      case wsMaximized: surface_->showMaximized(); break;
      case wsMinimized: surface_->showMinimized(); break;
      default: surface_->show(); break;
    }
    Realign();
    Activate();
  } else {
    if (OnHide) OnHide(this);
    bool wasActive = active_;
    surface_->hide();
    if (wasActive) Deactivate();
  }
}

void TCustomForm::BringToFront() {
  if (surface_ && surface_->isVisible()) {
    surface_->raise();
    surface_->activateWindow();
  }
}

bool TCustomForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  return canClose;
}

void TCustomForm::DoClose(TCloseAction& action) {
  if (OnClose) OnClose(this, action);
}

void TCustomForm::Close() {
  if (IsModal()) {
    SetModalResult(mrCancel);
    return;
  }
  if (!CloseQuery()) return;
  // An MDI child cannot hide: it minimises, or stays when it cannot.
  TCloseAction action = caHide;
  if (formStyle_ == fsMDIChild) action = borderIcons_.Contains(biMinimize) ? caMinimize : caNone;
  DoClose(action);
  if (action == caNone) return;
  if (Application->MainForm() == this) {
    Application->Terminate();
    if (action == caFree) Release();
    return;
  }
  switch (action) {
    case caHide: Hide(); break;
    case caMinimize: SetWindowState(wsMinimized); break;
    default: Release(); break;
  }
}

bool TCustomForm::CloseModal() {
  if (!CloseQuery()) {
    modalResult_ = mrNone;
    return false;
  }
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) {
    modalResult_ = mrNone;
    return false;
  }
  if (action == caFree) Release();
  return true;
}

void TCustomForm::SetModalResult(TModalResult r) {
  modalResult_ = r;
  if (loop_ && r != mrNone) loop_->quit();
}

TModalResult TCustomForm::ShowModal() {
  if (Visible() || !Enabled() || IsModal())
    throw EInvalidOperation("Cannot make a visible window modal");
  TCustomForm* previous = Screen->ActiveForm();
  modalResult_ = mrNone;
  surface_->setWindowModality(Qt::ApplicationModal);
  QEventLoop loop;
  loop_ = &loop;
  Application->ModalForms.push_back(this);
  auto finish = [&] {
    loop_ = nullptr;
    auto& m = Application->ModalForms;
    m.erase(std::remove(m.begin(), m.end(), this), m.end());
    if (Visible()) Hide();
    surface_->setWindowModality(Qt::NonModal);
    if (previous && previous != this && previous->Visible()) previous->Activate();
  };
  try {
    Show();
    for (;;) {
      if (modalResult_ == mrNone && !Application->Terminated()) loop.exec();
      if (Application->Terminated()) {
        modalResult_ = mrCancel;
        break;
      }
      if (modalResult_ != mrNone && CloseModal()) break;
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
  return modalResult_;
}

void TCustomForm::Release() { PostMessage(this, CM_RELEASE); }

void TCustomForm::SetActiveControl(TWinControl* control) {
  if (control && (!ContainsControl(control) || (Visible() && !control->CanFocus())))
    throw EInvalidOperation("Cannot focus a disabled or invisible window");
  if (!control) {
    activeControl_ = nullptr;
    return;
  }
  const unsigned moves = focusMoves_;
  if (Visible() && control->Surface()) {
    QWidget* target = control->Surface();
    if (target->focusProxy()) target = target->focusProxy();
    target->setFocus(Qt::OtherFocusReason);
  }
  // An active window's focus event has already done the bookkeeping, and
  // the OnExit it ran may have sent the focus elsewhere (back to a control
  // that refused to be left): recording the move again would leave that
  // control a second time.
  if (focusMoves_ != moves) return;
  // The focus bookkeeping does not wait for Qt: a window that is not yet
  // active gets its focus event later, and that one changes nothing.
  FocusControlChanged(control, Qt::OtherFocusReason);
}

void TCustomForm::FocusControlChanged(TWinControl* control, int) {
  if (control == activeControl_ || control == this) return;
  ++focusMoves_;
  TWinControl* old = activeControl_;
  activeControl_ = control;
  if (old && ContainsControl(old)) old->Perform(CM_EXIT);
  // An OnExit handler may have moved the focus elsewhere.
  if (activeControl_ == control) control->Perform(CM_ENTER);
}

void TCustomForm::ControlRemoved(TControl* control) {
  if (activeControl_ && (activeControl_ == control)) activeControl_ = nullptr;
}

void TCustomForm::Activate() {
  if (active_) return;
  if (Screen->activeForm_ && Screen->activeForm_ != this) Screen->activeForm_->Deactivate();
  active_ = true;
  Screen->activeForm_ = this;
  if (!activeControl_) {
    TWinControl* first = FindNextControl(nullptr, true, true, false);
    if (first) SetActiveControl(first);
  } else if (activeControl_->CanFocus()) {
    SetActiveControl(activeControl_);
  }
  if (OnActivate) OnActivate(this);
}

void TCustomForm::Deactivate() {
  if (!active_) return;
  active_ = false;
  if (Screen->activeForm_ == this) Screen->activeForm_ = nullptr;
  if (OnDeactivate) OnDeactivate(this);
}

bool IsAccel(std::uint16_t vk, const AnsiString& caption) {
  for (size_t i = 0; i < caption.size(); ++i) {
    auto c = static_cast<unsigned char>(caption[i]);
    if (IsDBCSLeadByte(c)) {
      ++i;
      continue;
    }
    if (c != '&' || i + 1 >= caption.size()) continue;
    auto next = static_cast<unsigned char>(caption[i + 1]);
    if (next == '&') {
      ++i;
      continue;
    }
    if (IsDBCSLeadByte(next)) return false;
    return std::toupper(next) == vk;
  }
  return false;
}

namespace {

// The label on control (or inside it) whose caption has vk as its
// accelerator and whose FocusControl can take the focus.
TWinControl* AccelTarget(TWinControl* control, std::uint16_t vk) {
  for (int i = 0; i < control->ControlCount(); ++i) {
    TControl* c = control->Controls(i);
    if (!c->Visible() || !c->Enabled()) continue;
    if (auto* label = dynamic_cast<TCustomLabel*>(c)) {
      TWinControl* target = label->FocusControl();
      if (label->ShowAccelChar() && target && target->CanFocus() && IsAccel(vk, label->Caption()))
        return target;
    } else if (auto* w = dynamic_cast<TWinControl*>(c)) {
      if (TWinControl* t = AccelTarget(w, vk)) return t;
    }
  }
  return nullptr;
}

}  // namespace

bool TCustomForm::DialogKey(std::uint16_t vk, TShiftState shift) {
  // Alt with a letter or digit: the label that names it as its accelerator
  // gives the focus to its FocusControl.
  if (shift == TShiftState{ssAlt} && ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))) {
    if (TWinControl* target = AccelTarget(this, vk)) {
      target->SetFocus();
      return true;
    }
    return false;
  }
  if (vk == VK_TAB) {
    if (shift.Contains(ssCtrl) || shift.Contains(ssAlt)) return false;
    SelectNext(activeControl_, !shift.Contains(ssShift), true);
    return true;
  }
  if (vk != VK_RETURN && vk != VK_ESCAPE) return false;
  if (!shift.Empty() && !(shift == TShiftState{ssShift})) return false;
  if (vk == VK_RETURN) {
    if (auto* focusedButton = dynamic_cast<TButton*>(activeControl_)) {
      focusedButton->Click();
      return true;
    }
  }
  std::vector<TButton*> buttons;
  CollectButtons(this, buttons);
  for (TButton* b : buttons) {
    bool match = vk == VK_RETURN ? b->Default() : b->Cancel();
    if (match && b->Visible() && b->Enabled()) {
      b->Click();
      return true;
    }
  }
  return false;
}

void TCustomForm::WndProc(TMessage& m) {
  switch (m.Msg) {
    case CM_RELEASE:
      delete this;
      return;
    case WM_CLOSE:
      Close();
      return;
    case CM_MENUCHANGED:
      UpdateSurfaceBounds();
      return;
    default:
      TWinControl::WndProc(m);
  }
}

bool TCustomForm::SurfaceEvent(QObject* watched, QEvent* event) {
  if (subWindow_ && watched == subWindow_) {
    switch (event->type()) {
      case QEvent::Close:
        // The frame's close button: the form's Close decides.
        event->ignore();
        Close();
        return true;
      case QEvent::Move:
      case QEvent::Resize:
        // The user moved or sized the frame inside the MDI area.
        if (event->spontaneous() && !syncingSize_) SyncFromSubWindow();
        return false;
      case QEvent::WindowActivate:
      case QEvent::FocusIn:
        return false;
      default:
        return false;
    }
  }
  if (watched == surface_) {
    switch (event->type()) {
      case QEvent::Close:
        // The window's close button: the class library's Close decides.
        event->ignore();
        Close();
        return true;
      case QEvent::WindowActivate:
        // The window system's activation arrives late; while a modal form
        // runs only that form may become active.
        if (Visible() && (Application->ModalForms.empty() || Application->ModalForms.back() == this))
          Activate();
        return false;
      case QEvent::WindowDeactivate:
        // Another of the program's windows taking over deactivates this
        // one through Activate; a switch to another program through the
        // application's deactivation (TApplication::SetActive).
        return false;
      case QEvent::Move:
        // The user dragged the window: Left and Top follow (the window's
        // saved position is read from them).
        if (event->spontaneous() && !syncingSize_ && surface_->isVisible() &&
            (surface_->x() != Left() || surface_->y() != Top())) {
          syncingSize_ = true;
          SetBounds(surface_->x(), surface_->y(), Width(), Height());
          syncingSize_ = false;
        }
        return false;
      case QEvent::Show:
      case QEvent::WindowStateChange:
        return false;
      default:
        break;
    }
  }
  return TWinControl::SurfaceEvent(watched, event);
}

void TCustomForm::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  TComponent::GetChildren(proc, root);
  TWinControl::GetChildren(proc, root);
}

void TCustomForm::Notification(TComponent* component, TOperation operation) {
  TWinControl::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == menu_) menu_ = nullptr;
  if (component == activeControl_) activeControl_ = nullptr;
}

void TCustomForm::InitForm(const AnsiString& resourceName) {
  TResourceBlock block = FindResource(resourceName, RT_RCDATA);
  if (!block.data) throw EResNotFound("Resource " + resourceName + " not found");
  InitFormFromText(AnsiString(reinterpret_cast<const char*>(block.data), block.size));
}

void TCustomForm::InitFormFromText(const AnsiString& text) {
  ObjectTextToComponent(text, this);
  UpdateSurfaceBounds();
  Realign();
  DoCreate();
}

void TCustomForm::DoCreate() {
  created_ = true;
  if (OnCreate) OnCreate(this);
}

// --- TDataModule -----------------------------------------------------------------

TDataModule::TDataModule(TComponent* owner) : TComponent(owner) {
  if (Screen) Screen->dataModules_.push_back(this);
}

TDataModule::~TDataModule() {
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
      HandleEventException();
    }
  }
  Destroying();
  DestroyComponents();
  if (Screen) {
    auto& d = Screen->dataModules_;
    d.erase(std::remove(d.begin(), d.end(), this), d.end());
  }
}

void TDataModule::InitDataModule(const AnsiString& resourceName) {
  TResourceBlock block = FindResource(resourceName, RT_RCDATA);
  if (!block.data) throw EResNotFound("Resource " + resourceName + " not found");
  InitDataModuleFromText(AnsiString(reinterpret_cast<const char*>(block.data), block.size));
}

void TDataModule::InitDataModuleFromText(const AnsiString& text) {
  ObjectTextToComponent(text, this);
  if (OnCreate) OnCreate(this);
}

// --- TApplication -------------------------------------------------------------------

namespace {

// The application-wide filter: stands for the keyboard hook and the
// application-activation message of the class library's platform.
class TApplicationFilter : public QObject {
 public:
  explicit TApplicationFilter(TApplication* app) : app_(app) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    try {
      switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
          // A key event is offered again to each parent it propagates to;
          // the hooks see it once.
          if (event == lastKey_) return false;
          lastKey_ = event;
          auto* ke = static_cast<QKeyEvent*>(event);
          std::uint16_t vk = QtKeyToVirtualKey(ke->key(), ke->modifiers() & Qt::KeypadModifier);
          if (vk == 0) return false;
          bool down = event->type() == QEvent::KeyPress;
          NoteKeyTransition(vk, down, ke->isAutoRepeat());
          std::uint32_t data = 1;
          if (ke->isAutoRepeat() || !down) data |= 1u << 30;
          if (!down) data |= 1u << 31;
          app_->RunKeyboardHooks(vk, data);
          return false;
        }
        case QEvent::ApplicationStateChange: {
          auto state = QGuiApplication::applicationState();
          app_->SetActive(state == Qt::ApplicationActive);
          return false;
        }
        default:
          return false;
      }
    } catch (...) {
      HandleEventException();
      return false;
    }
  }

 private:
  TApplication* app_;
  const QEvent* lastKey_ = nullptr;
};

}  // namespace

TApplication::TApplication(TComponent* owner) : TComponent(owner) {
  DialogDefaultCaption = [] { return Application ? Application->Title() : AnsiString(); };
}

TApplication::~TApplication() { delete filter_; }

void TApplication::Initialize() {
  EnsureQApplication();
  // Closing windows never ends the program by itself: Terminate does.
  if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    gui->setQuitOnLastWindowClosed(false);
  InstallFilters();
}

void TApplication::InstallFilters() {
  if (filter_ || !QCoreApplication::instance()) return;
  filter_ = new TApplicationFilter(this);
  QCoreApplication::instance()->installEventFilter(filter_);
  if (auto* d = QAbstractEventDispatcher::instance())
    QObject::connect(d, &QAbstractEventDispatcher::aboutToBlock, filter_,
                     Guarded([this] { Idle(); }));
}

AnsiString TApplication::ExeName() const {
  if (!QCoreApplication::instance()) return AnsiString();
  return FromQString(QCoreApplication::applicationFilePath());
}

void TApplication::SetHint(const AnsiString& hint) {
  if (hint == hint_) return;
  hint_ = hint;
  if (OnHint) OnHint(this);
}

void TApplication::DoHint(const AnsiString& hint) {
  // The long part of a "short|long" hint is the application's hint.
  int bar = hint.Pos("|");
  SetHint(bar > 0 ? hint.SubString(bar + 1, hint.Length()) : hint);
}

// The message loop runs until Terminate; then the application frees the
// forms and data modules it owns, as the program's end does, so that their
// destructors close tables and files.
void TApplication::Run() {
  Initialize();
  running_ = true;
  if (!terminated_ && mainForm_ && showMainForm_) mainForm_->Show();
  while (!terminated_ && QCoreApplication::instance()) {
    QEventLoop loop;
    loop.exec();
  }
  running_ = false;
  DestroyComponents();
}

void TApplication::Terminate() {
  terminated_ = true;
  for (TCustomForm* f : ModalForms)
    if (f->loop_) f->loop_->quit();
  if (QCoreApplication::instance()) QCoreApplication::exit(0);
}

void TApplication::ProcessMessages() {
  if (!QCoreApplication::instance()) {
    DeliverPostedMessages();
    return;
  }
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TApplication::HandleMessage() {
  if (!QCoreApplication::instance()) return;
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TApplication::HandleException(TObject* sender) {
  try {
    throw;
  } catch (const EAbort&) {
    // silent by definition
  } catch (const Exception& e) {
    try {
      if (OnException)
        OnException(sender, e);
      else
        ShowException(e);
    } catch (...) {
      // An error inside the error handler must not recurse.
    }
  } catch (const std::exception& e) {
    try {
      Exception wrapped(e.what());
      if (OnException)
        OnException(sender, wrapped);
      else
        ShowException(wrapped);
    } catch (...) {
    }
  } catch (...) {
    try {
      ShowException(Exception("Unknown exception"));
    } catch (...) {
    }
  }
}

void TApplication::ShowException(const Exception& e) {
  AnsiString caption = title_;
  if (caption.IsEmpty()) caption = FromQString(QFileInfo(ToQString(ExeName())).baseName());
  ::MessageBox(e.Message(), caption, MB_OK | MB_ICONSTOP);
}

int TApplication::MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags) {
  return ::MessageBox(text, caption, flags);
}

void TApplication::Minimize() {
  if (mainForm_) mainForm_->SetWindowState(wsMinimized);
}

void TApplication::Restore() {
  if (mainForm_) mainForm_->SetWindowState(wsNormal);
}

void TApplication::BringToFront() {
  if (mainForm_) mainForm_->BringToFront();
}

void TApplication::HookMainWindow(const TWindowHook& hook, const void* id) {
  windowHooks_.push_back({id, hook});
}

void TApplication::UnhookMainWindow(const void* id) {
  windowHooks_.erase(std::remove_if(windowHooks_.begin(), windowHooks_.end(),
                                    [id](const Hook& h) { return h.id == id; }),
                     windowHooks_.end());
}

bool TApplication::RunMainWindowHooks(TMessage& message) {
  auto hooks = windowHooks_;  // a hook may unhook itself
  for (auto& h : hooks)
    if (h.fn(message)) return true;
  return false;
}

int TApplication::AddKeyboardHook(const TKeyboardHook& hook) {
  int id = nextHookId_++;
  keyboardHooks_.emplace_back(id, hook);
  return id;
}

void TApplication::RemoveKeyboardHook(int id) {
  keyboardHooks_.erase(std::remove_if(keyboardHooks_.begin(), keyboardHooks_.end(),
                                      [id](const auto& h) { return h.first == id; }),
                       keyboardHooks_.end());
}

void TApplication::RunKeyboardHooks(std::uint16_t vk, std::uint32_t keyData) {
  auto hooks = keyboardHooks_;
  for (auto& h : hooks) h.second(vk, keyData);
}

void TApplication::SetActive(bool active) {
  if (active == active_) return;
  active_ = active;
  TMessage m;
  m.Msg = WM_ACTIVATEAPP;
  m.WParam = active ? 1 : 0;
  RunMainWindowHooks(m);
  // The form that was active when the program lost the focus is
  // deactivated, and activated again when the program gets it back.
  if (!active) {
    lastActiveForm_ = Screen->ActiveForm();
    if (lastActiveForm_) lastActiveForm_->Deactivate();
  } else if (lastActiveForm_ && !Screen->ActiveForm()) {
    for (int i = 0; i < Screen->FormCount(); ++i)
      if (Screen->Forms(i) == lastActiveForm_ && lastActiveForm_->Visible()) lastActiveForm_->Activate();
  }
  if (active) lastActiveForm_ = nullptr;
  if (active && OnActivate) OnActivate(this);
  if (!active && OnDeactivate) OnDeactivate(this);
}

void TApplication::Idle() {
  bool done = true;
  if (OnIdle) OnIdle(this, done);
}

// --- TScreen -------------------------------------------------------------------------

TScreen::TScreen(TComponent* owner) : TComponent(owner) {}

int TScreen::Width() const { return GetSystemMetrics(SM_CXSCREEN); }
int TScreen::Height() const { return GetSystemMetrics(SM_CYSCREEN); }
TRect TScreen::WorkAreaRect() const { return WorkArea(); }

void TScreen::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
    if (cursor_ != crDefault) QApplication::restoreOverrideCursor();
    if (cursor != crDefault)
      QApplication::setOverrideCursor(QCursor(static_cast<Qt::CursorShape>(QtCursorShape(cursor))));
  }
  cursor_ = cursor;
}

TWinControl* TScreen::ActiveControl() const {
  return activeForm_ ? activeForm_->ActiveControl() : nullptr;
}

TCustomForm* TScreen::Forms(int index) const {
  if (index < 0 || index >= FormCount()) ListIndexError(index);
  return forms_[static_cast<size_t>(index)];
}

TDataModule* TScreen::DataModules(int index) const {
  if (index < 0 || index >= DataModuleCount()) ListIndexError(index);
  return dataModules_[static_cast<size_t>(index)];
}
