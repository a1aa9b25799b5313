// ostrel-cli [--memory-limit=MIB] [--locale=NAME] INPUT OUTPUT: the window's
// open-and-remove-duplicates and save actions, run headless on two paths, for scripts and
// benchmarks.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/headless_ui.h"
#include "engine/duplicate_engine.h"
#include "engine/failure.h"
#include "engine/files/unfinished_file.h"
#include "engine/memory_budget.h"
#include "engine/order/collation.h"
#include "engine/runs/scratch_file.h"
#include "engine/text/code_page.h"
#include "ostrel_version.h"

#ifdef _WIN32
#include <windows.h>

#include "win32/ansi_code_page.h"
#include "win32/wide_string.h"
#else
#include <csignal>
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage =
    "Usage: ostrel-cli [--memory-limit=MIB] [--locale=NAME] [--] INPUT OUTPUT\n"
    "       ostrel-cli --help\n"
    "       ostrel-cli --version\n"
    "\n"
    "Cleans a keyword list: reads INPUT (its path must contain \".txt\"), trims spaces from\n"
    "each line, drops blank lines and repeated lines (letter case ignored; the first\n"
    "occurrence stays), sorts the rest and writes it to OUTPUT, one line each, ended by\n"
    "CR LF. \".txt\" is appended to OUTPUT when the name does not contain it.\n"
    "\n"
    "  --memory-limit=MIB  the memory in MiB, at least 16, that the distinct lines may\n"
    "                      take; without it the budget is chosen from the memory\n"
    "                      available. Beyond it the list is sorted in runs written to\n"
#ifdef _WIN32
    "                      the user's temporary folder (%TEMP%),\n"
#else
    "                      the temporary folder ($TMPDIR, or /tmp),\n"
#endif
    "                      which must have room for them.\n"
    "  --locale=NAME       sort as the language of locale NAME does (\"sv-SE\", \"de-DE\"),\n"
    "                      or by code point with \"C\". Without it the order is the\n"
#ifdef _WIN32
    "                      user's, from the regional format in Windows' settings.\n"
#else
    "                      one LC_ALL, LC_COLLATE or LANG names, as sort reads them;\n"
    "                      none of them set means by code point.\n"
#endif
    "\n"
    "Options come before the two paths; \"--\" ends them, so that the first path may start\n"
    "with a dash. --help and --version are options only as the only argument.\n"
    "\n"
    "On success prints the two counts and exits 0. Exits 1 when reading or writing fails,\n"
    "2 on wrong arguments or an INPUT path without \".txt\".\n";

#ifdef _WIN32
// A console shows UTF-16 faithfully whatever its code page; redirected output stays UTF-8.
bool WriteToConsole(std::FILE* stream, std::string_view utf8) {
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return false;
    const std::wstring wide = ostrel::win32::Utf8ToWide(utf8);
    std::fflush(stream);
    DWORD written = 0;
    return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) !=
           0;
}
#endif

// The first failure to write standard output, as an errno value; 0 while none.
int stdoutError = 0;

void Write(std::FILE* stream, std::string_view text) {
#ifdef _WIN32
    if (WriteToConsole(stream, text)) return;
#endif
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() && stream == stdout &&
        !stdoutError)
        stdoutError = errno ? errno : EIO;
}

void WriteLine(std::FILE* stream, std::string_view text) {
    Write(stream, text);
    Write(stream, "\n");
}

const ostrel::CodePage& SystemCodePage() {
#ifdef _WIN32
    return ostrel::win32::SystemAnsiCodePage();
#else
    return ostrel::Windows1252();
#endif
}

// The exit status once standard output is flushed: a script must hear that it lost the
// output, on standard error, as a failure.
int Finish(int status) {
    errno = 0;
    if (std::fflush(stdout) != 0 && !stdoutError) stdoutError = errno ? errno : EIO;
    if (!stdoutError) return status;
    WriteLine(stderr, std::string("Error: standard output cannot be written: ") +
                          std::strerror(stdoutError));
    return kExitFailed;
}

// The value of --memory-limit=MIB as a budget in bytes; nothing, with the error said, when
// it is not a whole number of MiB of at least the least budget.
std::optional<std::uint64_t> MemoryLimitOf(std::string_view value) {
    constexpr std::uint64_t kLeastMib = ostrel::kLeastMemoryBudget >> 20;
    std::uint64_t mib = 0;
    const char* end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, mib);
    if (value.empty() || error != std::errc() || stop != end || mib < kLeastMib ||
        mib > (UINT64_MAX >> 20)) {
        WriteLine(stderr, "Error: --memory-limit needs a whole number of MiB, at least " +
                              std::to_string(kLeastMib) + ": \"" + std::string(value) + "\"");
        return std::nullopt;
    }
    return mib << 20;
}

