// ComCtrls: the common controls -- tree view, list view, page control with
// tab sheets, progress bar, tool bar with tool buttons.
//
// TTreeView keeps its nodes (TTreeNode) itself; the Qt tree mirrors them.
// Node order: Items.Item[i] walks the nodes depth first (a node, then its
// children, then its next sibling), as AbsoluteIndex counts them.
#pragma once

#include "platform/core/TypInfo.h"

#include <functional>
#include <memory>
#include <vector>

#include "platform/core/Collections.h"
#include "platform/ui/Controls.h"

class QTreeWidget;
class QTreeWidgetItem;
class QProgressBar;
class QTabBar;
class TCustomImageList;
class TTreeView;
class TTreeNodes;
class TPageControl;
class TToolBar;
class TPopupMenu;

class TTreeNode : public TPersistent {
 public:
  ~TTreeNode() override;
  const AnsiString& Text() const { return text_; }
  void SetText(const AnsiString& text);
  void* Data() const { return data_; }
  void SetData(void* data) { data_ = data; }
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int i);
  int SelectedIndex() const { return selectedIndex_; }
  void SetSelectedIndex(int i);
  TTreeNode* Parent() const { return parent_; }
  int Level() const;
  int Count() const { return static_cast<int>(children_.size()); }
  bool HasChildren() const { return !children_.empty(); }
  TTreeNode* Item(int index) const;
  int Index() const;
  int AbsoluteIndex() const;
  bool Expanded() const { return expanded_; }
  void SetExpanded(bool v);
  void Expand(bool recurse);
  void Collapse(bool recurse);
  bool Selected() const;
  void SetSelected(bool v);
  bool Focused() const { return Selected(); }
  TTreeNode* GetFirstChild() const { return children_.empty() ? nullptr : children_.front(); }
  TTreeNode* GetLastChild() const { return children_.empty() ? nullptr : children_.back(); }
  TTreeNode* GetNextSibling() const;
  TTreeNode* GetPrevSibling() const;
  // The next node depth first (children first), or null at the end.
  TTreeNode* GetNext() const;
  TTreeNode* GetPrev() const;
  // Frees the node and its children.
  void Delete();
  void DeleteChildren();
  void MakeVisible();
  TTreeNodes* Owner() const { return owner_; }
  TTreeView* TreeView() const;

 private:
  friend class TTreeNodes;
  friend class TTreeView;
  explicit TTreeNode(TTreeNodes* owner) : owner_(owner) {}
  TTreeNodes* owner_;
  TTreeNode* parent_ = nullptr;
  std::vector<TTreeNode*> children_;
  AnsiString text_;
  void* data_ = nullptr;
  int imageIndex_ = -1;
  int selectedIndex_ = -1;
  bool expanded_ = false;
  QTreeWidgetItem* item_ = nullptr;
};

class TTreeNodes : public TPersistent {
 public:
  explicit TTreeNodes(TTreeView* owner) : owner_(owner) {}
  ~TTreeNodes() override;
  int Count() const;
  // The index-th node depth first.
  TTreeNode* Item(int index) const;
  TTreeNode* operator[](int index) const { return Item(index); }
  TTreeNode* GetFirstNode() const { return roots_.empty() ? nullptr : roots_.front(); }
  // Add: a sibling at the end of sibling's level (a root when null).
  TTreeNode* Add(TTreeNode* sibling, const AnsiString& text);
  TTreeNode* AddObject(TTreeNode* sibling, const AnsiString& text, void* data);
  TTreeNode* AddFirst(TTreeNode* sibling, const AnsiString& text);
  TTreeNode* AddChild(TTreeNode* parent, const AnsiString& text);
  TTreeNode* AddChildObject(TTreeNode* parent, const AnsiString& text, void* data);
  TTreeNode* AddChildFirst(TTreeNode* parent, const AnsiString& text);
  // Before node, on its level.
  TTreeNode* Insert(TTreeNode* node, const AnsiString& text);
  void Delete(TTreeNode* node);
  void Clear();
  void BeginUpdate();
  void EndUpdate();
  TTreeView* Owner() const { return owner_; }

 private:
  friend class TTreeNode;
  friend class TTreeView;
  TTreeNode* InsertNode(TTreeNode* parent, int index, const AnsiString& text, void* data);
  std::vector<TTreeNode*>& SiblingsOf(TTreeNode* parent);
  TTreeView* owner_;
  std::vector<TTreeNode*> roots_;
  int updateCount_ = 0;
};

