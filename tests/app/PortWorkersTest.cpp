// A worker per port: different ports at the same time, records of one port
// one after the other on one thread, every slot done before WaitAll returns.

#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "PortWorkers.h"

namespace {

// Holds every worker that arrives until `expected` workers are inside at
// once; false for a worker that waited in vain (the workers ran in turn).
class Meeting
{
public:
    explicit Meeting(std::size_t expected) : m_expected(expected) {}
    bool Arrive()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_inside;
        m_all.notify_all();
        return m_all.wait_for(lock, std::chrono::seconds(10), [this] { return m_inside >= m_expected; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_all;
    std::size_t m_expected;
    std::size_t m_inside = 0;
};

TEST(PortWorkers, DistinctPortsWorkAtOnce)
{
    const std::vector<std::string> paths{"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB3"};
    Meeting meeting(paths.size());
    std::vector<char> met(paths.size(), 0);
    CPortWorkers workers(paths, [&](std::size_t i) { met[i] = meeting.Arrive() ? 1 : 0; });
    workers.WaitAll();
    EXPECT_EQ(met, std::vector<char>(paths.size(), 1));
}

TEST(PortWorkers, RecordsOfOnePortRunInOrderOnOneThread)
{
    // Items 0, 2 and 4 name one port; its object may be used by one thread only.
    const std::vector<std::string> paths{"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB0", "/dev/ttyUSB1",
                                         "/dev/ttyUSB0"};
    std::vector<pthread_t> thread(paths.size());
    std::vector<int> order(paths.size(), -1);
    std::atomic<int> clock{0};
    CPortWorkers workers(paths, [&](std::size_t i) {
        thread[i] = pthread_self();
        order[i] = clock++;
    });
    workers.WaitFor(4);
    EXPECT_TRUE(pthread_equal(thread[0], thread[2]) && pthread_equal(thread[2], thread[4]));
    EXPECT_LT(order[0], order[2]);
    EXPECT_LT(order[2], order[4]);
    workers.WaitAll();
    EXPECT_TRUE(pthread_equal(thread[1], thread[3]));
    EXPECT_FALSE(pthread_equal(thread[0], thread[1]));
    EXPECT_LT(order[1], order[3]);
}

TEST(PortWorkers, ProgressCountsEveryItemUpToTheTotal)
{
    const std::vector<std::string> paths{"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB1"};
    std::vector<std::size_t> seen;
    CPortWorkers workers(paths, [](std::size_t) {});
    workers.WaitAll([&](std::size_t done, std::size_t total) {
        EXPECT_EQ(total, paths.size());
        seen.push_back(done);
    });
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), paths.size());
    for (std::size_t i = 1; i < seen.size(); ++i) {
        EXPECT_LT(seen[i - 1], seen[i]);
    }
}

}  // namespace
