// Tree view, list view, page control, progress bar and tool bar over Qt.
#include "platform/ui/ComCtrls.h"

#include <QHeaderView>
#include <QProgressBar>
#include <QTabBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/ui/ControlsInt.h"
#include "platform/ui/Frames3D.h"
#include "platform/ui/ImageList.h"
#include "platform/ui/Menus.h"
#include "platform/ui/QtText.h"

namespace {

QIcon IconOf(TCustomImageList* images, int index) {
  if (!images || index < 0 || index >= images->Count()) return QIcon();
  TBitmap bmp;
  images->GetBitmap(index, &bmp);
  return QIcon(QPixmap::fromImage(bmp.ToImage()));
}

}  // namespace

// --- TTreeNode --------------------------------------------------------------------

TTreeNode::~TTreeNode() {
  for (TTreeNode* c : children_) delete c;
}

TTreeView* TTreeNode::TreeView() const { return owner_ ? owner_->Owner() : nullptr; }

void TTreeNode::SetText(const AnsiString& text) {
  text_ = text;
  if (TreeView()) TreeView()->UpdateItem(this);
}

void TTreeNode::SetImageIndex(int i) {
  imageIndex_ = i;
  if (TreeView()) TreeView()->UpdateItem(this);
}

void TTreeNode::SetSelectedIndex(int i) {
  selectedIndex_ = i;
  if (TreeView()) TreeView()->UpdateItem(this);
}

int TTreeNode::Level() const {
  int l = 0;
  for (TTreeNode* p = parent_; p; p = p->parent_) ++l;
  return l;
}

TTreeNode* TTreeNode::Item(int index) const {
  if (index < 0 || index >= Count()) ListIndexError(index);
  return children_[static_cast<size_t>(index)];
}

int TTreeNode::Index() const {
  const auto& sibs = owner_->SiblingsOf(parent_);
  return static_cast<int>(std::find(sibs.begin(), sibs.end(), this) - sibs.begin());
}

int TTreeNode::AbsoluteIndex() const {
  int i = 0;
  for (TTreeNode* n = owner_->GetFirstNode(); n; n = n->GetNext(), ++i)
    if (n == this) return i;
  return -1;
}

void TTreeNode::SetExpanded(bool v) {
  if (v == expanded_) return;
  TTreeView* tv = TreeView();
  if (tv) {
    bool allow = true;
    if (v && tv->OnExpanding) tv->OnExpanding(tv, this, allow);
    if (!v && tv->OnCollapsing) tv->OnCollapsing(tv, this, allow);
    if (!allow) {
      tv->UpdateItem(this);
      return;
    }
  }
  expanded_ = v;
  if (tv) {
    tv->UpdateItem(this);
    if (v && tv->OnExpanded) tv->OnExpanded(tv, this);
    if (!v && tv->OnCollapsed) tv->OnCollapsed(tv, this);
  }
}

void TTreeNode::Expand(bool recurse) {
  SetExpanded(true);
  if (recurse)
    for (TTreeNode* c : children_) c->Expand(true);
}

void TTreeNode::Collapse(bool recurse) {
  SetExpanded(false);
  if (recurse)
    for (TTreeNode* c : children_) c->Collapse(true);
}

bool TTreeNode::Selected() const { return TreeView() && TreeView()->Selected() == this; }

void TTreeNode::SetSelected(bool v) {
  if (!TreeView()) return;
  if (v)
    TreeView()->SetSelected(this);
  else if (Selected())
    TreeView()->SetSelected(nullptr);
}

TTreeNode* TTreeNode::GetNextSibling() const {
  const auto& sibs = owner_->SiblingsOf(parent_);
  auto it = std::find(sibs.begin(), sibs.end(), this);
  return it != sibs.end() && it + 1 != sibs.end() ? *(it + 1) : nullptr;
}

TTreeNode* TTreeNode::GetPrevSibling() const {
  const auto& sibs = owner_->SiblingsOf(parent_);
  auto it = std::find(sibs.begin(), sibs.end(), this);
  return it != sibs.end() && it != sibs.begin() ? *(it - 1) : nullptr;
}

