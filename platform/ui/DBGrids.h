// DBGrids: TDBGrid, the class library's plain data-aware grid, for the
// maintenance dialogs that edit a small table directly; and the option set
// TDBGridOptions that the data grid of the grid folder shares.
//
// The grid shows every record of its data source's dataset, one row each,
// with a column per Columns item (or per visible field when Columns is
// empty).  The highlighted row is the dataset's current record: choosing
// a row moves the cursor, moving the cursor moves the highlight.  Editing
// a cell puts the dataset into edit state and writes the field's text at
// once; the record is posted when the cursor leaves it (or Esc cancels
// it).  Insert adds a record, Ctrl+Delete deletes one (asking first with
// dgConfirmDelete).
//
// The rows are re-read after every change of the dataset that is not a
// move; the grid is meant for tables of a few hundred rows.
#pragma once

#include <memory>
#include <vector>

#include "platform/core/Collections.h"
#include "platform/data/DataSource.h"
#include "platform/data/Dataset.h"
#include "platform/ui/Controls.h"

class QTableWidget;

enum TDBGridOption {
  dgEditing, dgAlwaysShowEditor, dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines,
  dgTabs, dgRowSelect, dgAlwaysShowSelection, dgConfirmDelete, dgCancelOnExit, dgMultiSelect
};
PAYROLL_ENUM_NAMES(TDBGridOption, dgEditing, dgAlwaysShowEditor, dgTitles, dgIndicator, dgColumnResize,
                   dgColLines, dgRowLines, dgTabs, dgRowSelect, dgAlwaysShowSelection, dgConfirmDelete,
                   dgCancelOnExit, dgMultiSelect)
using TDBGridOptions = TSet<TDBGridOption, 16>;

class TDBGrid;

// What a data grid's list of marked records offers its readers (the
// worksheet exporter exports only these when asked): the bookmarks, in the
// dataset's order.  Both data grids have one (TDBGrid's SelectedRows here,
// the grid folder's TDBGridEx).
class TSelectedBookmarks {
 public:
  virtual ~TSelectedBookmarks() = default;
  virtual int SelectedBookmarkCount() const = 0;
  virtual TBookmarkStr SelectedBookmark(int index) const = 0;
};

// TDBGrid's marked records (dgMultiSelect): Ctrl+click on a row, or
// CurrentRowSelected, marks or unmarks the current record.  Kept sorted in
// the dataset's bookmark order; cleared when the dataset closes or opens.
class TBookmarkList {
 public:
  explicit TBookmarkList(TDBGrid* grid) : grid_(grid) {}
  int Count() const { return static_cast<int>(list_.size()); }
  const TBookmarkStr& Items(int index) const { return list_.at(static_cast<size_t>(index)); }
  bool Contains(const TBookmarkStr& bookmark) const;
  bool CurrentRowSelected() const;
  void SetCurrentRowSelected(bool value);
  void Clear();

 private:
  // Where bookmark is or would go; found tells which.
  size_t Find(const TBookmarkStr& bookmark, bool& found) const;
  TDBGrid* grid_;
  std::vector<TBookmarkStr> list_;
};

// A column's title: the caption over the column.
class TColumnTitle : public TPersistent {
  PAYROLL_CLASS(TColumnTitle, TPersistent)
 public:
  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& c);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a) { alignment_ = a; }
  std::function<void()> OnChange;

 private:
  AnsiString caption_;
  TAlignment alignment_ = taLeftJustify;
};

class TColumn : public TCollectionItem {
  PAYROLL_CLASS(TColumn, TCollectionItem)
 public:
  explicit TColumn(TCollection* collection);
  const AnsiString& FieldName() const { return fieldName_; }
  void SetFieldName(const AnsiString& n);
  TColumnTitle* Title() const { return title_.get(); }
  int Width() const { return width_; }
  void SetWidth(int w);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  // The field the column shows, looked up by name (null when none).
  TField* Field() const;
  void Assign(TPersistent* source) override;

 private:
  AnsiString fieldName_;
  std::unique_ptr<TColumnTitle> title_;
  int width_ = 64;
  bool readOnly_ = false, visible_ = true;
  TAlignment alignment_ = taLeftJustify;
};

