// The dataset's navigation, buffer window, editing cycle and the
// notifications its data links receive, over the in-memory test dataset.
#include <gtest/gtest.h>

#include "MemDataSet.h"
#include "RecordingLink.h"
#include "platform/data/DataSource.h"
#include "platform/data/Fields.h"

namespace {

// Ten employees: ID 1..10, NAME "E1".."E10", PAY 100*ID.
class DatasetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.SetName("mem");
    ds.AddColumn("ID", ftInteger);
    ds.AddColumn("NAME", ftString, 20);
    ds.AddColumn("PAY", ftFloat);
    for (int i = 1; i <= 10; ++i) ds.AddRow({i, "E" + std::to_string(i), 100.0 * i});
    src.SetDataSet(&ds);
  }
  int Id() { return ds.FieldByName("ID")->AsInteger(); }

  TMemDataSet ds;
  TDataSource src{nullptr};
  TRecordingLink link;
};

TEST_F(DatasetTest, NavigationWalksEveryRecordAndMarksTheEnds) {
  ds.Open();
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(Id(), 1);
  int seen = 1;
  while (true) {
    ds.Next();
    if (ds.Eof()) break;
    ++seen;
  }
  EXPECT_EQ(seen, 10);
  EXPECT_EQ(Id(), 10);
  ds.Prior();
  EXPECT_EQ(Id(), 9);
  EXPECT_FALSE(ds.Eof());
  ds.First();
  EXPECT_EQ(ds.MoveBy(5), 5);
  EXPECT_EQ(Id(), 6);
  EXPECT_EQ(ds.RecNo(), 6);
  EXPECT_EQ(ds.MoveBy(-10), -5);
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(ds.RecordCount(), 10);
  ds.Last();
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(Id(), 10);
}

TEST_F(DatasetTest, EmptyDatasetIsBofAndEof) {
  TMemDataSet empty;
  empty.AddColumn("ID", ftInteger);
  empty.Open();
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_TRUE(empty.Bof() && empty.Eof());
  EXPECT_TRUE(empty.FieldByName("ID")->IsNull());
  EXPECT_EQ(empty.RecNo(), 0);
}

TEST_F(DatasetTest, LinkSeesItsPartOfTheWindowWhileScrolling) {
  link.SetBufferCount(3);
  link.SetDataSource(&src);
  ds.Open();
  EXPECT_EQ(link.Joined(), "Active");
  EXPECT_EQ(ds.BufferCount(), 3);
  EXPECT_EQ(link.RecordCount(), 3);
  EXPECT_EQ(link.ActiveRecord(), 0);

  link.Reset();
  ds.Next();
  ds.Next();
  EXPECT_EQ(link.ActiveRecord(), 2);
  ds.Next();  // past the window: the window moves one record
  // Each move first asks the controls to finish their edit.
  EXPECT_EQ(link.Joined(), "CheckBrowse Scrolled(0) CheckBrowse Scrolled(0) CheckBrowse Scrolled(1)");
  EXPECT_EQ(link.ActiveRecord(), 2);
  EXPECT_EQ(Id(), 4);

  link.Reset();
  ds.Last();
  EXPECT_EQ(link.Joined(), "CheckBrowse Changed");
  EXPECT_EQ(link.ActiveRecord(), 2);
  ds.MoveBy(-5);  // back through the window's top
  EXPECT_EQ(Id(), 5);
  EXPECT_EQ(link.ActiveRecord(), 0);
  EXPECT_EQ(link.Log.back(), "Scrolled(-3)");
}

TEST_F(DatasetTest, EachLinkGetsTheDistanceOfItsOwnWindow) {
  TRecordingLink grid, edit;
  grid.SetBufferCount(4);
  grid.SetDataSource(&src);
  edit.SetDataSource(&src);  // one record
  ds.Open();
  grid.Reset();
  edit.Reset();
  ds.Next();
  EXPECT_EQ(grid.Joined(), "CheckBrowse Scrolled(0)");
  EXPECT_EQ(edit.Joined(), "CheckBrowse Scrolled(1)");
  EXPECT_EQ(edit.ActiveRecord(), 0);
  EXPECT_EQ(grid.ActiveRecord(), 1);
}

