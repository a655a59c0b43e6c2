// TRecordingLink: a data link that writes down every notification it gets,
// as "Name(arg)" strings, for tests that check what controls would see.
#pragma once

#include <string>
#include <vector>

#include "platform/data/DataSource.h"
#include "platform/data/Fields.h"

class TRecordingLink : public TDataLink {
 public:
  std::vector<std::string> Log;
  std::string Joined() const {
    std::string s;
    for (const auto& e : Log) s += (s.empty() ? "" : " ") + e;
    return s;
  }
  void Reset() { Log.clear(); }

 protected:
  void ActiveChanged() override { Log.push_back(Active() ? "Active" : "Inactive"); }
  void DataSetChanged() override { Log.push_back("Changed"); }
  void DataSetScrolled(int d) override { Log.push_back("Scrolled(" + std::to_string(d) + ")"); }
  void EditingChanged() override { Log.push_back(Editing() ? "Editing" : "NotEditing"); }
  void LayoutChanged() override { Log.push_back("Layout"); }
  void RecordChanged(TField* f) override {
    Log.push_back("Record(" + (f ? std::string(f->FieldName()) : std::string("-")) + ")");
  }
  void UpdateData() override { Log.push_back("UpdateData"); }
  void CheckBrowseMode() override { Log.push_back("CheckBrowse"); }
  void FocusControl(TField** f) override {
    Log.push_back("Focus(" + std::string((*f)->FieldName()) + ")");
    *f = nullptr;
  }
};
