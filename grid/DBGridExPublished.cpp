// Published properties of the grid's classes, in the order they stream.
#include "grid/DBGridEx.h"
#include "grid/DBSumList.h"
#include "platform/ui/ImageList.h"
#include "platform/ui/Menus.h"

PAYROLL_PUBLISH(TColumnTitleEx) {
  using T = TColumnTitleEx;
  p.Property("Alignment", &T::Alignment, &T::SetAlignment).Stored(&T::IsAlignmentStored);
  p.Property("Caption", &T::Caption, &T::SetCaption).Stored(&T::IsCaptionStored);
  p.Property("Color", &T::Color, &T::SetColor).Stored(&T::IsColorStored).Idents(ColorIdents());
  p.Property("EndEllipsis", &T::EndEllipsis, &T::SetEndEllipsis).Stored(&T::IsEndEllipsisStored);
  p.Property("Font", &T::Font, &T::SetFont).Stored(&T::IsFontStored);
  p.Property("Hint", &T::Hint, &T::SetHint);
  p.Property("ImageIndex", &T::ImageIndex, &T::SetImageIndex).Default(-1);
  p.Property("Orientation", &T::Orientation, &T::SetOrientation).Stored(&T::IsOrientationStored);
  // Stored as read: MarkedColumns is rebuilt from the indexes after loading.
  p.Property("SortIndex", &T::SortIndex, &T::SetSortIndexLoaded).Default(0);
  p.Property("SortMarker", &T::SortMarker, &T::SetSortMarker).Default(smNoneEx);
  p.Property("TitleButton", &T::TitleButton, &T::SetTitleButton).Stored(&T::IsTitleButtonStored);
  p.Property("ToolTips", &T::ToolTips, &T::SetToolTips).Stored(&T::IsToolTipsStored);
}

PAYROLL_PUBLISH(TColumnFooterEx) {
  using T = TColumnFooterEx;
  p.Property("Alignment", &T::Alignment, &T::SetAlignment).Stored(&T::IsAlignmentStored);
  p.Property("Color", &T::Color, &T::SetColor).Stored(&T::IsColorStored).Idents(ColorIdents());
  p.Property("EndEllipsis", &T::EndEllipsis, &T::SetEndEllipsis).Default(false);
  p.Property("FieldName", &T::FieldName, &T::SetFieldName);
  p.Property("Font", &T::Font, &T::SetFont).Stored(&T::IsFontStored);
  p.Property("Value", &T::Value, &T::SetValue);
  p.Property("ValueType", &T::ValueType, &T::SetValueType).Default(fvtNon);
  p.Property("WordWrap", &T::WordWrap, &T::SetWordWrap).Default(false);
}

PAYROLL_PUBLISH(TColumnFootersEx) {}

