// One modem, one holder: the lock file named after a USB position, the open
// files a bank needs.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "DescriptorBudget.h"
#include "InChild.h"
#include "ModemLock.h"
#include "PortLock.h"

namespace {

std::string LockFileOf(const std::string& position)
{
    return portlock_dir() + "/LCK.." + CModemLock::NameOf(position);
}

TEST(ModemLock, NamedAfterThePositionAndHeldByOneAtATime)
{
    EXPECT_EQ(CModemLock::NameOf("1-1.3"), "usb-1-1.3");
    {
        const CModemLock first("1-1.3", 0);
        ASSERT_TRUE(first.Held());
        std::ifstream file(LockFileOf("1-1.3"));
        int pid = 0;
        file >> pid;
        EXPECT_EQ(pid, getpid());
        // A second holder, even in this process, finds it busy at once.
        const CModemLock second("1-1.3", 0);
        EXPECT_FALSE(second.Held());
        EXPECT_EQ(second.BusyPid(), getpid());
        // Another socket is another modem.
        EXPECT_TRUE(CModemLock("1-1.4", 0).Held());
    }
    EXPECT_NE(access(LockFileOf("1-1.3").c_str(), F_OK), 0);  // let go with its holder
    EXPECT_TRUE(CModemLock("1-1.3", 0).Held());
}

TEST(ModemLock, WaitsForTheHolderToLetGo)
{
    auto holder = std::make_unique<CModemLock>("2-1", 0);
    ASSERT_TRUE(holder->Held());
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        holder.reset();
    });
    const auto start = std::chrono::steady_clock::now();
    const CModemLock waiter("2-1", 5000);
    const auto waited = std::chrono::steady_clock::now() - start;
    release.join();
    EXPECT_TRUE(waiter.Held());
    EXPECT_LT(waited, std::chrono::milliseconds(2000));
}

TEST(ModemLock, AStaleLockFileIsTakenOver)
{
    pid_t dead = fork();
    if (dead == 0) {
        _exit(0);
    }
    waitpid(dead, nullptr, 0);
    std::ofstream(LockFileOf("3-2")) << "     " << dead << "\n";
    EXPECT_TRUE(CModemLock("3-2", 0).Held());
}

TEST(DescriptorBudget, SoftLimitRaisedUpToTheHardOne)
{
    // Rows: soft and hard limit set first, descriptors wanted, whether all fit.
    const struct
    {
        rlim_t soft;
        rlim_t hard;
        std::size_t wanted;
        bool fits;
    } rows[] = {{64, 4096, 2000, true}, {64, 200, 2000, false}, {4096, 4096, 100, true}};
    for (const auto& row : rows) {
        const int verdict = InChild([&] {
            const struct rlimit limit = {row.soft, row.hard};
            if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
                return 2;
            }
            const std::size_t spare = SpareDescriptors(row.wanted);
            struct rlimit now;
            getrlimit(RLIMIT_NOFILE, &now);
            if (now.rlim_cur > row.hard || (spare >= row.wanted) != row.fits) {
                return 1;
            }
            // What it says is spare can be opened.
            for (std::size_t i = 0; i < spare; ++i) {
                if (dup(0) < 0) {
                    return 3;
                }
            }
            return 0;
        });
        EXPECT_EQ(verdict, 0) << row.soft << "/" << row.hard << " for " << row.wanted;
    }
}

}  // namespace
