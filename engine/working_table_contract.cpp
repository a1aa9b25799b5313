// The working table's general contract: the part of the designed table that neither program
// calls. The open action reads a list through the bulk loader, LoadDistinctLines, which fills
// the table through AppendStored, and the save walks it from the first row. What is here is kept
// because it is the table as designed, and it is run by the tests (working_table_test.cpp, the
// loader's): adding and changing a row, the filter and its counts per fold class, removing a
// row, MoveLast, the pool's look-up of a single text, and IsLastDuplicate, the table's own
// duplicate test, which is built on the filter.
#include <stdexcept>
#include <string>

#include "engine/case_fold.h"
#include "engine/compact_vectors.h"
#include "engine/line_scanner.h"
#include "engine/runtime_error.h"
#include "engine/text_hash.h"
#include "engine/text_pool_impl.h"
#include "engine/working_table.h"

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

// ---- The pool's look-up of a single text ----

void TextPool::RebuildIndexes(std::uint64_t texts, std::uint64_t classes) {
    Impl& m = *impl_;
    m.exact.Reset(TableSizeFor(texts));
    m.folded.Reset(TableSizeFor(classes));
    m.arena.Walk([&](TextArena::Offset offset) {
        const std::string_view text = m.arena.Text(offset);
        m.exact.Insert(HashText(text.data(), text.size()), offset);
        if (!m.arena.Header(offset).Variant()) {
            const std::string_view f = m.Fold(text, m.foldB);
            m.folded.Insert(HashText(f.data(), f.size()), offset);
        }
    });
}

TextPool::Id TextPool::Intern(std::string_view text) {
    Impl& m = *impl_;
    if (m.haveLast && m.lastText == text) return m.lastId;
    if (text.size() > RecordHeader::kMostLength)
        throw std::length_error("text too long for the pool");
    if (m.exact.Empty()) RebuildIndexes(m.arena.Size(), m.classes);

    // The text itself: a repeat is found here.
    const std::uint64_t h = HashText(text.data(), text.size());
    const SlotTable::Probe same =
        m.exact.Find(h, [&](std::uint64_t offset) { return m.arena.Text(offset) == text; });
    if (same.found) {
        m.Remember(same.offset);
        return same.offset;
    }

    // A spelling met for the first time: its class, if another spelling has it already.
    const std::string_view folded = m.Fold(text, m.foldA);
    const std::uint64_t hf = HashText(folded.data(), folded.size());
    const SlotTable::Probe spelling = m.folded.Find(
        hf, [&](std::uint64_t offset) { return m.Fold(m.arena.Text(offset), m.foldB) == folded; });
    const bool variant = spelling.found;
    const std::uint64_t cls = variant ? m.arena.Header(spelling.offset).FoldClass() : m.classes++;

    const Id id = m.arena.Append(text, cls, variant);
    m.exact.Put(same.position, h, id);
    if (!variant) m.folded.Put(spelling.position, hf, id);
    m.Remember(id);
    if (m.exact.NeedsGrowth() || m.folded.NeedsGrowth())
        RebuildIndexes(2 * m.exact.Size() * 3 / 4, 2 * m.folded.Size() * 3 / 4);
    return id;
}

bool TextPool::FindFoldClass(std::string_view text, std::uint64_t& cls) {
    Impl& m = *impl_;
    if (m.haveLast && m.lastText == text) {
        cls = FoldClass(m.lastId);
        return true;
    }
    if (m.arena.Size() == 0) return false;
    if (m.folded.Empty()) RebuildIndexes(m.arena.Size(), m.classes);
    std::string foldedText, repFolded;
    FoldUtf8(text, foldedText);
    const std::uint64_t h = HashText(foldedText.data(), foldedText.size());
    const SlotTable::Probe found = m.folded.Find(h, [&](std::uint64_t offset) {
        repFolded.clear();
        FoldUtf8(m.arena.Text(offset), repFolded);
        return repFolded == foldedText;
    });
    if (found.found) cls = FoldClass(found.offset);
    return found.found;
}

// ---- CountVector ----

std::uint32_t* CountVector::Slot(std::uint64_t cls) const {
    const std::uint64_t chunk = cls >> kChunkBits;
    if (chunk >= chunks_.size()) return nullptr;
    return chunks_[chunk].data() + (cls & ((std::uint64_t{1} << kChunkBits) - 1));
}

std::uint64_t CountVector::Get(std::uint64_t cls) const {
    const std::uint32_t* n = Slot(cls);
    if (!n) return 0;
    if (*n != kSpill) return *n;
    for (const auto& [c, count] : large_)
        if (c == cls) return count;
    return 0;
}

void CountVector::Increment(std::uint64_t cls) {
    while ((cls >> kChunkBits) >= chunks_.size())
        chunks_.emplace_back(std::size_t{1} << kChunkBits);
    std::uint32_t& n = *Slot(cls);
    if (n < kSpill - 1) {
        ++n;
        return;
    }
    if (n == kSpill - 1) {
        n = kSpill;
        large_.emplace_back(cls, std::uint64_t{kSpill});
        return;
    }
    for (auto& [c, count] : large_)
        if (c == cls) ++count;
}

void CountVector::Decrement(std::uint64_t cls) {
    std::uint32_t* slot = Slot(cls);
    if (!slot || *slot == 0) return;
    std::uint32_t& n = *slot;
    if (n != kSpill) {
        --n;
        return;
    }
    for (auto it = large_.begin(); it != large_.end(); ++it) {
        if (it->first != cls) continue;
        if (--it->second < kSpill) {
            n = static_cast<std::uint32_t>(it->second);
            large_.erase(it);
        }
        return;
    }
}

void CountVector::clear() {
    chunks_.clear();
    large_.clear();
}

}  // namespace ostrel
