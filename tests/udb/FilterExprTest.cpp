// The filter language: the expression buffer byte for byte, the parse
// errors with their texts, constants and the buffer's size limit.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Udb/FilterExpr.h"
#include "platform/core/DateTime.h"
#include "platform/core/Exceptions.h"

namespace {

TFilterFieldList TestFields() {
  TFilterFieldList f;
  f.Add("Name", ftString, 20);       // 1
  f.Add("Age", ftInteger);           // 2
  f.Add("Dept", ftString, 10);       // 3
  f.Add("Active", ftBoolean);        // 4
  f.Add("HireDate", ftDate);         // 5
  f.Add("Salary", ftFloat);          // 6
  f.Add("Qty", ftSmallint);          // 7
  f.Add("Notes", ftMemo);            // 8
  f.Add("Calc", ftInteger, 0, false);  // 9: a calculated field
  f.Add("Amount", ftCurrency);       // 10
  f.Add("Start", ftTime);            // 11
  f.Add("Stamp", ftDateTime);        // 12
  f.Add("ZGBH", ftString, 11);       // 13
  f.Add("W", ftWord);                // 14
  return f;
}

std::vector<std::uint8_t> Parse(const AnsiString& text, TFilterOptions options = TFilterOptions()) {
  static const TFilterFieldList fields = TestFields();
  TFilterExprParser parser(&fields, text, options);
  return parser.BufferBytes();
}

// A decoded node of a buffer.
struct Node {
  int cls = -1, op = -1;
  std::vector<int> operands;
};

int U16(const std::vector<std::uint8_t>& b, int at) { return b[at] | (b[at + 1] << 8); }
int U32(const std::vector<std::uint8_t>& b, int at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (b[at + 3] << 24);
}

Node At(const std::vector<std::uint8_t>& b, int nodeOffset) {
  Node n;
  int pos = 10 + nodeOffset;
  n.cls = U32(b, pos);
  n.op = U32(b, pos + 4);
  int count = n.cls == nodeUNARY ? 1 : n.cls == nodeCONST ? 3 : n.cls == nodeCOMPARE ? 4 : 2;
  for (int i = 0; i < count; ++i) n.operands.push_back(U16(b, pos + 8 + 2 * i));
  return n;
}

const std::uint8_t* Literal(const std::vector<std::uint8_t>& b, int offset) {
  return b.data() + U16(b, 8) + offset;
}

std::string ConstText(const std::vector<std::uint8_t>& b, const Node& c) {
  return reinterpret_cast<const char*>(Literal(b, c.operands[2]));
}

std::string ParseError(const AnsiString& text, TFilterOptions options = TFilterOptions()) {
  try {
    Parse(text, options);
  } catch (const Exception& e) {
    return e.Message();
  }
  return "no error";
}

}  // namespace

TEST(TFilterExprParser, ComparisonBufferByteForByte) {
  const std::vector<std::uint8_t> expected = {
      0x02, 0x00, 0x38, 0x00, 0xFF, 0xFF, 0x0A, 0x00, 0x30, 0x00,  // header: 56 bytes, literals at 48
      0x02, 0, 0, 0, 0x05, 0, 0, 0, 0x0C, 0x00, 0x18, 0x00,        // binary coGT, left 12, right 24
      0x04, 0, 0, 0, 0x0D, 0, 0, 0, 0x02, 0x00, 0x00, 0x00,        // field 2, name at 0
      0x05, 0, 0, 0, 0x0E, 0, 0, 0, 0x03, 0x00, 0x04, 0x00, 0x04, 0x00,  // integer, 4 bytes at 4
      'A', 'g', 'e', 0x00, 0x05, 0x00, 0x00, 0x00};
  EXPECT_EQ(Parse("Age > 5"), expected);
  // The constant on the left is moved right and the relation mirrored;
  // names ignore case and a comment before a token is skipped.
  EXPECT_EQ(Parse("5 < Age"), expected);
  EXPECT_EQ(Parse("/* note */ age>5"), expected);
  EXPECT_EQ(Parse("[Age] > 5"), expected);
}

