#include "engine/text/write_behind.h"

#include <system_error>
#include <utility>

namespace ostrel {

WriteBehind::WriteBehind(std::function<void(std::string_view)> write)
    : write_(std::move(write)), thread_([this] {
          std::lock_guard lock(mutex_);
          stop_ = true;
          changed_.notify_all();
      }) {
    try {
        thread_.Start([this] { Run(); });
    } catch (const std::system_error&) {
        onCaller_ = true;
    }
}

WriteBehind::~WriteBehind() = default;  // the group stops the thread once its write is done

void WriteBehind::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return busy_ || stop_; });
        if (!busy_) return;
        // The caller leaves the bytes in hand alone until the write is done.
        lock.unlock();
        std::exception_ptr failure;
        try {
            write_(inHand_);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        // None is pending: a failure is raised before the next write is taken.
        failure_ = std::move(failure);
        busy_ = false;
        changed_.notify_all();
    }
}

void WriteBehind::AwaitIdle(std::unique_lock<std::mutex>& lock) {
    changed_.wait(lock, [&] { return !busy_; });
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void WriteBehind::Write(std::string& bytes) {
    if (onCaller_) {
        write_(bytes);
        return;
    }
    std::unique_lock lock(mutex_);
    AwaitIdle(lock);
    inHand_.swap(bytes);
    bytes.reserve(inHand_.capacity());
    busy_ = true;
    changed_.notify_all();
}

void WriteBehind::Finish() {
    if (onCaller_) return;
    std::unique_lock lock(mutex_);
    AwaitIdle(lock);
}

}  // namespace ostrel
