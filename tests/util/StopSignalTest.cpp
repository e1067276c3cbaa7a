// The stop request: recorded once, by the first signal, and visible to a
// waiter on the wake-up descriptor. Each case runs in a forked child, since
// the request cannot be taken back.
#include <gtest/gtest.h>

#include <csignal>
#include <utility>
#include <vector>
#include <poll.h>

#include "InChild.h"
#include "StopSignal.h"

namespace {

bool Readable(int fd)
{
    struct pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

}  // namespace

TEST(StopSignal, FirstSignalIsKeptAndWakesWaiters)
{
    // (signals raised in order, the number kept)
    const std::vector<std::pair<std::vector<int>, int>> cases = {
        {{SIGTERM}, SIGTERM}, {{SIGINT}, SIGINT}, {{SIGHUP, SIGTERM}, SIGHUP}, {{SIGINT, SIGHUP}, SIGINT}};
    for (const auto& c : cases) {
        const int verdict = InChild([&c] {
            if (InstallStopSignals() != 0 || StopRequested() || Readable(StopWakeDescriptor())) {
                return 1;
            }
            for (const int signo : c.first) {
                raise(signo);  // handled: the child lives on
            }
            if (!StopRequested() || StopSignalNumber() != c.second) {
                return 2;
            }
            return Readable(StopWakeDescriptor()) ? 0 : 3;
        });
        EXPECT_EQ(verdict, 0) << "first signal " << c.second;
    }
}