TEST(TFilterExprParser, AndOrTreeKeepsParentsBeforeOperands) {
  auto b = Parse("(Dept = 'A' or Dept = 'B') and Age >= 30");
  EXPECT_EQ(U16(b, 2), static_cast<int>(b.size()));
  Node root = At(b, 0);
  EXPECT_EQ(root.cls, nodeBINARY);
  EXPECT_EQ(root.op, coAND);
  Node orNode = At(b, root.operands[0]);
  EXPECT_EQ(orNode.op, coOR);
  EXPECT_EQ(root.operands[0], 12);  // right after its parent
  EXPECT_GT(root.operands[1], orNode.operands[1]);
  Node ge = At(b, root.operands[1]);
  EXPECT_EQ(ge.op, coGE);
  Node eqB = At(b, orNode.operands[1]);
  EXPECT_EQ(ConstText(b, At(b, eqB.operands[1])), "B");
}

TEST(TFilterExprParser, PartialCompareAndCaseFlagMakeCompareNodes) {
  auto partial = Parse("Name = 'Smith*'");
  Node n = At(partial, 0);
  EXPECT_EQ(n.cls, nodeCOMPARE);
  EXPECT_EQ(n.op, coEQ);
  EXPECT_EQ(n.operands[0], 0);  // case-sensitive
  EXPECT_EQ(n.operands[1], 5);  // partial length
  EXPECT_EQ(At(partial, n.operands[2]).cls, nodeFIELD);
  Node c = At(partial, n.operands[3]);
  EXPECT_EQ(ConstText(partial, c), "Smith");
  EXPECT_EQ(c.operands[1], 6);  // length + 1

  const TFilterOptions noPartial{foNoPartialCompare};
  auto whole = Parse("Name = 'Smith*'", noPartial);
  EXPECT_EQ(At(whole, 0).cls, nodeBINARY);
  EXPECT_EQ(ConstText(whole, At(whole, At(whole, 0).operands[1])), "Smith*");

  // A lone "*" is a one-character text; "a*" is partial with length 1.
  auto star = Parse("Name = '*'");
  EXPECT_EQ(At(star, 0).cls, nodeBINARY);
  EXPECT_EQ(ConstText(star, At(star, At(star, 0).operands[1])), "*");
  auto a = Parse("Name <> 'a*'");
  EXPECT_EQ(At(a, 0).cls, nodeCOMPARE);
  EXPECT_EQ(At(a, 0).op, coNE);
  EXPECT_EQ(At(a, 0).operands[1], 1);

  const TFilterOptions ci{foCaseInsensitive};
  auto folded = Parse("Name like 'sm%'", ci);
  EXPECT_EQ(At(folded, 0).cls, nodeCOMPARE);
  EXPECT_EQ(At(folded, 0).op, coLIKE);
  EXPECT_EQ(At(folded, 0).operands[0], 1);
  EXPECT_EQ(At(folded, 0).operands[1], 0);
  // Without the flag a LIKE stays a binary node.
  EXPECT_EQ(At(Parse("Name like 'sm%'"), 0).cls, nodeBINARY);
}

TEST(TFilterExprParser, NullComparisonsBecomeBlankTests) {
  auto isNull = Parse("Dept = NULL");
  EXPECT_EQ(At(isNull, 0).cls, nodeUNARY);
  EXPECT_EQ(At(isNull, 0).op, coISBLANK);
  EXPECT_EQ(At(isNull, At(isNull, 0).operands[0]).cls, nodeFIELD);
  EXPECT_EQ(At(Parse("Dept <> null"), 0).op, coNOTBLANK);
  EXPECT_EQ(At(Parse("Dept is null"), 0).op, coISBLANK);
  EXPECT_EQ(At(Parse("Dept IS  NOT  NULL"), 0).op, coNOTBLANK);
}