class TDBGridColumns : public TOwnedCollection {
  PAYROLL_CLASS(TDBGridColumns, TOwnedCollection)
 public:
  explicit TDBGridColumns(TDBGrid* grid);
  TColumn* Add() { return static_cast<TColumn*>(TCollection::Add()); }
  TColumn* Items(int index) const { return static_cast<TColumn*>(TCollection::Items(index)); }
  TDBGrid* Grid() const { return grid_; }
  // Whether the item's own constructor has finished (the collection
  // announces an item from its base constructor already).
  bool IsReady(const TCollectionItem* item) const;

 protected:
  void Update(TCollectionItem* item) override;
  void Deleting(TCollectionItem* item) override;

 private:
  friend class TColumn;
  TDBGrid* grid_;
  std::vector<const TCollectionItem*> ready_;
};

class TDBGrid : public TCustomControl, public TSelectedBookmarks {
  PAYROLL_CLASS(TDBGrid, TCustomControl)
 public:
  explicit TDBGrid(TComponent* owner);
  ~TDBGrid() override;
  TDataSource* DataSource() const;
  void SetDataSource(TDataSource* source);
  TDBGridColumns* Columns() const { return columns_.get(); }
  void SetColumns(TDBGridColumns* c) { columns_->Assign(c); }
  const TDBGridOptions& Options() const { return options_; }
  // dgRowSelect takes dgEditing and dgAlwaysShowEditor away.
  void SetOptions(const TDBGridOptions& o);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v);
  // The marked records (dgMultiSelect).
  TBookmarkList* SelectedRows() const { return selectedRows_.get(); }
  int SelectedBookmarkCount() const override { return selectedRows_->Count(); }
  TBookmarkStr SelectedBookmark(int index) const override { return selectedRows_->Items(index); }
  // The dataset the grid shows (null without an active link).
  TDataSet* GridDataSet() const;
  // The field of the selected column (null when none).
  TField* SelectedField() const;
  int SelectedIndex() const;
  void SetSelectedIndex(int column);
  // Rows shown (the dataset's records, plus a row being inserted).
  int RowCount() const;
  // The text shown in a cell (row and column from 0).
  AnsiString CellText(int row, int column) const;
  // The grid row of the current record, -1 when none.
  int CurrentRow() const;
  // Edits the current record's cell in column as the user typing text and
  // confirming it does (for the program and the tests).
  void EditCell(int column, const AnsiString& text);
  void Notification(TComponent* component, TOperation operation) override;
  void Loaded() override;
  bool WantsKey(std::uint16_t vk, TShiftState shift) const override;

  TNotifyEvent OnColEnter;
  std::function<void(TObject* sender, TField* field)> OnCellClick;

  // Called by the columns and the data link.
  void LayoutChanged();
  void DataChanged();
  void CursorMoved();
  void RecordChanged();
  void CommitEditor();

 protected:
  void KeyDown(std::uint16_t& key, TShiftState shift) override;
  bool OpaqueBackground() const override { return true; }

 private:
  class TGridLink;
  struct TShownColumn {
    TField* field;
    AnsiString title;
    int width;
    bool readOnly;
    TAlignment alignment;
  };
  void BuildColumns();
  void ReadRows();
  void FillRow(int row);
  void SelectCurrentRow();
  void CellEdited(int row, int column);
  void RowChosen(int row);
  void FreeBookmarks();
  friend class TBookmarkList;
  void MarkRow(int row, bool marked);
  QTableWidget* table_ = nullptr;
  std::unique_ptr<TGridLink> link_;
  std::unique_ptr<TDBGridColumns> columns_;
  std::unique_ptr<TBookmarkList> selectedRows_;
  std::vector<TShownColumn> shown_;
  std::vector<TBookmark> bookmarks_;  // one per row; null for a row being inserted
  TDBGridOptions options_{dgEditing, dgTitles, dgIndicator, dgColumnResize, dgColLines,
                          dgRowLines, dgTabs, dgConfirmDelete, dgCancelOnExit};
  bool readOnly_ = false;
  bool syncing_ = false;
};
