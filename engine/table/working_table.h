#pragma once
// The working table: an in-memory table of rows of one text column, with a current row, a row
// filter, a row count and a sort order, held by counted references. Its texts live in a
// TextPool, which tables may share.
//
// What the actions use (duplicate_engine.cpp), in working_table.cpp:
// - Open and remove duplicates: Create, Fields().Append, Open; LoadDistinctLines fills the
//   table through AppendAdopted; then SetSortThreads, SetSort and RecordCount.
// - Save: MoveFirst, then Fields(0).Value and MoveNext until Eof.
// The rest is the table's general contract, which no program calls: kept, as the table
// designed, and tested in working_table_test.cpp beside the above, it lives in
// working_table_contract.cpp. It is adding a row (AddNew, Field::SetValue, Update), changing
// the current row's text, SetFilter and Filtered, Delete, MoveLast, and IsLastDuplicate, which
// is built on the filter.
//
// Rules that hold throughout:
// - Texts are UTF-8. Equality (the filter) and order (the sort) are phrase_order.h's.
// - A text longer than the column's defined size (in Unicode characters) is refused with
//   err::kTextTooLong; it is never cut.
// - The filter "[TextCol] = '<text>'" takes everything between the first apostrophe and the
//   last one literally, apostrophes inside included.
// - Setting or clearing the filter keeps the current row where it is when that row stays
//   visible. A removed row stays current until the next move, and reading it still gives its
//   text; it is no longer counted or met by a walk.
// - MoveFirst on an empty table is allowed and leaves Eof() true.
// - A filtered count costs one hash look-up, never a scan of the rows.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/order/collation.h"
#include "engine/runs/sorted_runs.h"
#include "engine/table/compact_vectors.h"
#include "engine/table/text_pool.h"

namespace ostrel {

// Arguments of the table's calls. Its one column is of variable-length text (adVarChar); Open
// takes no cursor, lock or command options (the "unspecified" values, which it ignores);
// Delete removes the current row only (adAffectCurrent); SetFilter(adFilterNone) clears the
// filter.
constexpr int adVarChar = 200;
constexpr int adFldUnspecified = -1;
constexpr int adOpenUnspecified = -1;
constexpr int adLockUnspecified = -1;
constexpr int adCmdUnspecified = -1;
constexpr int adAffectCurrent = 1;
constexpr int adFilterNone = 0;

class WorkingTable;
using WorkingTablePtr = std::shared_ptr<WorkingTable>;

class WorkingTable {
  public:
    // Tables that share a pool share the storage of equal texts; each table still has its own
    // rows. A table made without a pool gets one of its own.
    static WorkingTablePtr Create(std::shared_ptr<TextPool> pool = nullptr);
    ~WorkingTable();

    class Field {
      public:
        std::string_view Value() const;        // the current row's text
        void SetValue(std::string_view text);  // on the new row after AddNew, or the current row
        const std::string& Name() const;

      private:
        friend class WorkingTable;
        Field(WorkingTable& table, std::size_t index) : table_(&table), index_(index) {}
        WorkingTable* table_;
        std::size_t index_;
    };

    class FieldList {
      public:
        void Append(std::string_view name, int type, long definedSize, int attributes);
        std::size_t Count() const { return names_.size(); }

      private:
        friend class WorkingTable;
        explicit FieldList(WorkingTable& table) : table_(&table) {}
        WorkingTable* table_;
        std::vector<std::string> names_;
        long definedSize_ = 0;
    };

    FieldList& Fields() { return fields_; }
    Field Fields(std::size_t index);

    void Open(int cursorType = adOpenUnspecified, int lockType = adLockUnspecified,
              int options = adCmdUnspecified);
    bool IsOpen() const { return open_; }

    void AddNew();
    void Update();
    // Adds the texts of arenas as new rows, in order, without the look-up that AddNew and
    // Update make: the table's pool takes them over (TextPool::Adopt), on up to threads
    // threads. The last new row is current.
    void AppendAdopted(const std::vector<TextArena*>& arenas, unsigned threads);
    // Gives an empty table the rows of a sorted run (the load of a list larger than its memory
    // budget): the table counts them and walks them from the run's file, in the run's order,
    // which is the sort's, but takes no other change, filter or order. The run goes with it.
    void AttachRun(std::unique_ptr<SortedRun> run);
    bool RowsOnDisk() const { return run_ != nullptr; }

