// The file reader under damage: see FileFuzzSupport.h.
#include "FileFuzzSupport.h"

#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <typeinfo>

#include "MemFileSystem.h"
#include "Udb/UdbDataBase.h"
#include "Udb/UdbErrors.h"
#include "Udb/UdbTable.h"
#include "platform/core/Strings.h"
#include "platform/data/FieldDefs.h"
#include "platform/data/Fields.h"

namespace {

constexpr const char* kName = "fuzz.udb";
// A walk longer than this follows a loop of a damaged index.
constexpr int kMaxSteps = 5000;

void Connect(TUdbDataBase& db, TMemFileSystem& fs) {
  db.SetFileSystem(&fs);
  db.SetDataBaseName(kName);
}

std::vector<std::uint8_t> MakeBase() {
  TMemFileSystem fs;
  {
    TUdbDataBase db;
    Connect(db, fs);
    db.CreateDatabase();
    db.SetConnected(true);
    TIndexOptions primary;
    primary << ixPrimary;
    TUdbTable p;
    p.SetDataBase(&db);
    p.SetTableName("PAY");
    p.FieldDefs()->Add("ID", ftInteger);
    p.FieldDefs()->Add("NAME", ftString, 12);
    p.FieldDefs()->Add("AMT", ftFloat);
    p.FieldDefs()->Add("DAY", ftDate);
    p.FieldDefs()->Add("OK", ftBoolean);
    p.FieldDefs()->Add("NOTE", ftMemo);
    p.IndexDefs()->Add("PK", "ID", primary);
    p.IndexDefs()->Add("ByName", "NAME;AMT", TIndexOptions());
    TIndexOptions descending;
    descending << ixDescending;
    p.IndexDefs()->Add("ByDay", "DAY", descending);
    p.CreateTable();
    p.Open();
    for (int i = 1; i <= 60; ++i) {
      p.Append();
      p.FieldByName("ID")->SetAsInteger(i);
      p.FieldByName("NAME")->SetAsString("N" + std::to_string(i * 37 % 101));
      p.FieldByName("AMT")->SetAsFloat(i * 1.5);
      p.FieldByName("DAY")->SetAsFloat(40000 + i % 9);
      p.FieldByName("OK")->SetAsBoolean(i % 2 == 0);
      if (i % 3 != 0) p.FieldByName("NOTE")->SetAsString(AnsiString(std::string(static_cast<size_t>(i * 53), 'x')));
      p.Post();
    }
    TUdbTable c;
    c.SetDataBase(&db);
    c.SetTableName("CODES");
    c.FieldDefs()->Add("CODE", ftString, 6);
    c.FieldDefs()->Add("N", ftSmallint);
    c.IndexDefs()->Add("PK", "CODE", primary);
    c.CreateTable();
    c.Open();
    for (int i = 1; i <= 20; ++i) {
      c.Append();
      c.FieldByName("CODE")->SetAsString("C" + std::to_string(i));
      c.FieldByName("N")->SetAsInteger(i);
      c.Post();
    }
  }
  return fs.Bytes(kName);
}

void ReadTable(TUdbDataBase& db, const AnsiString& name) {
  TUdbTable t;
  t.SetDataBase(&db);
  t.SetTableName(name);
  t.Open();
  std::vector<AnsiString> indexes;
  for (int i = 0; i < t.GetVisibleIndexCount(); ++i) {
    TIndexDefs defs(&t);
    TIndexDef* def = defs.AddIndexDef();
    t.GetIndexDef(i, def);
    indexes.push_back(def->Name());
  }
  if (indexes.empty()) indexes.push_back("");
  for (const AnsiString& index : indexes) {
    t.SetIndexName(index);
    int steps = 0;
    for (t.First(); !t.Eof() && steps < kMaxSteps; t.Next(), ++steps)
      for (int f = 0; f < t.FieldCount(); ++f) (void)t.Fields()->Fields(f)->AsString();
    steps = 0;
    for (t.Last(); !t.Bof() && steps < kMaxSteps; t.Prior(), ++steps) (void)t.RecordCount();
  }
  // The walk in storage order (the query engine's scans): the records as the
  // allocation map lists them, read in runs of blocks.
  t.SetIndexName(indexes.front());
  t.SetStorageOrder(true);
  int steps = 0;
  Variant found;
  bool met = false;
  for (t.First(); !t.Eof() && steps < kMaxSteps; t.Next(), ++steps) {
    for (int f = 0; f < t.FieldCount(); ++f) (void)t.Fields()->Fields(f)->AsString();
    if (steps == 2 && t.FieldCount() > 0) {
      found = t.Fields()->Fields(0)->Value();
      met = true;
    }
  }
  steps = 0;
  for (t.Last(); !t.Bof() && steps < kMaxSteps; t.Prior(), ++steps) (void)t.RecordCount();
  t.SetStorageOrder(false);
  // A value met on the walk looked up again, then the record found changed
  // in place and moved by its key: the searches and the post's step back
  // to the record's entry over whatever the file holds.
  if (!met || found.IsNull() || !t.Locate(t.Fields()->Fields(0)->FieldName(), found, TLocateOptions())) return;
  t.Edit();
  for (int f = 0; f < t.FieldCount(); ++f) t.Fields()->Fields(f)->SetValue(t.Fields()->Fields(f)->Value());
  t.Post();
  TField* first = t.Fields()->Fields(0);
  t.Edit();
  switch (first->DataType()) {
    case ftInteger:
    case ftSmallint: first->SetAsInteger(first->AsInteger() ^ 0x100); break;
    case ftString: first->SetAsString(AnsiString(first->AsString().substr(0, 2))); break;
    default: break;
  }
  t.Post();
  t.Close();
}

}  // namespace

