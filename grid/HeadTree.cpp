#include "grid/HeadTree.h"

#include <algorithm>

#include "grid/GridExUtils.h"

namespace {

constexpr int kGroupHeight = 20;

}  // namespace

THeadTreeNode::THeadTreeNode(const AnsiString& text, int width, int height)
    : Height(height), Text(text), Width(width) {}

THeadTreeNode::~THeadTreeNode() { FreeAllChilds(); }

void THeadTreeNode::FreeAllChilds() {
  if (Child == nullptr) return;
  THeadTreeNode* first = Child;
  THeadTreeNode* node = first;
  Child = nullptr;
  do {
    THeadTreeNode* next = node->Next;
    delete node;
    node = next;
  } while (node != first);
}

bool THeadTreeNode::Find(const THeadTreeNode* node) const {
  if (node == this) return true;
  if (Child == nullptr) return false;
  const THeadTreeNode* c = Child;
  do {
    if (c->Find(node)) return true;
    c = c->Next;
  } while (c != Child);
  return false;
}

void THeadTreeNode::ForEach(const std::function<void(THeadTreeNode*)>& visit) {
  if (Child == nullptr) return;
  THeadTreeNode* c = Child;
  do {
    THeadTreeNode* next = c->Next;
    visit(c);
    c->ForEach(visit);
    c = next;
  } while (c != Child);
}

int THeadTreeNode::ChildCount() const {
  if (Child == nullptr) return 0;
  int n = 0;
  const THeadTreeNode* c = Child;
  do {
    ++n;
    c = c->Next;
  } while (c != Child);
  return n;
}

THeadTreeNode* THeadTreeNode::ChildAt(int index) const {
  THeadTreeNode* c = Child;
  for (int i = 0; c != nullptr && i < index; ++i) {
    c = c->Next;
    if (c == Child) return nullptr;
  }
  return c;
}

void THeadTreeNode::LinkLast(THeadTreeNode* parent, THeadTreeNode* node) {
  node->Host = parent;
  if (parent->Child == nullptr) {
    parent->Child = node;
    node->Next = node;
    return;
  }
  THeadTreeNode* last = parent->Child;
  while (last->Next != parent->Child) last = last->Next;
  last->Next = node;
  node->Next = parent->Child;
}

THeadTreeNode* THeadTreeNode::AppendChild(THeadTreeNode* parent, const AnsiString& text, int width,
                                          int height) {
  if (!Find(parent)) RaiseGridError("Node not in Tree");
  auto* node = new THeadTreeNode(text, width, height);
  LinkLast(parent, node);
  return node;
}

THeadTreeNode* THeadTreeNode::InsertAfter(THeadTreeNode* after, const AnsiString& text, int width,
                                          int height) {
  if (after == this || !Find(after)) RaiseGridError("Node not in Tree");
  auto* node = new THeadTreeNode(text, width, height);
  node->Host = after->Host;
  node->Next = after->Next;
  after->Next = node;
  return node;
}

THeadTreeNode* THeadTreeNode::GroupSiblings(THeadTreeNode* from, THeadTreeNode* to, int height,
                                            const AnsiString& text) {
  if (from == this || !Find(from)) RaiseGridError("Node not in Tree");
  THeadTreeNode* parent = from->Host;
  std::vector<THeadTreeNode*> kids;
  THeadTreeNode* c = parent->Child;
  do {
    kids.push_back(c);
    c = c->Next;
  } while (c != parent->Child);
  size_t f = std::find(kids.begin(), kids.end(), from) - kids.begin();
  size_t t = std::find(kids.begin() + f, kids.end(), to) - kids.begin();
  if (t == kids.size()) RaiseGridError("ATo not in level");

  auto* group = new THeadTreeNode(text, 0, height);
  group->Host = parent;
  group->VLineWidth = from->VLineWidth;
  int width = 0;
  for (size_t i = f; i <= t; ++i) {
    width += kids[i]->Width;
    kids[i]->Height -= height;
    kids[i]->Host = group;
    kids[i]->Next = i == t ? kids[f] : kids[i + 1];
  }
  group->Width = width + static_cast<int>(t - f) * from->VLineWidth;
  group->Child = kids[f];

  std::vector<THeadTreeNode*> level(kids.begin(), kids.begin() + f);
  level.push_back(group);
  level.insert(level.end(), kids.begin() + t + 1, kids.end());
  for (size_t i = 0; i < level.size(); ++i) level[i]->Next = level[(i + 1) % level.size()];
  parent->Child = level.front();
  return group;
}

AnsiString FirstTitleWord(const AnsiString& caption, size_t* secondStart) {
  const size_t n = caption.size();
  auto isSeparator = [&](size_t i) {
    return caption[i] == '|' && ByteTypeAt(caption, i) == mbSingleByte;
  };
  size_t start = 0;
  while (start < n && isSeparator(start)) ++start;
  size_t end = start;
  while (end < n && !isSeparator(end)) ++end;
  size_t second = end;
  while (second < n && isSeparator(second)) ++second;
  if (secondStart) *secondStart = second < n ? second : AnsiString::npos;
  return AnsiString(caption.substr(start, end - start));
}

void BuildTitleTree(THeadTreeNode* root, const std::vector<TTitleLeafSpec>& specs, int leafHeight,
                    int lineWidth) {
  root->FreeAllChilds();
  std::vector<THeadTreeNode*> leaves;
  leaves.reserve(specs.size());
  for (const TTitleLeafSpec& s : specs) {
    THeadTreeNode* leaf = root->AppendChild(root, s.Caption, s.Width, leafHeight);
    leaf->Column = s.Column;
    leaf->WIndent = s.MarkerRoom;
    leaf->VLineWidth = lineWidth;
    leaves.push_back(leaf);
  }
  // Every pass shortens at least one leaf's text, so the passes end.
  for (bool changed = true; changed;) {
    changed = false;
    for (size_t i = 0; i < leaves.size(); ++i) {
      size_t cut;
      AnsiString word = FirstTitleWord(leaves[i]->Text, &cut);
      if (cut == AnsiString::npos) continue;
      // The run: this leaf and the following siblings with the same word.
      size_t last = i;
      while (last + 1 < leaves.size() && leaves[last + 1]->Host == leaves[i]->Host &&
             leaves[last]->Next == leaves[last + 1] &&
             FirstTitleWord(leaves[last + 1]->Text) == word)
        ++last;
      // Each leaf loses its own first word: one caption may start with
      // separators the others lack ("|Pay|Base" beside "Pay|Bonus").
      for (size_t j = i; j <= last; ++j) {
        size_t own;
        FirstTitleWord(leaves[j]->Text, &own);
        leaves[j]->Text =
            own == AnsiString::npos ? AnsiString() : AnsiString(leaves[j]->Text.substr(own));
      }
      root->GroupSiblings(leaves[i], leaves[last], kGroupHeight, word);
      changed = true;
      break;
    }
  }
}

int MeasureTitleTree(THeadTreeNode* node, const TTitleMeasure& measure) {
  if (node->Child == nullptr) return node->Height;
  struct Need {
    THeadTreeNode* child;
    int subtree;
  };
  std::vector<Need> needs;
  int height = 0;
  THeadTreeNode* c = node->Child;
  do {
    int h = measure(c, c == node->Child);
    int subtree = c->HasChildren() ? MeasureTitleTree(c, measure) : 0;
    needs.push_back({c, subtree});
    height = std::max(height, h + subtree);
    c = c->Next;
  } while (c != node->Child);
  for (const Need& n : needs)
    n.child->Height = n.child->HasChildren() ? height - n.subtree : height;
  node->Height = height;
  return height;
}
