// The published properties and events of the visual layer's classes, in
// the order the text form writes them, and their registration by name.
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/ImageList.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Mask.h"
#include "platform/ui/Menus.h"
#include "platform/ui/StatusBar.h"
#include "platform/ui/StdCtrls.h"

// A control's font as definitions write it ("Font.Height = -12").
PAYROLL_PUBLISH(TFont) {
  p.Property("Charset", &TFont::Charset, &TFont::SetCharset);
  p.Property("Color", &TFont::Color, &TFont::SetColor).Idents(ColorIdents());
  p.Property("Height", &TFont::Height, &TFont::SetHeight);
  p.Property("Name", &TFont::Name, &TFont::SetName);
  p.Property("Pitch", &TFont::Pitch, &TFont::SetPitch).Default(fpDefault);
  p.Property("Style", &TFont::Style, &TFont::SetStyle);
}

PAYROLL_PUBLISH(TControl) {
  p.Property("Left", &TControl::Left, &TControl::SetLeft);
  p.Property("Top", &TControl::Top, &TControl::SetTop);
  p.Property("Width", &TControl::Width, &TControl::SetWidth).Stored(&TControl::IsSizeStored);
  p.Property("Height", &TControl::Height, &TControl::SetHeight).Stored(&TControl::IsSizeStored);
  p.Property("Align", &TControl::Align, &TControl::SetAlign).Default(alNone);
  p.Property("Anchors", &TControl::Anchors, &TControl::SetAnchors).Default(TAnchors{akLeft, akTop});
  p.Property("Color", &TControl::Color, &TControl::SetColor).Idents(ColorIdents());
  p.Property("ParentColor", &TControl::ParentColor, &TControl::SetParentColor).Default(true);
  p.Property("Font", static_cast<TFont* (TControl::*)() const>(&TControl::Font));
  p.Property("ParentFont", &TControl::ParentFont, &TControl::SetParentFont).Default(true);
  p.Property("Cursor", &TControl::Cursor, &TControl::SetCursor).Default(crDefault).Idents(CursorIdents());
  p.Property("Hint", &TControl::Hint, &TControl::SetHint);
  p.Property("ShowHint", &TControl::ShowHint, &TControl::SetShowHint).Default(false);
  p.Property("ParentShowHint", &TControl::ParentShowHint, &TControl::SetParentShowHint).Default(true);
  p.Property("PopupMenu", &TControl::PopupMenu, &TControl::SetPopupMenu);
  p.Property("Enabled", &TControl::Enabled, &TControl::SetEnabled).Default(true);
  p.Property("Visible", &TControl::Visible, &TControl::SetVisible).Default(true);
  p.Event("OnClick", &TControl::OnClick);
  p.Event("OnDblClick", &TControl::OnDblClick);
  p.Event("OnMouseDown", &TControl::OnMouseDown);
  p.Event("OnMouseUp", &TControl::OnMouseUp);
  p.Event("OnMouseMove", &TControl::OnMouseMove);
  p.Event("OnMouseEnter", &TControl::OnMouseEnter);
  p.Event("OnMouseLeave", &TControl::OnMouseLeave);
  p.Event("OnResize", &TControl::OnResize);
}

