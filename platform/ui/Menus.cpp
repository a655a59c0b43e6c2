// Menu items, main menus and pop-up menus over QMenuBar/QMenu/QAction.
#include "platform/ui/Menus.h"

#include <QAction>
#include <QCursor>
#include <QEvent>
#include <QMouseEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>
#include <algorithm>

#include "platform/ui/ControlsInt.h"
#include "platform/ui/Forms.h"
#include "platform/ui/ImageList.h"
#include "platform/ui/QtText.h"

// --- short-cuts ---------------------------------------------------------------

TShortCut ShortCut(std::uint16_t key, TShiftState shift) {
  TShortCut s = static_cast<TShortCut>(key & 0xFF);
  if (shift.Contains(ssShift)) s |= scShift;
  if (shift.Contains(ssCtrl)) s |= scCtrl;
  if (shift.Contains(ssAlt)) s |= scAlt;
  return s;
}

void ShortCutToKey(TShortCut s, std::uint16_t& key, TShiftState& shift) {
  key = s & 0xFF;
  shift.Clear();
  if (s & scShift) shift << ssShift;
  if (s & scCtrl) shift << ssCtrl;
  if (s & scAlt) shift << ssAlt;
}

namespace {

struct KeyName {
  std::uint16_t vk;
  const char* name;
};
constexpr KeyName kKeyNames[] = {
    {VK_BACK, "BkSp"}, {VK_TAB, "Tab"},   {VK_RETURN, "Enter"}, {VK_ESCAPE, "Esc"},
    {VK_SPACE, "Space"}, {VK_PRIOR, "PgUp"}, {VK_NEXT, "PgDn"}, {VK_END, "End"},
    {VK_HOME, "Home"}, {VK_LEFT, "Left"}, {VK_UP, "Up"},     {VK_RIGHT, "Right"},
    {VK_DOWN, "Down"}, {VK_INSERT, "Ins"}, {VK_DELETE, "Del"},
};

AnsiString KeyText(std::uint16_t vk) {
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return AnsiString(static_cast<char>(vk));
  if (vk >= VK_F1 && vk <= VK_F12) return "F" + std::to_string(vk - VK_F1 + 1);
  for (const KeyName& k : kKeyNames)
    if (k.vk == vk) return k.name;
  return AnsiString();
}

QKeySequence ToKeySequence(TShortCut s) {
  int qt = VirtualKeyToQtKey(s & 0xFF);
  if (!qt) return QKeySequence();
  int mods = 0;
  if (s & scShift) mods |= Qt::SHIFT;
  if (s & scCtrl) mods |= Qt::CTRL;
  if (s & scAlt) mods |= Qt::ALT;
  return QKeySequence(qt | mods);
}

}  // namespace

AnsiString ShortCutToText(TShortCut s) {
  AnsiString key = KeyText(s & 0xFF);
  if (key.IsEmpty()) return AnsiString();
  AnsiString out;
  if (s & scShift) out += "Shift+";
  if (s & scCtrl) out += "Ctrl+";
  if (s & scAlt) out += "Alt+";
  return out + key;
}

TShortCut TextToShortCut(const AnsiString& text) {
  AnsiString rest = text;
  TShortCut mods = 0;
  for (;;) {
    AnsiString up = rest.UpperCase();
    if (up.rfind("SHIFT+", 0) == 0) { mods |= scShift; rest = rest.SubString(7, rest.Length()); }
    else if (up.rfind("CTRL+", 0) == 0) { mods |= scCtrl; rest = rest.SubString(6, rest.Length()); }
    else if (up.rfind("ALT+", 0) == 0) { mods |= scAlt; rest = rest.SubString(5, rest.Length()); }
    else break;
  }
  AnsiString up = rest.UpperCase();
  for (int vk = 1; vk < 256; ++vk) {
    AnsiString name = KeyText(static_cast<std::uint16_t>(vk));
    if (!name.IsEmpty() && name.UpperCase() == up) return static_cast<TShortCut>(vk | mods);
  }
  return 0;
}

