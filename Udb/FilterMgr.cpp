// FilterMgr: see FilterMgr.h.
#include "Udb/FilterMgr.h"

#include <algorithm>
#include <unordered_set>

#include "Udb/UdbErrors.h"
#include "platform/core/Exceptions.h"

namespace {

using udberr::kInternal;
constexpr const char* kNoCurrentFilter = "Filter allocation error. Current Filter has not been assigned";

bool IsCondition(const TFilterItem* node) {
  return node && (node->NodeClass == nodeUNARY || node->NodeClass == nodeBINARY ||
                  node->NodeClass == nodeCOMPARE);
}

TFilterKeyBound Bound(const Variant& value, bool inclusive, bool prefix = false) {
  TFilterKeyBound b;
  b.Open = false;
  b.Value = value;
  b.Inclusive = inclusive;
  b.Prefix = prefix;
  return b;
}

}  // namespace

// --- TPreparedFilters ------------------------------------------------------------

int TPreparedFilters::IndexOf(const AnsiString& text, const TFilterOptions& options) const {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i]->Text == text) return entries_[i]->Options == options ? static_cast<int>(i) : -1;
  return -1;
}

std::vector<TRecAddr>& TPreparedFilters::Add(const AnsiString& text, const TFilterOptions& options) {
  auto entry = std::make_unique<TPreparedFilter>();
  entry->Text = text;
  entry->Options = options;
  for (auto& e : entries_) {
    if (e->Text == text && e->Options == options) {
      e = std::move(entry);
      return e->List;
    }
  }
  entries_.push_back(std::move(entry));
  return entries_.back()->List;
}

// --- TFilterMgr: state ------------------------------------------------------------------

TFilterMgr::TFilterMgr() = default;
TFilterMgr::~TFilterMgr() = default;

void TFilterMgr::SetRecBufSize(int size) {
  if (prepared_)
    UdbDatabaseError(kInternal, "TFilterMgr.SetRecBufSize",
                     "Cannot perform this operation on an active filter");
  recBufSize_ = size;
}

// The null rules differ inside a query: lists made under the other mode
// answer another question.
void TFilterMgr::SetInQuery(bool inQuery) {
  const bool changed = inQuery != inQuery_;
  inQuery_ = inQuery;
  if (evaluator_) evaluator_->SetInQuery(inQuery);
  if (changed || !inQuery) {
    SetCurrent(nullptr);
    preparedFilters_.Clear();
  }
}

void TFilterMgr::SetActive(bool value) {
  if (value) Prepare();
  else Unprepare();
}

void TFilterMgr::Prepare() {
  Release();
  PAYROLL_ASSERT(cursor_ != nullptr, "Filter has no dataset");
  PAYROLL_ASSERT(recBufSize_ >= 1, "Filter record buffer size must be at least 1");
  const AnsiString text = text_.empty() ? AnsiString("1=1") : text_;
  auto evaluator = std::make_unique<TUdbExprParser>(cursor_, text, options_);
  evaluator->SetKeyCompare(cursor_->KeyCompare());
  evaluator->SetInQuery(inQuery_);
  TFilterCursor* cursor = cursor_;
  evaluator->SetFieldValueReader([cursor](int fieldIndex) { return cursor->EvalFieldValue(fieldIndex); });
  evaluator->BuildStack();
  evaluator_ = std::move(evaluator);
  Analyse(evaluator_->FilterItem(0));
  tree_.Prepare();
  prepared_ = true;
}

void TFilterMgr::Release() {
  evaluator_.reset();
  tree_.Clear();
  master_.clear();
  masterPos_.clear();
  masterPosValid_ = false;
  SetCurrent(nullptr);
  prepared_ = false;
}

// The prepared lists go too: records may change while no filter watches
// them, so a list kept past this point could show rows that are gone.
void TFilterMgr::Unprepare() {
  Release();
  preparedFilters_.Clear();
}

// A refresh keeps the prepared lists unless told (the table changed).
void TFilterMgr::Refresh(bool clearPrepared) {
  Release();
  Prepare();
  if (clearPrepared) preparedFilters_.Clear();
}

void TFilterMgr::SetCurrent(std::vector<TRecAddr>* list) {
  current_ = list;
  currentPos_.clear();
  currentPosValid_ = false;
}

// The position maps are built when navigation first needs them: building
// a list over a large table should not pay for them.
const std::unordered_map<TRecAddr, int>& TFilterMgr::CurrentPos() const {
  if (!currentPosValid_ && current_) {
    currentPos_.reserve(current_->size());
    for (size_t i = 0; i < current_->size(); ++i) currentPos_.emplace((*current_)[i], static_cast<int>(i));
    currentPosValid_ = true;
  }
  return currentPos_;
}

