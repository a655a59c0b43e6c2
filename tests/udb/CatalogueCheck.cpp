// The space check of a database file (see CatalogueCheck.h).
#include "CatalogueCheck.h"

#include <map>
#include <set>

#include "Udb/DiskIOInterface.h"
#include "Udb/DiskMgr.h"
#include "Udb/IndexManager.h"
#include "Udb/TableHeader.h"
#include "Udb/UdbDataBase.h"
#include "Udb/UdbDataSetInt.h"
#include "Udb/UdbTable.h"
#include "platform/core/Strings.h"
#include "platform/data/Fields.h"

namespace {

using udbfmt::GetU32;

constexpr int kFirstDataPage = 5;  // pages 0-4: headers and the two table maps

struct TFileMap {
  std::map<int, TUdbAddr> headerOf;                  // table id -> header address
  std::map<std::uint16_t, std::vector<TUdbAddr>> pagesOf;  // owner value -> pages
};

std::string Text(const std::string& what, long long a, long long b = -1) {
  std::string s = what + " " + std::to_string(a);
  if (b >= 0) s += " / " + std::to_string(b);
  return s;
}

// The blocks of the free runs from head on, each read through read(address,
// 16 bytes).  A block met twice or a run past maxBlocks is reported.
template <typename TRead>
std::vector<TUdbAddr> RunBlocks(TUdbAddr head, int blockSize, size_t maxBlocks, TRead read,
                                const std::string& list, std::vector<std::string>& faults) {
  std::vector<TUdbAddr> blocks;
  std::set<TUdbAddr> seen;
  std::uint8_t run[udbfmt::kRunHeaderSize];
  while (head != 0) {
    read(head, run);
    const std::uint32_t count = GetU32(run + udbfmt::kRunCount);
    if (count == 0) {
      faults.push_back(Text(list + ": run of no blocks at", head));
      break;
    }
    for (std::uint32_t k = 0; k < count; ++k) {
      const TUdbAddr block = head + k * static_cast<TUdbAddr>(blockSize);
      if (!seen.insert(block).second || blocks.size() >= maxBlocks) {
        faults.push_back(Text(list + ": block listed twice or list too long at", block));
        return blocks;
      }
      blocks.push_back(block);
    }
    head = GetU32(run + udbfmt::kRunNext);
  }
  return blocks;
}

// Phase 1, under the header lock: the two table maps, every page's owner,
// the header blocks and the database-wide free lists.
TFileMap ReadFileMap(TDiskMgr& disk, std::vector<std::string>& faults) {
  TFileMap m;
  const int pageSize = disk.PageSize();
  const TUdbAddr pages = static_cast<TUdbAddr>(disk.File().FileSize() / pageSize);
  for (TUdbAddr mapAt : {TUdbAddr(1) * pageSize, TUdbAddr(3) * pageSize}) {
    std::vector<std::uint8_t> map(udbhdr::kMapSize);
    disk.ReadData(mapAt, udbhdr::kMapSize, map.data(), kIOModeRaw, 0);
    for (int k = 0; k < udbhdr::kMapSlots; ++k) {
      const int id = static_cast<int>(GetU32(map.data() + k * udbhdr::kMapSlotSize));
      if (id == 0) continue;
      const TUdbAddr at = GetU32(map.data() + k * udbhdr::kMapSlotSize + 4);
      if (m.headerOf.count(id)) faults.push_back(Text("table id listed twice", id));
      m.headerOf[id] = at;
    }
  }
  for (TUdbAddr p = 0; p < pages; ++p) {
    const std::uint16_t owner = disk.MapPages().EntryOf(p * pageSize);
    if (owner == 0) faults.push_back(Text("page without a map entry", p));
    if (owner == 0 || (owner & udbfmt::kMapEntryFree) != 0) continue;
    m.pagesOf[owner].push_back(p * pageSize);
    const int table = owner / 16, usage = owner % 16;
    if (table == 0 && usage != kUsageTableHeader && usage != udbfmt::kUsageMapPage)
      faults.push_back(Text("file page of an unknown usage", p, usage));
    if (table != 0 && (m.headerOf.count(table) == 0 || (usage != kUsageRecord && usage != kUsageBlob && usage != kUsageIndex)))
      faults.push_back(Text("page of a table that is not listed (page, owner)", p, owner));
  }

  // Header blocks: the listed headers and the two free lists, nothing else.
  std::set<TUdbAddr> headerBlocks;
  for (TUdbAddr page : m.pagesOf[kUsageTableHeader]) {
    if (page / pageSize < kFirstDataPage) continue;
    for (int b = 0; b < pageSize / udbhdr::kTableHeaderSize; ++b) headerBlocks.insert(page + b * udbhdr::kTableHeaderSize);
  }
  std::set<TUdbAddr> accounted;
  for (const auto& [id, at] : m.headerOf) {
    if (headerBlocks.count(at) == 0) faults.push_back(Text("table header outside the header pages (id, address)", id, at));
    if (!accounted.insert(at).second) faults.push_back(Text("one header block for two tables", at));
  }
  auto readRaw = [&](TUdbAddr a, std::uint8_t* run) { disk.ReadData(a, udbfmt::kRunHeaderSize, run, kIOModeRaw, 0); };
  for (int item : {udbfmt::kItemUserTableHdrFirstEmpty, udbfmt::kItemSystemTableHdrFirstEmpty}) {
    for (TUdbAddr b : RunBlocks(disk.GlobalHeader().GetItem(item), udbhdr::kTableHeaderSize, headerBlocks.size(),
                                readRaw, "header list", faults)) {
      if (headerBlocks.count(b) == 0) faults.push_back(Text("free header block outside the header pages", b));
      if (!accounted.insert(b).second) faults.push_back(Text("free header block in use or listed twice", b));
    }
  }
  if (accounted.size() != headerBlocks.size())
    faults.push_back(Text("header blocks neither in use nor free (blocks, accounted)", static_cast<long long>(headerBlocks.size()),
                          static_cast<long long>(accounted.size())));
  return m;
}

// Phase 2: one user table against its pages.
int CheckTable(TUdbDataBase& db, const AnsiString& name, const TFileMap& m, std::vector<std::string>& faults) {
  TUdbTable t;
  t.SetDataBase(&db);
  t.SetTableName(name);
  t.Open();
  TTableDef& def = t.TableDef();
  const int id = def.TableID();
  TTableHeader* header = def.Header();
  const std::string who = std::string(name) + ": ";
  auto pages = [&](int usage) {
    auto it = m.pagesOf.find(static_cast<std::uint16_t>(id * 16 + usage));
    return it == m.pagesOf.end() ? size_t(0) : it->second.size();
  };
  auto readWith = [](TBaseIOInterface* io) {
    return [io](TUdbAddr a, std::uint8_t* run) { io->ReadBlockHeader(a, udbfmt::kRunHeaderSize, run); };
  };

  // Records: the rows and the free record runs.
  std::vector<TUdbAddr> records;
  def.RecordIO()->ListBlocks(records);
  const std::set<TUdbAddr> recordSet(records.begin(), records.end());
  const auto freeRecords = RunBlocks(header->RecordFirstEmpty(), def.RecordIO()->BlockSize(), records.size(),
                                     readWith(def.RecordIO()), who + "record list", faults);
  for (TUdbAddr b : freeRecords)
    if (recordSet.count(b) == 0) faults.push_back(Text(who + "free record block outside its pages", b));
  long long rows = 0;
  long long blobBlocks = 0;
  const int blobData = def.UsesBlobs() ? def.BlobIO()->BlockSize() - 8 : 0;
  for (t.First(); !t.Eof(); t.Next()) {
    ++rows;
    for (int f = 0; f < t.FieldCount(); ++f) {
      TField* field = t.Fields()->Fields(f);
      if (!field->IsBlob()) continue;
      const long long size = static_cast<long long>(field->AsString().size());
      blobBlocks += (size + blobData - 1) / blobData;
    }
  }
  if (static_cast<long long>(records.size()) != rows + static_cast<long long>(freeRecords.size()))
    faults.push_back(Text(who + "record blocks other than rows and free runs (blocks, rows + free)",
                          static_cast<long long>(records.size()), rows + static_cast<long long>(freeRecords.size())));

  // Blobs: the blocks of every chain and the free blob runs.
  if (def.UsesBlobs()) {
    std::vector<TUdbAddr> blobs;
    def.BlobIO()->ListBlocks(blobs);
    const auto freeBlobs = RunBlocks(header->BlobFirstEmpty(), def.BlobIO()->BlockSize(), blobs.size(),
                                     readWith(def.BlobIO()), who + "blob list", faults);
    if (static_cast<long long>(blobs.size()) != blobBlocks + static_cast<long long>(freeBlobs.size()))
      faults.push_back(Text(who + "blob blocks other than chains and free runs (blocks, chains + free)",
                            static_cast<long long>(blobs.size()), blobBlocks + static_cast<long long>(freeBlobs.size())));
  } else if (pages(kUsageBlob) != 0) {
    faults.push_back(who + "blob pages of a table without blobs");
  }

  // Index nodes: a node is a page, and a freed one goes back to the map,
  // so the index pages are exactly the nodes of the trees.
  std::vector<TUdbAddr> nodes;
  if (def.IndexIO() != nullptr) def.IndexIO()->ListBlocks(nodes);
  long long treeNodes = 0;
  for (int i = 0; i < t.IndexMgr().Count(); ++i)
    treeNodes += static_cast<long long>(TreeNodes(*t.IndexMgr().Items(i), def.IndexIO()).size());
  if (static_cast<long long>(nodes.size()) != treeNodes)
    faults.push_back(Text(who + "index pages other than tree nodes (pages, nodes)", static_cast<long long>(nodes.size()),
                          treeNodes));
  return id;
}

}  // namespace

std::vector<std::string> CheckFileSpace(TUdbDataBase& db) {
  std::vector<std::string> faults;
  TDiskMgr& disk = *db.DiskMgr();
  TFileMap m;
  disk.LockHeaderRead();
  try {
    m = ReadFileMap(disk, faults);
  } catch (const std::exception& e) {
    faults.push_back(std::string("file map not readable: ") + e.what());
  }
  disk.UnlockHeader();
  TStringList names;
  db.GetTableNames(&names, false);
  std::set<int> catalogued;
  for (int i = 0; i < names.Count(); ++i) {
    try {
      catalogued.insert(CheckTable(db, names.Strings(i), m, faults));
    } catch (const std::exception& e) {
      faults.push_back(std::string(names.Strings(i)) + " not readable: " + e.what());
    }
  }
  // A user table in the map is in the catalogue: else it is half made (or
  // half deleted), and its pages are lost to everyone.
  for (const auto& [id, at] : m.headerOf)
    if (id < udbhdr::kSystemTableIdBase && catalogued.count(id) == 0)
      faults.push_back(Text("table in the map without a catalogue entry (id)", id));
  return faults;
}
