// TextForm: the reader of the component text form, the global roots that
// references across roots wait for, and the entry points.  The parser
// (TextFormParser.cpp) first turns the whole text into a tree; the reader
// then applies the tree to the root.
#include "platform/core/TextForm.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/AnsiText.h"
#include "platform/core/Collections.h"
#include "platform/core/Streams.h"
#include "platform/core/Strings.h"
#include "platform/core/TextFormInt.h"
#include "platform/core/TypInfo.h"
#include "platform/core/ScopeGuards.h"

using namespace textform;

namespace {

// --- global roots and the references that wait for them ----------------------

struct TPendingFixup {
  TObject* instance;
  const TPropInfo* prop;
  AnsiString path;         // "FrmData.Table1"
  TComponent* root;        // the root that was read; dropped when it goes
  TComponent* component;   // instance's component, dropped when it goes
};

TComponent* FindNestedComponent(TComponent* root, std::string_view path);

// Keeps the list of global roots and waiting references, and learns through
// free notification when any of them is deleted.
class TGlobalRoots : public TComponent {
 public:
  TGlobalRoots() : TComponent(nullptr) {}
  ~TGlobalRoots() override { alive_ = false; }

  std::vector<TComponent*> roots;
  std::vector<TPendingFixup> pending;
  TGlobalComponentFinder finder;

  void Watch(TComponent* c) {
    if (c != nullptr) c->FreeNotification(this);
  }

  // Sets every waiting reference that resolves now.
  void Resolve() {
    for (size_t i = 0; i < pending.size();) {
      TPendingFixup& f = pending[i];
      TComponent* target = FindNestedComponent(f.root, f.path);
      if (target != nullptr && f.prop->AcceptsObject(target)) {
        TPendingFixup done = f;
        pending.erase(pending.begin() + static_cast<long>(i));
        done.prop->SetObject(done.instance, target);
      } else {
        ++i;
      }
    }
  }

  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation != opRemove || !alive_) return;
    std::erase(roots, component);
    std::erase_if(pending, [component](const TPendingFixup& f) {
      return f.root == component || f.component == component;
    });
  }

  static TGlobalRoots& Get() {
    static TGlobalRoots instance;
    return instance;
  }

 private:
  bool alive_ = true;
};

// "Name", "Name.Sub", "Owner" (the root itself), "Root.Owner" (a global
// root): the first name is looked up in root, then among the global roots;
// each further name among the components the previous one owns.
TComponent* FindNestedComponent(TComponent* root, std::string_view path) {
  TComponent* current = nullptr;
  bool first = true;
  while (!path.empty()) {
    size_t dot = path.find('.');
    std::string_view name = path.substr(0, dot);
    path = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
    if (first) {
      first = false;
      if (SameText(name, "Owner")) {
        current = root;
      } else {
        current = root->FindComponent(AnsiString(name));
        if (current == nullptr) current = FindGlobalComponent(name);
      }
    } else if (!SameText(name, "Owner")) {
      current = current->FindComponent(AnsiString(name));
    }
    if (current == nullptr) return nullptr;
  }
  return current;
}

// The component whose lifetime bounds a persistent's: itself, or the owner
// of its collection or sub-object chain.
TComponent* ComponentOf(TObject* instance) {
  for (auto* p = dynamic_cast<TPersistent*>(instance); p != nullptr; p = p->GetOwner())
    if (auto* c = dynamic_cast<TComponent*>(p)) return c;
  return nullptr;
}

// --- reader ------------------------------------------------------------------

class TFormReader {
 public:
  explicit TFormReader(TComponent* root) : root_(root) {}