TEST(TFilterExprParser, BooleanFieldAloneMeansNotFalse) {
  auto b = Parse("Active");
  Node ne = At(b, 0);
  EXPECT_EQ(ne.cls, nodeBINARY);
  EXPECT_EQ(ne.op, coNE);
  Node c = At(b, ne.operands[1]);
  EXPECT_EQ(c.operands[0], 5);  // Boolean
  EXPECT_EQ(c.operands[1], 2);
  EXPECT_EQ(U16(b, U16(b, 8) + c.operands[2]), 0);
  auto n = Parse("not Active");
  EXPECT_EQ(At(n, 0).op, coNOT);
  EXPECT_EQ(At(n, At(n, 0).operands[0]).op, coNE);
  // Compared with a constant it stays a field.
  auto eq = Parse("Active = True");
  EXPECT_EQ(At(eq, At(eq, 0).operands[0]).cls, nodeFIELD);
}

TEST(TFilterExprParser, InListChainsElementsInOrder) {
  auto b = Parse("Age in (1, 2, 3)");
  Node in = At(b, 0);
  EXPECT_EQ(in.op, coIN);
  std::vector<double> values;
  for (int e = in.operands[1]; e; e = At(b, e).operands[1]) {
    Node elem = At(b, e);
    EXPECT_EQ(elem.cls, nodeLISTELEM);
    EXPECT_EQ(elem.op, coLISTELEM2);
    EXPECT_EQ(elem.operands[0], e + 12);  // the value follows its element
    Node c = At(b, elem.operands[0]);
    EXPECT_EQ(c.operands[0], 6);  // numbers in a list stay doubles
    double v;
    std::memcpy(&v, Literal(b, c.operands[2]), 8);
    values.push_back(v);
  }
  EXPECT_EQ(values, (std::vector<double>{1, 2, 3}));
}

TEST(TFilterExprParser, ConstantsTakeTheFieldsType) {
  struct Case {
    const char* text;
    int typeCode, size;
    std::int64_t value;  // integers, day numbers, milliseconds
  };
  const Case cases[] = {
      {"Age = '30'", 3, 4, 30},
      {"HireDate = 36526", 9, 4, 693594 + 36526},      // a day count: 1 January 2000
      {"HireDate = '2000-01-01'", 9, 4, 693594 + 36526},
      {"Start = '10:30:00'", 10, 4, (10 * 3600 + 30 * 60) * 1000},
      {"Qty > -5", 2, 2, 0xFFFB},
      {"W = 65535", 4, 2, 0xFFFF},
      {"Active = False", 5, 2, 0},
  };
  for (const Case& c : cases) {
    auto b = Parse(c.text);
    Node k = At(b, At(b, 0).operands[1]);
    EXPECT_EQ(k.operands[0], c.typeCode) << c.text;
    EXPECT_EQ(k.operands[1], c.size) << c.text;
    std::int64_t v = 0;
    std::memcpy(&v, Literal(b, k.operands[2]), static_cast<size_t>(c.size));
    EXPECT_EQ(v, c.value) << c.text;
  }
  auto money = Parse("Amount >= 12.5");
  Node m = At(money, At(money, 0).operands[1]);
  EXPECT_EQ(m.operands[0], 6);
  double d;
  std::memcpy(&d, Literal(money, m.operands[2]), 8);
  EXPECT_EQ(d, 12.5);
  auto stamp = Parse("Stamp = '2000-01-01 06:00:00'");
  Node s = At(stamp, At(stamp, 0).operands[1]);
  std::memcpy(&d, Literal(stamp, s.operands[2]), 8);
  EXPECT_EQ(d, (693594.0 + 36526) * 86400000.0 + 6 * 3600000.0);
}

