#include "engine/working_table.h"

#include <algorithm>

#include "engine/case_fold.h"
#include "engine/folded_sort.h"
#include "engine/runtime_error.h"
#include "engine/utf.h"

namespace ostrel {
namespace {

// Row entries hold a text id shifted left by one; the low bit marks a removed row.
constexpr std::uint64_t kRemoved = 1;

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    // Column names and keywords are ASCII; no locale is consulted.
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

[[noreturn]] void Fail(long number, std::string description) {
    throw RuntimeError(number, std::move(description));
}

}  // namespace

WorkingTablePtr WorkingTable::Create(std::shared_ptr<TextPool> pool) {
    if (!pool) pool = std::make_shared<TextPool>();
    return WorkingTablePtr(new WorkingTable(std::move(pool)));
}

WorkingTable::WorkingTable(std::shared_ptr<TextPool> pool)
    : pool_(std::move(pool)), fields_(*this) {}

WorkingTable::~WorkingTable() = default;

// ---- Fields ----

void WorkingTable::FieldList::Append(std::string_view name, int type, long definedSize, int) {
    if (table_->open_) Fail(err::kBadArgument, "Columns cannot be added to a table that is open.");
    if (type != adVarChar || definedSize <= 0 || !names_.empty() || name.empty())
        Fail(err::kBadArgument,
             "The table takes one variable-length text column with a positive size.");
    names_.emplace_back(name);
    definedSize_ = definedSize;
}

WorkingTable::Field WorkingTable::Fields(std::size_t index) {
    RequireColumn(index);
    return Field(*this, index);
}

const std::string& WorkingTable::Field::Name() const {
    return table_->fields_.names_[index_];
}

std::string_view WorkingTable::Field::Value() const {
    const WorkingTable& t = *table_;
    t.RequireOpen();
    if (t.pending_) return t.pendingHasValue_ ? t.pool_->Text(t.pendingText_) : std::string_view{};
    if (t.currentRemoved_) return t.pool_->Text(t.removedText_);
    if (t.current_ == kNoRow)
        Fail(err::kNoCurrentRecord,
             "Either BOF or EOF is True: the operation requires a current row.");
    return t.pool_->Text(t.rows_[t.current_] >> 1);
}

void WorkingTable::Field::SetValue(std::string_view text) {
    WorkingTable& t = *table_;
    t.RequireOpen();
    if (t.pending_) {
        t.pendingText_ = t.InternChecked(text);
        t.pendingHasValue_ = true;
        return;
    }
    if (t.currentRemoved_ || t.current_ == kNoRow)
        Fail(err::kNoCurrentRecord, "There is no current row to change.");
    const Id id = t.InternChecked(text);
    t.CountRemove(t.rows_[t.current_] >> 1);
    t.rows_.set(t.current_, id << 1);
    t.CountAdd(id);
}

void WorkingTable::CheckLength(std::string_view text) const {
    const auto limit = static_cast<std::size_t>(fields_.definedSize_);
    // Every character takes at least a byte, so short texts need no counting.
    if (text.size() > limit) {
        const std::size_t chars = CountCharacters(text);
        if (chars > limit)
            Fail(err::kTextTooLong, "The text has " + std::to_string(chars) +
                                        " characters; the limit is " + std::to_string(limit) + ".");
    }
}

TextPool::Id WorkingTable::InternChecked(std::string_view text) {
    CheckLength(text);
    return pool_->Intern(text);
}

// ---- Opening, adding ----

void WorkingTable::Open(int, int, int) {
    if (open_) Fail(err::kBadArgument, "The table is already open.");
    if (fields_.names_.empty()) Fail(err::kBadArgument, "The table has no column.");
    open_ = true;
}

void WorkingTable::RequireOpen() const {
    if (!open_) Fail(err::kTableClosed, "The operation is not allowed when the table is closed.");
}

void WorkingTable::RequireColumn(std::size_t index) const {
    if (index >= fields_.names_.size())
        Fail(err::kBadArgument, "No column has the index " + std::to_string(index) + ".");
}

void WorkingTable::AddNew() {
    RequireOpen();
    CommitPending();
    pending_ = true;
    pendingHasValue_ = false;
}

void WorkingTable::Update() {
    RequireOpen();
    CommitPending();
}

void WorkingTable::AppendStored(Id id) {
    RequireOpen();
    CommitPending();
    CheckLength(pool_->Text(id));
    AppendRow(id);
}

void WorkingTable::CommitPending() {
    if (!pending_) return;
    AppendRow(pendingHasValue_ ? pendingText_ : pool_->Intern({}));
    pending_ = false;
}

void WorkingTable::AppendRow(Id id) {
    rows_.push_back(id << 1);
    ++liveRows_;
    CountAdd(id);
    current_ = rows_.size() - 1;
    currentRemoved_ = false;
}

// ---- Counting and filtering ----

void WorkingTable::CountAdd(Id id) {
    if (countsBuilt_) counts_.Increment(pool_->FoldClass(id));
}

void WorkingTable::CountRemove(Id id) {
    if (countsBuilt_) counts_.Decrement(pool_->FoldClass(id));
}

void WorkingTable::BuildCounts() {
    if (countsBuilt_) return;
    counts_.clear();
    for (std::uint64_t i = 0; i < rows_.size(); ++i)
        if (!(rows_[i] & kRemoved)) counts_.Increment(pool_->FoldClass(rows_[i] >> 1));
    countsBuilt_ = true;
}

std::uint64_t WorkingTable::RecordCount() const {
    RequireOpen();
    if (!filterActive_) return liveRows_;
    return filterMatchesNothing_ ? 0 : counts_.Get(filterClass_);
}

void WorkingTable::SetFilter(std::string_view criteria) {
    RequireOpen();
    CommitPending();
    const std::string_view trimmed = TrimSpaces(criteria);
    if (trimmed.empty()) {
        filterActive_ = false;
        return;
    }
    // "[TextCol] = '<text>'" or "TextCol = '<text>'": the text runs from the first apostrophe
    // to the last, taken as it is.
    const std::size_t eq = trimmed.find('=');
    const std::size_t open = trimmed.find('\'');
    std::string_view column =
        eq == std::string_view::npos ? std::string_view{} : TrimSpaces(trimmed.substr(0, eq));
    if (column.size() >= 2 && column.front() == '[' && column.back() == ']')
        column = column.substr(1, column.size() - 2);
    if (eq == std::string_view::npos || open == std::string_view::npos || open < eq ||
        !TrimSpaces(trimmed.substr(eq + 1, open - eq - 1)).empty() || trimmed.back() != '\'' ||
        open == trimmed.size() - 1 || !EqualsIgnoreCase(column, fields_.names_.front()))
        Fail(err::kBadArgument,
             "The filter is not of the form [" + fields_.names_.front() + "] = 'text'.");
    const std::string_view text = trimmed.substr(open + 1, trimmed.size() - open - 2);

    BuildCounts();
    filterActive_ = true;
    std::uint64_t cls = 0;
    filterMatchesNothing_ = !pool_->FindFoldClass(text, cls);
    filterClass_ = cls;
    // The current row stays current while it is visible; a removed current row stays too.
    if (!currentRemoved_ && (current_ == kNoRow || !Visible(current_))) current_ = NextVisible(0);
}

void WorkingTable::SetFilter(int filterNone) {
    RequireOpen();
    if (filterNone != adFilterNone) Fail(err::kBadArgument, "Unknown filter constant.");
    CommitPending();
    filterActive_ = false;
}

bool WorkingTable::Live(std::uint64_t position) const {
    return !(rows_[position] & kRemoved);
}

bool WorkingTable::Visible(std::uint64_t position) const {
    if (!Live(position)) return false;
    if (!filterActive_) return true;
    return !filterMatchesNothing_ && pool_->FoldClass(rows_[position] >> 1) == filterClass_;
}

std::uint64_t WorkingTable::NextVisible(std::uint64_t from) const {
    if (filterActive_ && filterMatchesNothing_) return kNoRow;
    for (std::uint64_t i = from; i < rows_.size(); ++i)
        if (Visible(i)) return i;
    return kNoRow;
}

// ---- Moving ----

void WorkingTable::MoveFirst() {
    RequireOpen();
    CommitPending();
    currentRemoved_ = false;
    current_ = NextVisible(0);
}

void WorkingTable::MoveNext() {
    RequireOpen();
    CommitPending();
    if (current_ == kNoRow && !currentRemoved_)
        Fail(err::kNoCurrentRecord, "Either BOF or EOF is True: there is no next row.");
    const std::uint64_t from = current_ == kNoRow ? rows_.size() : current_ + 1;
    currentRemoved_ = false;
    current_ = NextVisible(from);
    // A walk reads the rows' texts in turn, and a sorted table's texts lie scattered in the
    // pool: fetch one a little ahead.
    constexpr std::uint64_t kWalkAhead = 16;
    if (current_ != kNoRow && current_ + kWalkAhead < rows_.size())
        pool_->PrefetchText(rows_[current_ + kWalkAhead] >> 1);
}

void WorkingTable::MoveLast() {
    RequireOpen();
    CommitPending();
    currentRemoved_ = false;
    current_ = kNoRow;
    if (filterActive_ && filterMatchesNothing_) return;
    for (std::uint64_t i = rows_.size(); i-- > 0;) {
        if (Visible(i)) {
            current_ = i;
            return;
        }
    }
}

bool WorkingTable::Eof() const {
    RequireOpen();
    return !pending_ && !currentRemoved_ && current_ == kNoRow;
}

// ---- Removing ----

void WorkingTable::Delete(int affectRecords) {
    RequireOpen();
    if (affectRecords != adAffectCurrent)
        Fail(err::kBadArgument, "Only the current row can be removed.");
    CommitPending();
    if (currentRemoved_ || current_ == kNoRow)
        Fail(err::kNoCurrentRecord, "There is no current row to remove.");
    const Id id = rows_[current_] >> 1;
    CountRemove(id);
    --liveRows_;
    removedText_ = id;
    currentRemoved_ = true;
    if (current_ + 1 == rows_.size())
        rows_.pop_back();  // the common case: the row just added
    else
        rows_.set(current_, (id << 1) | kRemoved);
}

// ---- Sorting ----

void WorkingTable::SetSort(std::string_view columnName) {
    RequireOpen();
    CommitPending();
    std::string_view spec = TrimSpaces(columnName);
    if (spec.empty()) {
        sort_.clear();
        return;
    }
    bool descending = false;
    const std::size_t space = spec.find(' ');
    if (space != std::string_view::npos) {
        const std::string_view order = TrimSpaces(spec.substr(space));
        if (EqualsIgnoreCase(order, "DESC"))
            descending = true;
        else if (!EqualsIgnoreCase(order, "ASC"))
            Fail(err::kBadArgument, "Unknown sort order.");
        spec = spec.substr(0, space);
    }
    std::string_view column = spec;
    if (column.size() >= 2 && column.front() == '[' && column.back() == ']')
        column = column.substr(1, column.size() - 2);
    if (!EqualsIgnoreCase(column, fields_.names_.front()))
        Fail(err::kBadArgument, "The table has no column named " + std::string(column) + ".");

    std::vector<Id> ids;
    ids.reserve(liveRows_);
    for (std::uint64_t i = 0; i < rows_.size(); ++i)
        if (!(rows_[i] & kRemoved)) ids.push_back(rows_[i] >> 1);
    rows_.clear();
    SortByFoldedText(ids, *pool_, sortThreads_);
    if (descending) std::reverse(ids.begin(), ids.end());
    for (const Id id : ids) rows_.push_back(id << 1);
    std::vector<Id>().swap(ids);
    sort_ = std::string(columnName);
    currentRemoved_ = false;
    current_ = NextVisible(0);
}

}  // namespace ostrel