  // Reads node into the root; undoes the components it created on failure.
  void ReadRoot(const TObjectNode& node) {
    root_->SetComponentStateFlag(csLoading, true);
    root_->SetComponentStateFlag(csReading, true);
    loaded_.push_back(root_);
    try {
      if (!node.name.empty() && node.name != root_->Name()) root_->SetName(UniqueRootName(node.name));
      ReadBody(root_, node);
      root_->SetComponentStateFlag(csReading, false);
      ResolveFixups();
    } catch (...) {
      // Components that were there before (the root, inherited ones) stay,
      // out of the loading state; the ones this read created go.
      for (TComponent* c : loaded_) {
        if (std::find(created_.begin(), created_.end(), c) != created_.end()) continue;
        c->SetComponentStateFlag(csReading, false);
        c->SetComponentStateFlag(csLoading, false);
      }
      for (auto it = created_.rbegin(); it != created_.rend(); ++it) delete *it;
      throw;
    }
    for (TComponent* c : loaded_) c->Loaded();
  }

 private:
  template <class E>
  [[noreturn]] static void Fail(const AnsiString& what, int line) {
    throw E(what + LineSuffix(line));
  }

  AnsiString UniqueRootName(const AnsiString& name) const {
    TComponent* owner = root_->Owner();
    if (owner == nullptr) return name;
    AnsiString candidate = name;
    for (int i = 1; owner->FindComponent(candidate) != nullptr && owner->FindComponent(candidate) != root_; ++i)
      candidate = name + "_" + std::to_string(i);
    return candidate;
  }

  void ReadBody(TComponent* instance, const TObjectNode& node) {
    for (const TPropNode& p : node.props) ReadProperty(instance, p);
    instance->SetComponentStateFlag(csReading, false);
    TComponent* owner = instance->GetChildOwner();
    if (owner == nullptr) owner = root_;
    TComponent* parent = instance->GetChildParent();
    for (const TObjectNode& child : node.children) ReadChild(child, owner, parent);
  }

  void ReadChild(const TObjectNode& node, TComponent* owner, TComponent* parent) {
    TComponent* c = nullptr;
    if (node.inherited) {
      c = owner->FindComponent(node.name);
      if (c == nullptr) Fail<EReadError>("Ancestor for '" + node.name + "' not found", node.line);
    } else {
      const TClassInfo* cls = GetClass(node.className);
      if (cls == nullptr) Fail<EClassNotFound>("Class " + node.className + " not found", node.line);
      if (!cls->InheritsFrom(TComponent::StaticClassInfo()) || !cls->CanCreate())
        Fail<EClassNotFound>("Cannot create an instance of " + node.className, node.line);
      c = cls->CreateComponent(owner);
      created_.push_back(c);  // before anything that may fail, so it is undone
    }
    c->SetComponentStateFlag(csLoading, true);
    c->SetComponentStateFlag(csReading, true);
    if (!node.inherited && !node.name.empty()) c->SetName(node.name);
    if (parent != nullptr && parent != c) c->SetParentComponent(parent);
    if (node.childPos >= 0 && parent != nullptr) parent->SetChildOrder(c, node.childPos);
    loaded_.push_back(c);
    ReadBody(c, node);
  }

  static AnsiString PathOf(TObject* instance) {
    if (auto* p = dynamic_cast<TPersistent*>(instance)) return p->GetNamePath();
    return instance->ClassName();
  }

  void ReadProperty(TObject* instance, const TPropNode& node) {
    TObject* target = instance;
    std::string_view rest = node.name;
    for (;;) {
      size_t dot = rest.find('.');
      std::string_view name = rest.substr(0, dot);
      if (dot == std::string_view::npos) {
        // A string list's lines ("Lines.Strings = (...)").
        auto* strings = dynamic_cast<TStrings*>(target);
        if (strings != nullptr && SameText(name, kStringsProperty) && GetPropInfo(target, name) == nullptr) {
          ReadStrings(strings, node.value);
          return;
        }
        const TPropInfo* p = GetPropInfo(target, name);
        if (p == nullptr)
          Fail<EPropertyError>("Property " + PathOf(instance) + "." + node.name + " does not exist", node.line);
        SetValue(target, *p, node.value, node.name);
        return;
      }
      const TPropInfo* p = GetPropInfo(target, name);
      if (p == nullptr)
        Fail<EPropertyError>("Property " + PathOf(instance) + "." + node.name + " does not exist", node.line);
      TObject* sub = p->Kind == tkClass && !p->IsComponentRef ? p->GetObject(target) : nullptr;
      if (sub == nullptr) Fail<EPropertyError>("Invalid property path " + node.name, node.line);
      target = sub;
      rest = rest.substr(dot + 1);
    }
  }