const std::unordered_map<TRecAddr, int>& TFilterMgr::MasterPos() const {
  if (!masterPosValid_) {
    masterPos_.reserve(master_.size());
    for (size_t i = 0; i < master_.size(); ++i) masterPos_.emplace(master_[i].Address, static_cast<int>(i));
    masterPosValid_ = true;
  }
  return masterPos_;
}

bool TFilterMgr::FindPrepared() {
  int i = preparedFilters_.IndexOf(text_, options_);
  if (i < 0) return false;
  SetCurrent(&preparedFilters_.List(i));
  return true;
}

void TFilterMgr::SetMasterList(std::vector<TFilterEntry>&& master) {
  master_ = std::move(master);
  masterPos_.clear();
  masterPosValid_ = false;
}

void TFilterMgr::Rebuild(bool inQuery, bool tableChanged) {
  SetInQuery(inQuery);
  Refresh(tableChanged);
  // A list is kept only while a query runs, where navigation goes by the
  // list itself and record numbers are addresses.
  if (FindPrepared()) return;
  std::vector<TFilterEntry> master;
  cursor_->CollectMasterList(master);
  SetMasterList(std::move(master));
  MergeRecordLists();
}

// --- index analysis ------------------------------------------------------------------

// One tree item per condition node; children first, then the node's level.
TExprTreeItem* TFilterMgr::Analyse(TFilterItem* node) {
  TExprTreeItem* item = tree_.Add();
  item->Node = node;
  if (IsCondition(node->Left)) item->LeftChild = Analyse(node->Left);
  if (IsCondition(node->Right)) item->RightChild = Analyse(node->Right);

  const bool unary = node->NodeClass == nodeUNARY;
  TFilterItem* left = node->Left;
  TFilterItem* right = node->Right;
  const bool constLeft = left && left->Kind == 1;
  if ((unary && constLeft) || (!unary && constLeft && right && right->Kind == 1)) {
    // Decided now: every record passes or none does.
    item->ResultKind = evaluator_->EvaluateConstantItem(node) ? rkAll : rkNone;
    item->Level = olFull;
    return item;
  }
  if (left && left->Kind == 0) {
    AnalyseIndex(item);
    return item;
  }
  if (!unary && item->LeftChild && item->RightChild) {
    TIndexLevel a = item->LeftChild->Level, b = item->RightChild->Level;
    if (node->Operator == coAND) {
      item->Level = (a == olFull && b == olFull) ? olFull : (a != olNone || b != olNone) ? olPartial : olNone;
    } else if (node->Operator == coOR) {
      item->Level = (a == olNone || b == olNone) ? olNone : (a == olFull && b == olFull) ? olFull : olPartial;
    }
  }
  return item;
}

// A condition on a field against constants: the index whose first key
// field it is, if its case rule agrees with the filter's.
void TFilterMgr::AnalyseIndex(TExprTreeItem* item) {
  TFilterItem* node = item->Node;
  const TCANOperator op = node->Operator;
  const bool unary = node->NodeClass == nodeUNARY;
  std::vector<const Variant*> constants;
  if (unary) {
    if (op != coISBLANK && op != coNOTBLANK) return;
  } else {
    const bool relation = op >= coEQ && op <= coLE;
    const bool usableLike = op == coLIKE && node->PatternPrefix > 0;
    if (!relation && op != coIN && !usableLike) return;
    // A "<>" against a prefix or case-folded text cannot be complemented
    // safely from a range that may hold more than the equal keys.
    if (node->NodeClass == nodeCOMPARE && op == coNE) return;
    if (op == coIN) {
      for (TFilterItem* e = node->Right; e; e = e->Right) {
        if (e->NodeClass != nodeLISTELEM || !e->Left || e->Left->Kind != 1) return;
        constants.push_back(&e->Left->Value);
      }
      if (constants.empty()) return;
    } else {
      if (!node->Right || node->Right->Kind != 1) return;
      constants.push_back(&node->Right->Value);
    }
  }
  const TFilterFieldInfo* field = node->Left->Field;
  const bool stringField = field->DataType == ftString;
  for (const Variant* v : constants)
    if (v->IsString() != stringField) return;  // compared by conversion, not by the index's order
  TFilterIndex index;
  if (!cursor_->FindIndexForField(field->FieldNo - 1, index)) return;
  if (stringField && index.CaseInsensitive != options_.Contains(foCaseInsensitive)) return;
  item->Index = index.Handle;
  item->IndexCaseInsensitive = index.CaseInsensitive;
  item->Level = node->NodeClass == nodeCOMPARE ? olPartial : olFull;
}