TTreeNode* TTreeNode::GetNext() const {
  if (!children_.empty()) return children_.front();
  for (const TTreeNode* n = this; n; n = n->parent_)
    if (TTreeNode* s = n->GetNextSibling()) return s;
  return nullptr;
}

TTreeNode* TTreeNode::GetPrev() const {
  TTreeNode* p = GetPrevSibling();
  if (!p) return parent_;
  while (!p->children_.empty()) p = p->children_.back();
  return p;
}

void TTreeNode::Delete() { owner_->Delete(this); }

void TTreeNode::DeleteChildren() {
  while (!children_.empty()) owner_->Delete(children_.back());
}

void TTreeNode::MakeVisible() {
  for (TTreeNode* p = parent_; p; p = p->parent_) p->SetExpanded(true);
  if (item_ && item_->treeWidget()) item_->treeWidget()->scrollToItem(item_);
}

// --- TTreeNodes ----------------------------------------------------------------------

TTreeNodes::~TTreeNodes() {
  for (TTreeNode* n : roots_) delete n;
}

std::vector<TTreeNode*>& TTreeNodes::SiblingsOf(TTreeNode* parent) {
  return parent ? parent->children_ : roots_;
}

int TTreeNodes::Count() const {
  int n = 0;
  for (TTreeNode* p = GetFirstNode(); p; p = p->GetNext()) ++n;
  return n;
}

TTreeNode* TTreeNodes::Item(int index) const {
  int i = 0;
  for (TTreeNode* p = GetFirstNode(); p; p = p->GetNext(), ++i)
    if (i == index) return p;
  ListIndexError(index);
}

TTreeNode* TTreeNodes::InsertNode(TTreeNode* parent, int index, const AnsiString& text, void* data) {
  auto* node = new TTreeNode(this);
  node->parent_ = parent;
  node->text_ = text;
  node->data_ = data;
  auto& sibs = SiblingsOf(parent);
  index = std::clamp(index, 0, static_cast<int>(sibs.size()));
  sibs.insert(sibs.begin() + index, node);
  if (owner_) owner_->NodeAdded(node);
  return node;
}

TTreeNode* TTreeNodes::Add(TTreeNode* sibling, const AnsiString& text) { return AddObject(sibling, text, nullptr); }

TTreeNode* TTreeNodes::AddObject(TTreeNode* sibling, const AnsiString& text, void* data) {
  TTreeNode* parent = sibling ? sibling->parent_ : nullptr;
  return InsertNode(parent, static_cast<int>(SiblingsOf(parent).size()), text, data);
}

TTreeNode* TTreeNodes::AddFirst(TTreeNode* sibling, const AnsiString& text) {
  return InsertNode(sibling ? sibling->parent_ : nullptr, 0, text, nullptr);
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* parent, const AnsiString& text) {
  return AddChildObject(parent, text, nullptr);
}

TTreeNode* TTreeNodes::AddChildObject(TTreeNode* parent, const AnsiString& text, void* data) {
  return InsertNode(parent, static_cast<int>(SiblingsOf(parent).size()), text, data);
}

TTreeNode* TTreeNodes::AddChildFirst(TTreeNode* parent, const AnsiString& text) {
  return InsertNode(parent, 0, text, nullptr);
}

TTreeNode* TTreeNodes::Insert(TTreeNode* node, const AnsiString& text) {
  if (!node) return Add(nullptr, text);
  return InsertNode(node->parent_, node->Index(), text, nullptr);
}

void TTreeNodes::Delete(TTreeNode* node) {
  if (!node) return;
  while (!node->children_.empty()) Delete(node->children_.back());
  if (owner_) owner_->NodeRemoving(node);
  auto& sibs = SiblingsOf(node->parent_);
  sibs.erase(std::remove(sibs.begin(), sibs.end(), node), sibs.end());
  delete node;
}

void TTreeNodes::Clear() {
  while (!roots_.empty()) Delete(roots_.back());
}

void TTreeNodes::BeginUpdate() {
  if (updateCount_++ == 0 && owner_ && owner_->tree_) owner_->tree_->setUpdatesEnabled(false);
}

void TTreeNodes::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0 && owner_ && owner_->tree_)
    owner_->tree_->setUpdatesEnabled(true);
}

// --- TTreeView --------------------------------------------------------------------------

