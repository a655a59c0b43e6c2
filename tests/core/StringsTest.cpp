#include "platform/core/Strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/Files.h"
#include "ScratchDir.h"

namespace {

std::vector<AnsiString> Items(const TStrings& s) {
  std::vector<AnsiString> v;
  for (int i = 0; i < s.Count(); ++i) v.push_back(s[i]);
  return v;
}

void Fill(TStrings& s, const std::vector<AnsiString>& items) {
  s.Clear();
  for (const auto& i : items) s.Add(i);
}

// ---- CommaText -------------------------------------------------------------

struct CommaCase {
  std::vector<AnsiString> items;
  AnsiString text;
};

TEST(TStringList, CommaTextQuotesWhatNeedsItAndRoundTrips) {
  const CommaCase cases[] = {
      {{}, ""},
      {{""}, "\"\""},
      {{"", ""}, ","},
      {{"a", "", "b"}, "a,,b"},
      {{"a b"}, "\"a b\""},
      {{"a,b"}, "\"a,b\""},
      {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
      {{" lead", "trail "}, "\" lead\",\"trail \""},
      {{"tab\there"}, "\"tab\there\""},
      {{"x=1", "y=2"}, "x=1,y=2"},
      // Chinese text: trail bytes are 0x40..0xFE and never ',', '"' or ' '.
      {{"工资", "部门 名称", "奖金,绩效"}, "工资,\"部门 名称\",\"奖金,绩效\""},
      {{"PC1", "alice"}, "PC1,alice"},
  };
  for (const auto& c : cases) {
    TStringList list;
    Fill(list, c.items);
    EXPECT_EQ(list.CommaText(), c.text);
    TStringList back;
    back.SetCommaText(c.text);
    EXPECT_EQ(Items(back), c.items) << c.text;
  }
}

TEST(TStringList, CommaTextReadingSplitsAtBlanksOutsideQuotes) {
  const CommaCase cases[] = {
      {{"a", "b", "c"}, "a b  c"},
      {{"a", "b"}, "  a , b  "},
      {{"a", ""}, "a,"},
      {{"ab", "cd"}, "\"ab\"cd"},
      {{"open quote"}, "\"open quote"},
      {{"a\"b"}, "\"a\"\"b\""},
      {{"工资表", "x"}, "工资表 x"},
  };
  for (const auto& c : cases) {
    TStringList list;
    list.SetCommaText(c.text);
    EXPECT_EQ(Items(list), c.items) << c.text;
  }
}

TEST(TStringList, DelimitedTextNeverSplitsADoubleByteCharacter) {
  // 0x7C '|' is a valid trail byte: "\xB1\x7C" is one character.
  const AnsiString word = "\xB1\x7C\xB1\x7C";
  TStringList list;
  list.SetDelimiter('|');
  list.SetQuoteChar('\'');
  list.SetDelimitedText(word + "|b|'c|d'");
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{word, "b", "c|d"}));
  EXPECT_EQ(list.DelimitedText(), word + "|b|'c|d'");
  // CommaText keeps its own delimiter and quote.
  EXPECT_EQ(list.CommaText(), word + ",b,c|d");
  EXPECT_EQ(list.Delimiter(), '|');
}

// ---- Text ------------------------------------------------------------------

TEST(TStringList, TextWritesCrLfAndReadsAnyLineBreak) {
  TStringList list;
  list.SetText("a\r\nb\nc\rd");
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{"a", "b", "c", "d"}));
  EXPECT_EQ(list.Text(), "a\r\nb\r\nc\r\nd\r\n");
  list.SetText("a\r\n");
  EXPECT_EQ(Items(list), std::vector<AnsiString>{"a"}) << "a final break adds no line";
  list.SetText("a\r\n\r\n");
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{"a", ""}));
  list.SetText("");
  EXPECT_EQ(list.Count(), 0);
}