// The addresses of the records an indexed item's condition selects (or,
// for "<>", those it rejects: the tree complements them).
void TFilterMgr::CollectItemList(TExprTreeItem* item) {
  item->RecordList.clear();
  TFilterItem* node = item->Node;
  TFilterIndex index;
  index.Handle = item->Index;
  index.CaseInsensitive = item->IndexCaseInsensitive;
  const TFilterKeyBound open{};
  const TFilterKeyBound afterNulls = Bound(Variant::Null(), false);
  std::vector<TRecAddr>& out = item->RecordList;
  const Variant v = item->GetConstCount() > 0 ? item->GetConstValue(0) : Variant::Null();
  switch (node->Operator) {
    case coISBLANK:
      cursor_->CollectIndexRange(index, Bound(Variant::Null(), true), Bound(Variant::Null(), true), out);
      break;
    case coNOTBLANK:
      cursor_->CollectIndexRange(index, afterNulls, open, out);
      break;
    case coEQ:
    case coNE:
    case coLIKE:
      if (node->NodeClass == nodeCOMPARE && (node->Operator == coLIKE || node->W2 != 0)) {
        Variant prefix(item->GetPrefixString());
        cursor_->CollectIndexRange(index, Bound(prefix, true, true), Bound(prefix, true, true), out);
      } else {
        cursor_->CollectIndexRange(index, Bound(v, true), Bound(v, true), out);
      }
      break;
    case coGT:
      cursor_->CollectIndexRange(index, Bound(v, false), open, out);
      break;
    case coGE:
      cursor_->CollectIndexRange(index, Bound(v, true), open, out);
      break;
    case coLT:
    case coLE:
      // Outside a query a null field passes "<" and "<="; inside one it fails.
      cursor_->CollectIndexRange(index, inQuery_ ? afterNulls : open,
                                 Bound(v, node->Operator == coLE), out);
      break;
    case coIN: {
      std::unordered_set<TRecAddr> seen;
      std::vector<TRecAddr> one;
      for (int i = 0; i < item->GetConstCount(); ++i) {
        one.clear();
        Variant c = item->GetConstValue(i);
        cursor_->CollectIndexRange(index, Bound(c, true), Bound(c, true), one);
        for (TRecAddr a : one)
          if (seen.insert(a).second) out.push_back(a);
      }
      break;
    }
    default:
      break;
  }
}

// --- building the list ----------------------------------------------------------

void TFilterMgr::MergeRecordLists() {
  PAYROLL_ASSERT(prepared_, "Filter is not prepared");
  recordsRead_ = 0;
  SetCurrent(nullptr);
  std::vector<TRecAddr>& list = preparedFilters_.Add(text_, options_);
  const TIndexLevel rootLevel = tree_.RootLevel();
  std::vector<TRecAddr> candidates, results;
  if (rootLevel != olNone) {
    for (int i = 0; i < tree_.Count(); ++i)
      if (tree_.Items(i)->Index) CollectItemList(tree_.Items(i));
    tree_.CombineRecordLists(master_);
  }
  if (rootLevel == olFull) {
    results = tree_.Items(0)->RecordList;
  } else {
    if (rootLevel == olNone) {
      candidates.reserve(master_.size());
      for (const TFilterEntry& e : master_) candidates.push_back(e.Address);
    } else {
      candidates = tree_.Items(0)->RecordList;
    }
    // Candidates are read in address order: the file is read forward.
    std::sort(candidates.begin(), candidates.end());
    for (TRecAddr address : candidates) {
      cursor_->ReadRecordAt(address);
      ++recordsRead_;
      if (evaluator_->EvaluateTree()) results.push_back(address);
    }
  }
  std::sort(results.begin(), results.end());
  results.erase(std::unique(results.begin(), results.end()), results.end());
  if (inQuery_) {
    list = std::move(results);
  } else {
    // The dataset keeps the order of its current index (and its range).
    list.reserve(results.size());
    for (const TFilterEntry& e : master_)
      if (std::binary_search(results.begin(), results.end(), e.Address)) list.push_back(e.Address);
  }
  SetCurrent(&list);
}

// --- navigation ---------------------------------------------------------------------

void TFilterMgr::CheckCurrent() const {
  if (!current_) AssertionFailed(kNoCurrentFilter, __FILE__, __LINE__);
}