TTreeView::TTreeView(TComponent* owner) : TWinControl(owner), items_(std::make_unique<TTreeNodes>(this)) {
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 121, 97);
  tree_ = new QTreeWidget;
  tree_->setHeaderHidden(true);
  tree_->setColumnCount(1);
  tree_->setFocusPolicy(Qt::StrongFocus);
  SetWidget(tree_);
  BridgeInnerWidget(tree_->viewport());
  QObject::connect(tree_, &QTreeWidget::currentItemChanged, SignalContext(),
                   Guarded([this](QTreeWidgetItem*, QTreeWidgetItem*) { SelectFromWidget(); }));
  QObject::connect(tree_, &QTreeWidget::itemExpanded, SignalContext(), Guarded([this](QTreeWidgetItem* i) {
                     if (TTreeNode* n = NodeOf(i); n && !syncing_) n->SetExpanded(true);
                   }));
  QObject::connect(tree_, &QTreeWidget::itemCollapsed, SignalContext(), Guarded([this](QTreeWidgetItem* i) {
                     if (TTreeNode* n = NodeOf(i); n && !syncing_) n->SetExpanded(false);
                   }));
  QObject::connect(tree_, &QTreeWidget::itemClicked, SignalContext(),
                   Guarded([this](QTreeWidgetItem*, int) { Click(); }));
}

TTreeView::~TTreeView() {
  DetachSurface();  // no more signals while the nodes go
  selected_ = nullptr;
  items_->owner_ = nullptr;
}

TTreeNode* TTreeView::NodeOf(QTreeWidgetItem* item) const {
  if (!item) return nullptr;
  return static_cast<TTreeNode*>(item->data(0, Qt::UserRole).value<void*>());
}

void TTreeView::NodeAdded(TTreeNode* node) {
  if (!tree_) return;
  syncing_ = true;
  auto* item = new QTreeWidgetItem;
  item->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void*>(node)));
  node->item_ = item;
  auto& sibs = items_->SiblingsOf(node->parent_);
  int index = static_cast<int>(std::find(sibs.begin(), sibs.end(), node) - sibs.begin());
  if (node->parent_ && node->parent_->item_)
    node->parent_->item_->insertChild(index, item);
  else
    tree_->insertTopLevelItem(index, item);
  syncing_ = false;
  UpdateItem(node);
  if (node->parent_) UpdateItem(node->parent_);
}

void TTreeView::NodeRemoving(TTreeNode* node) {
  if (selected_ == node) {
    selected_ = nullptr;
    if (OnChange) OnChange(this, nullptr);
  }
  if (!tree_ || !node->item_) return;
  syncing_ = true;
  delete node->item_;
  node->item_ = nullptr;
  syncing_ = false;
}

void TTreeView::UpdateItem(TTreeNode* node) {
  if (!tree_ || !node->item_) return;
  syncing_ = true;
  node->item_->setText(0, ToQString(node->text_));
  int image = node == selected_ && node->selectedIndex_ >= 0 ? node->selectedIndex_ : node->imageIndex_;
  node->item_->setIcon(0, IconOf(images_, image));
  node->item_->setExpanded(node->expanded_);
  syncing_ = false;
}

void TTreeView::SetSelected(TTreeNode* node) {
  if (node == selected_) return;
  bool allow = true;
  if (OnChanging) OnChanging(this, node, allow);
  if (!allow) return;
  TTreeNode* old = selected_;
  selected_ = node;
  if (tree_) {
    syncing_ = true;
    tree_->setCurrentItem(node ? node->item_ : nullptr);
    syncing_ = false;
  }
  if (old) UpdateItem(old);
  if (node) UpdateItem(node);
  if (OnChange) OnChange(this, node);
}

void TTreeView::SelectFromWidget() {
  if (syncing_) return;
  TTreeNode* node = NodeOf(tree_->currentItem());
  if (node == selected_) return;
  bool allow = true;
  if (OnChanging) OnChanging(this, node, allow);
  if (!allow) {
    syncing_ = true;
    tree_->setCurrentItem(selected_ ? selected_->item_ : nullptr);
    syncing_ = false;
    return;
  }
  TTreeNode* old = selected_;
  selected_ = node;
  if (old) UpdateItem(old);
  if (node) UpdateItem(node);
  if (OnChange) OnChange(this, node);
}