TEST_F(DatasetTest, EditingCycleNotifiesLinksInOrder) {
  link.SetBufferCount(3);
  link.SetDataSource(&src);
  ds.Open();
  link.Reset();
  ds.Edit();
  EXPECT_EQ(link.Joined(), "CheckBrowse Editing Record(-)");
  link.Reset();
  ds.FieldByName("NAME")->SetAsString("张三");
  EXPECT_EQ(link.Joined(), "Record(NAME)");
  EXPECT_TRUE(ds.Modified());
  link.Reset();
  ds.Post();
  EXPECT_EQ(link.Joined(), "UpdateData CheckBrowse NotEditing Changed");
  ds.Close();
  ds.Open();
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "张三");
}

// The IDs a grid would paint: each row of the link's window in turn, the
// way a grid reads them (moving the link's active record).
std::string WindowIds(TDataLink& link, TDataSet& ds) {
  std::string out;
  int saved = link.ActiveRecord();
  for (int i = 0; i < link.RecordCount(); ++i) {
    link.SetActiveRecord(i);
    TField* f = ds.FieldByName("ID");
    out += (out.empty() ? "" : " ") + (f->IsNull() ? std::string("new") : std::string(f->AsString()));
  }
  link.SetActiveRecord(saved);
  return out;
}

TEST_F(DatasetTest, WindowFollowsInsertPostAndDelete) {
  link.SetBufferCount(3);
  link.SetDataSource(&src);
  ds.Open();
  ds.MoveBy(2);
  EXPECT_EQ(WindowIds(link, ds), "1 2 3");
  ds.Insert();  // the new record takes the active row; the last one drops out
  EXPECT_EQ(WindowIds(link, ds), "1 2 new");
  EXPECT_EQ(link.ActiveRecord(), 2);
  ds.FieldByName("ID")->SetAsInteger(99);
  ds.Post();
  EXPECT_EQ(WindowIds(link, ds), "1 2 99");
  ds.Next();
  EXPECT_EQ(WindowIds(link, ds), "2 99 3");
  ds.Prior();
  ds.Delete();  // 99 goes; its successor takes its row
  EXPECT_EQ(WindowIds(link, ds), "2 3 4");
  EXPECT_EQ(Id(), 3);
  EXPECT_EQ(link.ActiveRecord(), 1);
  ds.Last();
  ds.Append();
  EXPECT_EQ(WindowIds(link, ds), "9 10 new");
  ds.Cancel();
  EXPECT_EQ(WindowIds(link, ds), "8 9 10");
}

TEST_F(DatasetTest, InsertPutsTheNewRecordBeforeTheCurrentOne) {
  link.SetBufferCount(3);
  link.SetDataSource(&src);
  ds.Open();
  ds.Next();  // on ID 2
  link.Reset();
  ds.Insert();
  EXPECT_EQ(link.Joined(), "CheckBrowse Editing Changed");
  EXPECT_EQ(ds.State(), dsInsert);
  EXPECT_TRUE(ds.FieldByName("ID")->IsNull());
  ds.FieldByName("ID")->SetAsInteger(99);
  ds.Post();
  EXPECT_EQ(Id(), 99);
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_EQ(ds.RecordCount(), 11);
  ds.Next();
  EXPECT_EQ(Id(), 2);
}

TEST_F(DatasetTest, AppendAddsAtTheEndAndCancelDropsTheNewRecord) {
  ds.Open();
  ds.Append();
  ds.FieldByName("ID")->SetAsInteger(11);
  ds.Post();
  EXPECT_EQ(ds.RecNo(), 11);
  ds.Append();
  ds.FieldByName("ID")->SetAsInteger(12);
  ds.Cancel();
  EXPECT_EQ(ds.RecordCount(), 11);
  EXPECT_EQ(Id(), 11);
}

