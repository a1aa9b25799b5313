#pragma once
// Writing a file's bytes on a thread of its own, one buffer behind the caller, who meanwhile
// fills the next: the system's copy of the bytes then takes no time from the caller's work.
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "engine/thread_group.h"

namespace ostrel {

class WriteBehind {
  public:
    // write(bytes) puts the bytes in the file, or throws. Where no thread can be started, the
    // writes are made on the caller's thread.
    explicit WriteBehind(std::function<void(std::string_view)> write);
    // Waits for the write in hand; a failure not yet raised is dropped.
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Once the previous write is done, hands the bytes over and leaves in bytes an earlier
    // buffer, whose content is of no more use: the caller may overwrite it as it stands.
    // Raises what the previous write threw.
    void Write(std::string& bytes);
    // Waits for the write in hand, and raises what it threw.
    void Finish();

  private:
    void Run();
    void AwaitIdle(std::unique_lock<std::mutex>& lock);

    const std::function<void(std::string_view)> write_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string inHand_;  // the bytes being written, while busy_
    bool busy_ = false;
    bool stop_ = false;
    std::exception_ptr failure_;
    bool onCaller_ = false;  // no thread could be started
    ThreadGroup thread_;     // last: joined before the rest goes
};

}  // namespace ostrel
