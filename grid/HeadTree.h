// THeadTreeNode: the multi-level title header of the data grid.
//
// With multi-level titles a column caption "Pay|Base" is split at '|' and
// neighbouring columns whose captions start with the same word share one
// group title above them, recursively:
//
//   Root
//    +- "Pay" (group, height 20 before measuring, width = Base + Bonus + line)
//    |   +- "Base"  (leaf, column 0)
//    |   +- "Bonus" (leaf, column 1)
//    +- "Name"     (leaf, column 2)
//
// Siblings form a ring: the last one's Next is the parent's first child, a
// node without siblings is its own Next.  A node owns its children; the
// root frees them when destroyed.  The grid builds the tree at every
// layout (BuildTitleTree) and measures it (MeasureTitleTree) to get the
// title row's height; painting draws leaves and groups from it.
//
// Layer: grid; no drawing here -- measuring goes through a callback.
#pragma once

#include <functional>
#include <vector>

#include "platform/core/AnsiString.h"

class TColumnEx;

class THeadTreeNode {
 public:
  THeadTreeNode(const AnsiString& text, int width, int height);
  ~THeadTreeNode();
  THeadTreeNode(const THeadTreeNode&) = delete;
  THeadTreeNode& operator=(const THeadTreeNode&) = delete;

  THeadTreeNode* Child = nullptr;  // first child
  TColumnEx* Column = nullptr;     // for a leaf
  int Height = 0;
  THeadTreeNode* Host = nullptr;   // parent
  THeadTreeNode* Next = this;      // ring of siblings
  AnsiString Text;
  int VLineWidth = 0;              // 1 with column lines, else 0
  int Width = 0;
  int WIndent = 0;                 // room for a sort marker

  // Appends a new node to the ring of parent's children; raises "Node not
  // in Tree" when parent is not in this node's tree.
  THeadTreeNode* AppendChild(THeadTreeNode* parent, const AnsiString& text, int width,
                             int height);
  // Inserts a new node after after (same parent).
  THeadTreeNode* InsertAfter(THeadTreeNode* after, const AnsiString& text, int width, int height);
  // Replaces the siblings from..to by one new node (text, height) that
  // takes them as its children: their heights drop by height, the new
  // node's width is theirs summed plus one line width between each two.
  // "Node not in Tree" when from is not in this tree, "ATo not in level"
  // when to is not from or a later sibling.
  THeadTreeNode* GroupSiblings(THeadTreeNode* from, THeadTreeNode* to, int height,
                               const AnsiString& text);
  void FreeAllChilds();
  bool Find(const THeadTreeNode* node) const;
  bool HasChildren() const { return Child != nullptr; }
  // Every node below this one, depth first, children in ring order.
  void ForEach(const std::function<void(THeadTreeNode*)>& visit);
  int ChildCount() const;
  THeadTreeNode* ChildAt(int index) const;

 private:
  void LinkLast(THeadTreeNode* parent, THeadTreeNode* node);
};

// One leaf per column, in column order, as BuildTitleTree gets them.
struct TTitleLeafSpec {
  TColumnEx* Column = nullptr;
  AnsiString Caption;
  int Width = 0;       // -1/0 for a hidden column (see the grid)
  int MarkerRoom = 0;  // 16 when the title shows a sort marker
};

// Frees root's children, appends one leaf per spec (height leafHeight,
// line width lineWidth) and groups leaves whose captions share the first
// '|'-separated word under nodes of height 20, level by level.
void BuildTitleTree(THeadTreeNode* root, const std::vector<TTitleLeafSpec>& leaves,
                    int leafHeight, int lineWidth);

// The height a child's own text needs (its wrapped or rotated text plus
// margins); the grid measures with its fonts.  first: the child is its
// parent's first child.
using TTitleMeasure = std::function<int(THeadTreeNode* child, bool first)>;
// Sets the heights of node's subtree from the measured texts and returns
// node's height: a node is as high as its tallest child needs; a group
// child gets what is left above its own subtree, a leaf the whole height.
int MeasureTitleTree(THeadTreeNode* node, const TTitleMeasure& measure);

// The first '|'-separated word of a caption (leading separators skipped;
// a trail byte of a double-byte character is never a separator) and
// where the second word starts (0-based; npos when there is none).
AnsiString FirstTitleWord(const AnsiString& caption, size_t* secondStart = nullptr);