TEST_F(DatasetTest, DeleteMovesToTheNextRecord) {
  link.SetBufferCount(3);
  link.SetDataSource(&src);
  ds.Open();
  ds.MoveBy(3);
  link.Reset();
  ds.Delete();
  EXPECT_EQ(link.Joined(), "CheckBrowse Changed");
  EXPECT_EQ(Id(), 5);
  EXPECT_EQ(ds.RecordCount(), 9);
  ds.Last();
  ds.Delete();
  EXPECT_EQ(Id(), 9);
}

TEST_F(DatasetTest, MovingPostsAModifiedEditAndCancelsAnUntouchedOne) {
  ds.Open();
  ds.Edit();
  ds.FieldByName("PAY")->SetAsFloat(1.5);
  ds.Next();  // CheckBrowseMode posts
  EXPECT_EQ(ds.State(), dsBrowse);
  ds.Prior();
  EXPECT_DOUBLE_EQ(ds.FieldByName("PAY")->AsFloat(), 1.5);
  ds.Edit();
  ds.Next();
  EXPECT_EQ(ds.State(), dsBrowse);
}

TEST_F(DatasetTest, DisableControlsSilencesLinksAndEnableControlsResyncsOnce) {
  link.SetBufferCount(3);
  link.SetDataSource(&src);
  ds.Open();
  link.Reset();
  ds.DisableControls();
  ds.DisableControls();
  ds.MoveBy(5);
  ds.Edit();
  ds.FieldByName("NAME")->SetAsString("x");
  ds.Post();
  ds.EnableControls();
  EXPECT_TRUE(link.Log.empty());
  ds.EnableControls();
  EXPECT_EQ(link.Joined(), "Changed");
  EXPECT_EQ(link.ActiveRecord(), 2);
  EXPECT_EQ(Id(), 6);
}

TEST_F(DatasetTest, EnableControlsReportsAStateChangeThatHappenedMeanwhile) {
  link.SetDataSource(&src);
  ds.Open();
  link.Reset();
  ds.DisableControls();
  ds.Edit();
  ds.EnableControls();
  EXPECT_EQ(link.Joined(), "Editing Changed");
}

TEST_F(DatasetTest, BookmarksSurviveUnrelatedInserts) {
  ds.Open();
  ds.MoveBy(4);
  TBookmark mark = ds.GetBookmark();
  TBookmarkStr markStr = ds.Bookmark();
  ds.First();
  ds.InsertRowAt(0, {100, "other user", 0.0});
  ds.Insert();
  ds.FieldByName("ID")->SetAsInteger(101);
  ds.Post();
  ds.Append();
  ds.FieldByName("ID")->SetAsInteger(102);
  ds.Post();
  ds.GotoBookmark(mark);
  EXPECT_EQ(Id(), 5);
  EXPECT_TRUE(ds.BookmarkValid(mark));
  ds.FreeBookmark(mark);
  ds.Last();
  ds.SetBookmark(markStr);
  EXPECT_EQ(Id(), 5);
}

TEST_F(DatasetTest, BookmarkTextOfTheWrongLengthIsRefused) {
  ds.Open();
  EXPECT_THROW(ds.SetBookmark("123456"), EDatabaseError);
  EXPECT_EQ(Id(), 1);
}

