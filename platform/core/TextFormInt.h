// TextFormInt: what the parser, the writer and the reader of the component
// text form share: the parse tree and the entry points of the parser and
// the writer.  Internal to platform/core/TextForm*.cpp; other code includes
// TextForm.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/AnsiString.h"

class TComponent;

namespace textform {

// The pseudo-property under which a string list (TStrings) keeps its lines.
constexpr const char* kStringsProperty = "Strings";

// " on line <n>", the tail of every reading error.
inline AnsiString LineSuffix(int line) { return " on line " + std::to_string(line); }

// --- parse tree ----------------------------------------------------------------

struct TItemNode;

struct TValueNode {
  enum Kind { vInteger, vFloat, vString, vIdent, vSet, vList, vCollection, vBinary };
  Kind kind = vInteger;
  int line = 0;
  std::int64_t integer = 0;
  double number = 0;
  char suffix = 0;                  // float: 's', 'd' (date) or 'c' (currency)
  AnsiString text;                  // string, identifier, binary bytes
  std::vector<AnsiString> elements;  // set
  std::vector<TValueNode> list;      // list
  std::vector<TItemNode> items;      // collection
};

struct TPropNode {
  AnsiString name;  // may be dotted: Font.Name
  TValueNode value;
  int line = 0;
};

struct TItemNode {
  std::vector<TPropNode> props;
  int line = 0;
};

struct TObjectNode {
  bool inherited = false;
  AnsiString name, className;
  int childPos = -1;
  std::vector<TPropNode> props;
  std::vector<TObjectNode> children;
  int line = 0;
};


// The whole text as a tree; EParserError "<what> on line <n>" when it is
// malformed (nothing is created before the text has parsed).
TObjectNode ParseObjectText(std::string_view text);
// The class name in the first object header.
AnsiString ParseObjectTextClassName(std::string_view text);

// The text form of root and the components its GetChildren lists.
AnsiString WriteObjectText(TComponent* root);

}  // namespace textform