TEST(TFilterExprParser, StringConstantsKeepGbkBytesApostrophesAndAtMost255Characters) {
  auto b = Parse("Dept = '退休职工'");
  EXPECT_EQ(ConstText(b, At(b, At(b, 0).operands[1])), std::string("退休职工"));
  auto q = Parse("Name = 'O''Brien'");
  EXPECT_EQ(ConstText(q, At(q, At(q, 0).operands[1])), "O'Brien");
  auto longText = Parse("Name = '" + AnsiString(300, 'x') + "'");
  Node c = At(longText, At(longText, 0).operands[1]);
  EXPECT_EQ(c.operands[1], 256);
  EXPECT_EQ(ConstText(longText, c).size(), 255u);
}

TEST(TFilterExprParser, ParseErrorsNameTheProblem) {
  struct Case {
    const char* text;
    std::string message;
  };
  const Case cases[] = {
      {"Salary + 1 > 5", "Arithmetic in filter expressions not supported"},   // 65202
      {"Age in ()", "IN predicate list may not be empty"},                    // 65206
      {"Qty > 5 Salary", "Filter expression incorrectly terminated"},         // 65219
      {"Dept like NULL", "NULL only allowed with '=' and '<>'"},              // 65228
      {"Amount", "Incorrectly formed filter expression"},                     // 65230
      {"/* a * b */ Age > 1", "Invalid filter expression character: ' '"},    // 65222
      {"/* open", "Invalid filter expression character: ''"},
      {"Age # 1", "Invalid filter expression character: '#'"},
      {"Upper(Name) = 'A'", "Field 'Upper' not found"},
      {"Age is nothing", "Invalid use of keyword"},                           // 65207
      {"[Age > 1", "Unterminated field name"},                                // 65220
      {"Name = 'abc", "Unterminated string constant"},                        // 65221
      {"Age in 1", "'(' expected but '1' found"},                             // 65223
      {"Age in (1 2)", "')' or ',' expected but '2' found"},                  // 65225
      {"(Age > 1", "')' expected but nothing found"},                         // 65224
      {"Age >", "Expression expected but nothing found"},                     // 65226
      {"Notes = 'x'", "Type mismatch in expression"},                         // 65200
      {"Calc > 1", "Field 'Calc' cannot be used in a filter expression"},     // 65227
      {"Qty = 40000", "Constant out of range"},                               // 65229
      {"W = -1", "Constant out of range"},
      {"NULL = NULL", "Constant is not correct type "},                       // 65204
      {"Age > 'abc'", "'abc' is not a valid integer value"},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseError(c.text), c.message) << c.text;
  // A blob field may be searched with LIKE.
  EXPECT_EQ(ParseError("Notes like '%x%'"), "no error");
}

TEST(TFilterExprParser, EmptyTextBuildsNoBuffer) {
  EXPECT_TRUE(Parse("").empty());
}

TEST(TFilterExprParser, BufferOver65535BytesIsRefusedNotWrapped) {
  // 38 bytes of header, IN node, field node and name, then 34 bytes per
  // list value: element, constant and its double.
  auto inList = [](int count) {
    AnsiString text = "Age in (1";
    for (int i = 2; i <= count; ++i) text += ", " + std::to_string(i);
    return text + ")";
  };
  auto largest = Parse(inList(1926));
  EXPECT_EQ(largest.size(), 65522u);
  EXPECT_EQ(U16(largest, 2), 65522);
  EXPECT_EQ(ParseError(inList(1927)), SExprTooLong);
  EXPECT_EQ(ParseError(inList(5000)), SExprTooLong);
}

TEST(TFilterExprParser, DeepParenthesesAreRefused) {
  AnsiString deep = AnsiString(TFilterExprParser::kMaxNesting + 1, '(') + "Age > 1" +
                    AnsiString(TFilterExprParser::kMaxNesting + 1, ')');
  EXPECT_EQ(ParseError(deep), SExprTooDeep);
  AnsiString ok = AnsiString(20, '(') + "Age > 1" + AnsiString(20, ')');
  EXPECT_EQ(Parse(ok), Parse("Age > 1"));
}