void TTreeView::SetImages(TCustomImageList* images) {
  images_ = images;
  if (images) images->FreeNotification(this);
  for (TTreeNode* n = items_->GetFirstNode(); n; n = n->GetNext()) UpdateItem(n);
}

void TTreeView::Notification(TComponent* component, TOperation operation) {
  TWinControl::Notification(component, operation);
  if (operation == opRemove && component == images_) images_ = nullptr;
}

void TTreeView::SetShowRoot(bool v) {
  showRoot_ = v;
  tree_->setRootIsDecorated(v);
}

void TTreeView::FullExpand() {
  for (TTreeNode* n = items_->GetFirstNode(); n; n = n->GetNextSibling()) n->Expand(true);
}

void TTreeView::FullCollapse() {
  for (TTreeNode* n = items_->GetFirstNode(); n; n = n->GetNextSibling()) n->Collapse(true);
}

TTreeNode* TTreeView::GetNodeAt(int x, int y) const {
  QPoint vp = tree_->viewport()->mapFrom(tree_, QPoint(x, y));
  return NodeOf(tree_->itemAt(vp));
}

// --- TListView ---------------------------------------------------------------------------

void TListColumn::SetCaption(const AnsiString& c) {
  caption_ = c;
  if (view_) view_->RefreshColumns();
}

void TListColumn::SetWidth(int w) {
  width_ = w;
  if (view_) view_->RefreshColumns();
}

void TListItem::SetCaption(const AnsiString& c) {
  caption_ = c;
  if (view_) view_->RefreshItem(Index());
}

void TListItem::SubItemsChanged() {
  if (view_) view_->RefreshItem(Index());
}

void TListItem::SetChecked(bool v) {
  checked_ = v;
  if (view_) view_->RefreshItem(Index());
}

int TListItem::Index() const {
  if (!view_) return -1;
  for (int i = 0; i < view_->ItemCount(); ++i)
    if (view_->Item(i) == this) return i;
  return -1;
}

bool TListItem::Selected() const { return view_ && view_->Selected() == this; }

void TListItem::SetSelected(bool v) {
  if (!view_) return;
  if (v) view_->SetSelected(this);
  else if (Selected()) view_->SetSelected(nullptr);
}

TListView::TListView(TComponent* owner) : TWinControl(owner) {
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 250, 150);
  view_ = new QTreeWidget;
  view_->setRootIsDecorated(false);
  // Captions alone (no columns yet) have no header row to title.
  view_->setHeaderHidden(true);
  view_->setFocusPolicy(Qt::StrongFocus);
  SetWidget(view_);
  BridgeInnerWidget(view_->viewport());
  QObject::connect(view_, &QTreeWidget::currentItemChanged, SignalContext(),
                   Guarded([this](QTreeWidgetItem* now, QTreeWidgetItem*) {
                     if (syncing_ || !OnSelectItem) return;
                     int i = now ? view_->indexOfTopLevelItem(now) : -1;
                     if (i >= 0) OnSelectItem(this, items_[i].get(), true);
                   }));
  QObject::connect(view_, &QTreeWidget::itemChanged, SignalContext(),
                   Guarded([this](QTreeWidgetItem* it, int) {
                     if (syncing_ || !checkboxes_) return;
                     int i = view_->indexOfTopLevelItem(it);
                     if (i >= 0) items_[i]->checked_ = it->checkState(0) == Qt::Checked;
                   }));
  QObject::connect(view_, &QTreeWidget::itemClicked, SignalContext(),
                   Guarded([this](QTreeWidgetItem*, int) { Click(); }));
}

TListView::~TListView() { DetachSurface(); }

TListColumn* TListView::AddColumn() {
  auto c = std::make_unique<TListColumn>();
  c->view_ = this;
  c->index_ = ColumnCount();
  columns_.push_back(std::move(c));
  RefreshColumns();
  return columns_.back().get();
}

TListColumn* TListView::Column(int index) const {
  if (index < 0 || index >= ColumnCount()) ListIndexError(index);
  return columns_[static_cast<size_t>(index)].get();
}

