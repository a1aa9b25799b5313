#pragma once
// Threads that share one piece of work. Every thread started is joined on every way out, so
// none is ever destroyed while it runs (which would end the program), and the first exception
// that any job throws is kept for the caller instead of ending the program.
#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace ostrel {

// The most threads that one piece of work runs on, the calling one included.
constexpr unsigned kMostThreads = 4;

// How many threads a piece of work runs on, the calling one included: as many as requested
// (0: one a core), at least one and at most kMostThreads.
unsigned ThreadCount(unsigned requested);

class ThreadGroup {
  public:
    // stop, when given, makes jobs that wait for more work give up: it is called once a job
    // has thrown, and by the destructor before it joins. It must not throw, and it may be
    // called from any of the group's threads.
    explicit ThreadGroup(std::function<void()> stop = {});
    // Stops and joins the threads still running. An exception not yet claimed by Join is
    // dropped: the caller is on its way out already.
    ~ThreadGroup();
    ThreadGroup(const ThreadGroup&) = delete;
    ThreadGroup& operator=(const ThreadGroup&) = delete;

    // Runs job on a new thread. Throws std::system_error when the system cannot start one,
    // or std::bad_alloc; the threads started before are not affected.
    void Start(std::function<void()> job);
    // Runs job on the calling thread, keeping what it throws as a job on a thread would.
    void Run(const std::function<void()>& job);
    // True once a job has thrown: the other jobs may give up early.
    bool Failed() const { return failed_.load(std::memory_order_acquire); }
    // Waits for every thread started, then rethrows the first exception a job threw, if any.
    void Join();

  private:
    void Keep(std::exception_ptr failure) noexcept;
    void JoinAll() noexcept;

    std::function<void()> stop_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::exception_ptr first_;
    std::atomic<bool> failed_{false};
};

// For tests only: failures that a real system gives only when it runs out of resources.
namespace thread_group_testing {
// From now on, the nth thread start of any group (1: the next) fails with std::system_error
// as it does when the system has no room for another thread; 0 cancels.
void FailThreadStart(unsigned nth);
// From now on, the job given to the nth thread started (1: the next) throws std::bad_alloc in
// place of running; 0 cancels.
void FailThreadJob(unsigned nth);
}  // namespace thread_group_testing

// Runs job(i) for i in [0, count) on up to threads threads, the calling one included. Once a
// job throws, the others take no new work, and the first exception reaches the caller.
template <typename Job>
void RunShared(std::size_t count, unsigned threads, const Job& job) {
    std::atomic<std::size_t> next{0};
    ThreadGroup helpers([&] { next = count; });  // on a failure: no job is taken after it
    auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < count;) job(i);
    };
    for (unsigned t = 1; t < threads && t < count; ++t) helpers.Start(work);
    helpers.Run(work);
    helpers.Join();
}

}  // namespace ostrel