TEST_F(DatasetTest, ErrorsCarryTheClassLibraryTextsAndTheDatasetName) {
  auto message = [](auto&& f) {
    try {
      f();
    } catch (const EDatabaseError& e) {
      return std::string(e.Message());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message([&] { ds.Next(); }),
            "mem: Cannot perform this operation on a closed dataset");
  ds.Open();
  EXPECT_EQ(message([&] { ds.FieldByName("SALARY"); }), "mem: Field 'SALARY' not found");
  EXPECT_EQ(message([&] { ds.FieldByName("NAME")->SetAsString("x"); }),
            "mem: Dataset not in edit or insert mode");
  EXPECT_EQ(message([&] { ds.AddColumn("X", ftString, 5); }),
            "mem: Cannot perform this operation on an open dataset");
  ds.ReadOnlyForTest = true;
  EXPECT_EQ(message([&] { ds.Edit(); }), "mem: Cannot modify a read-only dataset");
  ds.ReadOnlyForTest = false;
  ds.FieldByName("ID")->SetReadOnly(true);
  ds.Edit();
  EXPECT_EQ(message([&] { ds.FieldByName("ID")->SetAsInteger(3); }),
            "mem: Field 'ID' cannot be modified");
  ds.Cancel();
  TMemDataSet empty;
  empty.AddColumn("ID", ftInteger);
  empty.Open();
  EXPECT_EQ(message([&] { empty.Delete(); }),
            "Cannot perform this operation on an empty dataset");
}

TEST_F(DatasetTest, PostErrorHandlerMayRetryAbortOrFail) {
  // A handler that fails the first post attempt only: daRetry posts again.
  class TFailingOnce : public TMemDataSet {
   public:
    int failures = 1;
    void InternalPost() override {
      if (failures-- > 0) throw EDatabaseError("locked");
      TMemDataSet::InternalPost();
    }
  } fds;
  fds.AddColumn("ID", ftInteger);
  fds.AddRow({1});
  fds.Open();
  int calls = 0;
  fds.OnPostError = [&](TDataSet*, EDatabaseError&, TDataAction& a) {
    ++calls;
    a = daRetry;
  };
  fds.Edit();
  fds.FieldByName("ID")->SetAsInteger(2);
  fds.Post();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(fds.FieldByName("ID")->AsInteger(), 2);
  fds.failures = 1;
  fds.OnPostError = [](TDataSet*, EDatabaseError&, TDataAction& a) { a = daAbort; };
  fds.Edit();
  fds.FieldByName("ID")->SetAsInteger(3);
  EXPECT_THROW(fds.Post(), EAbort);
  EXPECT_EQ(fds.State(), dsEdit);  // nothing lost: the edit is still pending
  fds.Cancel();
  fds.Close();
}

TEST_F(DatasetTest, EventsFireAroundEachOperation) {
  std::vector<std::string> log;
  auto rec = [&log](const char* s) { return [&log, s](TDataSet*) { log.push_back(s); }; };
  ds.BeforeOpen = rec("BeforeOpen");
  ds.AfterOpen = rec("AfterOpen");
  ds.BeforeScroll = rec("BeforeScroll");
  ds.AfterScroll = rec("AfterScroll");
  ds.BeforeEdit = rec("BeforeEdit");
  ds.AfterEdit = rec("AfterEdit");
  ds.BeforePost = rec("BeforePost");
  ds.AfterPost = rec("AfterPost");
  ds.BeforeClose = rec("BeforeClose");
  ds.AfterClose = rec("AfterClose");
  ds.OnNewRecord = [](TDataSet* d) { d->FieldByName("PAY")->SetAsFloat(7); };
  ds.Open();
  ds.Next();
  ds.Edit();
  ds.Post();
  ds.Append();
  EXPECT_DOUBLE_EQ(ds.FieldByName("PAY")->AsFloat(), 7);
  EXPECT_FALSE(ds.Modified());  // OnNewRecord values do not count as changes
  ds.Cancel();
  ds.Close();
  EXPECT_EQ(log, (std::vector<std::string>{
                     "BeforeOpen", "AfterOpen", "AfterScroll", "BeforeScroll", "AfterScroll",
                     "BeforeEdit", "AfterEdit", "BeforePost", "AfterPost", "BeforeScroll",
                     "AfterScroll", "BeforeScroll", "AfterScroll", "BeforeClose", "AfterClose"}));
}

TEST_F(DatasetTest, ClosingDeactivatesLinksAndFreesDefaultFields) {
  link.SetDataSource(&src);
  ds.Open();
  EXPECT_EQ(ds.FieldCount(), 3);
  link.Reset();
  ds.Close();
  EXPECT_EQ(link.Joined(), "Inactive");
  EXPECT_EQ(ds.FieldCount(), 0);
  EXPECT_FALSE(link.Active());
}

TEST_F(DatasetTest, DataSourceReportsStateAndDataChanges) {
  std::vector<std::string> log;
  src.OnStateChange = [&](TObject*) { log.push_back("state"); };
  src.OnDataChange = [&](TObject*, TField* f) {
    log.push_back(f ? "data(" + std::string(f->FieldName()) + ")" : "data");
  };
  ds.Open();
  ds.Next();
  src.SetAutoEdit(false);
  src.Edit();
  EXPECT_EQ(ds.State(), dsBrowse);
  src.SetAutoEdit(true);
  src.Edit();
  ds.FieldByName("ID")->SetAsInteger(5);
  EXPECT_EQ(log, (std::vector<std::string>{"state", "data", "state", "data", "data(ID)"}));
  src.SetEnabled(false);
  EXPECT_EQ(src.State(), dsInactive);
  ds.Cancel();
}

TEST_F(DatasetTest, DetailLinkFollowsItsMaster) {
  TMasterDataLink master(&ds);
  TMemDataSet detail;
  detail.AddColumn("ID", ftInteger);
  detail.Open();
  TMasterDataLink detailLink(&detail);
  int changes = 0, disables = 0;
  detailLink.OnMasterChange = [&](TObject*) { ++changes; };
  detailLink.OnMasterDisable = [&](TObject*) { ++disables; };
  detailLink.SetFieldNames("ID");  // no master yet: disabled
  EXPECT_EQ(disables, 1);
  detailLink.SetDataSource(&src);
  ds.Open();
  EXPECT_EQ(changes, 1);
  ASSERT_EQ(detailLink.Fields().size(), 1u);
  ds.Next();
  EXPECT_EQ(changes, 2);
  ds.Close();
  EXPECT_EQ(disables, 2);
  detail.Close();
}

TEST_F(DatasetTest, CircularMasterLinksAreRefused) {
  class TDetail : public TMemDataSet {
   public:
    TDataSource* master = nullptr;
    TDataSource* GetDataSource() override { return master; }
  } detail;
  TDataSource detailSource(nullptr);
  detail.master = &detailSource;
  try {
    detailSource.SetDataSet(&detail);
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::string(e.Message()), "Circular datalinks are not allowed");
  }
  EXPECT_EQ(detailSource.DataSet(), nullptr);
}

