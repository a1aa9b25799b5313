#include "engine/failure.h"

#include <new>
#include <system_error>

namespace ostrel {

std::string OutOfMemoryText(FileAction action, const std::string& path) {
    return (action == FileAction::Writing ? "Out of memory while writing "
                                          : "Out of memory while reading ") +
           path;
}

RuntimeError FailureOf(const std::exception_ptr& failure) {
    if (!failure) return RuntimeError(err::kInternalError, "Internal error");
    try {
        std::rethrow_exception(failure);
    } catch (const RuntimeError& error) {
        return error;
    } catch (const std::bad_alloc&) {
        return RuntimeError(err::kOutOfMemory, "Out of memory");
    } catch (const std::exception& error) {
        return RuntimeError(err::kInternalError, error.what());
    } catch (...) {
        return RuntimeError(err::kInternalError, "Internal error");
    }
}

RuntimeError FailureOf(const std::exception_ptr& failure, FileAction action,
                       const std::string& path) {
    const bool reading = action == FileAction::Reading;
    try {
        if (failure) std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        return RuntimeError(
            err::kOutOfMemory,
            OutOfMemoryText(action, path) +
                (reading ? ": the list is too large for the memory available." : "."));
    } catch (const std::system_error& error) {
        return RuntimeError(err::kOutOfMemory, (reading ? "Not enough system resources to read "
                                                        : "Not enough system resources to write ") +
                                                   path + ": " + error.code().message());
    } catch (...) {
    }
    return FailureOf(failure);
}

}  // namespace ostrel