PAYROLL_PUBLISH(TColumnEx) {
  using T = TColumnEx;
  p.Property("Alignment", &T::Alignment, &T::SetAlignment).Stored(&T::IsAlignmentStored);
  p.Property("AlwaysShowEditButton", &T::AlwaysShowEditButton, &T::SetAlwaysShowEditButton)
      .Stored(&T::IsAlwaysShowEditButtonStored);
  p.Property("AutoDropDown", &T::AutoDropDown, &T::SetAutoDropDown)
      .Stored(&T::IsAutoDropDownStored);
  p.Property("AutoFitColWidth", &T::AutoFitColWidth, &T::SetAutoFitColWidth).Default(true);
  p.Property("ButtonStyle", &T::ButtonStyle, &T::SetButtonStyle).Default(cbsAuto);
  p.Property("Checkboxes", &T::Checkboxes, &T::SetCheckboxes).Stored(&T::IsCheckboxesStored);
  p.Property("Color", &T::Color, &T::SetColor).Stored(&T::IsColorStored).Idents(ColorIdents());
  p.Property("DblClickNextVal", &T::DblClickNextVal, &T::SetDblClickNextVal)
      .Stored(&T::IsDblClickNextValStored);
  p.Property("DropDownRows", &T::DropDownRows, &T::SetDropDownRows).Default(7u);
  p.Property("DropDownShowTitles", &T::DropDownShowTitles, &T::SetDropDownShowTitles)
      .Stored(&T::IsDropDownShowTitlesStored);
  p.Property("DropDownSizing", &T::DropDownSizing, &T::SetDropDownSizing)
      .Stored(&T::IsDropDownSizingStored);
  p.Property("DropDownWidth", &T::DropDownWidth, &T::SetDropDownWidth).Default(0);
  p.Property("EndEllipsis", &T::EndEllipsis, &T::SetEndEllipsis).Stored(&T::IsEndEllipsisStored);
  p.Property("FieldName", &T::FieldName, &T::SetFieldName);
  p.Property("Font", &T::Font, &T::SetFont).Stored(&T::IsFontStored);
  p.Property("Footer", &T::Footer, &T::SetFooter);
  p.Property("Footers", &T::Footers, &T::SetFooters).Stored(&T::IsFootersStored);
  p.Property("ImageList", &T::ImageList, &T::SetImageList);
  p.Property("ImeMode", &T::ImeMode, &T::SetImeMode).Stored(&T::IsImeModeStored);
  p.Property("ImeName", &T::ImeName, &T::SetImeName).Stored(&T::IsImeNameStored);
  p.Property("Increment", &T::Increment, &T::SetIncrement).Stored(&T::IsIncrementStored);
  p.Property("KeyList", &T::KeyList, &T::SetKeyList).Stored(&T::IsKeyListStored);
  p.Property("LookupDisplayFields", &T::LookupDisplayFields, &T::SetLookupDisplayFields)
      .Stored(&T::IsLookupDisplayFieldsStored);
  p.Property("MaxWidth", &T::MaxWidth, &T::SetMaxWidth).Default(0);
  p.Property("MinWidth", &T::MinWidth, &T::SetMinWidth).Default(0);
  p.Property("NotInKeyListIndex", &T::NotInKeyListIndex, &T::SetNotInKeyListIndex).Default(-1);
  p.Property("PickList", &T::PickList, &T::SetPickList).Stored(&T::IsPickListStored);
  p.Property("PopupMenu", &T::PopupMenu, &T::SetPopupMenu);
  p.Property("ReadOnly", &T::ReadOnly, &T::SetReadOnly).Stored(&T::IsReadOnlyStored);
  p.Property("Tag", &T::Tag, &T::SetTag).Default(0);
  p.Property("Title", &T::Title, &T::SetTitle);
  p.Property("ToolTips", &T::ToolTips, &T::SetToolTips).Stored(&T::IsToolTipsStored);
  p.Property("Visible", &T::Visible, &T::SetVisible).Default(true);
  p.Property("Width", &T::Width, &T::SetWidth).Stored(&T::IsWidthStored);
  p.Property("WordWrap", &T::WordWrap, &T::SetWordWrap).Stored(&T::IsWordWrapStored);
  p.Event("OnEditButtonClick", &T::OnEditButtonClick);
  p.Event("OnEditButtonDown", &T::OnEditButtonDown);
  p.Event("OnNotInList", &T::OnNotInList);
  p.Event("OnUpdateData", &T::OnUpdateData);
}

PAYROLL_PUBLISH(TDBGridColumnsEx) {}

PAYROLL_PUBLISH(TColumnTitleDefValuesEx) {
  using T = TColumnTitleDefValuesEx;
  p.Property("Alignment", &T::Alignment, &T::SetAlignment).Stored(&T::AlignmentAssigned);
  p.Property("Color", &T::Color, &T::SetColor).Stored(&T::ColorAssigned).Idents(ColorIdents());
  p.Property("EndEllipsis", &T::EndEllipsis, &T::SetEndEllipsis).Default(false);
  p.Property("Orientation", &T::Orientation, &T::SetOrientation).Default(tohHorizontal);
  p.Property("TitleButton", &T::TitleButton, &T::SetTitleButton).Default(false);
  p.Property("ToolTips", &T::ToolTips, &T::SetToolTips).Default(false);
}

PAYROLL_PUBLISH(TColumnDefValuesEx) {
  using T = TColumnDefValuesEx;
  p.Property("AlwaysShowEditButton", &T::AlwaysShowEditButton, &T::SetAlwaysShowEditButton)
      .Default(false);
  p.Property("AutoDropDown", &T::AutoDropDown, &T::SetAutoDropDown).Default(false);
  p.Property("DblClickNextVal", &T::DblClickNextVal, &T::SetDblClickNextVal).Default(false);
  p.Property("DropDownShowTitles", &T::DropDownShowTitles, &T::SetDropDownShowTitles)
      .Default(false);
  p.Property("DropDownSizing", &T::DropDownSizing, &T::SetDropDownSizing).Default(false);
  p.Property("EndEllipsis", &T::EndEllipsis, &T::SetEndEllipsis).Default(false);
  p.Property("Title", &T::Title, &T::SetTitle);
  p.Property("ToolTips", &T::ToolTips, &T::SetToolTips).Default(false);
}

PAYROLL_PUBLISH(TDBSum) {
  p.Property("FieldName", &TDBSum::FieldName, &TDBSum::SetFieldName);
  p.Property("GroupOperation", &TDBSum::GroupOperation, &TDBSum::SetGroupOperation);
}

PAYROLL_PUBLISH(TDBSumCollection) {}

