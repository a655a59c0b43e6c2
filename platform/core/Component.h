// The root of the class library's object model: TObject, TPersistent and
// TComponent with ownership and free notification.
//
// Conventions used by every class built on these:
//  - A published or public property X is a getter X() and a setter SetX(v).
//  - Events (method pointers) are public std::function members named OnX;
//    an empty function means "no handler".
//  - Components are created with new and an owner; the owner deletes what
//    it owns.  A component without owner is deleted by whoever created it.
#pragma once

#include <functional>
#include <typeinfo>
#include <vector>

#include "platform/core/AnsiString.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Sets.h"

class TClassInfo;  // TypInfo.h: published properties and methods of a class

// Unqualified class name of a dynamic type ("TUdbTable").
AnsiString DemangledClassName(const std::type_info& type);

class TObject {
 public:
  TObject() = default;
  virtual ~TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;

  // Name of the most derived class, without namespaces.
  virtual AnsiString ClassName() const { return DemangledClassName(typeid(*this)); }
  bool ClassNameIs(const AnsiString& name) const;

  // Published properties and methods (TypInfo.h).  Classes that publish
  // declare PAYROLL_CLASS(Class, Base), which overrides both; a class that
  // does not shares its nearest declaring ancestor's information.
  virtual const TClassInfo* ClassInfo() const;
  static const TClassInfo* StaticClassInfo();
};

using TNotifyEvent = std::function<void(TObject* sender)>;

class TPersistent : public TObject {
 public:
  // Copies source's state into this object.  The default asks the source
  // (AssignTo) and raises EConvertError "Cannot assign a X to a Y" when
  // neither side knows the other.
  virtual void Assign(TPersistent* source);
  // The object that owns this one for naming (collections, sub-objects).
  virtual TPersistent* GetOwner() const { return nullptr; }
  // Dotted path used in messages and by the property streaming.
  virtual AnsiString GetNamePath() const;

  const TClassInfo* ClassInfo() const override;
  static const TClassInfo* StaticClassInfo();

 protected:
  virtual void AssignTo(TPersistent* dest);
};

enum TOperation { opInsert, opRemove };

enum TComponentStateFlag {
  csLoading, csReading, csWriting, csDestroying, csDesigning, csAncestor,
  csUpdating, csFixups, csFreeNotification, csInline, csDesignInstance
};
using TComponentState = TSet<TComponentStateFlag, 16>;

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  TComponent* Owner() const { return owner_; }
  const AnsiString& Name() const { return name_; }
  // Raises EComponentError for an invalid identifier or a name already
  // used by another component of the same owner (names compare ASCII
  // case-insensitively).
  virtual void SetName(const AnsiString& name);
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const;
  int ComponentIndex() const;
  TComponent* FindComponent(const AnsiString& name) const;
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);
  void DestroyComponents();

  const TComponentState& ComponentState() const { return state_; }
  void SetComponentStateFlag(TComponentStateFlag f, bool on);
  void Destroying();

  // Asks for a Notification(this, opRemove) when this component goes away,
  // for components that refer to it without owning it.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

  TPersistent* GetOwner() const override { return owner_; }
  AnsiString GetNamePath() const override { return name_; }

  // Called after the component's properties were read from a stream.
  virtual void Loaded();

  // Streaming hooks of the text form (TextForm.h).
  // GetChildren lists the components written nested inside this one when
  // root is written.  The default lists, for the root itself, the
  // components it owns that have no parent (HasParent false); controls
  // override it to list their child controls.
  virtual void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root);
  // A component with a parent (a control inside a panel) is written inside
  // its parent and given it again by SetParentComponent when read.
  virtual bool HasParent() const { return false; }
  virtual TComponent* GetParentComponent() const { return nullptr; }
  virtual void SetParentComponent(TComponent*) {}
  // Owner and parent of the components read nested inside this one; a
  // nullptr owner means the root being read.
  virtual TComponent* GetChildOwner() { return nullptr; }
  virtual TComponent* GetChildParent() { return this; }
  // Puts child at position order among this component's children ("[n]"
  // after the class name in the text form).
  virtual void SetChildOrder(TComponent*, int) {}

  const TClassInfo* ClassInfo() const override;
  static const TClassInfo* StaticClassInfo();
  // Called on every component that asked for free notification (and on
  // the owner for its components) when another is inserted or removed.
  virtual void Notification(TComponent* component, TOperation operation);

 protected:
  virtual void ValidateRename(TComponent* component, const AnsiString& curName,
                              const AnsiString& newName);

 private:
  void Insert(TComponent* c);
  void Remove(TComponent* c);

  TComponent* owner_ = nullptr;
  AnsiString name_;
  int tag_ = 0;
  TComponentState state_;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
};

// True when name is a valid identifier (letter or '_' then letters, digits, '_').
bool IsValidIdent(const AnsiString& name);
