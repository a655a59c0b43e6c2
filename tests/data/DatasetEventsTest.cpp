// Several listeners on one dataset's events: order around the handler
// member, removal in any order, and listeners that change the list while
// an event is delivered.
#include <gtest/gtest.h>

#include <string>

#include "MemDataSet.h"
#include "platform/data/Fields.h"

namespace {

class DatasetEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.AddColumn("ID", ftInteger);
    ds.AddRow({1});
    ds.AddRow({2});
  }
  TDataSetListeners::THandler Rec(std::string s) {
    return [this, s](TDataSet*) { log += s + " "; };
  }
  TMemDataSet ds;
  std::string log;
};

TEST_F(DatasetEventsTest, ListenersWrapTheHandlerInTheOrderOfChainedHooks) {
  ds.AfterOpen = Rec("handler");
  auto& l = ds.Listeners();
  l.Add(kAfterOpen, TListenerPlace::BeforeHandler, Rec("A"));  // own work first
  l.Add(kAfterOpen, TListenerPlace::AfterHandler, Rec("B"));   // saved handler first
  l.Add(kAfterOpen, TListenerPlace::BeforeHandler, Rec("C"));
  l.Add(kAfterOpen, TListenerPlace::AfterHandler, Rec("D"));
  ds.Open();
  EXPECT_EQ(log, "C A handler B D ");
}

TEST_F(DatasetEventsTest, RemovingOneListenerLeavesTheOthersAndTheHandler) {
  ds.AfterScroll = Rec("handler");
  auto& l = ds.Listeners();
  TDataSetListenerId first = l.Add(kAfterScroll, TListenerPlace::AfterHandler, Rec("sum"));
  l.Add(kAfterScroll, TListenerPlace::AfterHandler, Rec("grid"));
  ds.Open();
  log.clear();
  l.Remove(first);  // removed out of hook order: nothing else is lost
  l.Remove(first);
  ds.Next();
  EXPECT_EQ(log, "handler grid ");
  log.clear();
  ds.AfterScroll = Rec("new handler");  // the application may reassign freely
  ds.Prior();
  EXPECT_EQ(log, "new handler grid ");
}

TEST_F(DatasetEventsTest, ListChangesDuringDeliveryWaitForTheNextEvent) {
  auto& l = ds.Listeners();
  TDataSetListenerId second = 0;
  l.Add(kAfterScroll, TListenerPlace::AfterHandler, [&](TDataSet*) {
    log += "first ";
    l.Remove(second);
    l.Add(kAfterScroll, TListenerPlace::AfterHandler, Rec("late"));
  });
  second = l.Add(kAfterScroll, TListenerPlace::AfterHandler, Rec("second"));
  ds.Open();  // AfterScroll: first runs, second is removed before its turn
  EXPECT_EQ(log, "first ");
  log.clear();
  ds.Next();
  EXPECT_EQ(log, "first late ");
}

TEST_F(DatasetEventsTest, GroupRemovesItsListenersTogether) {
  {
    TDataSetListenerGroup group;
    group.Add(&ds, kAfterOpen, TListenerPlace::AfterHandler, Rec("open"));
    group.Add(&ds, kBeforeDelete, TListenerPlace::AfterHandler, Rec("delete"));
    EXPECT_EQ(ds.Listeners().Count(kAfterOpen), 1);
  }
  EXPECT_EQ(ds.Listeners().Count(kAfterOpen), 0);
  EXPECT_EQ(ds.Listeners().Count(kBeforeDelete), 0);
  ds.Open();
  EXPECT_EQ(log, "");
}

TEST_F(DatasetEventsTest, EveryEditingEventReachesListeners) {
  auto& l = ds.Listeners();
  for (auto [kind, name] : {std::pair{kBeforeInsert, "BeforeInsert"}, {kAfterInsert, "AfterInsert"},
                            {kBeforeEdit, "BeforeEdit"}, {kAfterEdit, "AfterEdit"},
                            {kBeforePost, "BeforePost"}, {kAfterPost, "AfterPost"},
                            {kBeforeCancel, "BeforeCancel"}, {kAfterCancel, "AfterCancel"},
                            {kBeforeDelete, "BeforeDelete"}, {kAfterDelete, "AfterDelete"},
                            {kAfterClose, "AfterClose"}})
    l.Add(kind, TListenerPlace::AfterHandler, Rec(name));
  ds.Open();
  ds.Edit();
  ds.FieldByName("ID")->SetAsInteger(5);
  ds.Post();
  ds.Insert();
  ds.Cancel();
  ds.Delete();
  ds.Close();
  EXPECT_EQ(log,
            "BeforeEdit AfterEdit BeforePost AfterPost BeforeInsert AfterInsert BeforeCancel "
            "AfterCancel BeforeDelete AfterDelete AfterClose ");
}

}  // namespace