TEST_F(DatasetTest, DestroyingTheDatasetDetachesItsSources) {
  auto* temp = new TMemDataSet;
  temp->AddColumn("ID", ftInteger);
  temp->Open();
  TDataSource s(nullptr);
  s.SetDataSet(temp);
  link.SetDataSource(&s);
  delete temp;
  EXPECT_EQ(s.DataSet(), nullptr);
  EXPECT_FALSE(link.Active());
}

TEST_F(DatasetTest, FocusControlReachesTheLinkShowingTheField) {
  link.SetDataSource(&src);
  ds.Open();
  link.Reset();
  ds.FieldByName("PAY")->FocusControl();
  EXPECT_EQ(link.Joined(), "Focus(PAY)");
}

TEST_F(DatasetTest, BlockReadWalksWithoutNotifyingAndResyncsAfterwards) {
  link.SetBufferCount(3);
  link.SetDataSource(&src);
  ds.Open();
  link.Reset();
  ds.SetBlockReadSizeForTest(10);
  EXPECT_EQ(ds.State(), dsBlockRead);
  int rows = 1;
  for (ds.Next(); !ds.Eof(); ds.Next()) ++rows;
  EXPECT_EQ(rows, 10);
  EXPECT_TRUE(link.Log.empty());
  link.Reset();
  ds.SetBlockReadSizeForTest(0);
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(link.Joined(), "Changed");
  EXPECT_EQ(link.ActiveRecord(), 2);
}

TEST_F(DatasetTest, RequiredFieldsMustHaveAValue) {
  ds.Open();
  ds.FieldByName("NAME")->SetRequired(true);
  ds.FieldByName("NAME")->SetDisplayLabel("姓名");
  ds.Append();
  try {
    ds.CheckRequiredFieldsForTest();
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::string(e.Message()), "mem: Field '姓名' must have a value");
  }
  ds.FieldByName("NAME")->SetAsString("x");
  ds.CheckRequiredFieldsForTest();
  ds.Cancel();
}