using TTVChangedEvent = std::function<void(TObject* sender, TTreeNode* node)>;
using TTVChangingEvent = std::function<void(TObject* sender, TTreeNode* node, bool& allowChange)>;
using TTVExpandingEvent = std::function<void(TObject* sender, TTreeNode* node, bool& allowExpansion)>;
using TTVExpandedEvent = std::function<void(TObject* sender, TTreeNode* node)>;

class TTreeView : public TWinControl {
  PAYROLL_CLASS(TTreeView, TWinControl)

 public:
  explicit TTreeView(TComponent* owner);
  ~TTreeView() override;
  TTreeNodes* Items() const { return items_.get(); }
  TTreeNode* Selected() const { return selected_; }
  void SetSelected(TTreeNode* node);
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* images);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v) { readOnly_ = v; }
  bool HideSelection() const { return hideSelection_; }
  void SetHideSelection(bool v) { hideSelection_ = v; }
  bool ShowLines() const { return showLines_; }
  void SetShowLines(bool v) { showLines_ = v; }
  bool ShowRoot() const { return showRoot_; }
  void SetShowRoot(bool v);
  bool ShowButtons() const { return showButtons_; }
  void SetShowButtons(bool v) { showButtons_ = v; }
  bool AutoExpand() const { return autoExpand_; }
  void SetAutoExpand(bool v) { autoExpand_ = v; }
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle s) { borderStyle_ = s; }
  void FullExpand();
  void FullCollapse();
  // The node at client point (x, y), or null.
  TTreeNode* GetNodeAt(int x, int y) const;
  bool ClickOnMouseUp() const override { return false; }
  void Notification(TComponent* component, TOperation operation) override;

  TTVChangedEvent OnChange;
  TTVChangingEvent OnChanging;
  TTVExpandingEvent OnExpanding;
  TTVExpandingEvent OnCollapsing;
  TTVExpandedEvent OnExpanded;
  TTVExpandedEvent OnCollapsed;

 protected:
  bool OpaqueBackground() const override { return true; }

 private:
  friend class TTreeNodes;
  friend class TTreeNode;
  void NodeAdded(TTreeNode* node);
  void NodeRemoving(TTreeNode* node);
  void UpdateItem(TTreeNode* node);
  void SelectFromWidget();
  TTreeNode* NodeOf(QTreeWidgetItem* item) const;
  QTreeWidget* tree_ = nullptr;
  std::unique_ptr<TTreeNodes> items_;
  TTreeNode* selected_ = nullptr;
  TCustomImageList* images_ = nullptr;
  bool readOnly_ = false, hideSelection_ = true, showLines_ = true, showRoot_ = true,
       showButtons_ = true, autoExpand_ = false;
  TBorderStyle borderStyle_ = bsSingle;
  bool syncing_ = false;
};

// --- list view (report style, which is what the program uses) ---------------

class TListView;
class TListColumn : public TPersistent {
 public:
  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& c);
  int Width() const { return width_; }
  void SetWidth(int w);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a) { alignment_ = a; }

 private:
  friend class TListView;
  TListView* view_ = nullptr;
  int index_ = 0;
  AnsiString caption_;
  int width_ = 50;
  TAlignment alignment_ = taLeftJustify;
};

class TListItem : public TPersistent {
 public:
  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& c);
  // Texts of the columns after the first.
  std::vector<AnsiString>& SubItems() { return subItems_; }
  void SubItemsChanged();
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int i) { imageIndex_ = i; }
  void* Data() const { return data_; }
  void SetData(void* d) { data_ = d; }
  bool Checked() const { return checked_; }
  void SetChecked(bool v);
  bool Selected() const;
  void SetSelected(bool v);
  int Index() const;

 private:
  friend class TListView;
  TListView* view_ = nullptr;
  AnsiString caption_;
  std::vector<AnsiString> subItems_;
  int imageIndex_ = -1;
  void* data_ = nullptr;
  bool checked_ = false;
};

enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
PAYROLL_ENUM_NAMES(TViewStyle, vsIcon, vsSmallIcon, vsList, vsReport)

class TListView : public TWinControl {
  PAYROLL_CLASS(TListView, TWinControl)

