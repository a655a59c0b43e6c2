// The multi-level title header: groups from '|'-separated captions, the
// sibling ring, its errors and the height pass.
#include <gtest/gtest.h>

#include <string>

#include "GridTestSupport.h"
#include "grid/GridExUtils.h"
#include "grid/HeadTree.h"

namespace {

// "text(width,height)[children]" for a subtree, children in ring order.
std::string Dump(const THeadTreeNode* node) {
  std::string s;
  for (int i = 0; i < node->ChildCount(); ++i) {
    const THeadTreeNode* c = node->ChildAt(i);
    s += (i ? " " : "") + std::string(c->Text) + "(" + std::to_string(c->Width) + "," +
         std::to_string(c->Height) + ")";
    if (c->HasChildren()) s += "[" + Dump(c) + "]";
  }
  return s;
}

std::vector<TTitleLeafSpec> Leaves(std::initializer_list<const char*> captions, int width = 50) {
  std::vector<TTitleLeafSpec> v;
  for (const char* c : captions) v.push_back({nullptr, c, width, 0});
  return v;
}

TEST(HeadTree, CaptionsSharingTheirFirstWordGetOneGroup) {
  struct Case {
    std::initializer_list<const char*> captions;
    const char* tree;
  };
  const Case cases[] = {
      {{"Pay|Base", "Pay|Bonus", "Name"}, "Pay(101,20)[Base(50,0) Bonus(50,0)] Name(50,20)"},
      {{"A|B|C", "A|B|D"}, "A(101,20)[B(101,20)[C(50,-20) D(50,-20)]]"},
      {{"A|B"}, "A(50,20)[B(50,0)]"},
      {{"One", "Two"}, "One(50,20) Two(50,20)"},
      {{"|Lead", "X"}, "|Lead(50,20) X(50,20)"},
      // Each caption loses its own first word, leading separators or not.
      {{"|A|B", "A|C"}, "A(101,20)[B(50,0) C(50,0)]"},
      {{"A|B", "A"}, "A(101,20)[B(50,0) (50,0)]"},
      {{"A|B", "C", "A|D"}, "A(50,20)[B(50,0)] C(50,20) A(50,20)[D(50,0)]"},
  };
  for (const Case& k : cases) {
    THeadTreeNode root("Root", 0, 10);
    BuildTitleTree(&root, Leaves(k.captions), 20, 1);
    EXPECT_EQ(Dump(&root), k.tree) << *k.captions.begin();
  }
}

TEST(HeadTree, TrailByteThatLooksLikeTheSeparatorDoesNotSplit) {
  // 0x81 0x7C is one double-byte character whose trail byte is '|'.
  const char dbcs[] =
      "\x81\x7C"
      "x|y";
  EXPECT_EQ(FirstTitleWord(dbcs), "\x81\x7Cx");
  THeadTreeNode root("Root", 0, 10);
  BuildTitleTree(&root, Leaves({dbcs}), 20, 0);
  ASSERT_EQ(root.ChildCount(), 1);
  EXPECT_EQ(root.ChildAt(0)->Text, "\x81\x7Cx");
  EXPECT_EQ(root.ChildAt(0)->ChildAt(0)->Text, "y");
}

TEST(HeadTree, SiblingsFormARing) {
  THeadTreeNode root("Root", 0, 10);
  THeadTreeNode* a = root.AppendChild(&root, "a", 1, 1);
  EXPECT_EQ(a->Next, a);
  THeadTreeNode* c = root.AppendChild(&root, "c", 1, 1);
  THeadTreeNode* b = root.InsertAfter(a, "b", 1, 1);
  EXPECT_EQ(a->Next, b);
  EXPECT_EQ(b->Next, c);
  EXPECT_EQ(c->Next, a);
  EXPECT_EQ(Dump(&root), "a(1,1) b(1,1) c(1,1)");
  THeadTreeNode* g = root.GroupSiblings(b, c, 0, "g");
  EXPECT_EQ(a->Next, g);
  EXPECT_EQ(g->Next, a);
  EXPECT_EQ(c->Next, b) << "the grouped ring is closed";
  EXPECT_EQ(b->Host, g);
}

TEST(HeadTree, NodesOutsideTheTreeOrLevelAreRefused) {
  THeadTreeNode root("Root", 0, 10);
  THeadTreeNode other("Other", 0, 10);
  THeadTreeNode* a = root.AppendChild(&root, "a", 1, 1);
  THeadTreeNode* b = root.AppendChild(&root, "b", 1, 1);
  auto message = [](auto f) {
    try {
      f();
    } catch (const EInvalidGridOperation& e) {
      return std::string(e.Message());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message([&] { root.AppendChild(&other, "x", 1, 1); }), "Node not in Tree");
  EXPECT_EQ(message([&] { root.InsertAfter(&other, "x", 1, 1); }), "Node not in Tree");
  EXPECT_EQ(message([&] { root.GroupSiblings(&other, &other, 1, "x"); }), "Node not in Tree");
  EXPECT_EQ(message([&] { root.GroupSiblings(b, a, 1, "x"); }), "ATo not in level");
  EXPECT_EQ(Dump(&root), "a(1,1) b(1,1)") << "a refused group changes nothing";
}

TEST(HeadTree, HeightPassGivesGroupsTheRoomAboveTheirChildren) {
  THeadTreeNode root("Root", 0, 10);
  BuildTitleTree(&root, Leaves({"Pay|Base", "Pay|Bonus and extras", "Name"}), 20, 1);
  // Every text needs 10 pixels per 10 characters, at least 10.
  auto measure = [](THeadTreeNode* n, bool) {
    return std::max<int>(10, static_cast<int>(n->Text.size()) / 10 * 10 + 10);
  };
  EXPECT_EQ(MeasureTitleTree(&root, measure), 30);
  EXPECT_EQ(Dump(&root), "Pay(101,10)[Base(50,20) Bonus and extras(50,20)] Name(50,30)");
}

using GridHeadTreeTest = GridFixture;

TEST_F(GridHeadTreeTest, LayoutBuildsTheTreeFromTheColumnCaptions) {
  grid->SetUseMultiTitle(true);
  const char* captions[] = {"Pay|Base", "Pay|Bonus", "Name"};
  for (const char* caption : captions) {
    TColumnEx* c = AddColumn("");
    c->Title()->SetCaption(caption);
    c->SetWidth(40);
  }
  grid->LayoutChanged();
  const THeadTreeNode* root = grid->HeadTree();
  ASSERT_EQ(root->ChildCount(), 2);
  EXPECT_EQ(root->ChildAt(0)->Text, "Pay");
  EXPECT_EQ(root->ChildAt(0)->Width, 40 + 40 + 1);  // with column lines
  ASSERT_EQ(grid->TitleLeaves().size(), 3u);
  EXPECT_EQ(grid->TitleLeaves()[1].Leaf->Text, "Bonus");
  EXPECT_EQ(grid->TitleLeaves()[1].Column, grid->Columns()->Items(1));
  EXPECT_EQ(grid->Columns()->Items(0)->Title()->Caption(), "Pay|Base") << "captions stay whole";
  // One 16-pixel text line plus the 10-pixel margin per level.
  EXPECT_EQ(root->ChildAt(0)->Height + root->ChildAt(0)->ChildAt(0)->Height, 2 * (16 + 10));
}

}  // namespace
