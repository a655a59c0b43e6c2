// Footer cells of the data grid's columns.  Each column has one Footer and
// a Footers collection: footer row N shows Footers[N] when it exists and
// Footer otherwise.  A footer shows nothing, an aggregate of a field
// (sum, average, count -- kept by the grid's sum list, DBSumList.h), the
// current value of a field, or a static text.
//
// Alignment, Color and Font follow the column's field and the grid's
// FooterColor and FooterFont until assigned (bit 0 Alignment, 1 Font,
// 2 Color of the footer's own flags).
//
// Layer: grid.
#pragma once

#include <memory>

#include "platform/core/Collections.h"
#include "platform/data/DBTypes.h"
#include "platform/ui/Graphics.h"

class TColumnEx;
class TCustomDBGridEx;
class TDBSum;

enum TFooterValueType { fvtNon, fvtSum, fvtAvg, fvtCount, fvtFieldValue, fvtStaticText };
PAYROLL_ENUM_NAMES(TFooterValueType, fvtNon, fvtSum, fvtAvg, fvtCount, fvtFieldValue,
                   fvtStaticText)

enum TColumnFooterValue { cfvAlignment, cfvFont, cfvColor };
using TColumnFooterValues = TSet<TColumnFooterValue, 8>;

class TColumnFooterEx : public TCollectionItem {
  PAYROLL_CLASS(TColumnFooterEx, TCollectionItem)
 public:
  // An item of a column's Footers.
  explicit TColumnFooterEx(TCollection* collection);
  // A column's single Footer.
  explicit TColumnFooterEx(TColumnEx* column);
  ~TColumnFooterEx() override;

  TColumnEx* Column() const;
  void Assign(TPersistent* source) override;
  void RestoreDefaults();
  const TColumnFooterValues& AssignedValues() const { return assigned_; }

  TAlignment Alignment() const;
  void SetAlignment(TAlignment value);
  TColor Color() const;
  void SetColor(TColor value);
  TFont* Font() const;
  void SetFont(TFont* value) { font_->Assign(value); }
  bool EndEllipsis() const { return endEllipsis_; }
  void SetEndEllipsis(bool value);
  const AnsiString& FieldName() const { return fieldName_; }
  void SetFieldName(const AnsiString& value);
  const AnsiString& Value() const { return value_; }
  void SetValue(const AnsiString& value);
  TFooterValueType ValueType() const { return valueType_; }
  void SetValueType(TFooterValueType value);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);

  TAlignment DefaultAlignment() const;
  TColor DefaultColor() const;
  TFont* DefaultFont() const;
  bool IsAlignmentStored() const {
    return assigned_.Contains(cfvAlignment) && alignment_ != DefaultAlignment();
  }
  bool IsColorStored() const { return assigned_.Contains(cfvColor) && color_ != DefaultColor(); }
  bool IsFontStored() const { return assigned_.Contains(cfvFont); }

  // The sum-list item kept for this footer, or null.
  TDBSum* SumItem() const { return sumItem_; }
  // Creates, updates or frees SumItem to match ValueType and FieldName
  // (only for a column in a grid).
  void SyncFooterSum();
  // The sum list forgets an item it frees itself.
  void SumItemGone() { sumItem_ = nullptr; }

 private:
  void Init();
  void FontChanged();
  void RefreshDefaultFont() const;
  void Changed(bool allColumns);
  TCustomDBGridEx* Grid() const;

  TColumnEx* ownerColumn_ = nullptr;  // for the single Footer
  TAlignment alignment_ = taLeftJustify;
  TColumnFooterValues assigned_;
  TColor color_ = clWindow;
  bool endEllipsis_ = false;
  AnsiString fieldName_;
  std::unique_ptr<TFont> font_;
  AnsiString value_;
  TFooterValueType valueType_ = fvtNon;
  bool wordWrap_ = false;
  TDBSum* sumItem_ = nullptr;
  bool settingDefaultFont_ = false;
};

class TColumnFootersEx : public TCollection {
  PAYROLL_CLASS(TColumnFootersEx, TCollection)
 public:
  explicit TColumnFootersEx(TColumnEx* column);
  TColumnEx* Column() const { return column_; }
  TColumnFooterEx* Add() { return static_cast<TColumnFooterEx*>(TCollection::Add()); }
  TColumnFooterEx* Items(int index) const {
    return static_cast<TColumnFooterEx*>(TCollection::Items(index));
  }
  TPersistent* GetOwner() const override;

 protected:
  void Notify(TCollectionItem* item, TCollectionNotification action) override;

 private:
  TColumnEx* column_;
};
