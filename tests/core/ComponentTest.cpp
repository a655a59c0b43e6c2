#include "platform/core/Component.h"

#include <gtest/gtest.h>

namespace {

// Records the notifications it receives and reports its own deletion.
class TProbe : public TComponent {
 public:
  TProbe(TComponent* owner, int* deleted = nullptr) : TComponent(owner), deleted_(deleted) {}
  ~TProbe() override {
    if (deleted_) ++*deleted_;
  }
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (op == opRemove && c == watched) watched = nullptr;
  }
  TComponent* watched = nullptr;

 private:
  int* deleted_;
};

}  // namespace

TEST(TComponent, OwnerFreesWhatItOwns) {
  int deleted = 0;
  auto* owner = new TProbe(nullptr, &deleted);
  auto* a = new TProbe(owner, &deleted);
  new TProbe(a, &deleted);
  EXPECT_EQ(owner->ComponentCount(), 1);
  EXPECT_EQ(a->Owner(), owner);
  delete owner;
  EXPECT_EQ(deleted, 3);
}

TEST(TComponent, DeletingAChildRemovesItFromItsOwner) {
  TProbe owner(nullptr);
  auto* a = new TProbe(&owner);
  a->SetName("Edit1");
  EXPECT_EQ(owner.FindComponent("EDIT1"), a);
  delete a;
  EXPECT_EQ(owner.ComponentCount(), 0);
  EXPECT_EQ(owner.FindComponent("Edit1"), nullptr);
}

TEST(TComponent, FreeNotificationClearsReferences) {
  TProbe form(nullptr);
  auto* grid = new TProbe(&form);
  auto* source = new TProbe(nullptr);  // not owned by form
  grid->watched = source;
  source->FreeNotification(grid);
  delete source;
  EXPECT_EQ(grid->watched, nullptr);
}

TEST(TComponent, NamesAreUniqueAndValidPerOwner) {
  TProbe form(nullptr);
  auto* a = new TProbe(&form);
  auto* b = new TProbe(&form);
  a->SetName("Button1");
  EXPECT_THROW(b->SetName("button1"), EComponentError);
  EXPECT_THROW(b->SetName("1abc"), EComponentError);
  b->SetName("Button2");
  a->SetName("BUTTON1");  // renaming itself in another case is allowed
  EXPECT_EQ(a->Name(), "BUTTON1");
}

TEST(TPersistent, AssignWithoutSupportRaisesConvertError) {
  TProbe a(nullptr), b(nullptr);
  try {
    a.Assign(&b);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TProbe to a TProbe");
  }
}