 public:
  explicit TListView(TComponent* owner);
  ~TListView() override;
  TListColumn* AddColumn();
  int ColumnCount() const { return static_cast<int>(columns_.size()); }
  TListColumn* Column(int index) const;
  TListItem* AddItem();
  int ItemCount() const { return static_cast<int>(items_.size()); }
  TListItem* Item(int index) const;
  void DeleteItem(int index);
  void ClearItems();
  TListItem* Selected() const;
  void SetSelected(TListItem* item);
  int ItemIndex() const;
  void SetItemIndex(int index);
  TViewStyle ViewStyle() const { return viewStyle_; }
  void SetViewStyle(TViewStyle s) { viewStyle_ = s; }
  bool RowSelect() const { return rowSelect_; }
  void SetRowSelect(bool v) { rowSelect_ = v; }
  bool Checkboxes() const { return checkboxes_; }
  void SetCheckboxes(bool v);
  bool GridLines() const { return gridLines_; }
  void SetGridLines(bool v) { gridLines_ = v; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v) { readOnly_ = v; }
  bool ClickOnMouseUp() const override { return false; }
  std::function<void(TObject* sender, TListItem* item, bool selected)> OnSelectItem;

 protected:
  bool OpaqueBackground() const override { return true; }

 private:
  friend class TListItem;
  friend class TListColumn;
  void RefreshColumns();
  void RefreshItem(int index);
  QTreeWidget* view_ = nullptr;
  std::vector<std::unique_ptr<TListColumn>> columns_;
  std::vector<std::unique_ptr<TListItem>> items_;
  TViewStyle viewStyle_ = vsReport;
  bool rowSelect_ = false, checkboxes_ = false, gridLines_ = false, readOnly_ = false;
  bool syncing_ = false;
};

// --- page control ----------------------------------------------------------------

class TTabSheet : public TWinControl {
  PAYROLL_CLASS(TTabSheet, TWinControl)

 public:
  explicit TTabSheet(TComponent* owner);
  ~TTabSheet() override;
  TPageControl* PageControl() const { return pageControl_; }
  void SetPageControl(TPageControl* pc);
  int PageIndex() const;
  bool TabVisible() const { return tabVisible_; }
  void SetTabVisible(bool v);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int i) { imageIndex_ = i; }
  void SetParentComponent(TComponent* parent) override;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;

 protected:
  void TextChanged() override;
  bool OpaqueBackground() const override { return true; }
  bool WantsFocusInTabOrder() const override { return false; }

 private:
  friend class TPageControl;
  TPageControl* pageControl_ = nullptr;
  bool tabVisible_ = true;
  int imageIndex_ = -1;
};

class TPageControl : public TWinControl {
  PAYROLL_CLASS(TPageControl, TWinControl)

 public:
  explicit TPageControl(TComponent* owner);
  ~TPageControl() override;
  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* Pages(int index) const;
  TTabSheet* ActivePage() const { return active_; }
  void SetActivePage(TTabSheet* page);
  int ActivePageIndex() const;
  void SetActivePageIndex(int index);
  void SelectNextPage(bool goForward);
  // The tab strip's height (the sheets fill the rest).
  int TabHeight() const;
  void AdjustClientRect(TRect& rect) const override;
  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
  void Loaded() override;
  TNotifyEvent OnChange;
  std::function<void(TObject* sender, bool& allowChange)> OnChanging;

 protected:
  bool WantsFocusInTabOrder() const override { return false; }
  void Resize() override;

 private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* page);
  void RemovePage(TTabSheet* page);
  void RebuildTabs();
  void LayoutSheets();
  QTabBar* tabs_ = nullptr;
  QWidget* area_ = nullptr;
  std::vector<TTabSheet*> pages_;
  TTabSheet* active_ = nullptr;
  bool syncing_ = false;
};

// --- progress bar -------------------------------------------------------------------

class TProgressBar : public TWinControl {
  PAYROLL_CLASS(TProgressBar, TWinControl)

 public:
  explicit TProgressBar(TComponent* owner);
  ~TProgressBar() override;
  int Min() const { return min_; }
  void SetMin(int v);
  int Max() const { return max_; }
  void SetMax(int v);
  int Position() const { return position_; }
  void SetPosition(int v);
  int Step() const { return step_; }
  void SetStep(int v) { step_ = v; }
  void StepIt();
  void StepBy(int delta);

 protected:
  bool WantsFocusInTabOrder() const override { return false; }

 private:
  void Apply();
  QProgressBar* bar_ = nullptr;
  int min_ = 0, max_ = 100, position_ = 0, step_ = 10;
};

// --- tool bar -------------------------------------------------------------------------

