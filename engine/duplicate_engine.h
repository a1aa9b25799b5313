#pragma once
// The form-level engine state and the three command-button actions: open and remove
// duplicates, save, and save and open. The window owns one of these for its lifetime.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/collaborators.h"
#include "engine/order/collation.h"
#include "engine/table/working_table.h"
#include "engine/text/code_page.h"
#include "engine/text/text_file.h"
#include "engine/text/text_file_writer.h"

namespace ostrel {

// The captions the count labels show after a run.
std::string ActualRowCountCaption(std::uint64_t count);
std::string FinalRowCountCaption(std::uint64_t count);

// True when the lower-case form of a path holds ".txt" anywhere.
bool ContainsTxt(std::string_view path);

class DuplicateEngine {
  public:
    explicit DuplicateEngine(Collaborators& ui, const CodePage& codePage = Windows1252());

    void cmdOpen_Click();      // open and remove duplicates
    void cmdSave_Click();      // save the unique lines
    void cmdSaveOpen_Click();  // save, then open the saved file in Notepad
    // The open action on a list named without the Open dialog (dropped on the window, or given
    // on the command line): the same steps from the file name on.
    void OpenList(const std::string& path);

    // Form-level state, readable by the window and the tests.
    const std::string& strFileName() const { return strFileName_; }
    const WorkingTablePtr& rsUnique() const { return rsUnique_; }
    bool blnSaveCancelled() const { return blnSaveCancelled_; }
    // The encoding of the list the current result came from; the save writes in it.
    TextEncoding ResultEncoding() const { return resultEncoding_; }

    // The threads that read and sort a list (0, the default: one a core, up to four).
    void SetWorkerCount(unsigned workers) { workerCount_ = workers; }
    unsigned WorkerCount() const { return workerCount_; }
    // The memory a run may hold its phrases in before it sorts them out to disk, in bytes
    // (0, the default: AutomaticMemoryBudget when the run starts).
    void SetMemoryBudget(std::uint64_t bytes) { memoryBudget_ = bytes; }
    // The language whose order the result is sorted in (none, the default: the "C" order, code
    // point by code point).
    void SetCollation(std::shared_ptr<const Collation> collation) {
        collation_ = std::move(collation);
    }

  private:
    // The open action; without a path the Open dialog asks for one.
    void Open(const std::string* path);
    void StepProgress(std::uint64_t lines);  // the bar's steps for this many more lines

    Collaborators& ui_;
    const CodePage& codePage_;
    std::string strFileName_;
    WorkingTablePtr rsUnique_;
    bool blnSaveCancelled_ = false;
    bool saved_ = false;  // the last save wrote its file
    TextEncoding resultEncoding_ = TextEncoding::Utf8;
    unsigned workerCount_ = 0;
    std::uint64_t memoryBudget_ = 0;
    std::shared_ptr<const Collation> collation_;
};

}  // namespace ostrel