void TListView::RefreshColumns() {
  syncing_ = true;
  QStringList labels;
  for (auto& c : columns_) labels << ToQString(c->caption_);
  view_->setColumnCount(std::max(1, ColumnCount()));
  view_->setHeaderLabels(labels);
  view_->setHeaderHidden(columns_.empty());
  for (int i = 0; i < ColumnCount(); ++i) view_->setColumnWidth(i, columns_[i]->width_);
  syncing_ = false;
}

TListItem* TListView::AddItem() {
  auto it = std::make_unique<TListItem>();
  it->view_ = this;
  items_.push_back(std::move(it));
  syncing_ = true;
  view_->addTopLevelItem(new QTreeWidgetItem);
  syncing_ = false;
  RefreshItem(ItemCount() - 1);
  return items_.back().get();
}

TListItem* TListView::Item(int index) const {
  if (index < 0 || index >= ItemCount()) ListIndexError(index);
  return items_[static_cast<size_t>(index)].get();
}

void TListView::DeleteItem(int index) {
  Item(index);
  syncing_ = true;
  delete view_->takeTopLevelItem(index);
  syncing_ = false;
  items_.erase(items_.begin() + index);
}

void TListView::ClearItems() {
  syncing_ = true;
  view_->clear();
  syncing_ = false;
  items_.clear();
}

void TListView::RefreshItem(int index) {
  if (index < 0 || index >= ItemCount()) return;
  QTreeWidgetItem* q = view_->topLevelItem(index);
  TListItem* it = items_[index].get();
  syncing_ = true;
  q->setText(0, ToQString(it->caption_));
  for (size_t i = 0; i < it->subItems_.size(); ++i) q->setText(static_cast<int>(i) + 1, ToQString(it->subItems_[i]));
  if (checkboxes_) q->setCheckState(0, it->checked_ ? Qt::Checked : Qt::Unchecked);
  syncing_ = false;
}

TListItem* TListView::Selected() const {
  int i = ItemIndex();
  return i >= 0 ? items_[i].get() : nullptr;
}

void TListView::SetSelected(TListItem* item) { SetItemIndex(item ? item->Index() : -1); }

int TListView::ItemIndex() const {
  QTreeWidgetItem* c = view_->currentItem();
  return c ? view_->indexOfTopLevelItem(c) : -1;
}

void TListView::SetItemIndex(int index) {
  syncing_ = true;
  view_->setCurrentItem(index >= 0 && index < ItemCount() ? view_->topLevelItem(index) : nullptr);
  syncing_ = false;
}

void TListView::SetCheckboxes(bool v) {
  checkboxes_ = v;
  for (int i = 0; i < ItemCount(); ++i) RefreshItem(i);
}

// --- TTabSheet / TPageControl --------------------------------------------------------------

TTabSheet::TTabSheet(TComponent* owner) : TWinControl(owner) {
  auto* w = new QWidget;
  w->setFocusPolicy(Qt::NoFocus);
  SetWidget(w);
  SetVisible(false);
}

TTabSheet::~TTabSheet() {
  if (pageControl_) pageControl_->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* pc) {
  if (pc == pageControl_) return;
  if (pageControl_) pageControl_->RemovePage(this);
  if (pc) pc->InsertPage(this);
}

void TTabSheet::SetParentComponent(TComponent* parent) {
  if (auto* pc = dynamic_cast<TPageControl*>(parent)) SetPageControl(pc);
}

int TTabSheet::PageIndex() const {
  if (!pageControl_) return -1;
  auto& v = pageControl_->pages_;
  return static_cast<int>(std::find(v.begin(), v.end(), this) - v.begin());
}

void TTabSheet::SetTabVisible(bool v) {
  tabVisible_ = v;
  if (pageControl_) pageControl_->RebuildTabs();
}

void TTabSheet::TextChanged() {
  if (pageControl_) pageControl_->RebuildTabs();
}