TEST(TStringList, SaveAndLoadKeepTheBytes) {
  ScratchDir dir;
  TStringList list;
  list.Add("SELECT * FROM gzk");
  list.Add("WHERE 部门='财务'");
  list.SaveToFile(dir / "q.sql");
  EXPECT_EQ(ReadWholeFile(dir / "q.sql"), "SELECT * FROM gzk\r\nWHERE 部门='财务'\r\n");
  TStringList back;
  back.LoadFromFile(dir / "q.sql");
  EXPECT_TRUE(back.Equals(&list));
  EXPECT_THROW(back.LoadFromFile(dir / "missing.sql"), EFOpenError);
}

// ---- names and values --------------------------------------------------------

TEST(TStringList, NamesAndValues) {
  TStringList list;
  list.SetText("Server=PC1\nuser=alice\nnoequals\n部门=财务");
  EXPECT_EQ(list.Names(0), "Server");
  EXPECT_EQ(list.Names(2), "");
  EXPECT_EQ(list.Values("USER"), "alice") << "names compare without case";
  EXPECT_EQ(list.Values("部门"), "财务");
  EXPECT_EQ(list.Values("none"), "");
  EXPECT_EQ(list.IndexOfName("server"), 0);
  list.SetValues("user", "bob");
  EXPECT_EQ(list[1], "user=bob");
  list.SetValues("new", "1");
  EXPECT_EQ(list[list.Count() - 1], "new=1");
  list.SetValues("server", "");
  EXPECT_EQ(list.IndexOfName("Server"), -1) << "an empty value deletes the item";
}

// ---- sorting and duplicates --------------------------------------------------

TEST(TStringList, SortedListKeepsOrderAndHandlesDuplicates) {
  TStringList list;
  list.SetSorted(true);
  for (const char* s : {"pear", "apple", "fig"}) list.Add(s);
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{"apple", "fig", "pear"}));
  EXPECT_EQ(list.Add("FIG"), 1) << "dupIgnore returns the existing index";
  EXPECT_EQ(list.Count(), 3);

  list.SetDuplicates(dupError);
  try {
    list.Add("Apple");
    FAIL() << "no exception";
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message(), "String list does not allow duplicates");
  }
  list.SetDuplicates(dupAccept);
  list.Add("fig");
  EXPECT_EQ(list.Count(), 4);
  int index = -1;
  EXPECT_TRUE(list.Find("fig", index));
  EXPECT_EQ(index, 1) << "Find gives the first of equal items";
  EXPECT_FALSE(list.Find("grape", index));
  EXPECT_EQ(index, 3) << "where it would be inserted";
  EXPECT_THROW(list.Insert(0, "x"), EStringListError);
}

TEST(TStringList, CaseSensitivityChangesOrderAndLookup) {
  TStringList list;
  list.SetText("b\nB\na\nA");
  EXPECT_EQ(list.IndexOf("b"), 0);
  EXPECT_EQ(list.IndexOf("A"), 2) << "case-insensitive by default";
  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf("A"), 3);
  list.SetSorted(true);
  int index;
  for (const char* s : {"a", "A", "b", "B"}) {
    EXPECT_TRUE(list.Find(s, index)) << s;
    EXPECT_EQ(list[index], s);
  }
  // Switching case sensitivity re-sorts, so Find keeps working.
  list.SetCaseSensitive(false);
  EXPECT_TRUE(list.Find("B", index));
  EXPECT_TRUE(AnsiString(list[index]) == "b" || AnsiString(list[index]) == "B");
}

TEST(TStringList, CustomSortOrdersByTheCallersComparison) {
  TStringList list;
  list.SetText("10\n9\n100\n1");
  list.CustomSort([](TStringList* l, int a, int b) {
    int x = std::stoi(l->Get(a)), y = std::stoi(l->Get(b));
    return x < y ? -1 : x > y ? 1 : 0;
  });
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{"1", "9", "10", "100"}));
}

TEST(TStringList, SortHandlesManyEqualAndReversedItems) {
  TStringList list;
  for (int i = 0; i < 500; ++i) list.Add(std::to_string((500 - i) % 7));
  list.Sort();
  for (int i = 1; i < list.Count(); ++i) EXPECT_LE(list[i - 1], list[i]);
}

// ---- editing -----------------------------------------------------------------