AnsiString StripHotkey(const AnsiString& caption) {
  AnsiString out;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') {
        out += '&';
        ++i;
      }
      continue;
    }
    out += caption[i];
    // A double-byte character is copied whole: its trail byte may be '&'.
    if (IsDBCSLeadByte(static_cast<unsigned char>(caption[i])) && i + 1 < caption.size())
      out += caption[++i];
  }
  return out;
}

// --- owner-drawn items --------------------------------------------------------------

namespace {

const char* const kItemProperty = "payrollMenuItem";

// The action whose item the style is asked about: menus and menu bars name
// it (initStyleOption) right before they measure or paint it.
const QAction* gStyledAction = nullptr;

TMenuItem* ItemOf(const QAction* action) {
  if (!action) return nullptr;
  QVariant v = action->property(kItemProperty);
  return v.isValid() ? reinterpret_cast<TMenuItem*>(v.value<quintptr>()) : nullptr;
}

void TagAction(QAction* action, TMenuItem* item) {
  action->setProperty(kItemProperty, QVariant::fromValue(reinterpret_cast<quintptr>(item)));
}

// Owner drawing: in a menu whose OwnerDraw is on, every item -- menu-bar
// items, items with sub-menus and separators included -- is measured by
// its OnMeasureItem (starting from the size the style gives it, which the
// handler may change) and painted by its OnDrawItem, selected when the
// mouse or the arrow keys reached it.  An item without a handler keeps
// the style's size or look, so turning OwnerDraw on never blanks one.
class TOwnerDrawStyle : public QProxyStyle {
 public:
  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override {
    QSize base = QProxyStyle::sizeFromContents(type, option, size, widget);
    if (type != CT_MenuItem && type != CT_MenuBarItem) return base;
    TMenuItem* item = OwnerDrawn(gStyledAction);
    if (!item || !item->OnMeasureItem) return base;
    int w = base.width(), h = base.height();
    TCanvas canvas;
    try {
      item->OnMeasureItem(item, &canvas, w, h);
    } catch (...) {
      HandleEventException();
    }
    return QSize(std::max(w, 0), std::max(h, 0));
  }

  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    TMenuItem* item = nullptr;
    if (element == CE_MenuItem || element == CE_MenuBarItem) item = OwnerDrawn(gStyledAction);
    if (!item || !item->OnDrawItem) {
      QProxyStyle::drawControl(element, option, painter, widget);
      return;
    }
    bool selected = (option->state & State_Selected) || (option->state & State_Sunken);
    painter->save();
    TCanvas canvas;
    canvas.Attach(painter);
    TRect r = Bounds(option->rect.x(), option->rect.y(), option->rect.width(), option->rect.height());
    try {
      item->OnDrawItem(item, &canvas, r, selected && item->Enabled());
    } catch (...) {
      HandleEventException();
    }
    canvas.Detach();
    painter->restore();
  }

 private:
  static TMenuItem* OwnerDrawn(const QAction* action) {
    TMenuItem* item = ItemOf(action);
    TMenu* menu = item ? item->GetParentMenu() : nullptr;
    return menu && menu->OwnerDraw() ? item : nullptr;
  }
};

QStyle* OwnerDrawStyle() {
  static TOwnerDrawStyle* style = new TOwnerDrawStyle;
  return style;
}

// A menu and a menu bar that tell the style which action it is about.
class TItemMenu : public QMenu {
 public:
  TItemMenu(const QString& title, QWidget* parent) : QMenu(title, parent) { setStyle(OwnerDrawStyle()); }
  explicit TItemMenu(QWidget* parent = nullptr) : QMenu(parent) { setStyle(OwnerDrawStyle()); }

 protected:
  void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override {
    QMenu::initStyleOption(option, action);
    gStyledAction = action;
  }
};