TPageControl::TPageControl(TComponent* owner) : TWinControl(owner) {
  SetTabStop(true);
  SetBounds(0, 0, 289, 193);
  auto* w = new QWidget;
  w->setFocusPolicy(Qt::StrongFocus);
  tabs_ = new QTabBar(w);
  tabs_->setDrawBase(true);
  tabs_->setFocusPolicy(Qt::NoFocus);
  SetWidget(w);
  QObject::connect(tabs_, &QTabBar::currentChanged, SignalContext(), Guarded([this](int tab) {
                     if (syncing_ || tab < 0) return;
                     TTabSheet* target = nullptr;
                     int visibleIndex = -1;
                     for (TTabSheet* p : pages_)
                       if (p->tabVisible_ && ++visibleIndex == tab) target = p;
                     bool allow = true;
                     if (OnChanging) OnChanging(this, allow);
                     if (!allow) {
                       RebuildTabs();
                       return;
                     }
                     SetActivePage(target);
                     if (OnChange) OnChange(this);
                   }));
}

TPageControl::~TPageControl() {
  auto pages = pages_;
  for (TTabSheet* p : pages) p->pageControl_ = nullptr;
  pages_.clear();
}

TTabSheet* TPageControl::Pages(int index) const {
  if (index < 0 || index >= PageCount()) ListIndexError(index);
  return pages_[static_cast<size_t>(index)];
}

void TPageControl::InsertPage(TTabSheet* page) {
  pages_.push_back(page);
  page->pageControl_ = this;
  page->SetParent(this);
  page->SetAlign(alNone);
  RebuildTabs();
  if (!active_) SetActivePage(page);
  LayoutSheets();
}

void TPageControl::RemovePage(TTabSheet* page) {
  pages_.erase(std::remove(pages_.begin(), pages_.end(), page), pages_.end());
  page->pageControl_ = nullptr;
  if (active_ == page) {
    active_ = nullptr;
    if (!pages_.empty()) SetActivePage(pages_.front());
  }
  RebuildTabs();
}

void TPageControl::RebuildTabs() {
  syncing_ = true;
  while (tabs_->count() > 0) tabs_->removeTab(0);
  int current = -1, i = 0;
  for (TTabSheet* p : pages_) {
    if (!p->tabVisible_) continue;
    tabs_->addTab(ToQString(p->Caption()));
    if (p == active_) current = i;
    ++i;
  }
  tabs_->setCurrentIndex(current);
  syncing_ = false;
  LayoutSheets();
}

int TPageControl::TabHeight() const { return pages_.empty() ? 0 : tabs_->sizeHint().height(); }

void TPageControl::AdjustClientRect(TRect& rect) const {
  rect.Top += TabHeight();
  InflateRect(rect, -2, -2);
}

void TPageControl::LayoutSheets() {
  if (!tabs_) return;
  tabs_->setGeometry(0, 0, Width(), TabHeight());
  TRect r = ClientRect();
  AdjustClientRect(r);
  for (TTabSheet* p : pages_) p->SetBounds(r.Left, r.Top, r.Width(), r.Height());
}

void TPageControl::Resize() {
  LayoutSheets();
  TWinControl::Resize();
}

void TPageControl::SetActivePage(TTabSheet* page) {
  if (page && page->pageControl_ != this) return;
  if (page == active_) return;
  TTabSheet* old = active_;
  active_ = page;
  if (old) {
    old->SetVisible(false);
    if (old->OnHide) old->OnHide(old);
  }
  if (page) {
    page->SetVisible(true);
    page->BringToFront();
    if (page->OnShow) page->OnShow(page);
  }
  syncing_ = true;
  int visibleIndex = -1, current = -1;
  for (TTabSheet* p : pages_)
    if (p->tabVisible_) {
      ++visibleIndex;
      if (p == page) current = visibleIndex;
    }
  tabs_->setCurrentIndex(current);
  syncing_ = false;
}

int TPageControl::ActivePageIndex() const { return active_ ? active_->PageIndex() : -1; }

void TPageControl::SetActivePageIndex(int index) {
  SetActivePage(index >= 0 && index < PageCount() ? pages_[index] : nullptr);
}

void TPageControl::SelectNextPage(bool goForward) {
  if (pages_.empty()) return;
  int n = PageCount(), i = ActivePageIndex();
  for (int step = 0; step < n; ++step) {
    i = goForward ? (i + 1) % n : (i + n - 1) % n;
    if (pages_[i]->tabVisible_) {
      SetActivePage(pages_[i]);
      if (OnChange) OnChange(this);
      return;
    }
  }
}

void TPageControl::GetChildren(const std::function<void(TComponent*)>& proc, TComponent*) {
  for (TTabSheet* p : pages_) proc(p);
}

