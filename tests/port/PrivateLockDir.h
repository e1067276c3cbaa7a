#ifndef TARNEL_TESTS_PRIVATELOCKDIR_H
#define TARNEL_TESTS_PRIVATELOCKDIR_H

// Keeps the lock files of a test program's ports out of the machine's
// /run/lock: a fresh folder for the whole program, set before any test runs
// and removed afterwards. A test program that opens ports registers it once:
//   const auto* const lockDir = ::testing::AddGlobalTestEnvironment(new PrivateLockDir);

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "PortLock.h"

class PrivateLockDir : public ::testing::Environment
{
public:
    void SetUp() override
    {
        char dir[] = "/tmp/tarnel-lock-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_dir = dir;
        portlock_set_dir(m_dir);
    }
    void TearDown() override { RemoveAll(m_dir); }

    // Removes a lock folder a test made, with whatever it still holds.
    static void RemoveAll(const std::string& dir)
    {
        if (DIR* d = opendir(dir.c_str())) {
            while (const struct dirent* e = readdir(d)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..") {
                    unlink((dir + "/" + name).c_str());
                }
            }
            closedir(d);
        }
        rmdir(dir.c_str());
    }

private:
    std::string m_dir;
};

#endif