const std::vector<std::uint8_t>& FuzzBaseDatabase() {
  static const std::vector<std::uint8_t> base = MakeBase();
  return base;
}

std::string ReadWholeDatabase(const std::vector<std::uint8_t>& bytes) {
  try {
    TMemFileSystem fs;
    fs.Bytes(kName) = bytes;
    TUdbDataBase db;
    Connect(db, fs);
    db.SetConnected(true);
    TStringList names;
    db.GetTableNames(&names, false);
    for (int i = 0; i < names.Count(); ++i) {
      try {
        ReadTable(db, names[i]);
      } catch (const EUdbDatabaseError&) {
        // One damaged table: the others are still read.
      }
    }
    return std::string();
  } catch (const EUdbDatabaseError&) {
    return std::string();
  } catch (const std::exception& e) {
    return std::string(typeid(e).name()) + ": " + e.what();
  } catch (...) {
    return "an exception of an unknown type";
  }
}

namespace {

// The base database with one stored definition rewritten: edit sees each
// catalogue row's text in turn (row 0 first) and returns true once it has
// changed one, which is then stored.  Empty when no row was changed.
std::vector<std::uint8_t> EditStoredDefinition(const std::function<bool(int row, std::string& text)>& edit) {
  TMemFileSystem fs;
  fs.Bytes(kName) = FuzzBaseDatabase();
  TUdbDataBase db;
  Connect(db, fs);
  db.SetConnected(true);
  TUdbTable master;
  master.SetDataBase(&db);
  master.SetTableName(udbdb::kUserMaster);
  master.Open();
  bool changed = false;
  int row = 0;
  for (master.First(); !master.Eof() && !changed; master.Next(), ++row) {
    std::string text = master.FieldByName("TableDef")->AsString();
    if (!edit(row, text)) continue;
    master.Edit();
    master.FieldByName("TableDef")->SetAsString(AnsiString(text));
    master.Post();
    changed = true;
  }
  master.Close();
  db.SetConnected(false);
  return changed ? fs.Bytes(kName) : std::vector<std::uint8_t>();
}

}  // namespace

std::vector<std::uint8_t> PatchStoredDefinition(std::mt19937& rng) {
  const int chosen = static_cast<int>(rng() % 2);
  return EditStoredDefinition([&](int row, std::string& text) {
    if (row != chosen) return false;
    // The numbers of the text: offsets, sizes, types, sequences, ids.
    std::vector<std::pair<size_t, size_t>> numbers;
    for (size_t i = 0; i < text.size();) {
      if (text[i] >= '0' && text[i] <= '9' && i > 0 && (text[i - 1] == ' ' || text[i - 1] == '-')) {
        size_t j = i;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
        numbers.emplace_back(i, j - i);
        i = j;
      } else {
        ++i;
      }
    }
    if (numbers.empty()) return false;
    static const long long kValues[] = {0, 1, 2, 7, 15, 16, 17, 255, 256, 4095, 4096, 65535, 65536, 100000, 2147483647};
    (void)rng();  // the number of patches once drawn here: one is made
    auto [at, length] = numbers[rng() % numbers.size()];
    const long long old = std::atoll(text.substr(at, length).c_str());
    long long value = rng() % 3 == 0 ? old + static_cast<long long>(rng() % 7) - 3
                                     : kValues[rng() % (sizeof kValues / sizeof kValues[0])];
    if (value < 0) value = 0;
    text.replace(at, length, std::to_string(value));
    return true;
  });
}

std::vector<std::uint8_t> ReplaceInStoredDefinition(const std::string& from, const std::string& to) {
  return EditStoredDefinition([&](int, std::string& text) {
    const size_t at = text.find(from);
    if (at == std::string::npos) return false;
    text.replace(at, from.size(), to);
    return true;
  });
}

std::vector<std::uint8_t> PatchBytes(std::vector<std::uint8_t> bytes, std::mt19937& rng) {
  const int patches = 1 + static_cast<int>(rng() % 8);
  for (int p = 0; p < patches; ++p) {
    size_t at;
    if (rng() % 2 != 0)
      at = rng() % std::min<size_t>(bytes.size(), 6 * 4096);  // headers, table maps, first map page
    else
      at = rng() % bytes.size();  // table headers, records, index nodes, blobs, definitions
    switch (rng() % 3) {
      case 0: bytes[at] = static_cast<std::uint8_t>(rng()); break;
      case 1: bytes[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8)); break;
      default: bytes[at] = rng() % 2 ? 0xFF : 0x00; break;
    }
  }
  return bytes;
}