TEST(TStringList, IndexErrorsNameTheIndex) {
  TStringList list;
  list.Add("a");
  try {
    list.Delete(5);
    FAIL() << "no exception";
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (5)");
  }
  EXPECT_THROW(list.Get(-1), EStringListError);
  EXPECT_THROW(list.Insert(2, "x"), EStringListError);
  EXPECT_NO_THROW(list.Insert(1, "end"));
}

TEST(TStringList, ObjectsTravelWithTheirStrings) {
  TObject o1, o2;
  TStringList list;
  list.AddObject("one", &o1);
  list.AddObject("two", &o2);
  list.Add("three");
  list.Exchange(0, 2);
  EXPECT_EQ(list.Objects(2), &o1);
  list.Move(2, 0);
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{"one", "three", "two"}));
  EXPECT_EQ(list.Objects(0), &o1);
  EXPECT_EQ(list.IndexOfObject(&o2), 2);

  TStringList copy;
  copy.Add("old");
  copy.Assign(&list);
  EXPECT_EQ(Items(copy), Items(list));
  EXPECT_EQ(copy.Objects(2), &o2);
  copy.AddStrings(&list);
  EXPECT_EQ(copy.Count(), 6);
  copy.Assign(&copy);
  EXPECT_EQ(copy.Count(), 6) << "assigning a list to itself keeps it";
  copy.AddStrings(&copy);
  EXPECT_EQ(copy.Count(), 12) << "adding a list to itself doubles it";
}

TEST(TStringList, AFailedMoveLosesNoItem) {
  TStringList list;
  list.SetText("a\nb\nc");
  EXPECT_THROW(list.Move(0, 3), EStringListError);
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{"a", "b", "c"}));
  list.SetSorted(true);
  EXPECT_THROW(list.Move(2, 0), EStringListError);
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{"a", "b", "c"}));
}

TEST(TStringList, ChangeEventsAreHeldBackDuringAnUpdate) {
  TStringList list;
  int changing = 0, changed = 0;
  list.OnChanging = [&](TObject*) { ++changing; };
  list.OnChange = [&](TObject*) { ++changed; };
  list.Add("a");
  EXPECT_EQ(changing, 1);
  EXPECT_EQ(changed, 1);
  list.BeginUpdate();
  list.BeginUpdate();
  list.Add("b");
  list.Delete(0);
  list.EndUpdate();
  EXPECT_EQ(changed, 1) << "inner EndUpdate fires nothing";
  list.EndUpdate();
  EXPECT_EQ(changing, 2);
  EXPECT_EQ(changed, 2);
  list.SetCommaText("x,y,z");
  EXPECT_EQ(changed, 3) << "a bulk assignment is one change";
}

// A list that implements only the abstract operations, as the visual
// controls' item lists do: the base supplies everything else.
class TBareStrings : public TStrings {
 public:
  int Count() const override { return static_cast<int>(items_.size()); }
  AnsiString Get(int index) const override { return items_.at(static_cast<size_t>(index)); }
  void Insert(int index, const AnsiString& s) override {
    items_.insert(items_.begin() + index, s);
  }
  void Delete(int index) override { items_.erase(items_.begin() + index); }
  void Clear() override { items_.clear(); }

  std::vector<AnsiString> items_;
};

TEST(TStrings, BaseOperationsWorkOverTheAbstractOnes) {
  TBareStrings list;
  list.SetCommaText("b=2,\"a b\",c");
  EXPECT_EQ(list.items_, (std::vector<AnsiString>{"b=2", "a b", "c"}));
  EXPECT_EQ(list.Values("B"), "2");
  list.SetValues("b", "3");
  list.Exchange(0, 2);
  list.Move(0, 1);
  EXPECT_EQ(list.items_, (std::vector<AnsiString>{"a b", "c", "b=3"}));
  EXPECT_EQ(list.IndexOf("C"), 1);
  EXPECT_EQ(list.Text(), "a b\r\nc\r\nb=3\r\n");
  TStringList copy;
  copy.Assign(&list);
  EXPECT_EQ(copy.CommaText(), "\"a b\",c,b=3");
}

}  // namespace