  void ReadStrings(TStrings* strings, const TValueNode& v) {
    if (v.kind != TValueNode::vList) Fail<EPropertyError>("Invalid property value", v.line);
    for (const TValueNode& e : v.list)
      if (e.kind != TValueNode::vString) Fail<EPropertyError>("String expected", e.line);
    TUpdateScope update(strings);
    strings->Clear();
    for (const TValueNode& e : v.list) strings->Add(e.text);
  }

  [[noreturn]] static void BadValue(const TValueNode& v) { Fail<EPropertyError>("Invalid property value", v.line); }

  static void RequireSetter(bool has, const AnsiString& name, int line) {
    if (!has) Fail<EPropertyError>("Property " + name + " is read-only", line);
  }

  static std::int64_t OrdinalValue(const TPropInfo& p, const TValueNode& v) {
    switch (p.Kind) {
      case tkInteger:
      case tkInt64: {
        std::int64_t named = 0;
        if (v.kind == TValueNode::vIdent && p.Idents != nullptr && p.Idents->ValueOf(v.text, named))
          return named;
        if (v.kind != TValueNode::vInteger) BadValue(v);
        std::int64_t x = v.integer;
        // Unsigned 32-bit values written as signed ones are taken back.
        if (p.MinValue == 0 && p.MaxValue == 0xFFFFFFFFLL && x < 0 && x >= INT32_MIN) x += 0x100000000LL;
        return x;
      }
      case tkChar:
        if (v.kind == TValueNode::vString && v.text.size() == 1) return static_cast<unsigned char>(v.text[0]);
        if (v.kind == TValueNode::vInteger) return v.integer;
        BadValue(v);
      case tkEnumeration: {
        if (v.kind != TValueNode::vIdent) BadValue(v);
        int x = p.EnumType->ValueOf(v.text);
        if (x < 0) Fail<EPropertyError>("Invalid property element: " + v.text, v.line);
        return x;
      }
      case tkSet: {
        if (v.kind != TValueNode::vSet) BadValue(v);
        std::uint64_t bits = 0;
        for (const AnsiString& e : v.elements) {
          int x = p.EnumType->ValueOf(e);
          if (x < 0 && !e.empty() && IsDigitString(e)) x = std::stoi(e);
          if (x < 0 || x >= 64 || !p.EnumType->IsValid(x))
            Fail<EPropertyError>("Invalid property element: " + e, v.line);
          bits |= std::uint64_t{1} << x;
        }
        return static_cast<std::int64_t>(bits);
      }
      default:
        BadValue(v);
    }
  }

  static bool IsDigitString(const AnsiString& s) {
    for (char c : s)
      if (c < '0' || c > '9') return false;
    return s.size() < 3;
  }

  void SetValue(TObject* instance, const TPropInfo& p, const TValueNode& v, const AnsiString& name) {
    switch (p.Kind) {
      case tkInteger:
      case tkChar:
      case tkEnumeration:
      case tkSet:
      case tkInt64: {
        RequireSetter(static_cast<bool>(p.SetOrd), name, v.line);
        std::int64_t x = OrdinalValue(p, v);
        try {
          CheckOrdValue(p, x);
        } catch (const EPropertyError&) {
          BadValue(v);
        }
        p.SetOrd(instance, x);
        return;
      }
      case tkFloat:
        RequireSetter(static_cast<bool>(p.SetFloat), name, v.line);
        if (v.kind == TValueNode::vFloat)
          p.SetFloat(instance, v.number);
        else if (v.kind == TValueNode::vInteger)
          p.SetFloat(instance, static_cast<double>(v.integer));
        else
          BadValue(v);
        return;
      case tkLString:
        RequireSetter(static_cast<bool>(p.SetStr), name, v.line);
        if (v.kind != TValueNode::vString) BadValue(v);
        p.SetStr(instance, v.text);
        return;
      case tkBinary:
        RequireSetter(static_cast<bool>(p.SetStr), name, v.line);
        if (v.kind != TValueNode::vBinary) BadValue(v);
        p.SetStr(instance, v.text);
        return;
      case tkStringList: {
        RequireSetter(static_cast<bool>(p.SetList), name, v.line);
        if (v.kind != TValueNode::vList) BadValue(v);
        std::vector<AnsiString> lines;
        for (const TValueNode& e : v.list) {
          if (e.kind != TValueNode::vString) Fail<EPropertyError>("String expected", e.line);
          lines.push_back(e.text);
        }
        p.SetList(instance, lines);
        return;
      }
      case tkVariant:
        RequireSetter(static_cast<bool>(p.SetVariant), name, v.line);
        p.SetVariant(instance, VariantValue(v));
        return;
      case tkMethod:
        SetEvent(instance, p, v);
        return;
      case tkClass:
        SetClassValue(instance, p, v, name);
        return;
      default:
        BadValue(v);
    }
  }