void TPageControl::Loaded() {
  TWinControl::Loaded();
  LayoutSheets();
}

// --- TProgressBar --------------------------------------------------------------------------

TProgressBar::TProgressBar(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 150, 16);
  bar_ = new QProgressBar;
  bar_->setTextVisible(false);
  bar_->setFocusPolicy(Qt::NoFocus);
  SetWidget(bar_);
  Apply();
}

TProgressBar::~TProgressBar() { DetachSurface(); }

void TProgressBar::Apply() {
  bar_->setRange(min_, std::max(min_, max_));
  bar_->setValue(position_);
}

void TProgressBar::SetMin(int v) {
  min_ = v;
  position_ = std::max(position_, min_);
  Apply();
}

void TProgressBar::SetMax(int v) {
  max_ = v;
  position_ = std::min(position_, std::max(min_, max_));
  Apply();
}

void TProgressBar::SetPosition(int v) {
  position_ = std::clamp(v, min_, std::max(min_, max_));
  Apply();
}

// StepIt wraps to Min past Max, as the common control does.
void TProgressBar::StepIt() {
  int next = position_ + step_;
  if (next > max_) next = min_;
  position_ = next;
  Apply();
}

void TProgressBar::StepBy(int delta) { SetPosition(position_ + delta); }

// --- TToolButton / TToolBar -------------------------------------------------------------------

TToolButton::TToolButton(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 23, 22); }

TToolBar* TToolButton::ToolBar() const { return dynamic_cast<TToolBar*>(Parent()); }

void TToolButton::SetStyle(TToolButtonStyle s) {
  bool gap = s == tbsSeparator || s == tbsDivider;
  bool wasGap = style_ == tbsSeparator || style_ == tbsDivider;
  // A separator is 8 pixels wide unless given its own width.
  if (gap && !wasGap) SetWidth(8);
  style_ = s;
  if (TToolBar* tb = ToolBar()) tb->ArrangeButtons();
  Invalidate();
}

void TToolButton::SetImageIndex(int i) { imageIndex_ = i; Invalidate(); }

void TToolButton::TextChanged() {
  if (TToolBar* tb = ToolBar()) tb->ArrangeButtons();
  Invalidate();
}

void TToolButton::SetDown(bool v) {
  if (v == down_) return;
  down_ = v;
  // Grouped check buttons next to each other are exclusive.
  if (v && grouped_ && style_ == tbsCheck)
    if (TToolBar* tb = ToolBar())
      for (int i = 0; i < tb->ButtonCount(); ++i)
        if (TToolButton* b = tb->Buttons(i); b != this && b->grouped_ && b->style_ == tbsCheck)
          b->down_ = false, b->Invalidate();
  Invalidate();
}

void TToolButton::Click() {
  if (style_ == tbsSeparator || style_ == tbsDivider || !Enabled()) return;
  if (style_ == tbsCheck) SetDown(grouped_ ? true : !down_);
  TGraphicControl::Click();
}

void TToolButton::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
  if (b == mbLeft && Enabled()) {
    pressed_ = true;
    Invalidate();
  }
  TGraphicControl::MouseDown(b, s, x, y);
}

void TToolButton::MouseUp(TMouseButton b, TShiftState s, int x, int y) {
  pressed_ = false;
  Invalidate();
  TGraphicControl::MouseUp(b, s, x, y);
  if (b == mbLeft && style_ == tbsDropDown && dropdownMenu_ && Enabled()) {
    TPoint p = ClientToScreen({0, Height()});
    dropdownMenu_->PopupComponent = this;
    dropdownMenu_->Popup(p.x, p.y);
  }
}

void TToolButton::WndProc(TMessage& m) {
  if (m.Msg == CM_MOUSEENTER || m.Msg == CM_MOUSELEAVE) {
    bool in = m.Msg == CM_MOUSEENTER && Enabled();
    if (in != mouseIn_) {
      mouseIn_ = in;
      Invalidate();
    }
  }
  TGraphicControl::WndProc(m);
}

