#include "engine/duplicate_engine.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>

#include "engine/distinct_loader.h"
#include "engine/failure.h"
#include "engine/files/file_system.h"
#include "engine/memory_budget.h"
#include "engine/order/phrase_order.h"
#include "engine/runs/scratch_file.h"

namespace ostrel {
namespace {

constexpr long kTextColumnSize = 100;
// The bar's steps each time the runs written or merged move on by a share.
constexpr std::uint64_t kBusySteps = 97;

WorkingTablePtr NewTextTable(const std::shared_ptr<TextPool>& pool) {
    WorkingTablePtr table = WorkingTable::Create(pool);
    table->Fields().Append("TextCol", adVarChar, kTextColumnSize, adFldUnspecified);
    table->Open(adOpenUnspecified, adLockUnspecified, adCmdUnspecified);
    return table;
}

// The Save dialog asked before giving back a name of a file that exists; a name that the
// ".txt" rule changed afterwards it never saw, so a file of that name is replaced only when the
// user says so. No is a cancelled save.
void ConfirmReplacing(Collaborators& ui, const std::string& path) {
    if (!FindSaveTarget(path).exists) return;
    // The file's name alone, as the dialog names files.
    if (!ui.AskYesNo(Utf8Of(NativePath(path).filename()) +
                     " already exists. Do you want to replace it?"))
        throw RuntimeError(err::kCancelled, "Cancel was selected.");
}

}  // namespace

std::string ActualRowCountCaption(std::uint64_t count) {
    return "Actual Keyword Phrases : " + std::to_string(count);
}

std::string FinalRowCountCaption(std::uint64_t count) {
    return "Final Keyword Phrases : " + std::to_string(count);
}

bool ContainsTxt(std::string_view path) {
    for (std::size_t i = 0; i + 4 <= path.size(); ++i) {
        if (path[i] == '.' && FoldAscii(path[i + 1]) == 't' && FoldAscii(path[i + 2]) == 'x' &&
            FoldAscii(path[i + 3]) == 't')
            return true;
    }
    return false;
}

DuplicateEngine::DuplicateEngine(Collaborators& ui, const CodePage& codePage)
    : ui_(ui), codePage_(codePage) {
    ConfineMemory();
}

// Each line read moves the bar one on, after setting a value of 10000 or more back to 10: it
// runs from 1 to 10000, then from 11 to 10000 again and again.
void DuplicateEngine::StepProgress(std::uint64_t lines) {
    if (lines == 0) return;
    constexpr std::uint64_t kTop = 10000, kRestart = 10, kCycle = kTop - kRestart;
    double value = ui_.ProgressValue();
    if (value < kTop) {
        const auto toTop = static_cast<std::uint64_t>(std::ceil(kTop - value));
        if (lines <= toTop) {
            ui_.SetProgressValue(static_cast<float>(value + double(lines)));
            return;
        }
        lines -= toTop;
    }
    ui_.SetProgressValue(static_cast<float>(kRestart + 1 + (lines - 1) % kCycle));
}

void DuplicateEngine::cmdOpen_Click() {
    Open(nullptr);
}

void DuplicateEngine::OpenList(const std::string& path) {
    Open(&path);
}

void DuplicateEngine::Open(const std::string* path) {
    std::optional<TextFileReader> file1;
    try {
        if (!path) ui_.ShowOpen();
        strFileName_ = path ? *path : ui_.FileName();
        if (!strFileName_.empty() && ContainsTxt(strFileName_)) {
            ui_.SetProgressValue(0);
            ui_.SetProgressMin(0);
            ui_.SetProgressMax(10001);
            ui_.SetProgressVisible(true);

            file1.emplace(strFileName_, codePage_);

            // The new table takes over rsUnique only once the run completes, so a run that
            // fails part-way leaves the previous result, its counts and the buttons in force.
            WorkingTablePtr unique = NewTextTable(std::make_shared<TextPool>());
            // Worker threads read the list into the table: each line trimmed, blank lines
            // passed over, and of the lines equal but for letter case only the first kept. The
            // count of non-blank lines they return is the Actual caption's; the bar moves on
            // by the lines read.
            // Beyond the memory budget they sort what they hold out to runs in the temporary
            // folder and merge the runs at the end; meanwhile the bar keeps moving.
            std::uint64_t linesShown = 0;
            LoadOptions options;
            options.workers = workerCount_;
            options.memoryBudget = memoryBudget_ != 0 ? memoryBudget_ : AutomaticMemoryBudget();
            options.scratchFolder = TemporaryFolder();
            options.busy = [&] { StepProgress(kBusySteps); };
            options.collation = collation_;
            const std::uint64_t allRows = LoadDistinctLines(
                *file1, *unique, kTextColumnSize,
                [&](std::uint64_t lines) {
                    StepProgress(lines - linesShown);
                    linesShown = lines;
                },
                options);
            const TextEncoding encoding = file1->Encoding();
            file1.reset();

            ui_.SetProgressValue(10001);
            ui_.SetProgressVisible(false);
            unique->SetSortThreads(workerCount_);
            unique->SetSortCollation(collation_);
            unique->SetSort("TextCol");

            rsUnique_ = std::move(unique);
            resultEncoding_ = encoding;
            ui_.SetActualRowCountCaption(ActualRowCountCaption(allRows));
            ui_.SetFinalRowCountCaption(FinalRowCountCaption(rsUnique_->RecordCount()));
            ui_.SetSaveEnabled(true);
            ui_.SetSaveOpenEnabled(true);
        }
        ui_.DragWindow();
        ui_.SetProgressVisible(false);
    } catch (...) {
        // The one clean-up of a failed run: the list is closed and the bar hidden; the
        // previous result stays in force.
        file1.reset();
        ui_.SetProgressVisible(false);
        const RuntimeError e =
            FailureOf(std::current_exception(), FileAction::Reading, strFileName_);
        if (e.Number() == err::kCancelled)
            ui_.ShowMessage("You have cancelled the process.", MessageIcon::Information, "");
        else if (e.Number() != 0)
            ui_.ShowMessage("Unable to open description file \r" + e.Description(),
                            MessageIcon::Error, "");
    }
}

void DuplicateEngine::cmdSave_Click() {
    std::optional<TextFileWriter> file1;
    saved_ = false;
    try {
        blnSaveCancelled_ = false;
        ui_.ShowSave();
        strFileName_ = ui_.FileName();
        if (!ContainsTxt(strFileName_)) {
            strFileName_ += ".txt";
            ConfirmReplacing(ui_, strFileName_);
        }
        if (!rsUnique_)
            throw RuntimeError(err::kNoCurrentRecord, "There is no result to save yet.");
        rsUnique_->MoveFirst();
        file1.emplace(strFileName_, resultEncoding_, codePage_);
        while (!rsUnique_->Eof()) {
            file1->WriteLine(rsUnique_->Fields(0).Value());
            rsUnique_->MoveNext();
        }
        file1->Commit();
        file1.reset();
        saved_ = true;
        ui_.ShowMessage("File saved successfully", MessageIcon::Information, kAppTitle);
    } catch (...) {
        file1.reset();  // removes the unfinished temporary file; the target keeps its content
        const RuntimeError e =
            FailureOf(std::current_exception(), FileAction::Writing, strFileName_);
        if (e.Number() == err::kCancelled) {
            blnSaveCancelled_ = true;
            ui_.ShowMessage("The Process was cancelled.", MessageIcon::Information, "");
        } else if (e.Number() != 0) {
            ui_.ShowMessage("Unable to write file\r" + e.Description(), MessageIcon::Error, "");
        }
    }
}

void DuplicateEngine::cmdSaveOpen_Click() {
    cmdSave_Click();
    // Notepad is started only on a file that now holds the result, and the path is quoted so
    // that one with spaces opens the right file.
    if (!blnSaveCancelled_ && saved_)
        ui_.StartProgram("notepad \"" + strFileName_ + "\"", kWindowMaximizedFocus);
}

}  // namespace ostrel
