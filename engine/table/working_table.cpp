#include "engine/table/working_table.h"

#include <algorithm>

#include "engine/failure.h"
#include "engine/order/phrase_order.h"
#include "engine/order/phrase_sort.h"
#include "engine/text/line_scanner.h"
#include "engine/text/utf.h"

namespace ostrel {

void WorkingTable::Fail(long number, const std::string& description) {
    throw RuntimeError(number, description);
}

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
    if (t.run_) {
        if (t.runAtEnd_)
            Fail(err::kNoCurrentRecord,
                 "Either BOF or EOF is True: the operation requires a current row.");
        return t.runText_;
    }
    if (t.pending_) return t.pendingHasValue_ ? t.pool_->Text(t.pendingText_) : std::string_view{};
    if (t.currentRemoved_) return t.pool_->Text(t.removedText_);
    if (t.current_ == kNoRow)
        Fail(err::kNoCurrentRecord,
             "Either BOF or EOF is True: the operation requires a current row.");
    return t.pool_->Text(t.RowText(t.current_));
}

void WorkingTable::CheckLength(std::string_view text) const {
    // The column's size is a line's limit: the one rule of how long a phrase may be.
    const auto limit = static_cast<std::size_t>(fields_.definedSize_);
    if (LineScanner::IsTooLong(text, limit))
        Fail(err::kTextTooLong, "The text has " + std::to_string(CountCharacters(text)) +
                                    " characters; the limit is " + std::to_string(limit) + ".");
}

std::string_view WorkingTable::Unbracketed(std::string_view name) {
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
        return name.substr(1, name.size() - 2);
    return name;
}

// ---- Opening, appending ----

void WorkingTable::Open(int, int, int) {
    if (open_) Fail(err::kBadArgument, "The table is already open.");
    if (fields_.names_.empty()) Fail(err::kBadArgument, "The table has no column.");
    open_ = true;
}

void WorkingTable::RequireOpen() const {
    if (!open_) Fail(err::kTableClosed, "The operation is not allowed when the table is closed.");
}

void WorkingTable::RequireRowsInMemory() const {
    RequireOpen();
    if (run_)
        Fail(err::kBadArgument,
             "The table's rows are kept on disk: they can be counted and walked, not changed.");
}

void WorkingTable::RequireColumn(std::size_t index) const {
    if (index >= fields_.names_.size())
        Fail(err::kBadArgument, "No column has the index " + std::to_string(index) + ".");
}

void WorkingTable::AttachRun(std::unique_ptr<SortedRun> run) {
    RequireRowsInMemory();
    if (pending_ || rows_.size() != 0) Fail(err::kBadArgument, "Only an empty table takes a run.");
    run_ = std::move(run);
    MoveFirst();
}

void WorkingTable::AppendAdopted(const std::vector<TextArena*>& arenas, unsigned threads) {
    RequireRowsInMemory();
    CommitPending();
    std::uint64_t count = 0;
    for (const TextArena* arena : arenas) count += arena->Size();
    const std::uint64_t first = rows_.size();
    rows_.resize(first + count, Entry(pool_->IdLimit(arenas)));
    try {
        pool_->Adopt(arenas, threads, [&](std::uint64_t text, const Id* ids, std::size_t n) {
            for (std::size_t k = 0; k < n; ++k) {
                CheckLength(pool_->Text(ids[k]));
                rows_.set(first + text + k, Entry(ids[k]));
            }
        });
    } catch (...) {
        rows_.resize(first, 0);
        throw;
    }
    liveRows_ += count;
    if (countsBuilt_)
        for (std::uint64_t i = first; i < rows_.size(); ++i) CountAdd(RowText(i));
    if (count != 0) {
        current_ = rows_.size() - 1;
        currentRemoved_ = false;
    }
}

void WorkingTable::CommitPending() {
    if (!pending_) return;
    AppendRow(pendingHasValue_ ? pendingText_ : pool_->Intern({}));
    pending_ = false;
}

void WorkingTable::AppendRow(Id id) {
    rows_.push_back(Entry(id));
    ++liveRows_;
    CountAdd(id);
    current_ = rows_.size() - 1;
    currentRemoved_ = false;
}

// ---- Counting and walking ----

std::uint64_t WorkingTable::RecordCount() const {
    RequireOpen();
    if (run_) return run_->Count();
    if (!filterActive_) return liveRows_;
    return filterMatchesNothing_ ? 0 : counts_.Get(filterClass_);
}

bool WorkingTable::Live(std::uint64_t position) const {
    return !IsRemoved(rows_[position]);
}

bool WorkingTable::Visible(std::uint64_t position) const {
    if (!Live(position)) return false;
    if (!filterActive_) return true;
    return !filterMatchesNothing_ && pool_->FoldClass(RowText(position)) == filterClass_;
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
    if (run_) {
        run_->Rewind();
        runAtEnd_ = !run_->Next(runText_);
        return;
    }
    CommitPending();
    currentRemoved_ = false;
    current_ = NextVisible(0);
}

void WorkingTable::MoveNext() {
    RequireOpen();
    if (run_) {
        if (runAtEnd_)
            Fail(err::kNoCurrentRecord, "Either BOF or EOF is True: there is no next row.");
        runAtEnd_ = !run_->Next(runText_);
        return;
    }
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
        pool_->PrefetchText(RowText(current_ + kWalkAhead));
}

bool WorkingTable::Eof() const {
    RequireOpen();
    if (run_) return runAtEnd_;
    return !pending_ && !currentRemoved_ && current_ == kNoRow;
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
        if (EqualsIgnoringAsciiCase(order, "DESC"))
            descending = true;
        else if (!EqualsIgnoringAsciiCase(order, "ASC"))
            Fail(err::kBadArgument, "Unknown sort order.");
        spec = spec.substr(0, space);
    }
    const std::string_view column = Unbracketed(spec);
    if (!EqualsIgnoringAsciiCase(column, fields_.names_.front()))
        Fail(err::kBadArgument, "The table has no column named " + std::string(column) + ".");

    if (run_) {
        // A run is in the sort's order already.
        if (descending) Fail(err::kBadArgument, "The table's rows on disk keep their order.");
        sort_ = std::string(columnName);
        MoveFirst();
        return;
    }
    // The live rows close up, if any was removed, and are then sorted where they are.
    if (liveRows_ != rows_.size()) {
        std::uint64_t kept = 0;
        for (std::uint64_t i = 0; i < rows_.size(); ++i)
            if (Live(i)) rows_.set(kept++, rows_[i]);
        while (rows_.size() > kept) rows_.pop_back();
    }
    const std::uint64_t n = rows_.size();
    SortPhrases(IdBlocks{n,
                         [&](std::size_t first, std::size_t count, Id* out) {
                             for (std::size_t k = 0; k < count; ++k) out[k] = RowText(first + k);
                         },
                         [&](std::size_t first, std::size_t count, const Id* in) {
                             for (std::size_t k = 0; k < count; ++k) {
                                 const std::uint64_t row =
                                     descending ? n - 1 - (first + k) : first + k;
                                 rows_.set(row, Entry(in[k]));
                             }
                         }},
                *pool_, sortThreads_, sortCollation_.get());
    sort_ = std::string(columnName);
    currentRemoved_ = false;
    current_ = NextVisible(0);
}

}  // namespace ostrel
