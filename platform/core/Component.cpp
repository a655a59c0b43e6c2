#include "platform/core/Component.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

AnsiString DemangledClassName(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> d(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  std::string name = (status == 0 && d) ? d.get() : type.name();
  // Drop template arguments' namespaces is not needed; drop our namespaces.
  size_t cut = name.rfind("::", name.find('<'));
  if (cut != std::string::npos) name = name.substr(cut + 2);
  return name;
}

bool TObject::ClassNameIs(const AnsiString& name) const {
  return ClassName().UpperCase() == name.UpperCase();
}

void TPersistent::Assign(TPersistent* source) {
  if (source != nullptr)
    source->AssignTo(this);
  else
    AssignTo(this);  // assigning nil: a class that allows it overrides Assign
}

void TPersistent::AssignTo(TPersistent* dest) {
  AnsiString src = ClassName();
  if (dest == this) src = "nil";
  throw EConvertError("Cannot assign a " + src + " to a " + dest->ClassName());
}

AnsiString TPersistent::GetNamePath() const { return ClassName(); }

bool IsValidIdent(const AnsiString& name) {
  if (name.empty()) return false;
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!alpha(name[0])) return false;
  for (char c : name)
    if (!alpha(c) && !(c >= '0' && c <= '9')) return false;
  return true;
}

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Tell everyone who refers to us, then drop the links both ways.
  while (!freeNotifies_.empty()) {
    TComponent* c = freeNotifies_.back();
    freeNotifies_.pop_back();
    auto& back = c->freeNotifies_;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
    c->Notification(this, opRemove);
  }
  DestroyComponents();
  if (owner_ != nullptr) owner_->RemoveComponent(this);
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) ListIndexError(index);
  return components_[static_cast<size_t>(index)];
}

int TComponent::ComponentIndex() const {
  if (owner_ == nullptr) return -1;
  auto& v = owner_->components_;
  auto it = std::find(v.begin(), v.end(), this);
  return it == v.end() ? -1 : static_cast<int>(it - v.begin());
}

TComponent* TComponent::FindComponent(const AnsiString& name) const {
  if (name.empty()) return nullptr;
  AnsiString up = name.UpperCase();
  for (TComponent* c : components_)
    if (c->name_.UpperCase() == up) return c;
  return nullptr;
}

void TComponent::ValidateRename(TComponent* component, const AnsiString& curName,
                                const AnsiString& newName) {
  if (component != nullptr && curName.UpperCase() != newName.UpperCase() &&
      FindComponent(newName) != nullptr)
    throw EComponentError("A component named " + newName + " already exists");
}

void TComponent::SetName(const AnsiString& name) {
  if (name == name_) return;
  if (!name.empty() && !IsValidIdent(name))
    throw EComponentError("''" + name + "'' is not a valid component name");
  if (owner_ != nullptr)
    owner_->ValidateRename(this, name_, name);
  else
    ValidateRename(nullptr, name_, name);
  name_ = name;
}

void TComponent::InsertComponent(TComponent* component) {
  if (component->owner_ != nullptr) component->owner_->RemoveComponent(component);
  if (!component->name_.empty()) ValidateRename(component, AnsiString(), component->name_);
  Insert(component);
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  Notification(component, opRemove);
  Remove(component);
}

void TComponent::Insert(TComponent* c) {
  components_.push_back(c);
  c->owner_ = this;
}

void TComponent::Remove(TComponent* c) {
  auto it = std::find(components_.begin(), components_.end(), c);
  if (it != components_.end()) components_.erase(it);
  c->owner_ = nullptr;
}

void TComponent::DestroyComponents() {
  // Components free themselves from our list in their destructor.
  while (!components_.empty()) {
    TComponent* c = components_.back();
    Remove(c);
    delete c;
  }
}

void TComponent::SetComponentStateFlag(TComponentStateFlag f, bool on) {
  if (on)
    state_ << f;
  else
    state_ >> f;
}

void TComponent::Destroying() {
  if (state_.Contains(csDestroying)) return;
  state_ << csDestroying;
  for (TComponent* c : components_) c->Destroying();
}

void TComponent::FreeNotification(TComponent* component) {
  if (component == nullptr || component == this) return;
  if (owner_ != nullptr && component == owner_) return;
  state_ << csFreeNotification;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end()) {
    freeNotifies_.push_back(component);
    component->FreeNotification(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  auto drop = [](std::vector<TComponent*>& v, TComponent* c) {
    v.erase(std::remove(v.begin(), v.end(), c), v.end());
  };
  drop(freeNotifies_, component);
  drop(component->freeNotifies_, this);
}

void TComponent::Loaded() { state_ >> csLoading; }

void TComponent::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  if (root != this) return;
  // Copy: a writer's callback must not see the list change under it.
  std::vector<TComponent*> owned = components_;
  for (TComponent* c : owned)
    if (!c->HasParent()) proc(c);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component != nullptr) RemoveFreeNotification(component);
  for (size_t i = components_.size(); i-- > 0;) {
    if (i < components_.size()) components_[i]->Notification(component, operation);
  }
}