enum TToolButtonStyle { tbsButton, tbsCheck, tbsDropDown, tbsSeparator, tbsDivider };
PAYROLL_ENUM_NAMES(TToolButtonStyle, tbsButton, tbsCheck, tbsDropDown, tbsSeparator, tbsDivider)

class TToolButton : public TGraphicControl {
  PAYROLL_CLASS(TToolButton, TGraphicControl)

 public:
  explicit TToolButton(TComponent* owner);
  TToolButtonStyle Style() const { return style_; }
  void SetStyle(TToolButtonStyle s);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int i);
  bool Down() const { return down_; }
  void SetDown(bool v);
  bool Grouped() const { return grouped_; }
  void SetGrouped(bool v) { grouped_ = v; }
  TPopupMenu* DropdownMenu() const { return dropdownMenu_; }
  void SetDropdownMenu(TPopupMenu* m) { dropdownMenu_ = m; }
  TToolBar* ToolBar() const;
  // The look now: held down by the mouse, under the mouse (hot).
  bool Pressed() const { return pressed_; }
  bool MouseInControl() const { return mouseIn_; }
  void Paint() override;
  void Click() override;

 protected:
  void WndProc(TMessage& message) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void TextChanged() override;

 private:
  TToolButtonStyle style_ = tbsButton;
  int imageIndex_ = -1;
  bool down_ = false;
  bool pressed_ = false;
  bool mouseIn_ = false;
  bool grouped_ = false;
  TPopupMenu* dropdownMenu_ = nullptr;
};

using TTBCustomDrawBtnEvent =
    std::function<void(TToolBar* sender, TToolButton* button, bool& defaultDraw)>;

// Tool buttons side by side from the left, ButtonWidth x ButtonHeight
// each (separators and dividers Width wide).
class TToolBar : public TCustomControl {
  PAYROLL_CLASS(TToolBar, TCustomControl)

 public:
  explicit TToolBar(TComponent* owner);
  int ButtonWidth() const { return buttonWidth_; }
  void SetButtonWidth(int w);
  int ButtonHeight() const { return buttonHeight_; }
  void SetButtonHeight(int h);
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* images);
  bool Flat() const { return flat_; }
  void SetFlat(bool v);
  bool ShowCaptions() const { return showCaptions_; }
  void SetShowCaptions(bool v);
  int ButtonCount() const;
  TToolButton* Buttons(int index) const;
  void ArrangeButtons();
  void AlignControls(TControl* control, TRect& rect) override;
  void Paint() override;
  void Notification(TComponent* component, TOperation operation) override;
  TTBCustomDrawBtnEvent OnCustomDrawButton;

 protected:
  bool WantsFocusInTabOrder() const override { return false; }

 private:
  int buttonWidth_ = 23, buttonHeight_ = 22;
  TCustomImageList* images_ = nullptr;
  bool flat_ = false, showCaptions_ = false;
};

// --- up-down buttons ----------------------------------------------------------

enum TUDOrientation { udHorizontal, udVertical };
PAYROLL_ENUM_NAMES(TUDOrientation, udHorizontal, udVertical)
enum TUDAlignButton { udLeft, udRight };
PAYROLL_ENUM_NAMES(TUDAlignButton, udLeft, udRight)
enum TUDBtnType { btNext, btPrev };
using TUDClickEvent = std::function<void(TObject* sender, TUDBtnType button)>;
using TUDChangingEvent = std::function<void(TObject* sender, bool& allowChange)>;

// A pair of arrow buttons that step Position by Increment within
// [Min, Max] (wrapping round with Wrap).  With an Associate the buttons sit
// against its side (AlignButton) at its height, and its text shows the
// position ("1,000" with Thousands); Up and Down in the associate step too
// (ArrowKeys).  The upper (or right) button is btNext.  OnChanging may
// refuse a step; OnClick follows every click.
class TUpDown : public TCustomControl {
  PAYROLL_CLASS(TUpDown, TCustomControl)

