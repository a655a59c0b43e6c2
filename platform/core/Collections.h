// TCollection, TCollectionItem and TOwnedCollection: ordered lists of items
// of one class that stream as one property ("Columns = < item ... end >").
//
// Ownership: a collection owns its items.  An item is created with its
// collection (new TColumn(columns), or columns->Add()) and leaves it when
// deleted; deleting the collection deletes every item.
//
// Notifications: every change ends in the virtual Update(item), item being
// the one item that changed or nullptr when the whole list changed (an item
// added, deleted or moved, Clear, Assign).  Between BeginUpdate and the
// matching EndUpdate no Update is sent; the last EndUpdate sends one
// Update(nullptr).  Notify (cnAdded, cnExtracting, cnDeleting) reports items
// entering and leaving the list and is sent even while updating.  An added
// item is announced from its base constructor, before a derived item's own
// constructor has run.
// Standard library only.
#pragma once

#include "platform/core/Component.h"
#include "platform/core/TypInfo.h"

class TCollection;

class TCollectionItem : public TPersistent {
  PAYROLL_CLASS(TCollectionItem, TPersistent)
 public:
  explicit TCollectionItem(TCollection* collection);
  ~TCollectionItem() override;

  TCollection* Collection() const { return collection_; }
  // Moves the item to another collection (or out of any, nullptr).
  void SetCollection(TCollection* collection);
  // Position in the collection, -1 without one.  SetIndex moves the item
  // and raises EListError "List index out of bounds (%d)" for a bad index.
  int Index() const;
  virtual void SetIndex(int index);
  // Unique in its collection for the collection's life; never reused.
  int ID() const { return id_; }
  // Text shown for the item; the class name unless overridden.
  virtual AnsiString DisplayName() const;
  virtual void SetDisplayName(const AnsiString& name);

  TPersistent* GetOwner() const override;
  AnsiString GetNamePath() const override;  // "Columns[2]"

 protected:
  // Reports a change of this item (allItems false) or of the list to the
  // collection, unless it is updating.
  void Changed(bool allItems);

 private:
  friend class TCollection;
  TCollection* collection_ = nullptr;
  int id_ = 0;
};

enum TCollectionNotification { cnAdded, cnExtracting, cnDeleting };

// The item class of a collection: how Add creates an item and which items
// the collection accepts.  ItemClassOf<TColumn>().
struct TCollectionItemClass {
  TCollectionItem* (*Create)(TCollection* collection) = nullptr;
  bool (*Accepts)(const TCollectionItem* item) = nullptr;
  // Published properties of the item class, also while the collection is
  // empty ("has the item class a FieldName?").
  const TClassInfo* (*ClassInfo)() = nullptr;
};

template <class T>
TCollectionItemClass ItemClassOf() {
  static_assert(std::is_base_of_v<TCollectionItem, T>);
  return TCollectionItemClass{
      [](TCollection* c) -> TCollectionItem* { return new T(c); },
      [](const TCollectionItem* i) { return dynamic_cast<const T*>(i) != nullptr; },
      &T::StaticClassInfo};
}

class TCollection : public TPersistent {
  PAYROLL_CLASS(TCollection, TPersistent)
 public:
  explicit TCollection(TCollectionItemClass itemClass);
  ~TCollection() override;

  TCollectionItem* Add();
  // Adds an item and moves it to index (0..Count).
  TCollectionItem* Insert(int index);
  // Deletes the item at index; EListError for a bad index.
  void Delete(int index);
  void Clear();
  int Count() const { return static_cast<int>(items_.size()); }
  TCollectionItem* Items(int index) const;
  // Assigns value's state to the item at index.
  void SetItems(int index, TCollectionItem* value);
  TCollectionItem* operator[](int index) const { return Items(index); }
  // nullptr when no item has that ID.
  TCollectionItem* FindItemID(int id) const;

  virtual void BeginUpdate();
  virtual void EndUpdate();
  int UpdateCount() const { return updateCount_; }

  // From another collection: Clear, then one Add().Assign(item) per item,
  // inside one update bracket.  Other sources: TPersistent::Assign.
  void Assign(TPersistent* source) override;
  AnsiString GetNamePath() const override;  // "Grid1.Columns"
  TCollectionItemClass ItemClass() const { return itemClass_; }
  // The object this collection belongs to (TOwnedCollection), or nullptr.
  TPersistent* Owner() const { return GetOwner(); }

 protected:
  // Sends Update(nullptr) unless updating.
  void Changed();
  // Every change of the list or an item ends here; nothing by default.
  virtual void Update(TCollectionItem* item);
  // cnAdded calls Added(item), cnDeleting Deleting(item).
  virtual void Notify(TCollectionItem* item, TCollectionNotification action);
  virtual void Added(TCollectionItem*) {}
  virtual void Deleting(TCollectionItem*) {}

 private:
  friend class TCollectionItem;
  // Items of another class than the item class are refused by
  // SetCollection; a constructor cannot check (its class is still the base).
  void InsertItem(TCollectionItem* item);
  void RemoveItem(TCollectionItem* item);
  void MoveItem(int from, int to);

  TCollectionItemClass itemClass_;
  std::vector<TCollectionItem*> items_;
  int updateCount_ = 0;
  int nextId_ = 0;
};

// A collection that belongs to an object (a grid's Columns), so that its
// name path and the text form's property lookup can find it.
class TOwnedCollection : public TCollection {
  PAYROLL_CLASS(TOwnedCollection, TCollection)
 public:
  TOwnedCollection(TPersistent* owner, TCollectionItemClass itemClass)
      : TCollection(itemClass), owner_(owner) {}
  TPersistent* GetOwner() const override { return owner_; }

 private:
  TPersistent* owner_;
};