PAYROLL_PUBLISH(TWinControl) {
  p.Property("TabOrder", &TWinControl::TabOrder, &TWinControl::SetTabOrder);
  p.Property("TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop);
  p.Event("OnEnter", &TWinControl::OnEnter);
  p.Event("OnExit", &TWinControl::OnExit);
  p.Event("OnKeyDown", &TWinControl::OnKeyDown);
  p.Event("OnKeyPress", &TWinControl::OnKeyPress);
  p.Event("OnKeyUp", &TWinControl::OnKeyUp);
}

PAYROLL_PUBLISH(TGraphicControl) {}
PAYROLL_PUBLISH(TCustomControl) {}

// --- forms ---------------------------------------------------------------------

PAYROLL_PUBLISH(TCustomForm) {
  p.Property("Caption", &TCustomForm::Caption, &TCustomForm::SetCaption);
  p.Property("ClientWidth", &TCustomForm::ClientWidth, &TCustomForm::SetClientWidth);
  p.Property("ClientHeight", &TCustomForm::ClientHeight, &TCustomForm::SetClientHeight);
  p.Property("BorderStyle", &TCustomForm::BorderStyle, &TCustomForm::SetBorderStyle).Default(bsSizeable);
  p.Property("BorderIcons", &TCustomForm::BorderIcons, &TCustomForm::SetBorderIcons)
      .Default(TBorderIcons{biSystemMenu, biMinimize, biMaximize});
  p.Property("Position", &TCustomForm::Position, &TCustomForm::SetPosition).Default(poDesigned);
  p.Property("WindowState", &TCustomForm::WindowState, &TCustomForm::SetWindowState).Default(wsNormal);
  p.Property("FormStyle", &TCustomForm::FormStyle, &TCustomForm::SetFormStyle).Default(fsNormal);
  p.Property("KeyPreview", &TCustomForm::KeyPreview, &TCustomForm::SetKeyPreview).Default(false);
  p.Property("Menu", &TCustomForm::Menu, &TCustomForm::SetMenu);
  p.Property("ActiveControl", &TCustomForm::ActiveControl, &TCustomForm::SetActiveControl);
  p.Event("OnCreate", &TCustomForm::OnCreate);
  p.Event("OnDestroy", &TCustomForm::OnDestroy);
  p.Event("OnShow", &TCustomForm::OnShow);
  p.Event("OnHide", &TCustomForm::OnHide);
  p.Event("OnActivate", &TCustomForm::OnActivate);
  p.Event("OnDeactivate", &TCustomForm::OnDeactivate);
  p.Event("OnClose", &TCustomForm::OnClose);
  p.Event("OnCloseQuery", &TCustomForm::OnCloseQuery);
}

PAYROLL_PUBLISH(TForm) {}

PAYROLL_PUBLISH(TDataModule) {
  p.Event("OnCreate", &TDataModule::OnCreate);
  p.Event("OnDestroy", &TDataModule::OnDestroy);
}

// --- standard controls ------------------------------------------------------------

PAYROLL_PUBLISH(TCustomLabel) {
  p.Property("Caption", &TCustomLabel::Caption, &TCustomLabel::SetCaption);
  p.Property("Alignment", &TCustomLabel::Alignment, &TCustomLabel::SetAlignment).Default(taLeftJustify);
  p.Property("AutoSize", &TCustomLabel::AutoSize, &TCustomLabel::SetAutoSize).Default(true);
  p.Property("Transparent", &TCustomLabel::Transparent, &TCustomLabel::SetTransparent).Default(false);
  p.Property("WordWrap", &TCustomLabel::WordWrap, &TCustomLabel::SetWordWrap).Default(false);
  p.Property("Layout", &TCustomLabel::Layout, &TCustomLabel::SetLayout).Default(tlTop);
  p.Property("ShowAccelChar", &TCustomLabel::ShowAccelChar, &TCustomLabel::SetShowAccelChar).Default(true);
  p.Property("FocusControl", &TCustomLabel::FocusControl, &TCustomLabel::SetFocusControl);
}
PAYROLL_PUBLISH(TLabel) {}

PAYROLL_PUBLISH(TCustomEdit) {
  p.Property("Text", &TCustomEdit::Text, &TCustomEdit::SetText);
  p.Property("MaxLength", &TCustomEdit::MaxLength, &TCustomEdit::SetMaxLength).Default(0);
  p.Property("PasswordChar", &TCustomEdit::PasswordChar, &TCustomEdit::SetPasswordChar).Default('\0');
  p.Property("CharCase", &TCustomEdit::CharCase, &TCustomEdit::SetCharCase).Default(ecNormal);
  p.Property("ReadOnly", &TCustomEdit::ReadOnly, &TCustomEdit::SetReadOnly).Default(false);
  p.Property("AutoSelect", &TCustomEdit::AutoSelect, &TCustomEdit::SetAutoSelect).Default(true);
  p.Property("BorderStyle", &TCustomEdit::BorderStyle, &TCustomEdit::SetBorderStyle).Default(bsSingle);
  p.Event("OnChange", &TCustomEdit::OnChange);
}
PAYROLL_PUBLISH(TEdit) {}

PAYROLL_PUBLISH(TCustomMemo) {
  p.Property("Lines", &TCustomMemo::Lines);
  p.Property("ScrollBars", &TCustomMemo::ScrollBars, &TCustomMemo::SetScrollBars).Default(ssNone);
  p.Property("WordWrap", &TCustomMemo::WordWrap, &TCustomMemo::SetWordWrap).Default(true);
  p.Property("WantReturns", &TCustomMemo::WantReturns, &TCustomMemo::SetWantReturns).Default(true);
  p.Property("WantTabs", &TCustomMemo::WantTabs, &TCustomMemo::SetWantTabs).Default(false);
  p.Property("Alignment", &TCustomMemo::Alignment, &TCustomMemo::SetAlignment).Default(taLeftJustify);
}
PAYROLL_PUBLISH(TMemo) {}

PAYROLL_PUBLISH(TButtonControl) {}

PAYROLL_PUBLISH(TButton) {
  p.Property("Caption", &TButton::Caption, &TButton::SetCaption);
  p.Property("Default", &TButton::Default, &TButton::SetDefault).Default(false);
  p.Property("Cancel", &TButton::Cancel, &TButton::SetCancel).Default(false);
  p.Property("ModalResult", &TButton::ModalResult, &TButton::SetModalResult).Default(mrNone);
}

PAYROLL_PUBLISH(TCustomCheckBox) {
  p.Property("Caption", &TCustomCheckBox::Caption, &TCustomCheckBox::SetCaption);
  p.Property("Alignment", &TCustomCheckBox::Alignment, &TCustomCheckBox::SetAlignment).Default(taRightJustify);
  p.Property("AllowGrayed", &TCustomCheckBox::AllowGrayed, &TCustomCheckBox::SetAllowGrayed).Default(false);
  p.Property("Checked", &TCustomCheckBox::Checked, &TCustomCheckBox::SetChecked).Default(false);
  p.Property("State", &TCustomCheckBox::State, &TCustomCheckBox::SetState).Default(cbUnchecked);
}
PAYROLL_PUBLISH(TCheckBox) {}

PAYROLL_PUBLISH(TRadioButton) {
  p.Property("Caption", &TRadioButton::Caption, &TRadioButton::SetCaption);
  p.Property("Alignment", &TRadioButton::Alignment, &TRadioButton::SetAlignment).Default(taRightJustify);
  p.Property("Checked", &TRadioButton::Checked, &TRadioButton::SetChecked).Default(false);
}

PAYROLL_PUBLISH(TCustomComboBox) {
  p.Property("Style", &TCustomComboBox::Style, &TCustomComboBox::SetStyle).Default(csDropDown);
  p.Property("DropDownCount", &TCustomComboBox::DropDownCount, &TCustomComboBox::SetDropDownCount).Default(8);
  p.Property("ItemHeight", &TCustomComboBox::ItemHeight, &TCustomComboBox::SetItemHeight);
  p.Property("MaxLength", &TCustomComboBox::MaxLength, &TCustomComboBox::SetMaxLength).Default(0);
  p.Property("CharCase", &TCustomComboBox::CharCase, &TCustomComboBox::SetCharCase).Default(ecNormal);
  p.Property("Sorted", &TCustomComboBox::Sorted, &TCustomComboBox::SetSorted).Default(false);
  p.Property("Text", &TCustomComboBox::Text, &TCustomComboBox::SetText);
  p.Property("Items", &TCustomComboBox::Items);
  p.Property("ItemIndex", &TCustomComboBox::ItemIndex, &TCustomComboBox::SetItemIndex).Default(-1);
  p.Event("OnChange", &TCustomComboBox::OnChange);
  p.Event("OnSelect", &TCustomComboBox::OnSelect);
  p.Event("OnDropDown", &TCustomComboBox::OnDropDown);
  p.Event("OnCloseUp", &TCustomComboBox::OnCloseUp);
}
PAYROLL_PUBLISH(TComboBox) {}

PAYROLL_PUBLISH(TCustomListBox) {
  p.Property("Items", &TCustomListBox::Items);
  p.Property("MultiSelect", &TCustomListBox::MultiSelect, &TCustomListBox::SetMultiSelect).Default(false);
  p.Property("Sorted", &TCustomListBox::Sorted, &TCustomListBox::SetSorted).Default(false);
  p.Property("ItemHeight", &TCustomListBox::ItemHeight, &TCustomListBox::SetItemHeight);
  p.Property("Style", &TCustomListBox::Style, &TCustomListBox::SetStyle).Default(lbStandard);
  p.Property("IntegralHeight", &TCustomListBox::IntegralHeight, &TCustomListBox::SetIntegralHeight).Default(false);
}
PAYROLL_PUBLISH(TListBox) {}

PAYROLL_PUBLISH(TCustomGroupBox) {
  p.Property("Caption", &TCustomGroupBox::Caption, &TCustomGroupBox::SetCaption);
}
PAYROLL_PUBLISH(TGroupBox) {}

PAYROLL_PUBLISH(TScrollBar) {
  p.Property("Kind", &TScrollBar::Kind, &TScrollBar::SetKind).Default(sbHorizontal);
  p.Property("Max", &TScrollBar::Max, &TScrollBar::SetMax).Default(100);
  p.Property("Min", &TScrollBar::Min, &TScrollBar::SetMin).Default(0);
  p.Property("Position", &TScrollBar::Position, &TScrollBar::SetPosition).Default(0);
  p.Property("SmallChange", &TScrollBar::SmallChange, &TScrollBar::SetSmallChange).Default(1);
  p.Property("LargeChange", &TScrollBar::LargeChange, &TScrollBar::SetLargeChange).Default(1);
  p.Property("PageSize", &TScrollBar::PageSize, &TScrollBar::SetPageSize).Default(0);
  p.Event("OnChange", &TScrollBar::OnChange);
  p.Event("OnScroll", &TScrollBar::OnScroll);
}

// --- extended controls -------------------------------------------------------------

PAYROLL_PUBLISH(TCustomPanel) {
  p.Property("Caption", &TCustomPanel::Caption, &TCustomPanel::SetCaption);
  p.Property("Alignment", &TCustomPanel::Alignment, &TCustomPanel::SetAlignment).Default(taCenter);
  p.Property("BevelInner", &TCustomPanel::BevelInner, &TCustomPanel::SetBevelInner).Default(bvNone);
  p.Property("BevelOuter", &TCustomPanel::BevelOuter, &TCustomPanel::SetBevelOuter).Default(bvRaised);
  p.Property("BevelWidth", &TCustomPanel::BevelWidth, &TCustomPanel::SetBevelWidth).Default(1);
  p.Property("BorderWidth", &TCustomPanel::BorderWidth, &TCustomPanel::SetBorderWidth).Default(0);
  p.Property("BorderStyle", &TCustomPanel::BorderStyle, &TCustomPanel::SetBorderStyle).Default(bsNone);
}
PAYROLL_PUBLISH(TPanel) {}

PAYROLL_PUBLISH(TBevel) {
  p.Property("Shape", &TBevel::Shape, &TBevel::SetShape).Default(bsBox);
  p.Property("Style", &TBevel::Style, &TBevel::SetStyle).Default(bsLowered);
}

PAYROLL_PUBLISH(TImage) {
  p.Property("Picture", &TImage::Picture);
  p.Property("AutoSize", &TImage::AutoSize, &TImage::SetAutoSize).Default(false);
  p.Property("Center", &TImage::Center, &TImage::SetCenter).Default(false);
  p.Property("Proportional", &TImage::Proportional, &TImage::SetProportional).Default(false);
  p.Property("Stretch", &TImage::Stretch, &TImage::SetStretch).Default(false);
  p.Property("Transparent", &TImage::Transparent, &TImage::SetTransparent).Default(false);
}

PAYROLL_PUBLISH(TPage) {
  p.Property("Caption", &TPage::Caption, &TPage::SetCaption);
}

PAYROLL_PUBLISH(TNotebook) {
  p.Property("PageIndex", &TNotebook::PageIndex, &TNotebook::SetPageIndex).Default(0);
  p.Event("OnPageChanged", &TNotebook::OnPageChanged);
}

PAYROLL_PUBLISH(TTimer) {
  p.Property("Enabled", &TTimer::Enabled, &TTimer::SetEnabled).Default(true);
  p.Property("Interval", &TTimer::Interval, &TTimer::SetInterval).Default(1000u);
  p.Event("OnTimer", &TTimer::OnTimer);
}

// --- common controls ---------------------------------------------------------------

PAYROLL_PUBLISH(TTreeView) {
  p.Property("AutoExpand", &TTreeView::AutoExpand, &TTreeView::SetAutoExpand).Default(false);
  p.Property("BorderStyle", &TTreeView::BorderStyle, &TTreeView::SetBorderStyle).Default(bsSingle);
  p.Property("HideSelection", &TTreeView::HideSelection, &TTreeView::SetHideSelection).Default(true);
  p.Property("Images", &TTreeView::Images, &TTreeView::SetImages);
  p.Property("ReadOnly", &TTreeView::ReadOnly, &TTreeView::SetReadOnly).Default(false);
  p.Property("ShowButtons", &TTreeView::ShowButtons, &TTreeView::SetShowButtons).Default(true);
  p.Property("ShowLines", &TTreeView::ShowLines, &TTreeView::SetShowLines).Default(true);
  p.Property("ShowRoot", &TTreeView::ShowRoot, &TTreeView::SetShowRoot).Default(true);
  p.Event("OnChange", &TTreeView::OnChange);
  p.Event("OnChanging", &TTreeView::OnChanging);
  p.Event("OnExpanding", &TTreeView::OnExpanding);
  p.Event("OnCollapsing", &TTreeView::OnCollapsing);
  p.Event("OnExpanded", &TTreeView::OnExpanded);
  p.Event("OnCollapsed", &TTreeView::OnCollapsed);
}

PAYROLL_PUBLISH(TListView) {
  p.Property("Checkboxes", &TListView::Checkboxes, &TListView::SetCheckboxes).Default(false);
  p.Property("GridLines", &TListView::GridLines, &TListView::SetGridLines).Default(false);
  p.Property("ReadOnly", &TListView::ReadOnly, &TListView::SetReadOnly).Default(false);
  p.Property("RowSelect", &TListView::RowSelect, &TListView::SetRowSelect).Default(false);
  p.Property("ViewStyle", &TListView::ViewStyle, &TListView::SetViewStyle).Default(vsReport);
}

PAYROLL_PUBLISH(TTabSheet) {
  p.Property("Caption", &TTabSheet::Caption, &TTabSheet::SetCaption);
  p.Property("ImageIndex", &TTabSheet::ImageIndex, &TTabSheet::SetImageIndex).Default(-1);
  p.Property("TabVisible", &TTabSheet::TabVisible, &TTabSheet::SetTabVisible).Default(true);
  p.Event("OnShow", &TTabSheet::OnShow);
  p.Event("OnHide", &TTabSheet::OnHide);
}

PAYROLL_PUBLISH(TPageControl) {
  p.Property("ActivePage", &TPageControl::ActivePage, &TPageControl::SetActivePage);
  p.Event("OnChange", &TPageControl::OnChange);
  p.Event("OnChanging", &TPageControl::OnChanging);
}

PAYROLL_PUBLISH(TProgressBar) {
  p.Property("Min", &TProgressBar::Min, &TProgressBar::SetMin).Default(0);
  p.Property("Max", &TProgressBar::Max, &TProgressBar::SetMax).Default(100);
  p.Property("Position", &TProgressBar::Position, &TProgressBar::SetPosition).Default(0);
  p.Property("Step", &TProgressBar::Step, &TProgressBar::SetStep).Default(10);
}

PAYROLL_PUBLISH(TToolButton) {
  p.Property("Caption", &TToolButton::Caption, &TToolButton::SetCaption);
  p.Property("DropdownMenu", &TToolButton::DropdownMenu, &TToolButton::SetDropdownMenu);
  p.Property("Down", &TToolButton::Down, &TToolButton::SetDown).Default(false);
  p.Property("Grouped", &TToolButton::Grouped, &TToolButton::SetGrouped).Default(false);
  p.Property("ImageIndex", &TToolButton::ImageIndex, &TToolButton::SetImageIndex).Default(-1);
  p.Property("Style", &TToolButton::Style, &TToolButton::SetStyle).Default(tbsButton);
}

PAYROLL_PUBLISH(TToolBar) {
  p.Property("ButtonHeight", &TToolBar::ButtonHeight, &TToolBar::SetButtonHeight).Default(22);
  p.Property("ButtonWidth", &TToolBar::ButtonWidth, &TToolBar::SetButtonWidth).Default(23);
  p.Property("Flat", &TToolBar::Flat, &TToolBar::SetFlat).Default(false);
  p.Property("Images", &TToolBar::Images, &TToolBar::SetImages);
  p.Property("ShowCaptions", &TToolBar::ShowCaptions, &TToolBar::SetShowCaptions).Default(false);
  p.Event("OnCustomDrawButton", &TToolBar::OnCustomDrawButton);
}

// --- buttons ---------------------------------------------------------------------

PAYROLL_PUBLISH(TBitBtn) {
  p.Property("Glyph", &TBitBtn::Glyph);
  p.Property("Kind", &TBitBtn::Kind, &TBitBtn::SetKind).Default(bkCustom);
  p.Property("Layout", &TBitBtn::Layout, &TBitBtn::SetLayout).Default(blGlyphLeft);
  p.Property("Margin", &TBitBtn::Margin, &TBitBtn::SetMargin).Default(-1);
  p.Property("NumGlyphs", &TBitBtn::NumGlyphs, &TBitBtn::SetNumGlyphs).Default(1);
  p.Property("Spacing", &TBitBtn::Spacing, &TBitBtn::SetSpacing).Default(4);
}

PAYROLL_PUBLISH(TSpeedButton) {
  p.Property("AllowAllUp", &TSpeedButton::AllowAllUp, &TSpeedButton::SetAllowAllUp).Default(false);
  p.Property("GroupIndex", &TSpeedButton::GroupIndex, &TSpeedButton::SetGroupIndex).Default(0);
  p.Property("Down", &TSpeedButton::Down, &TSpeedButton::SetDown).Default(false);
  p.Property("Caption", &TSpeedButton::Caption, &TSpeedButton::SetCaption);
  p.Property("Flat", &TSpeedButton::Flat, &TSpeedButton::SetFlat).Default(false);
  p.Property("Glyph", &TSpeedButton::Glyph);
  p.Property("Layout", &TSpeedButton::Layout, &TSpeedButton::SetLayout).Default(blGlyphLeft);
  p.Property("Margin", &TSpeedButton::Margin, &TSpeedButton::SetMargin).Default(-1);
  p.Property("NumGlyphs", &TSpeedButton::NumGlyphs, &TSpeedButton::SetNumGlyphs).Default(1);
  p.Property("Spacing", &TSpeedButton::Spacing, &TSpeedButton::SetSpacing).Default(4);
  p.Property("Transparent", &TSpeedButton::Transparent, &TSpeedButton::SetTransparent).Default(true);
}

// --- menus -------------------------------------------------------------------------

PAYROLL_PUBLISH(TMenuItem) {
  p.Property("AutoCheck", &TMenuItem::AutoCheck, &TMenuItem::SetAutoCheck).Default(false);
  p.Property("Caption", &TMenuItem::Caption, &TMenuItem::SetCaption);
  p.Property("Checked", &TMenuItem::Checked, &TMenuItem::SetChecked).Default(false);
  p.Property("Default", &TMenuItem::Default, &TMenuItem::SetDefault).Default(false);
  p.Property("Enabled", &TMenuItem::Enabled, &TMenuItem::SetEnabled).Default(true);
  p.Property("GroupIndex", &TMenuItem::GroupIndex, &TMenuItem::SetGroupIndex).Default(0);
  p.Property("Hint", &TMenuItem::Hint, &TMenuItem::SetHint);
  p.Property("ImageIndex", &TMenuItem::ImageIndex, &TMenuItem::SetImageIndex).Default(-1);
  p.Property("RadioItem", &TMenuItem::RadioItem, &TMenuItem::SetRadioItem).Default(false);
  p.Property("ShortCut", &TMenuItem::ShortCut, &TMenuItem::SetShortCut).Default(TShortCut{0});
  p.Property("Visible", &TMenuItem::Visible, &TMenuItem::SetVisible).Default(true);
  p.Event("OnClick", &TMenuItem::OnClick);
  p.Event("OnDrawItem", &TMenuItem::OnDrawItem);
  p.Event("OnMeasureItem", &TMenuItem::OnMeasureItem);
}

PAYROLL_PUBLISH(TMenu) {
  p.Property("Images", &TMenu::Images, &TMenu::SetImages);
  p.Property("OwnerDraw", &TMenu::OwnerDraw, &TMenu::SetOwnerDraw).Default(false);
}

PAYROLL_PUBLISH(TMainMenu) {}

PAYROLL_PUBLISH(TPopupMenu) {
  p.Property("Alignment", &TPopupMenu::Alignment, &TPopupMenu::SetAlignment).Default(paLeft);
  p.Property("AutoPopup", &TPopupMenu::AutoPopup, &TPopupMenu::SetAutoPopup).Default(true);
  p.Event("OnPopup", &TPopupMenu::OnPopup);
}

// The classes the text form creates by name.  Called by programs at
// start-up (the registry also fills itself as the object files link).
void RegisterVisualClasses() {
  RegisterClasses<TForm, TDataModule, TLabel, TEdit, TMemo, TButton, TCheckBox, TRadioButton,
                  TComboBox, TListBox, TGroupBox, TScrollBar, TPanel, TBevel, TImage, TPage,
                  TNotebook, TTimer, TTreeView, TListView, TTabSheet, TPageControl, TProgressBar,
                  TToolButton, TToolBar, TBitBtn, TSpeedButton, TMenuItem, TMainMenu, TPopupMenu,
                  TStatusBar, TMaskEdit, TScrollBox, TUpDown, TPaintBox, TSplitter, TControlBar,
                  TCoolBar>();
}