class TItemMenuBar : public QMenuBar {
 public:
  explicit TItemMenuBar(QWidget* parent) : QMenuBar(parent) { setStyle(OwnerDrawStyle()); }

 protected:
  void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override {
    QMenuBar::initStyleOption(option, action);
    gStyledAction = action;
  }
};

}  // namespace

// --- TMenuItem -------------------------------------------------------------------

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {}

TMenuItem::~TMenuItem() {
  Destroying();
  // Children owned by others lose their parent; the tree never dangles.
  for (TMenuItem* c : items_) c->parent_ = nullptr;
  auto children = items_;
  items_.clear();
  for (TMenuItem* c : children)
    if (!c->Owner()) delete c;
  if (parent_) parent_->Remove(this);
}

void TMenuItem::Changed() {
  if (TMenu* m = GetParentMenu()) m->MenuChanged();
}

void TMenuItem::SetCaption(const AnsiString& c) {
  if (c == caption_) return;
  caption_ = c;
  Changed();
}

void TMenuItem::SetShortCut(TShortCut s) {
  shortCut_ = s;
  Changed();
}

void TMenuItem::SetChecked(bool v) {
  if (v == checked_) return;
  checked_ = v;
  if (v && radioItem_) UncheckSiblings();
  Changed();
}

void TMenuItem::UncheckSiblings() {
  if (!parent_) return;
  for (TMenuItem* s : parent_->items_)
    if (s != this && s->radioItem_ && s->groupIndex_ == groupIndex_) s->checked_ = false;
}

void TMenuItem::SetRadioItem(bool v) {
  radioItem_ = v;
  if (v && checked_) UncheckSiblings();
  Changed();
}

void TMenuItem::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Changed();
}

void TMenuItem::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  Changed();
}

void TMenuItem::SetDefault(bool v) {
  default_ = v;
  Changed();
}

void TMenuItem::SetImageIndex(int v) {
  imageIndex_ = v;
  Changed();
}

TBitmap* TMenuItem::Bitmap() const {
  if (!bitmap_) const_cast<TMenuItem*>(this)->bitmap_ = std::make_unique<TBitmap>();
  return bitmap_.get();
}

void TMenuItem::SetBitmap(TBitmap* b) {
  Bitmap()->Assign(b);
  Changed();
}

TMenuItem* TMenuItem::Items(int index) const {
  if (index < 0 || index >= Count()) ListIndexError(index);
  return items_[static_cast<size_t>(index)];
}

int TMenuItem::MenuIndex() const { return parent_ ? parent_->IndexOf(this) : -1; }

void TMenuItem::SetMenuIndex(int index) {
  if (!parent_) return;
  TMenuItem* p = parent_;
  p->items_.erase(std::find(p->items_.begin(), p->items_.end(), this));
  index = std::clamp(index, 0, p->Count());
  p->items_.insert(p->items_.begin() + index, this);
  Changed();
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
  if (!item) return;
  if (item->parent_) throw EMenuError("Menu inserted twice");
  if (index < 0 || index > Count()) ListIndexError(index);
  items_.insert(items_.begin() + index, item);
  item->parent_ = this;
  if (item->checked_ && item->radioItem_) item->UncheckSiblings();
  Changed();
}

void TMenuItem::Remove(TMenuItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end()) return;
  items_.erase(it);
  item->parent_ = nullptr;
  Changed();
}

void TMenuItem::Delete(int index) {
  TMenuItem* item = Items(index);
  Remove(item);
  delete item;
}

void TMenuItem::Clear() {
  while (Count() > 0) Delete(Count() - 1);
}

