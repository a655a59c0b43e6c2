// TDataSource and TDataLink: how controls, the grid, report datasets and
// detail datasets follow a dataset.
//
//   TDataSet --DataEvent--> TDataSource --DataEvent--> TDataLink (each)
//
// A data link asks for BufferCount records (a grid: its visible rows); the
// dataset keeps the largest such count of buffers.  The link sees its own
// part of the dataset's window: records FirstRecord .. FirstRecord +
// BufferCount - 1 of the dataset's buffers, and its ActiveRecord is the
// dataset's active record relative to that part.  A scroll notification
// carries the distance by which the link's part moved.
//
// Notifications a link receives (virtual, empty or forwarding by default):
//   ActiveChanged        the dataset opened or closed (or the source changed)
//   DataSetChanged       the whole window changed (default: RecordChanged(nullptr))
//   DataSetScrolled(n)   the window moved n records (default: DataSetChanged)
//   RecordChanged(f)     field f (nullptr: the whole record) changed
//   EditingChanged       the dataset entered or left edit/insert
//   LayoutChanged        fields were added, removed or moved (default: DataSetChanged)
//   UpdateData           write the control's value into the field now
//   FocusControl(f)      the control showing *f should take the focus and
//                        clear *f when it did
//   CheckBrowseMode      the dataset is about to leave edit mode
//
// Layer: platform/data; platform/core only.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/core/Component.h"
#include "platform/core/TypInfo.h"
#include "platform/data/DBTypes.h"

class TDataSet;
class TField;
class TDataLink;
class TDataSource;

using TDataChangeEvent = std::function<void(TObject* sender, TField* field)>;

class TDataSource : public TComponent {
  PAYROLL_CLASS(TDataSource, TComponent)

 public:
  explicit TDataSource(TComponent* owner);
  ~TDataSource() override;

  TDataSet* DataSet() const { return dataSet_; }
  // Raises "Circular datalinks are not allowed" when dataSet's master chain
  // already leads back to this source.
  void SetDataSet(TDataSet* dataSet);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  // Edit puts the dataset into edit state only with AutoEdit (default on).
  bool AutoEdit() const { return autoEdit_; }
  void SetAutoEdit(bool v) { autoEdit_ = v; }
  // The dataset's state as this source passes it on (dsInactive while
  // disabled or without dataset).
  TDataSetState State() const { return state_; }
  void Edit();
  // True when dataSet's master sources lead to this source.
  bool IsLinkedTo(TDataSet* dataSet) const;
  int DataLinkCount() const { return static_cast<int>(dataLinks_.size()); }

  // Sender is this source; field is the changed field or nullptr.
  TDataChangeEvent OnDataChange;
  TNotifyEvent OnStateChange;
  TNotifyEvent OnUpdateData;

  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class TDataSet;
  friend class TDataLink;

  void DataEvent(TDataEvent event, std::intptr_t info);
  void UpdateState();
  void SetState(TDataSetState value);
  void AddDataLink(TDataLink* link);
  void RemoveDataLink(TDataLink* link);

  TDataSet* dataSet_ = nullptr;
  bool enabled_ = true;
  bool autoEdit_ = true;
  TDataSetState state_ = dsInactive;
  std::vector<TDataLink*> dataLinks_;
};

class TDataLink : public TPersistent {
 public:
  TDataLink() = default;
  ~TDataLink() override;

  TDataSource* DataSource() const { return dataSource_; }
  void SetDataSource(TDataSource* source);
  // A fixed source cannot be changed ("DataSource cannot be changed").
  bool DataSourceFixed() const { return dataSourceFixed_; }
  void SetDataSourceFixed(bool v) { dataSourceFixed_ = v; }
  TDataSet* DataSet() const;
  bool Active() const { return active_; }
  bool Editing() const { return editing_; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v);
  int BufferCount() const { return bufferCount_; }
  void SetBufferCount(int v);
  // Active record relative to the link's part of the window.
  int ActiveRecord() const;
  void SetActiveRecord(int v);
  // Records of the window the link sees (at most BufferCount).
  int RecordCount() const;
  int FirstRecord() const { return firstRecord_; }
  // Puts the dataset into edit state (through the source's AutoEdit);
  // returns whether the link is now editing.
  bool Edit();
  // Runs UpdateData (the dataset's UpdateRecord does that for every link).
  void UpdateRecord();

 protected:
  virtual void ActiveChanged() {}
  virtual void CheckBrowseMode() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int /*distance*/) { DataSetChanged(); }
  virtual void FocusControl(TField** /*field*/) {}
  virtual void EditingChanged() {}
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void RecordChanged(TField* /*field*/) {}
  virtual void UpdateData() {}

 private:
  friend class TDataSource;
  friend class TDataSet;

  void DataEvent(TDataEvent event, std::intptr_t info);
  void UpdateState();
  void SetActive(bool v);
  void SetEditing(bool v);
  void UpdateRange();

  TDataSource* dataSource_ = nullptr;
  int firstRecord_ = 0;
  int bufferCount_ = 1;
  bool active_ = false;
  bool editing_ = false;
  bool readOnly_ = false;
  bool updating_ = false;
  bool dataSourceFixed_ = false;
};

// A link from a detail to its master data source; GetDetailDataSet names
// the dataset that follows the master.
class TDetailDataLink : public TDataLink {
 public:
  virtual TDataSet* GetDetailDataSet() { return nullptr; }
};

// The link a table keeps to its master: the master's fields named by
// FieldNames (';'-separated) and two events, OnMasterChange when the
// master moves or one of those fields changes, OnMasterDisable when the
// master closes or the list becomes empty.
class TMasterDataLink : public TDetailDataLink {
 public:
  explicit TMasterDataLink(TDataSet* dataSet) : dataSet_(dataSet) {}

  const AnsiString& FieldNames() const { return fieldNames_; }
  void SetFieldNames(const AnsiString& v);
  const std::vector<TField*>& Fields() const { return fields_; }
  TDataSet* GetDetailDataSet() override { return dataSet_; }

  TNotifyEvent OnMasterChange;
  TNotifyEvent OnMasterDisable;

 protected:
  void ActiveChanged() override;
  void CheckBrowseMode() override;
  void LayoutChanged() override;
  void RecordChanged(TField* field) override;

 private:
  TDataSet* dataSet_;
  AnsiString fieldNames_;
  std::vector<TField*> fields_;
};
