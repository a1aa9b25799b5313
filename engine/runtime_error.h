#pragma once
// A run-time error: a number and a description, as the engine's error paths report them.
#include <stdexcept>
#include <string>

namespace ostrel {

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

class RuntimeError : public std::runtime_error {
  public:
    RuntimeError(long number, std::string description)
        : std::runtime_error(description), number_(number), description_(std::move(description)) {}

    long Number() const noexcept { return number_; }
    const std::string& Description() const noexcept { return description_; }

  private:
    long number_;
    std::string description_;
};

}  // namespace ostrel