int Run(std::vector<std::string> args) {
    // --help and --version are options only as the only argument.
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        Write(stdout, kUsage);
        return Finish(kExitOk);
    }
    if (args.size() == 1 && args[0] == "--version") {
        WriteLine(stdout, "ostrel-cli " OSTREL_VERSION_STRING);
        return Finish(kExitOk);
    }
    // Options come before the paths, and "--" ends them. An argument is a path once only the
    // two paths are left, so that "IN.txt -h" or "-x.txt OUT" stays two paths as it always was.
    std::uint64_t memoryBudget = 0;     // automatic
    std::optional<std::string> locale;  // the user's
    std::size_t first = 0;
    while (first < args.size() && args[first].size() > 1 && args[first][0] == '-') {
        const std::string_view arg = args[first];
        if (arg == "--") {
            ++first;
            break;
        }
        constexpr std::string_view kMemoryLimit = "--memory-limit";
        if (arg.starts_with(kMemoryLimit) &&
            (arg.size() == kMemoryLimit.size() || arg[kMemoryLimit.size()] == '=')) {
            const auto budget =
                MemoryLimitOf(arg.substr(std::min(arg.size(), kMemoryLimit.size() + 1)));
            if (!budget) return kExitUsage;
            memoryBudget = *budget;
            ++first;
            continue;
        }
        constexpr std::string_view kLocale = "--locale=";
        if (arg.starts_with(kLocale)) {
            locale = std::string(arg.substr(kLocale.size()));
            ++first;
            continue;
        }
        if (args.size() - first == 2) break;
        WriteLine(stderr, "Error: unknown option: " + args[first]);
        Write(stderr, kUsage);
        return kExitUsage;
    }
    args.erase(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(first));
    if (args.size() != 2) {
        Write(stderr, kUsage);
        return kExitUsage;
    }
    const std::string& input = args[0];
    const std::string& output = args[1];

    // The window reads nothing and says nothing for such a path; a script needs to hear why.
    if (!ostrel::ContainsTxt(input)) {
        WriteLine(stderr, "Error: the input file \"" + input +
                              "\" is not read: its path must contain \".txt\".");
        return kExitUsage;
    }

    ostrel::cli::HeadlessUi ui(input, output,
                               [](std::string_view line) { WriteLine(stderr, line); });
    ostrel::DuplicateEngine engine(ui, SystemCodePage());
    engine.SetMemoryBudget(memoryBudget);
    try {
        engine.SetCollation(ostrel::CollationFor(locale ? *locale : ostrel::UserLocaleName()));
    } catch (const ostrel::RuntimeError& e) {
        // A name given on the command line is the user's mistake; one from the environment
        // is the system's, and sort, too, goes on in code-point order then.
        if (locale) {
            WriteLine(stderr, "Error: " + e.Description());
            return kExitUsage;
        }
        WriteLine(stderr, "Warning: " + e.Description() + "; sorting by code point");
    }

    engine.cmdOpen_Click();
    if (ui.ErrorShown() || !ui.CaptionsShown() || !ui.SaveEnabled()) return kExitFailed;

    engine.cmdSave_Click();
    if (ui.ErrorShown() || engine.blnSaveCancelled()) return kExitFailed;
    if (engine.strFileName() != output) {
        WriteLine(stderr, "Information: saved as \"" + engine.strFileName() + "\"");
    }

    WriteLine(stdout, ui.ActualCaption());
    WriteLine(stdout, ui.FinalCaption());
    return Finish(kExitOk);
}

int Guarded(const std::vector<std::string>& args) {
    // The engine's handlers report their own failures; this only catches what escapes them.
    try {
        return Run(args);
    } catch (...) {
        WriteLine(stderr, "Error: " + ostrel::FailureOf(std::current_exception()).Description());
    }
    return kExitFailed;
}

// Ended part-way through a save, by Ctrl-C, a hang-up, a termination request or the
// file-size limit, the program removes its unfinished temporary file and then ends as the
// signal would have ended it. The old target is untouched until the save's last step.
#ifdef _WIN32
BOOL WINAPI OnConsoleControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            ostrel::unfinished_file::RemoveNow();
            break;
        default:
            break;
    }
    return FALSE;  // the next handler, the system's, ends the process
}

void RemoveUnfinishedFileOnEnd() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}
#else
constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGTERM, SIGXFSZ};

void OnEndingSignal(int number) {
    ostrel::unfinished_file::RemoveNow();
    // SA_RESETHAND has put back the default action, which the signal, raised again, takes.
    std::raise(number);
}

void RemoveUnfinishedFileOnEnd() {
    struct sigaction action {};
    action.sa_handler = OnEndingSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int number : kEndingSignals) sigaddset(&action.sa_mask, number);
    for (int number : kEndingSignals) {
        // A signal ignored from the start (nohup, a background job) stays ignored.
        struct sigaction previous {};
        if (sigaction(number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        sigaction(number, &action, nullptr);
    }
}
#endif

// Scratch files that a crash of the system left in the temporary folder.
void ClearScratchFilesLeftBehind() noexcept {
    try {
        ostrel::ClearAbandonedScratchFiles(ostrel::TemporaryFolder());
    } catch (...) {
        // No memory for the folder's name: only a clean-up.
    }
}

}  // namespace

#ifdef _WIN32
// UTF-16 arguments, so paths outside the ANSI code page arrive intact (MinGW: -municode).
int wmain(int argc, wchar_t** argv) {
    RemoveUnfinishedFileOnEnd();
    ClearScratchFilesLeftBehind();
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(ostrel::win32::WideToUtf8(argv[i]));
    return Guarded(args);
}
#else
int main(int argc, char** argv) {
    RemoveUnfinishedFileOnEnd();
    ClearScratchFilesLeftBehind();
    std::vector<std::string> args(argv + 1, argv + argc);
    return Guarded(args);
}
#endif