bool TFilterMgr::Accepted(TRecAddr address) {
  return !cursor_->HasRecordFilter() || cursor_->AcceptRecord(address);
}

TRecAddr TFilterMgr::First(bool forward) {
  CheckCurrent();
  const std::vector<TRecAddr>& list = *current_;
  if (list.empty()) return 0;
  if (!cursor_->HasRecordFilter()) return forward ? list.front() : list.back();
  if (forward) {
    for (TRecAddr a : list)
      if (Accepted(a)) return a;
  } else {
    for (auto it = list.rbegin(); it != list.rend(); ++it)
      if (Accepted(*it)) return *it;
  }
  return 0;
}

TRecAddr TFilterMgr::MoveBy(TRecAddr address, int count) {
  CheckCurrent();
  auto found = CurrentPos().find(address);
  if (found == CurrentPos().end()) return 0;
  const std::vector<TRecAddr>& list = *current_;
  const long long n = static_cast<long long>(list.size());
  long long pos = found->second;
  if (!cursor_->HasRecordFilter()) {
    pos += count;
    return (pos >= 0 && pos < n) ? list[static_cast<size_t>(pos)] : 0;
  }
  const int step = count < 0 ? -1 : 1;
  int remaining = count < 0 ? -count : count;
  while (remaining > 0) {
    pos += step;
    if (pos < 0 || pos >= n) return 0;
    if (Accepted(list[static_cast<size_t>(pos)])) --remaining;
  }
  return list[static_cast<size_t>(pos)];
}

int TFilterMgr::MasterPosition(TRecAddr address) const {
  auto it = MasterPos().find(address);
  return it == MasterPos().end() ? -1 : it->second;
}

TRecAddr TFilterMgr::FindNearest(TRecAddr address, int mode) {
  CheckCurrent();
  if (inQuery_ && mode == 0)
    UdbDatabaseError(kInternal, "TFilterMgr.InternalFindNearestRecAddr",
                     "Error in filter find nearest in active query");
  // The walk goes along the master list outside a query, along the
  // current list inside one (its order is the address order there).
  auto addressAt = [&](long long i) -> TRecAddr {
    return inQuery_ ? (*current_)[static_cast<size_t>(i)] : master_[static_cast<size_t>(i)].Address;
  };
  long long pos, n;
  if (inQuery_) {
    auto it = CurrentPos().find(address);
    if (it == CurrentPos().end()) return 0;
    pos = it->second;
    n = static_cast<long long>(current_->size());
  } else {
    pos = MasterPosition(address);
    if (pos < 0) return 0;
    n = static_cast<long long>(master_.size());
  }
  auto passes = [&](TRecAddr a) { return CurrentPos().count(a) && Accepted(a); };
  auto before = [&]() -> TRecAddr {
    for (long long i = pos - 1; i >= 0; --i)
      if (passes(addressAt(i))) return addressAt(i);
    return 0;
  };
  auto after = [&]() -> TRecAddr {
    for (long long i = pos + 1; i < n; ++i)
      if (passes(addressAt(i))) return addressAt(i);
    return 0;
  };
  switch (mode) {
    case 0: return before();
    case 1: return passes(address) ? address : before();
    case 2: return passes(address) ? address : 0;
    case 3:
    case 5: return passes(address) ? address : after();
    case 4: return after();
    default: return 0;
  }
}

bool TFilterMgr::Contains(TRecAddr address) {
  if (!prepared_ || !current_) return false;
  return CurrentPos().count(address) && Accepted(address);
}

int TFilterMgr::Count() {
  if (!prepared_ || !current_) return 0;
  if (!cursor_->HasRecordFilter()) return static_cast<int>(current_->size());
  int n = 0;
  for (TRecAddr a : *current_)
    if (Accepted(a)) ++n;
  return n;
}

int TFilterMgr::PositionOf(TRecAddr address) {
  CheckCurrent();
  auto it = CurrentPos().find(address);
  return it == CurrentPos().end() ? 0 : it->second + 1;
}

TRecAddr TFilterMgr::AddressAt(int position) {
  CheckCurrent();
  if (position < 1 || position > static_cast<int>(current_->size())) return 0;
  return (*current_)[static_cast<size_t>(position - 1)];
}

std::uint32_t TFilterMgr::RecordNumberOf(TRecAddr address) const {
  if (inQuery_) return address;
  int i = MasterPosition(address);
  return i < 0 ? 0 : master_[static_cast<size_t>(i)].RecNo;
}