TEST_F(DatasetTest, LayoutChangeWhileDisabledIsReportedOnEnable) {
  link.SetDataSource(&src);
  ds.Open();
  link.Reset();
  ds.DisableControls();
  ds.FieldByName("PAY")->SetIndex(0);
  ds.EnableControls();
  EXPECT_EQ(link.Joined(), "Layout");
  EXPECT_EQ(ds.Fields()->Fields(0)->FieldName(), "PAY");
}

TEST_F(DatasetTest, RefreshShowsRowsAddedBehindTheCursor) {
  link.SetBufferCount(3);
  link.SetDataSource(&src);
  ds.Open();
  ds.Next();
  ds.InsertRowAt(0, {0, "first", 0.0});
  EXPECT_EQ(WindowIds(link, ds), "1 2 3");
  ds.Refresh();
  EXPECT_EQ(Id(), 2);
  EXPECT_EQ(WindowIds(link, ds), "1 2 3");
  ds.First();
  EXPECT_EQ(WindowIds(link, ds), "0 1 2");
}

TEST_F(DatasetTest, ReadOnlyLinkNeverEdits) {
  link.SetReadOnly(true);
  link.SetDataSource(&src);
  ds.Open();
  EXPECT_FALSE(link.Edit());
  EXPECT_EQ(ds.State(), dsBrowse);
  TRecordingLink editor;
  editor.SetDataSource(&src);
  EXPECT_TRUE(editor.Edit());
  EXPECT_FALSE(link.Editing());
  ds.Cancel();
}

TEST_F(DatasetTest, LinksLeaveQuietlyWhenTheirSourceGoesFirst) {
  auto* temp = new TDataSource(nullptr);
  temp->SetDataSet(&ds);
  link.SetDataSource(temp);
  ds.Open();
  delete temp;
  EXPECT_EQ(link.DataSource(), nullptr);
  EXPECT_FALSE(link.Active());
  ds.Next();  // the dataset no longer knows the source
  {
    TRecordingLink shortLived;
    shortLived.SetBufferCount(5);
    shortLived.SetDataSource(&src);
    EXPECT_EQ(ds.BufferCount(), 5);
  }
  EXPECT_EQ(ds.BufferCount(), 1);  // its window went with it
  ds.Next();
  EXPECT_EQ(Id(), 3);
}

TEST_F(DatasetTest, ClosingPostsAPendingEditInsteadOfDroppingIt) {
  ds.Open();
  ds.Edit();
  ds.FieldByName("PAY")->SetAsFloat(4321.5);  // written, never moved off
  ds.Close();
  ds.Open();
  EXPECT_DOUBLE_EQ(ds.FieldByName("PAY")->AsFloat(), 4321.5);
  ds.Append();  // untouched new record: nothing to keep
  ds.Close();
  ds.Open();
  EXPECT_EQ(ds.RecordCount(), 10);
}

TEST_F(DatasetTest, AFailedPostOnCloseKeepsTheEditOpen) {
  class TRefusing : public TMemDataSet {
   public:
    void InternalPost() override { throw EDatabaseError("disk full"); }
  } fds;
  fds.AddColumn("ID", ftInteger);
  fds.AddRow({1});
  fds.Open();
  fds.Edit();
  fds.FieldByName("ID")->SetAsInteger(2);
  EXPECT_THROW(fds.Close(), EDatabaseError);
  EXPECT_EQ(fds.State(), dsEdit);
  EXPECT_EQ(fds.FieldByName("ID")->AsInteger(), 2);
  fds.Cancel();
}

TEST_F(DatasetTest, RecNoMovesToARecord) {
  link.SetBufferCount(3);
  link.SetDataSource(&src);
  ds.Open();
  ds.SetRecNo(7);
  EXPECT_EQ(Id(), 7);
  EXPECT_EQ(link.Log.back(), "Changed");
  ds.SetRecNo(0);  // out of range: nothing happens
  EXPECT_EQ(Id(), 7);
}

}  // namespace
