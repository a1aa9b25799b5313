#pragma once
// Reading a keyword list into a table of its distinct lines.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/order/collation.h"
#include "engine/table/working_table.h"
#include "engine/text/text_file.h"

namespace ostrel {

// Reads the rest of file as if line by line: each line is trimmed of spaces at both ends, a
// line left blank is passed over, and every other line is counted and added to table unless an
// earlier line had the same text, letter case aside. The table so ends with the first spelling
// of each text. The rows come in no set order: sort the table for one. It must be open, and it
// and its pool must be empty.
//
// The work is shared among workers threads (0: one a core; four at most), each keeping the
// texts whose hash falls to it; the calling thread reads the file and now and then calls
// progress with the number of lines read so far, the last time with every line read. A line
// longer than maxCharacters is refused with RuntimeError err::kTextTooLong giving its line
// number and the file. What a worker throws (std::bad_alloc, say) reaches the caller; a worker
// that cannot be started raises std::system_error. On any failure the table is left as it was.
//
// Returns the number of non-blank lines.
std::uint64_t LoadDistinctLines(TextFileReader& file, WorkingTable& table,
                                std::size_t maxCharacters,
                                const std::function<void(std::uint64_t linesRead)>& progress,
                                unsigned workers = 0);

// How a load may use memory and disk.
struct LoadOptions {
    unsigned workers = 0;  // as above
    // The memory, in bytes, that the distinct texts read so far may take, with what sorting
    // them takes; 0 for no budget. When they would take more, they are sorted and written out
    // as a run to a scratch file in scratchFolder (scratch_file.h), and the load goes on; at the
    // end the runs are merged, the earliest spelling of each text kept, and the table is given
    // the merged run, already in order (WorkingTable::AttachRun). A budget too small for a
    // chunk or two of the file writes a run for every chunk or so: slow, but exact.
    std::uint64_t memoryBudget = 0;
    std::string scratchFolder;
    std::function<void()> busy;  // called now and then while runs are written and merged
    // The order of the runs, the table's sort order (none: the "C" order).
    std::shared_ptr<const Collation> collation;
};

// The same with options. A full disk stops the load with RuntimeError err::kDiskFull naming the
// folder and about how much room the load needs there; the scratch files are gone on every
// way out.
std::uint64_t LoadDistinctLines(TextFileReader& file, WorkingTable& table,
                                std::size_t maxCharacters,
                                const std::function<void(std::uint64_t linesRead)>& progress,
                                const LoadOptions& options);

}  // namespace ostrel
