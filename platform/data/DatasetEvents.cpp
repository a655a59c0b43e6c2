#include "platform/data/DatasetEvents.h"

#include <algorithm>

#include "platform/data/Dataset.h"

TDataSetListenerId TDataSetListeners::Add(TDataSetEventKind kind, TListenerPlace place,
                                          THandler handler) {
  auto e = std::make_shared<Entry>();
  e->id = nextId_++;
  e->kind = kind;
  e->place = place;
  e->handler = std::move(handler);
  entries_.push_back(std::move(e));
  return entries_.back()->id;
}

void TDataSetListeners::Remove(TDataSetListenerId id) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [id](const std::shared_ptr<Entry>& e) { return e->id == id; });
  if (it == entries_.end()) return;
  (*it)->removed = true;  // a delivery in progress holds a copy of the list
  entries_.erase(it);
}

bool TDataSetListeners::Contains(TDataSetListenerId id) const {
  return std::any_of(entries_.begin(), entries_.end(),
                     [id](const std::shared_ptr<Entry>& e) { return e->id == id; });
}

int TDataSetListeners::Count(TDataSetEventKind kind) const {
  return static_cast<int>(std::count_if(entries_.begin(), entries_.end(),
                                        [kind](const std::shared_ptr<Entry>& e) {
                                          return e->kind == kind;
                                        }));
}

void TDataSetListeners::Fire(TDataSetEventKind kind, TDataSet* dataSet,
                             const THandler& handler) const {
  if (entries_.empty()) {
    if (handler) handler(dataSet);
    return;
  }
  // Snapshot: listeners added meanwhile wait for the next event; removed
  // ones are skipped through their flag.
  std::vector<std::shared_ptr<Entry>> snapshot;
  for (const auto& e : entries_)
    if (e->kind == kind) snapshot.push_back(e);
  for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it)
    if ((*it)->place == TListenerPlace::BeforeHandler && !(*it)->removed) (*it)->handler(dataSet);
  if (handler) handler(dataSet);
  for (const auto& e : snapshot)
    if (e->place == TListenerPlace::AfterHandler && !e->removed) e->handler(dataSet);
}

void TDataSetListenerGroup::Add(TDataSet* dataSet, TDataSetEventKind kind, TListenerPlace place,
                                TDataSetListeners::THandler handler) {
  hooks_.push_back({dataSet, dataSet->Listeners().Add(kind, place, std::move(handler))});
}

void TDataSetListenerGroup::Clear() {
  for (const Hook& h : hooks_) h.dataSet->Listeners().Remove(h.id);
  hooks_.clear();
}

void TDataSetListenerGroup::Forget(TDataSet* dataSet) {
  hooks_.erase(std::remove_if(hooks_.begin(), hooks_.end(),
                              [dataSet](const Hook& h) { return h.dataSet == dataSet; }),
               hooks_.end());
}
