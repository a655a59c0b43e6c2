// TDataSetListeners: several listeners on one dataset's events.
//
// A component that must react to another component's dataset events (the
// grid's sum list watches AfterOpen, AfterPost, BeforeDelete, ... of the
// dataset it totals) adds listeners here instead of overwriting the
// dataset's BeforeX/AfterX handler members.  Each listener says whether it
// runs before or after the handler member:
//
//   before-listeners, newest first   (each one wraps what was there)
//   the handler member
//   after-listeners, oldest first
//
// That is exactly the order a chain of "own work, then the saved handler"
// and "the saved handler, then own work" hooks produces, without the hooks'
// weakness: removing a listener removes only it, in any order, and the
// application may assign the handler member at any time.  A listener added
// or removed while an event is being delivered takes effect from the next
// event; a removed listener is never called again.
//
// Layer: platform/data; standard library only.
#pragma once

#include <functional>
#include <memory>
#include <vector>

class TDataSet;

enum TDataSetEventKind {
  kBeforeOpen, kAfterOpen, kBeforeClose, kAfterClose, kBeforeInsert, kAfterInsert,
  kBeforeEdit, kAfterEdit, kBeforePost, kAfterPost, kBeforeCancel, kAfterCancel,
  kBeforeDelete, kAfterDelete, kBeforeScroll, kAfterScroll, kBeforeRefresh, kAfterRefresh,
  kOnNewRecord, kOnCalcFields, kDataSetEventKindCount
};

enum class TListenerPlace { BeforeHandler, AfterHandler };

using TDataSetListenerId = int;  // 0 is never issued

class TDataSetListeners {
 public:
  using THandler = std::function<void(TDataSet*)>;

  TDataSetListenerId Add(TDataSetEventKind kind, TListenerPlace place, THandler handler);
  // Removing an unknown or already removed id does nothing.
  void Remove(TDataSetListenerId id);
  bool Contains(TDataSetListenerId id) const;
  int Count(TDataSetEventKind kind) const;

  // Delivers one event: listeners and the handler member in the order
  // above.  An exception stops the delivery and propagates.
  void Fire(TDataSetEventKind kind, TDataSet* dataSet, const THandler& handler) const;

 private:
  struct Entry {
    TDataSetListenerId id;
    TDataSetEventKind kind;
    TListenerPlace place;
    THandler handler;
    bool removed = false;
  };
  std::vector<std::shared_ptr<Entry>> entries_;  // in order of addition
  TDataSetListenerId nextId_ = 1;
};

// A set of listeners added together and removed together (on Clear or when
// the group is destroyed).  The owner must Clear it, or be destroyed,
// before the dataset goes away (use free notification for that).
class TDataSetListenerGroup {
 public:
  TDataSetListenerGroup() = default;
  ~TDataSetListenerGroup() { Clear(); }
  TDataSetListenerGroup(const TDataSetListenerGroup&) = delete;
  TDataSetListenerGroup& operator=(const TDataSetListenerGroup&) = delete;

  void Add(TDataSet* dataSet, TDataSetEventKind kind, TListenerPlace place,
           TDataSetListeners::THandler handler);
  void Clear();
  // Forgets the listeners on a dataset that is being destroyed.
  void Forget(TDataSet* dataSet);
  bool Empty() const { return hooks_.empty(); }

 private:
  struct Hook {
    TDataSet* dataSet;
    TDataSetListenerId id;
  };
  std::vector<Hook> hooks_;
};
