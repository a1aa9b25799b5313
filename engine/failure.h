#pragma once
// How a failure becomes what the user is told. Whatever an action throws is turned here, in one
// place, into a RuntimeError: a number and a description. Each action's handler, the window's
// last resort and the programs' mains report what this gives them.
#include <exception>
#include <stdexcept>
#include <string>

namespace ostrel {

// The numbers of run-time errors.
namespace err {
constexpr long kOutOfMemory = 7;
constexpr long kOverflow = 6;
constexpr long kFileNotFound = 53;
constexpr long kFileAlreadyOpen = 55;
constexpr long kDiskFull = 61;
constexpr long kInputPastEnd = 62;
constexpr long kPermissionDenied = 70;
constexpr long kPathNotFound = 76;
constexpr long kDeviceIo = 57;
constexpr long kDeviceUnavailable = 68;  // not a file that can be read or written
constexpr long kBadFileName = 52;
constexpr long kBadArgument = 3001;  // a table operation with arguments it cannot take
constexpr long kNoCurrentRecord =
    3021;                              // no current row (before the first, past the last, removed)
constexpr long kTextTooLong = 3367;    // a text longer than the column's defined size
constexpr long kTableClosed = 3704;    // an operation on a table that is not open
constexpr long kBadEncoding = 3368;    // file content that cannot be decoded without loss
constexpr long kCancelled = 32755;     // the user cancelled a file dialog
constexpr long kInvalidCall = 5;       // an invalid procedure call or argument
constexpr long kInternalError = 51;    // a fault of the program's own, not of the user's data
constexpr long kNameTooLong = 20476;   // a chosen file name longer than the dialog's buffer
constexpr long kDialogFailed = 32765;  // the file dialog could not be shown
}  // namespace err

// A run-time error: a number and a description, as the engine's error paths report them.
class RuntimeError : public std::runtime_error {
  public:
    RuntimeError(long number, const std::string& description)
        : std::runtime_error(description), number_(number) {}

    long Number() const noexcept { return number_; }
    std::string Description() const { return what(); }

  private:
    long number_;
};

// What a file action was doing, for the failures that name the file.
enum class FileAction { Reading, Writing };

// "Out of memory while reading <path>", or writing.
std::string OutOfMemoryText(FileAction action, const std::string& path);

// A failure as a RuntimeError: a RuntimeError as it is; running out of memory as
// err::kOutOfMemory; anything else as err::kInternalError, with what it says of itself.
RuntimeError FailureOf(const std::exception_ptr& failure);

// The same for a failure while a file was read or written: running out of memory, or of the
// system's resources (a thread that could not start), names the file.
RuntimeError FailureOf(const std::exception_ptr& failure, FileAction action,
                       const std::string& path);

}  // namespace ostrel