PAYROLL_PUBLISH(TDBSumListProducer) {}

PAYROLL_PUBLISH(TDBGridExSumList) {
  using T = TDBGridExSumList;
  p.Property("Active", &T::Active, &T::SetActive).Default(false);
  p.Property("ExternalRecalc", &T::ExternalRecalc, &T::SetExternalRecalc).Default(false);
  p.Event("SumListChanged", &T::SumListChanged);
  p.Property("VirtualRecords", &T::VirtualRecords, &T::SetVirtualRecords).Default(false);
  p.Event("OnRecalcAll", &T::OnRecalcAll);
}

PAYROLL_PUBLISH(TDBGridExScrollBar) {
  using T = TDBGridExScrollBar;
  p.Property("Tracking", &T::Tracking, &T::SetTracking).Default(false);
  p.Property("Visible", &T::Visible, &T::SetVisible).Default(true);
}

PAYROLL_PUBLISH(TCustomDBGridEx) {}

PAYROLL_PUBLISH(TDBGridEx) {
  using T = TDBGridEx;
  p.Property("AllowedOperations", &T::AllowedOperations, &T::SetAllowedOperations)
      .Default(TDBGridExAllowedOperations{alopInsertEx, alopUpdateEx, alopDeleteEx, alopAppendEx});
  p.Property("AllowedSelections", &T::AllowedSelections, &T::SetAllowedSelections)
      .Default(TDBGridExSelectionTypes{gstRecordBookmarks, gstRectangle, gstColumns, gstAll});
  p.Property("AutoFitColWidths", &T::AutoFitColWidths, &T::SetAutoFitColWidths).Default(false);
  p.Property("Columns", &T::Columns, &T::SetColumns);
  p.Property("ColumnDefValues", &T::ColumnDefValues, &T::SetColumnDefValues);
  p.Property("DataSource", &T::DataSource, &T::SetDataSource);
  p.Property("DrawMemoText", &T::DrawMemoText, &T::SetDrawMemoText).Default(false);
  p.Property("FixedColor", &T::FixedColor, &T::SetFixedColor)
      .Default(clBtnFace)
      .Idents(ColorIdents());
  p.Property("Flat", &T::Flat, &T::SetFlat).Default(false);
  p.Property("FooterColor", &T::FooterColor, &T::SetFooterColor)
      .Default(clWindow)
      .Idents(ColorIdents());
  p.Property("FooterFont", &T::FooterFont, &T::SetFooterFont);
  p.Property("FooterRowCount", &T::FooterRowCount, &T::SetFooterRowCount).Default(0);
  p.Property("FrozenCols", &T::FrozenCols, &T::SetFrozenCols).Default(0);
  p.Property("HorzScrollBar", &T::HorzScrollBar, &T::SetHorzScrollBar);
  p.Property("MinAutoFitWidth", &T::MinAutoFitWidth, &T::SetMinAutoFitWidth).Default(0);
  p.Property("Options", &T::Options, &T::SetOptions)
      .Default(TDBGridOptions{dgEditing, dgTitles, dgIndicator, dgColumnResize, dgColLines,
                              dgRowLines, dgTabs, dgConfirmDelete, dgCancelOnExit});
  p.Property("OptionsEx", &T::OptionsEx, &T::SetOptionsEx)
      .Default(TDBGridExOptions{dghFixed3D, dghHighlightFocus, dghClearSelection});
  p.Property("ReadOnly", &T::ReadOnly, &T::SetReadOnly).Default(false);
  p.Property("RowHeight", &T::RowHeight, &T::SetRowHeight).Default(0);
  p.Property("RowLines", &T::RowLines, &T::SetRowLines).Default(0);
  p.Property("RowSizingAllowed", &T::RowSizingAllowed, &T::SetRowSizingAllowed).Default(false);
  p.Property("SumList", &T::SumList);
  p.Property("TitleFont", &T::TitleFont, &T::SetTitleFont);
  p.Property("TitleHeight", &T::TitleHeight, &T::SetTitleHeight).Default(0);
  p.Property("TitleLines", &T::TitleLines, &T::SetTitleLines).Default(0);
  p.Property("UseMultiTitle", &T::UseMultiTitle, &T::SetUseMultiTitle).Default(false);
  p.Property("VertScrollBar", &T::VertScrollBar, &T::SetVertScrollBar);
  p.Property("VTitleMargin", &T::VTitleMargin, &T::SetVTitleMargin).Default(10);
  p.Event("OnSortMarkingChanged", &T::OnSortMarkingChanged);
  p.Event("OnSumListRecalcAll", &T::OnSumListRecalcAll);
  p.Event("OnColEnter", &T::OnColEnter);
  p.Event("OnColExit", &T::OnColExit);
}