  static Variant VariantValue(const TValueNode& v) {
    switch (v.kind) {
      case TValueNode::vInteger:
        if (v.integer >= INT32_MIN && v.integer <= INT32_MAX) return Variant(static_cast<int>(v.integer));
        return Variant(static_cast<long long>(v.integer));
      case TValueNode::vFloat:
        if (v.suffix == 'd') return Variant(TDateTime(v.number));
        if (v.suffix == 'c') return Variant(Currency::FromDouble(v.number));
        return Variant(v.number);
      case TValueNode::vString:
        return Variant(v.text);
      case TValueNode::vIdent:
        if (SameText(v.text, "True")) return Variant(true);
        if (SameText(v.text, "False")) return Variant(false);
        if (SameText(v.text, "Null")) return Null();
        if (SameText(v.text, "nil") || SameText(v.text, "Unassigned")) return Variant();
        BadValue(v);
      default:
        BadValue(v);
    }
  }

  void SetEvent(TObject* instance, const TPropInfo& p, const TValueNode& v) {
    if (v.kind != TValueNode::vIdent) BadValue(v);
    if (SameText(v.text, "nil")) {
      p.SetMethod(instance, TMethodRef{});
      return;
    }
    const TMethodInfo* m = root_->ClassInfo()->FindMethod(v.text);
    if (m == nullptr) Fail<EPropertyError>("Method " + v.text + " not found", v.line);
    if (m->Signature() != *p.EventSignature)
      Fail<EPropertyError>("Method " + v.text + " does not match the event " + p.Name, v.line);
    p.SetMethod(instance, TMethodRef{root_, m});
  }

  void SetClassValue(TObject* instance, const TPropInfo& p, const TValueNode& v, const AnsiString& name) {
    if (p.IsComponentRef) {
      RequireSetter(static_cast<bool>(p.SetObject), name, v.line);
      if (v.kind != TValueNode::vIdent) BadValue(v);
      if (SameText(v.text, "nil")) {
        p.SetObject(instance, nullptr);
        return;
      }
      fixups_.push_back({instance, &p, v.text, v.line});
      return;
    }
    TObject* sub = p.GetObject(instance);
    auto* collection = dynamic_cast<TCollection*>(sub);
    if (collection == nullptr || v.kind != TValueNode::vCollection) BadValue(v);
    ReadCollection(collection, v);
  }

  // Replaces the collection's items by the ones in the text, inside one
  // update bracket.
  void ReadCollection(TCollection* collection, const TValueNode& v) {
    // A collection given twice in one text: references read into the
    // items about to go must not outlive them.
    std::erase_if(fixups_, [collection](const TFixup& f) { return IsInside(f.instance, collection); });
    TUpdateScope update(collection);
    collection->Clear();
    for (const TItemNode& itemNode : v.items) {
      TCollectionItem* item = collection->Add();
      for (const TPropNode& p : itemNode.props) ReadProperty(item, p);
    }
  }

  static bool IsInside(TObject* instance, TCollection* collection) {
    for (auto* p = dynamic_cast<TPersistent*>(instance); p != nullptr; p = p->GetOwner())
      if (p == collection) return true;
    return false;
  }