 public:
  explicit TUpDown(TComponent* owner);
  ~TUpDown() override;
  int Min() const { return min_; }
  void SetMin(int v);
  int Max() const { return max_; }
  void SetMax(int v);
  int Position() const { return position_; }
  void SetPosition(int v);
  int Increment() const { return increment_; }
  void SetIncrement(int v) { increment_ = v; }
  bool Wrap() const { return wrap_; }
  void SetWrap(bool v) { wrap_ = v; }
  bool Thousands() const { return thousands_; }
  void SetThousands(bool v);
  bool ArrowKeys() const { return arrowKeys_; }
  void SetArrowKeys(bool v) { arrowKeys_ = v; }
  TUDOrientation Orientation() const { return orientation_; }
  void SetOrientation(TUDOrientation o);
  TUDAlignButton AlignButton() const { return alignButton_; }
  void SetAlignButton(TUDAlignButton a);
  TWinControl* Associate() const { return associate_; }
  void SetAssociate(TWinControl* control);
  // One step as a click on that button does (OnChanging, then OnClick).
  void Step(TUDBtnType button);
  void Paint() override;
  void Notification(TComponent* component, TOperation operation) override;
  void Loaded() override;

  TUDClickEvent OnClick;
  TUDChangingEvent OnChanging;

 protected:
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void KeyDown(std::uint16_t& key, TShiftState shift) override;
  bool WantsFocusInTabOrder() const override { return false; }

 private:
  void PlaceAtAssociate();
  void ShowInAssociate();
  void HookAssociate();
  void UnhookAssociate();
  int min_ = 0, max_ = 100, position_ = 0, increment_ = 1;
  bool wrap_ = false, thousands_ = true, arrowKeys_ = true;
  TUDOrientation orientation_ = udVertical;
  TUDAlignButton alignButton_ = udRight;
  TWinControl* associate_ = nullptr;
  TKeyEvent associateKeyDown_;  // the associate's own handler, called first
  int pressed_ = -1;            // the button held down (TUDBtnType), or -1
};

// --- cool bar ------------------------------------------------------------------

class TCoolBar;

// One band of a cool bar: a control (usually a tool bar) with a caption.
class TCoolBand : public TCollectionItem {
  PAYROLL_CLASS(TCoolBand, TCollectionItem)

 public:
  explicit TCoolBand(TCollection* collection);
  TWinControl* Control() const { return control_; }
  void SetControl(TWinControl* c);
  const AnsiString& Text() const { return text_; }
  void SetText(const AnsiString& t);
  int Width() const { return width_; }
  void SetWidth(int w);
  int MinHeight() const { return minHeight_; }
  void SetMinHeight(int h);
  int MinWidth() const { return minWidth_; }
  void SetMinWidth(int w);
  bool Break() const { return break_; }
  void SetBreak(bool b);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  void Assign(TPersistent* source) override;

 private:
  TWinControl* control_ = nullptr;
  AnsiString text_;
  int width_ = 0, minHeight_ = 25, minWidth_ = 0;
  bool break_ = true, visible_ = true;
};

class TCoolBands : public TOwnedCollection {
  PAYROLL_CLASS(TCoolBands, TOwnedCollection)

 public:
  explicit TCoolBands(TCoolBar* bar);
  TCoolBand* Add() { return static_cast<TCoolBand*>(TCollection::Add()); }
  TCoolBand* Items(int index) const { return static_cast<TCoolBand*>(TCollection::Items(index)); }
  // The band holding control, or null.
  TCoolBand* FindBand(const TControl* control) const;

 protected:
  void Update(TCollectionItem* item) override;

 private:
  TCoolBar* bar_;
};

// A bar of bands: each visible band starts a new row when Break is on (the
// first always does), else continues the row; a band is a grabber, its
// caption, then its control, as wide as Width (the last of a row takes the
// rest).  Rows are as high as their highest band's MinHeight.
class TCoolBar : public TCustomControl {
  PAYROLL_CLASS(TCoolBar, TCustomControl)

 public:
  explicit TCoolBar(TComponent* owner);
  ~TCoolBar() override;
  TCoolBands* Bands() const { return bands_.get(); }
  void SetBands(TCoolBands* b) { bands_->Assign(b); }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  bool ShowText() const { return showText_; }
  void SetShowText(bool v);
  // The rectangle of band index in client coordinates (empty when hidden).
  TRect BandRect(int index) const;
  void ArrangeBands();
  void AlignControls(TControl* control, TRect& rect) override;
  void Paint() override;
  void Notification(TComponent* component, TOperation operation) override;
  void Loaded() override;

 protected:
  bool WantsFocusInTabOrder() const override { return false; }

 private:
  std::vector<TRect> Compute() const;
  int CaptionWidth(const TCoolBand* band) const;
  std::unique_ptr<TCoolBands> bands_;
  bool autoSize_ = false;
  bool showText_ = true;
  bool arranging_ = false;
};
