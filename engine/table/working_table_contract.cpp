// The working table's general contract: the part of the designed table that neither program
// calls. The open action reads a list through the bulk loader, LoadDistinctLines, which fills
// the table through AppendAdopted, and the save walks it from the first row. What is here is
// kept because it is the table as designed, and it is run by the tests (working_table_test.cpp,
// the loader's): adding and changing a row, the filter and its counts per fold class, removing a
// row, MoveLast, and IsLastDuplicate, the table's own duplicate test, which is built on the
// filter.
#include <string>

#include "engine/failure.h"
#include "engine/order/phrase_order.h"
#include "engine/table/compact_vectors.h"
#include "engine/table/working_table.h"
#include "engine/text/line_scanner.h"

namespace ostrel {

// ---- The table's own duplicate test ----

bool IsLastDuplicate(WorkingTable& table) {
    thread_local std::string filter;  // reused, so the read loop does not allocate
    const std::uint64_t n = table.RecordCount();
    if (n >= 2) {
        filter.assign("[TextCol] = '");
        filter.append(table.Fields(0).Value());
        filter.push_back('\'');
        table.SetFilter(filter);
    }
    const std::uint64_t m = table.RecordCount();
    table.SetFilter(adFilterNone);
    return m >= 2;
}

// ---- Adding and changing a row ----

void WorkingTable::AddNew() {
    RequireRowsInMemory();
    CommitPending();
    pending_ = true;
    pendingHasValue_ = false;
}

void WorkingTable::Update() {
    RequireRowsInMemory();
    CommitPending();
}

void WorkingTable::Field::SetValue(std::string_view text) {
    WorkingTable& t = *table_;
    t.RequireRowsInMemory();
    if (t.pending_) {
        t.pendingText_ = t.InternChecked(text);
        t.pendingHasValue_ = true;
        return;
    }
    if (t.currentRemoved_ || t.current_ == kNoRow)
        Fail(err::kNoCurrentRecord, "There is no current row to change.");
    const Id id = t.InternChecked(text);
    t.CountRemove(t.RowText(t.current_));
    t.rows_.set(t.current_, Entry(id));
    t.CountAdd(id);
}

TextPool::Id WorkingTable::InternChecked(std::string_view text) {
    CheckLength(text);
    return pool_->Intern(text);
}

// ---- The filter ----

void WorkingTable::SetFilter(std::string_view criteria) {
    RequireRowsInMemory();
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
    const std::string_view column = eq == std::string_view::npos
                                        ? std::string_view{}
                                        : Unbracketed(TrimSpaces(trimmed.substr(0, eq)));
    if (eq == std::string_view::npos || open == std::string_view::npos || open < eq ||
        !TrimSpaces(trimmed.substr(eq + 1, open - eq - 1)).empty() || trimmed.back() != '\'' ||
        open == trimmed.size() - 1 || !EqualsIgnoringAsciiCase(column, fields_.names_.front()))
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
    RequireRowsInMemory();
    if (filterNone != adFilterNone) Fail(err::kBadArgument, "Unknown filter constant.");
    CommitPending();
    filterActive_ = false;
}

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
        if (Live(i)) counts_.Increment(pool_->FoldClass(RowText(i)));
    countsBuilt_ = true;
}

// ---- Moving to the last row, removing a row ----

void WorkingTable::MoveLast() {
    RequireRowsInMemory();
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

void WorkingTable::Delete(int affectRecords) {
    RequireRowsInMemory();
    if (affectRecords != adAffectCurrent)
        Fail(err::kBadArgument, "Only the current row can be removed.");
    CommitPending();
    if (currentRemoved_ || current_ == kNoRow)
        Fail(err::kNoCurrentRecord, "There is no current row to remove.");
    const Id id = RowText(current_);
    CountRemove(id);
    --liveRows_;
    removedText_ = id;
    currentRemoved_ = true;
    if (current_ + 1 == rows_.size())
        rows_.pop_back();  // the common case: the row just added
    else
        rows_.set(current_, RemovedEntry(id));
}

}  // namespace ostrel