  // References are set once every component of the text exists; those to
  // components of roots not yet there wait among the global fixups.
  void ResolveFixups() {
    std::vector<TPendingFixup> waiting;
    for (const TFixup& f : fixups_) {
      TComponent* target = FindNestedComponent(root_, f.path);
      if (target == nullptr) {
        waiting.push_back({f.instance, f.prop, f.path, root_, ComponentOf(f.instance)});
        continue;
      }
      if (!f.prop->AcceptsObject(target)) Fail<EPropertyError>("Invalid property value", f.line);
      f.prop->SetObject(f.instance, target);
    }
    TGlobalRoots& g = TGlobalRoots::Get();
    for (TPendingFixup& w : waiting) {
      g.Watch(w.root);
      g.Watch(w.component);
      g.pending.push_back(w);
    }
  }

  struct TFixup {
    TObject* instance;
    const TPropInfo* prop;
    AnsiString path;
    int line;
  };

  TComponent* root_;
  std::vector<TComponent*> created_;
  std::vector<TComponent*> loaded_;
  std::vector<TFixup> fixups_;
};

}  // namespace


// ============================================================================
// Entry points
// ============================================================================

AnsiString ComponentToObjectText(TComponent* root) { return WriteObjectText(root); }

// After every root read, references that waited for it (now findable by
// the finder under its name) are set.
void ObjectTextToComponent(std::string_view text, TComponent* root) {
  TObjectNode node = ParseObjectText(text);
  TFormReader(root).ReadRoot(node);
  TGlobalRoots::Get().Resolve();
}

TComponent* ObjectTextToNewComponent(std::string_view text, TComponent* owner) {
  TObjectNode node = ParseObjectText(text);
  const TClassInfo* cls = GetClass(node.className);
  if (cls == nullptr) throw EClassNotFound("Class " + node.className + " not found" + LineSuffix(node.line));
  if (!cls->InheritsFrom(TComponent::StaticClassInfo()) || !cls->CanCreate())
    throw EClassNotFound("Cannot create an instance of " + node.className + LineSuffix(node.line));
  std::unique_ptr<TComponent> root(cls->CreateComponent(owner));
  TFormReader(root.get()).ReadRoot(node);
  TGlobalRoots::Get().Resolve();
  return root.release();
}

void WriteComponentToStream(TStream* stream, TComponent* root) {
  AnsiString text = ComponentToObjectText(root);
  stream->WriteBuffer(text.data(), static_cast<int>(text.size()));
}

void ReadComponentFromStream(TStream* stream, TComponent* root) {
  std::int64_t left = stream->Size() - stream->Position();
  if (left < 0) left = 0;
  if (left > INT32_MAX) throw EReadError("Stream read error");
  std::string text(static_cast<size_t>(left), '\0');
  stream->ReadBuffer(text.data(), static_cast<int>(left));
  ObjectTextToComponent(text, root);
}

AnsiString ObjectTextClassName(std::string_view text) { return ParseObjectTextClassName(text); }

void RegisterGlobalRoot(TComponent* root) {
  TGlobalRoots& g = TGlobalRoots::Get();
  if (std::find(g.roots.begin(), g.roots.end(), root) == g.roots.end()) {
    g.roots.push_back(root);
    g.Watch(root);
  }
  g.Resolve();
}

void UnregisterGlobalRoot(TComponent* root) { std::erase(TGlobalRoots::Get().roots, root); }

TComponent* FindGlobalComponent(std::string_view name) {
  TGlobalRoots& g = TGlobalRoots::Get();
  for (TComponent* r : g.roots)
    if (SameText(r->Name(), name)) return r;
  return g.finder ? g.finder(name) : nullptr;
}

void SetGlobalComponentFinder(TGlobalComponentFinder finder) {
  TGlobalRoots& g = TGlobalRoots::Get();
  g.finder = std::move(finder);
  if (g.finder) g.Resolve();
}

int PendingGlobalFixupCount() { return static_cast<int>(TGlobalRoots::Get().pending.size()); }