int TMenuItem::IndexOf(const TMenuItem* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

TMenuItem* TMenuItem::Find(const AnsiString& caption) const {
  AnsiString want = StripHotkey(caption);
  for (TMenuItem* i : items_)
    if (StripHotkey(i->caption_) == want) return i;
  return nullptr;
}

TMenu* TMenuItem::GetParentMenu() const {
  const TMenuItem* root = this;
  while (root->parent_) root = root->parent_;
  return root->menu_;
}

void TMenuItem::Click() {
  if (!enabled_) return;
  if (autoCheck_) SetChecked(!checked_);
  if (OnClick) OnClick(this);
}

QAction* TMenuItem::MakeAction(QWidget* parentWidget) {
  TMenu* menu = GetParentMenu();
  auto* action = new QAction(ToQString(caption_), parentWidget);
  TagAction(action, this);
  action->setEnabled(enabled_);
  action->setVisible(visible_);
  if (checked_ || autoCheck_ || radioItem_) {
    action->setCheckable(true);
    action->setChecked(checked_);
  }
  if (shortCut_) {
    action->setShortcut(ToKeySequence(shortCut_));
    action->setShortcutContext(Qt::WindowShortcut);
  }
  if (default_) {
    QFont f = action->font();
    f.setBold(true);
    action->setFont(f);
  }
  // The menu's image list entry, else the item's own bitmap.
  TCustomImageList* images = menu ? menu->Images() : nullptr;
  if (images && imageIndex_ >= 0 && imageIndex_ < images->Count()) {
    TBitmap icon;
    images->GetBitmap(imageIndex_, &icon);
    action->setIcon(QIcon(QPixmap::fromImage(icon.ToImage())));
  } else if (bitmap_ && !bitmap_->Empty()) {
    action->setIcon(QIcon(QPixmap::fromImage(bitmap_->ToImage())));
  }
  if (!hint_.IsEmpty()) action->setStatusTip(ToQString(hint_));
  TMenuItem* self = this;
  QObject::connect(action, &QAction::triggered, action, Guarded([self](bool) {
    // The menu rebuilds itself when a handler changes it: run the command
    // after Qt has finished with the action.
    self->Click();
  }));
  return action;
}

void TMenuItem::BuildInto(QMenu* menu) {
  for (TMenuItem* child : items_) {
    if (child->IsLine()) {
      QAction* sep = menu->addSeparator();
      sep->setVisible(child->visible_);
      TagAction(sep, child);
      continue;
    }
    if (!child->items_.empty()) {
      QMenu* sub = new TItemMenu(ToQString(child->caption_), menu);
      menu->addMenu(sub);
      sub->setEnabled(child->enabled_);
      sub->menuAction()->setVisible(child->visible_);
      TagAction(sub->menuAction(), child);
      child->BuildInto(sub);
    } else {
      menu->addAction(child->MakeAction(menu));
    }
  }
}

void TMenuItem::BuildInto(QMenuBar* bar) {
  for (TMenuItem* child : items_) {
    if (child->IsLine()) continue;
    if (!child->items_.empty()) {
      QMenu* sub = new TItemMenu(ToQString(child->caption_), bar);
      bar->addMenu(sub);
      sub->setEnabled(child->enabled_);
      sub->menuAction()->setVisible(child->visible_);
      TagAction(sub->menuAction(), child);
      child->BuildInto(sub);
    } else {
      bar->addAction(child->MakeAction(bar));
    }
  }
}

// --- TMenu ------------------------------------------------------------------------

TMenu::TMenu(TComponent* owner) : TComponent(owner), items_(new TMenuItem(nullptr)) {
  items_->menu_ = this;
}

TMenu::~TMenu() {
  Destroying();
  items_->menu_ = nullptr;
  delete items_;
}

void TMenu::SetImages(TCustomImageList* images) {
  images_ = images;
  if (images) images->FreeNotification(this);
  MenuChanged();
}

void TMenu::SetOwnerDraw(bool v) {
  if (v == ownerDraw_) return;
  ownerDraw_ = v;
  MenuChanged();
}

void TMenu::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == images_) images_ = nullptr;
}

