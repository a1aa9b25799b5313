// Threads that share a piece of work, for the loader and the sort: every thread is joined on
// every way out, and what a job throws reaches the caller instead of ending the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "engine/block_sort.h"
#include "engine/case_fold.h"
#include "engine/folded_sort.h"
#include "engine/text_pool.h"
#include "engine/thread_group.h"

namespace ostrel {
namespace {

namespace hooks = thread_group_testing;

// A flag that jobs wait on until the group's stop raises it.
struct StopFlag {
    std::mutex mutex;
    std::condition_variable raised;
    bool up = false;
    int raises = 0;

    void Raise() {
        std::lock_guard lock(mutex);
        up = true;
        ++raises;
        raised.notify_all();
    }
    void Wait() {
        std::unique_lock lock(mutex);
        raised.wait(lock, [&] { return up; });
    }
};

class ThreadGroupTest : public ::testing::Test {
  protected:
    void TearDown() override {
        hooks::FailThreadStart(0);
        hooks::FailThreadJob(0);
    }
};

TEST_F(ThreadGroupTest, EveryJobRunsAndJoinReturnsWhenNoneThrows) {
    std::atomic<int> ran{0};
    ThreadGroup group;
    for (int i = 0; i < 3; ++i) group.Start([&] { ++ran; });
    group.Run([&] { ++ran; });
    group.Join();
    EXPECT_EQ(ran, 4);
    EXPECT_FALSE(group.Failed());
}

TEST_F(ThreadGroupTest, AJobRunningOutOfMemoryReachesTheCaller) {
    std::atomic<int> ran{0};
    ThreadGroup group;
    group.Start([&] { ++ran; });
    group.Start([] { throw std::bad_alloc(); });
    group.Start([&] { ++ran; });
    EXPECT_THROW(group.Join(), std::bad_alloc);
    EXPECT_EQ(ran, 2);
    EXPECT_TRUE(group.Failed());
}

TEST_F(ThreadGroupTest, TheFirstFailureWinsAndStopsTheOthers) {
    StopFlag stop;
    ThreadGroup group([&] { stop.Raise(); });
    // The later jobs throw only after the first one's failure has stopped them.
    for (int i = 0; i < 2; ++i)
        group.Start([&] {
            stop.Wait();
            throw std::runtime_error("later");
        });
    group.Start([] { throw std::runtime_error("first"); });
    try {
        group.Join();
        ADD_FAILURE() << "no failure handed on";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "first");
    }
    EXPECT_EQ(stop.raises, 1);
}

TEST_F(ThreadGroupTest, AJobOnTheCallingThreadIsKeptLikeTheOthers) {
    StopFlag stop;
    ThreadGroup group([&] { stop.Raise(); });
    group.Start([&] { stop.Wait(); });
    group.Run([] { throw std::bad_alloc(); });
    EXPECT_THROW(group.Join(), std::bad_alloc);
}

TEST_F(ThreadGroupTest, AFailedStartLeavesTheStartedThreadsStoppedAndJoined) {
    StopFlag stop;
    std::atomic<int> finished{0};
    hooks::FailThreadStart(3);
    try {
        ThreadGroup group([&] { stop.Raise(); });
        for (int i = 0; i < 4; ++i)
            group.Start([&] {
                stop.Wait();
                ++finished;
            });
        ADD_FAILURE() << "the third start did not fail";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), std::errc::resource_unavailable_try_again);
    }
    // Both threads that started were told to stop and have ended.
    EXPECT_EQ(finished, 2);
}

TEST_F(ThreadGroupTest, LeavingByAnExceptionStopsAndJoins) {
    StopFlag stop;
    std::atomic<int> finished{0};
    EXPECT_THROW(
        {
            ThreadGroup group([&] { stop.Raise(); });
            group.Start([&] {
                stop.Wait();
                ++finished;
            });
            throw std::runtime_error("the caller fails");
        },
        std::runtime_error);
    EXPECT_EQ(finished, 1);
}

TEST_F(ThreadGroupTest, TheTestHookFailsTheNthJob) {
    std::atomic<int> ran{0};
    hooks::FailThreadJob(2);
    ThreadGroup group;
    for (int i = 0; i < 3; ++i) group.Start([&] { ++ran; });
    EXPECT_THROW(group.Join(), std::bad_alloc);
    EXPECT_EQ(ran, 2);
}

