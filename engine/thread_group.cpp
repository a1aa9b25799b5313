#include "engine/thread_group.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <utility>

namespace ostrel {
namespace {

std::atomic<unsigned> startsToFailure{0};
std::atomic<unsigned> jobsToFailure{0};

// Counts a countdown down; true when it reaches zero now.
bool CountDown(std::atomic<unsigned>& countdown) {
    unsigned value = countdown.load();
    while (value != 0 && !countdown.compare_exchange_weak(value, value - 1)) {
    }
    return value == 1;
}

}  // namespace

unsigned ThreadCount(unsigned requested) {
    if (requested != 0) return std::min(requested, kMostThreads);
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMostThreads);
}

namespace thread_group_testing {
void FailThreadStart(unsigned nth) {
    startsToFailure = nth;
}
void FailThreadJob(unsigned nth) {
    jobsToFailure = nth;
}
}  // namespace thread_group_testing

ThreadGroup::ThreadGroup(std::function<void()> stop) : stop_(std::move(stop)) {}

ThreadGroup::~ThreadGroup() {
    if (!threads_.empty() && stop_) stop_();
    JoinAll();
}

void ThreadGroup::Start(std::function<void()> job) {
    if (CountDown(startsToFailure))
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "thread");
    const bool fail = CountDown(jobsToFailure);
    // The vector has its room before the thread starts: a thread never runs unrecorded.
    threads_.reserve(threads_.size() + 1);
    threads_.emplace_back([this, fail, job = std::move(job)] {
        try {
            if (fail) throw std::bad_alloc();
            job();
        } catch (...) {
            Keep(std::current_exception());
        }
    });
}

void ThreadGroup::Run(const std::function<void()>& job) {
    try {
        job();
    } catch (...) {
        Keep(std::current_exception());
    }
}

void ThreadGroup::Join() {
    JoinAll();
    std::exception_ptr failure;
    {
        std::lock_guard lock(mutex_);
        failure = std::exchange(first_, nullptr);
    }
    if (failure) std::rethrow_exception(failure);
}

void ThreadGroup::Keep(std::exception_ptr failure) noexcept {
    bool first = false;
    {
        std::lock_guard lock(mutex_);
        if (!failed_) {
            first_ = std::move(failure);
            first = true;
            failed_.store(true, std::memory_order_release);
        }
    }
    if (first && stop_) stop_();
}

void ThreadGroup::JoinAll() noexcept {
    for (std::thread& t : threads_)
        if (t.joinable()) t.join();
    threads_.clear();
}

}  // namespace ostrel