    // Rows passing the filter (all rows when none is set); removed rows are not counted.
    std::uint64_t RecordCount() const;

    void SetFilter(std::string_view criteria);  // "[TextCol] = '<text>'"
    void SetFilter(int filterNone);             // adFilterNone
    bool Filtered() const { return filterActive_; }

    void MoveFirst();
    void MoveNext();
    void MoveLast();
    bool Eof() const;

    void Delete(int affectRecords = adAffectCurrent);

    void SetSort(std::string_view columnName);  // "TextCol" (optionally "ASC"); "" keeps order
    // The threads a sort may use, the calling one included (0, the default: one a core, up to
    // four).
    void SetSortThreads(unsigned threads) { sortThreads_ = threads; }
    // The language whose order the sort follows (none, the default: the "C" order).
    void SetSortCollation(std::shared_ptr<const Collation> collation) {
        sortCollation_ = std::move(collation);
    }
    const std::string& Sort() const { return sort_; }

    const std::shared_ptr<TextPool>& Pool() const { return pool_; }

  private:
    explicit WorkingTable(std::shared_ptr<TextPool> pool);
    WorkingTable(const WorkingTable&) = delete;
    WorkingTable& operator=(const WorkingTable&) = delete;

    using Id = TextPool::Id;
    static constexpr std::uint64_t kNoRow = ~std::uint64_t{0};

    // A row's entry in rows_: its text id shifted left by one, the low bit set once the row is
    // removed.
    static constexpr std::uint64_t kRemoved = 1;
    static constexpr std::uint64_t Entry(Id id) { return id << 1; }
    static constexpr std::uint64_t RemovedEntry(Id id) { return Entry(id) | kRemoved; }
    static constexpr Id TextOf(std::uint64_t entry) { return entry >> 1; }
    static constexpr bool IsRemoved(std::uint64_t entry) { return (entry & kRemoved) != 0; }
    Id RowText(std::uint64_t position) const { return TextOf(rows_[position]); }

    [[noreturn]] static void Fail(long number, const std::string& description);
    // A column name without the brackets that may enclose it.
    static std::string_view Unbracketed(std::string_view name);
    void RequireOpen() const;
    void RequireRowsInMemory() const;  // open, with its rows in memory
    void RequireColumn(std::size_t index) const;
    void CommitPending();
    void AppendRow(TextPool::Id id);  // a new last row, made current
    bool Visible(std::uint64_t position) const;
    bool Live(std::uint64_t position) const;
    std::uint64_t NextVisible(std::uint64_t from) const;
    void CountAdd(TextPool::Id id);
    void CountRemove(TextPool::Id id);
    void BuildCounts();
    void CheckLength(std::string_view text) const;
    TextPool::Id InternChecked(std::string_view text);

    std::shared_ptr<TextPool> pool_;
    FieldList fields_;
    bool open_ = false;

    IdVector rows_;  // text ids in row order; removed rows are tombstones
    std::uint64_t liveRows_ = 0;
    std::uint64_t current_ = kNoRow;  // position in rows_, or kNoRow (Eof)
    bool currentRemoved_ = false;     // the current row was removed and keeps its text here
    Id removedText_ = 0;

    bool pending_ = false;  // between AddNew and Update
    bool pendingHasValue_ = false;
    Id pendingText_ = 0;

    bool filterActive_ = false;
    bool filterMatchesNothing_ = false;
    std::uint64_t filterClass_ = 0;

    // Live rows per fold class, built the first time a filter is set and kept up to date after.
    bool countsBuilt_ = false;
    CountVector counts_;

    std::string sort_;
    unsigned sortThreads_ = 0;
    std::shared_ptr<const Collation> sortCollation_;

    // Rows on disk (AttachRun), and the current one's text, read from the run.
    std::unique_ptr<SortedRun> run_;
    std::string_view runText_;
    bool runAtEnd_ = true;
};

// The table's own duplicate test: true when the current row's text occurs in two or more rows.
// Leaves the table unfiltered. (Of the general contract: the open action finds repeats as the
// bulk loader reads.)
bool IsLastDuplicate(WorkingTable& table);

}  // namespace ostrel