void TMenu::MenuChanged() {}

namespace {
TMenuItem* FindShortCut(TMenuItem* item, TShortCut s) {
  for (int i = 0; i < item->Count(); ++i) {
    TMenuItem* c = item->Items(i);
    if (!c->Visible() || !c->Enabled()) continue;
    if (c->ShortCut() == s && c->Count() == 0) return c;
    if (TMenuItem* f = FindShortCut(c, s)) return f;
  }
  return nullptr;
}
}  // namespace

TMenuItem* TMenu::FindItemByShortCut(TShortCut shortCut) const {
  return shortCut ? FindShortCut(items_, shortCut) : nullptr;
}

bool TMenu::IsShortCut(std::uint16_t key, TShiftState shift) {
  TMenuItem* item = FindItemByShortCut(::ShortCut(key, shift));
  if (!item) return false;
  item->Click();
  return true;
}

// --- TMainMenu ------------------------------------------------------------------------

TMainMenu::TMainMenu(TComponent* owner) : TMenu(owner) {}

TMainMenu::~TMainMenu() {
  Destroying();
  if (form_) form_->SetMenu(nullptr);
  delete bar_;
}

bool TMainMenu::HasVisibleItems() const {
  for (int i = 0; i < items_->Count(); ++i)
    if (items_->Items(i)->Visible()) return true;
  return false;
}

QMenuBar* TMainMenu::MenuBarFor(TCustomForm* form) {
  if (form != form_ || !form->Surface()) return nullptr;
  if (!bar_) {
    bar_ = new TItemMenuBar(form->Surface());
    bar_->setNativeMenuBar(false);
    items_->BuildInto(bar_);
  }
  return bar_;
}

void TMainMenu::AttachToForm(TCustomForm* form) {
  form_ = form;
  MenuChanged();
}

void TMainMenu::DetachFromForm(TCustomForm* form) {
  if (form_ != form) return;
  form_ = nullptr;
  delete bar_;
  bar_ = nullptr;
}

void TMainMenu::MenuChanged() {
  if (!form_ || ComponentState().Contains(csLoading)) return;
  if (bar_) {
    bar_->clear();
    // The sub-menus of the old tree go once the running handler is done.
    for (QMenu* old : bar_->findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) old->deleteLater();
    items_->BuildInto(bar_);
  }
  form_->Perform(CM_MENUCHANGED);
}

// --- TPopupMenu -------------------------------------------------------------------------

TPopupMenu::TPopupMenu(TComponent* owner) : TMenu(owner) {}
TPopupMenu::~TPopupMenu() { Destroying(); }

void TPopupMenu::Popup(int x, int y) {
  if (OnPopup) OnPopup(this);
  if (ChooseForTest) {
    if (TMenuItem* item = ChooseForTest(this)) item->Click();
    return;
  }
  TItemMenu menu;
  items_->BuildInto(&menu);
  QPoint at(x, y);
  QSize size = menu.sizeHint();
  if (alignment_ == paRight) at.rx() -= size.width();
  if (alignment_ == paCenter) at.rx() -= size.width() / 2;
  menu.exec(at);
}

// --- streaming hooks ---------------------------------------------------------------

TComponent* TMenuItem::GetParentComponent() const {
  if (parent_ && parent_->menu_) return parent_->menu_;
  return parent_;
}

void TMenuItem::SetParentComponent(TComponent* parent) {
  if (parent_) parent_->Remove(this);
  if (auto* m = dynamic_cast<TMenu*>(parent)) m->Items()->Add(this);
  else if (auto* i = dynamic_cast<TMenuItem*>(parent)) i->Add(this);
}

void TMenuItem::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  for (TMenuItem* c : items_)
    if (c->Owner() == root) proc(c);
}

void TMenu::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  items_->GetChildren(proc, root);
}

void TMenu::Loaded() {
  TComponent::Loaded();
  MenuChanged();
}