void TToolButton::Paint() {
  TToolBar* tb = ToolBar();
  if (tb && tb->OnCustomDrawButton) {
    bool defaultDraw = true;
    tb->OnCustomDrawButton(tb, this, defaultDraw);
    if (!defaultDraw) return;
  }
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  if (style_ == tbsSeparator) return;
  if (style_ == tbsDivider) {
    c->Pen()->SetColor(clBtnShadow);
    c->MoveTo(r.Width() / 2 - 1, 2);
    c->LineTo(r.Width() / 2 - 1, r.Height() - 2);
    c->Pen()->SetColor(clBtnHighlight);
    c->MoveTo(r.Width() / 2, 2);
    c->LineTo(r.Width() / 2, r.Height() - 2);
    return;
  }
  bool sunken = pressed_ || down_;
  if (sunken || !(tb && tb->Flat())) {
    TRect e = r;
    DrawEdge(c, e, sunken ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
  }
  int x = (r.Width() - (tb && tb->Images() ? tb->Images()->Width() : 0)) / 2 + (sunken ? 1 : 0);
  int y = 3 + (sunken ? 1 : 0);
  if (tb && tb->Images() && imageIndex_ >= 0 && imageIndex_ < tb->Images()->Count()) {
    tb->Images()->Draw(c, x, y, imageIndex_, Enabled());
    y += tb->Images()->Height() + 1;
  }
  if (tb && tb->ShowCaptions() && !Caption().IsEmpty()) {
    c->Font()->Assign(Font());
    c->Brush()->SetStyle(bsClear);
    TRect tr(0, y, r.Width(), r.Height());
    c->DrawText(Caption(), tr, DT_CENTER | DT_SINGLELINE);
  }
}

TToolBar::TToolBar(TComponent* owner) : TCustomControl(owner) {
  SetTabStop(false);
  Surface()->setFocusPolicy(Qt::NoFocus);
  SetBounds(0, 0, 150, 29);
  SetAlign(alTop);
}

void TToolBar::SetButtonWidth(int w) { buttonWidth_ = w; ArrangeButtons(); }
void TToolBar::SetButtonHeight(int h) { buttonHeight_ = h; ArrangeButtons(); }
void TToolBar::SetFlat(bool v) { flat_ = v; Invalidate(); for (int i = 0; i < ButtonCount(); ++i) Buttons(i)->Invalidate(); }
void TToolBar::SetShowCaptions(bool v) { showCaptions_ = v; ArrangeButtons(); }

void TToolBar::SetImages(TCustomImageList* images) {
  images_ = images;
  if (images) images->FreeNotification(this);
  ArrangeButtons();
}

void TToolBar::Notification(TComponent* component, TOperation operation) {
  TCustomControl::Notification(component, operation);
  if (operation == opRemove && component == images_) images_ = nullptr;
}

int TToolBar::ButtonCount() const {
  int n = 0;
  for (int i = 0; i < ControlCount(); ++i)
    if (dynamic_cast<TToolButton*>(Controls(i))) ++n;
  return n;
}

TToolButton* TToolBar::Buttons(int index) const {
  int n = 0;
  for (int i = 0; i < ControlCount(); ++i)
    if (auto* b = dynamic_cast<TToolButton*>(Controls(i)))
      if (n++ == index) return b;
  ListIndexError(index);
}

void TToolBar::AlignControls(TControl* control, TRect& rect) {
  TCustomControl::AlignControls(control, rect);
  ArrangeButtons();
}

// Buttons in their Left order, packed from the left edge.
void TToolBar::ArrangeButtons() {
  std::vector<TToolButton*> buttons;
  for (int i = 0; i < ControlCount(); ++i)
    if (auto* b = dynamic_cast<TToolButton*>(Controls(i)); b && b->Visible()) buttons.push_back(b);
  std::stable_sort(buttons.begin(), buttons.end(), [](TToolButton* a, TToolButton* b) { return a->Left() < b->Left(); });
  int x = 0;
  for (TToolButton* b : buttons) {
    bool gap = b->Style() == tbsSeparator || b->Style() == tbsDivider;
    int w = gap ? b->Width() : buttonWidth_;
    b->SetBounds(x, 2, w, buttonHeight_);
    x += w;
  }
}

void TToolBar::Paint() {
  Canvas()->Brush()->SetColor(Color());
  Canvas()->FillRect(ClientRect());
}