// The sort shares large inputs among helper threads. The texts start in many ways, in both
// letter cases and beyond ASCII, so that they fall into many buckets, and spellings of one
// folded text lie far apart.
class SortThreads : public ThreadGroupTest {
  protected:
    void SetUp() override {
        const char* const starts[] = {"phrase ",       "Apple ",        "apple ", "Zebra ",
                                      "\xC3\x84rger ", "\xC3\xA4rger ", "1 ",     "z"};
        for (int i = 0; i < 150000; ++i)
            ids.push_back(pool.Intern(starts[i % 8] + std::to_string((i * 7919) % 150000)));
    }
    // In order of the folded texts, and of the ids where those are equal.
    bool Sorted() const {
        std::vector<std::pair<std::string, TextPool::Id>> texts;
        for (TextPool::Id id : ids) {
            texts.emplace_back(std::string(), id);
            FoldUtf8(pool.Text(id), texts.back().first);
        }
        return std::is_sorted(texts.begin(), texts.end());
    }
    // Sorts the ids on one thread, and on each count of threads up to most.
    void ExpectSortedOnUpTo(unsigned most) {
        const std::vector<TextPool::Id> original = ids;
        for (unsigned threads = 1; threads <= most; ++threads) {
            ids = original;
            SortByFoldedText(ids, pool, threads);
            EXPECT_TRUE(Sorted()) << threads;
        }
    }

    TextPool pool;
    std::vector<TextPool::Id> ids;
};

TEST_F(SortThreads, ALargeInputIsSortedOnEveryThreadCount) {
    ExpectSortedOnUpTo(4);
}

// Phrases that share more than a sort key's bytes, spelt many ways: many keys are equal, and
// the order is settled further on in the texts.
TEST_F(SortThreads, TextsSharingLongBeginningsAreSortedWithTheirSpellingsInOrder) {
    const char* const starts[] = {"women's running shoes for trail ", "Women's Running Shoes ",
                                  "WOMEN'S RUNNING SHOES FOR TRAIL "};
    ids.clear();
    for (int i = 0; i < 120000; ++i) {
        std::string text = starts[i % 3] + std::to_string((i * 7919) % 700);
        if (i % 5 == 0) text += " \xC3\x84";
        ids.push_back(pool.Intern(text));
    }
    ExpectSortedOnUpTo(2);
}

// The partition's blocks and runs of equal records, at the sizes where its ways part, against the
// standard sort.
TEST(BlockSort, SortsAsTheStandardSortDoes) {
    std::vector<std::vector<int>> inputs;
    for (int n : {0, 1, 2, 23, 24, 25, 127, 128, 129, 300, 5000}) {
        std::vector<int> random(n), few(n), ascending(n), descending(n), organ(n);
        for (int i = 0; i < n; ++i) {
            random[i] = static_cast<int>((i * 2654435761u) % 1000003);
            few[i] = static_cast<int>((i * 2654435761u) % 3);
            ascending[i] = i;
            descending[i] = n - i;
            organ[i] = std::min(i, n - i);
        }
        inputs.insert(inputs.end(), {random, few, ascending, descending, organ});
    }
    for (std::vector<int> input : inputs) {
        std::vector<int> expected = input;
        std::sort(expected.begin(), expected.end());
        BlockSort(input.data(), input.data() + input.size(), std::less<int>());
        EXPECT_EQ(input, expected) << input.size();
    }
}

TEST_F(SortThreads, AHelperThatRunsOutOfMemoryReachesTheCaller) {
    for (unsigned helper = 1; helper <= 9; ++helper) {  // of the three rounds of three helpers
        std::vector<TextPool::Id> copy = ids;
        hooks::FailThreadJob(helper);
        EXPECT_THROW(SortByFoldedText(copy, pool, 4), std::bad_alloc) << helper;
        hooks::FailThreadJob(0);
    }
}

TEST_F(SortThreads, AHelperThatCannotStartReachesTheCaller) {
    for (unsigned start = 1; start <= 9; ++start) {
        std::vector<TextPool::Id> copy = ids;
        hooks::FailThreadStart(start);
        EXPECT_THROW(SortByFoldedText(copy, pool, 4), std::system_error) << start;
        hooks::FailThreadStart(0);
    }
    SortByFoldedText(ids, pool, 4);
    EXPECT_TRUE(Sorted());
}

}  // namespace
}  // namespace ostrel
