// Listening on several ports at once, as a watch listens on a modem's AT
// ports: the wait ends on input at any of them, at its deadline, or on a
// hang-up, and what each port has queued is taken without waiting.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ComPortBase.h"
#include "PtyPair.h"
#include "basic.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class WaitForInput : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(CComPortBase::ResetAllComPort(), 0);
        ASSERT_FALSE(first.path.empty());
        ASSERT_FALSE(second.path.empty());
    }

    PtyPair first;
    PtyPair second;
};

TEST_F(WaitForInput, QuietPortsWaitUntilTheDeadline)
{
    CComPortBase a(first.path, 115200);
    CComPortBase b(second.path, 115200);
    const Clock::time_point start = Clock::now();
    CComPortBase::WaitForInput({&a, &b}, MonotonicUsec() + 300000);
    EXPECT_GE(MsSince(start), 290);
    std::string text;
    a.TakeQueuedInput(text);
    b.TakeQueuedInput(text);
    EXPECT_EQ(text, "");
    EXPECT_EQ(a.HasGoneAway() + b.HasGoneAway(), 0);
}

TEST_F(WaitForInput, InputOnTheSecondPortEndsTheWaitAndStaysItsOwn)
{
    CComPortBase a(first.path, 115200);
    CComPortBase b(second.path, 115200);
    std::thread modem([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        second.Send("\r\n+CMTI: \"SM\",");
    });
    const Clock::time_point start = Clock::now();
    CComPortBase::WaitForInput({&a, &b}, MonotonicUsec() + 5000000);
    modem.join();
    EXPECT_LT(MsSince(start), 2500);
    ASSERT_TRUE(second.SlaveReadable());
    std::string onFirst;
    std::string onSecond = "kept ";
    a.TakeQueuedInput(onFirst);
    b.TakeQueuedInput(onSecond);
    EXPECT_EQ(onFirst, "");
    EXPECT_EQ(onSecond, "kept \r\n+CMTI: \"SM\",");  // appended, never cleared
    // The rest of the line comes later and is taken by the next turn.
    second.Send("3\r\n");
    ASSERT_TRUE(second.SlaveReadable());
    CComPortBase::WaitForInput({&a, &b}, MonotonicUsec() + 5000000);
    b.TakeQueuedInput(onSecond);
    EXPECT_EQ(onSecond, "kept \r\n+CMTI: \"SM\",3\r\n");
}

TEST_F(WaitForInput, AHungUpPortEndsTheWaitAndIsGone)
{
    CComPortBase a(first.path, 115200);
    CComPortBase b(second.path, 115200);
    second.CloseMaster();
    const Clock::time_point start = Clock::now();
    CComPortBase::WaitForInput({&a, &b}, MonotonicUsec() + 5000000);
    EXPECT_LT(MsSince(start), 2500);
    std::string text;
    b.TakeQueuedInput(text);
    EXPECT_EQ(b.HasGoneAway(), 1);
    EXPECT_EQ(a.HasGoneAway(), 0);
}

}  // namespace
