#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "CCheckManager.h"
#include "SendTestSupport.h"
#include "ComPortBase.h"
#include "basic.h"

namespace {

// Runs loadSetting in a fresh working directory holding the given set.ini.
class LoadSetting : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Without ./set.ini the system's file is read: the rows without a
        // file describe a machine that has none.
        if (access(SYSTEM_SETTINGS_PATH, F_OK) == 0) {
            GTEST_SKIP() << SYSTEM_SETTINGS_PATH << " exists on this machine";
        }
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        m_oldCwd = cwd;
        char dir[] = "/tmp/tarnel-settings-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_dir = dir;
        ASSERT_EQ(chdir(m_dir.c_str()), 0);
        Clear();
    }
    void TearDown() override
    {
        if (m_dir.empty()) {
            return;  // skipped
        }
        unlink((m_dir + "/set.ini").c_str());
        EXPECT_EQ(chdir(m_oldCwd.c_str()), 0);
        rmdir(m_dir.c_str());
        Clear();
    }
    static void Clear()
    {
        g_nBusyWaitSec = -1;  // loadSetting always sets it
        g_nWinUserSet = 0;
        for (int32_t& v : g_nWinUserValue) {
            v = 0;
        }
        g_nPartWaitMinutes = 0;
    }
    static void Load(const char* ini)
    {
        if (ini) {
            std::ofstream("set.ini") << ini;
        } else {
            unlink("set.ini");
        }
        CCheckManager manager;
        manager.loadSetting();
    }

    std::string m_oldCwd;
    std::string m_dir;
};

struct SettingsCase
{
    const char* name;
    const char* ini;  // null: no file
    int32_t def;
    int32_t time1;
};

TEST_F(LoadSetting, Time1FollowsDef)
{
    const SettingsCase cases[] = {
        {"NoFile", nullptr, 0, 0},
        {"EmptyFile", "", 0, 0},
        {"Def1", "[comm]\ndef=1\ntime1=200\n", 1, 200},
        {"Def0", "[comm]\ndef=0\ntime1=200\n", 0, 0},
        {"Def2", "[comm]\ndef=2\ntime1=200\n", 2, 0},
        {"Hex", "[comm]\ndef=1\ntime1=0x100\n", 1, 256},
        {"Capitals", "[COMM]\nDEF=1\nTIME1=300\n", 1, 300},
        {"Negative", "[comm]\ndef=1\ntime1=-5\n", 1, -5},
        {"Zero", "[comm]\ndef=1\ntime1=0\n", 1, 0},
        {"NotANumber", "[comm]\ndef=1\ntime1=fast\n", 1, 0},
        {"LeadingNumber", "[comm]\ndef=1\ntime1=150ms\n", 1, 150},
        {"Spaces", "[comm]\ndef = 1\ntime1 = 250\n", 1, 250},
        {"Comments", "; timing\n[comm]\ndef=1 ; on\ntime1=400\n", 1, 400},
        {"OtherSection", "[serial]\ndef=1\ntime1=200\n", 0, 0},
        {"MissingTime1", "[comm]\ndef=1\ntime2=7\n", 1, 0},
        {"SyntaxError", "[comm\ndef=1\ntime1=200\n", 0, 0},
        // Beyond 32 bits: the same clamped value on 32- and 64-bit longs,
        // never a wrapped-around 1.
        {"DefWrapsNotToOne", "[comm]\ndef=4294967297\ntime1=200\n", INT32_MAX, 0},
        // Capped: one read pass of 30 s at most.
        {"HugeTime1", "[comm]\ndef=1\ntime1=99999999999\n", 1, 60000},
        {"HugeNegative", "[comm]\ndef=1\ntime1=-99999999999\n", 1, INT32_MIN},
    };
    for (const SettingsCase& c : cases) {
        Clear();
        Load(c.ini);
        EXPECT_EQ(g_nWinUserSet, c.def) << c.name;
        EXPECT_EQ(g_nWinUserValue[0], c.time1) << c.name;
    }
}

TEST_F(LoadSetting, TenTimingKeysInOrder)
{
    Load("[comm]\ndef=1\ntime1=11\ntime2=12\ntime3=13\ntime4=14\ntime5=15\n"
         "time6=16\ntime7=17\ntime8=18\ntime9=19\ntime10=20\ntime11=21\n");
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(g_nWinUserValue[i], 11 + i) << "time" << i + 1;
    }
}

TEST_F(LoadSetting, TimingKeysIgnoredUnlessDefIsOne)
{
    Load("[comm]\ndef=0\ntime1=11\ntime5=15\ntime10=20\n");
    for (int32_t v : g_nWinUserValue) {
        EXPECT_EQ(v, 0);
    }
}

// How long a send, read or clear waits for a port another program holds.
TEST_F(LoadSetting, BusyWaitWhateverDefSays)
{
    const struct {
        const char* name;
        const char* ini;  // null: no file
        int32_t seconds;
    } cases[] = {
        {"NoFile", nullptr, 10},
        {"NoKey", "[comm]\ndef=1\ntime1=200\n", 10},
        {"Seconds", "[comm]\nbusywait=3\n", 3},
        {"Def0", "[comm]\ndef=0\nbusywait=25\n", 25},
        {"ZeroMeansNoWait", "[comm]\nbusywait=0\n", 0},
        {"NegativeMeansBuiltIn", "[comm]\nbusywait=-4\n", 10},
        {"Capitals", "[COMM]\nBUSYWAIT=7\n", 7},
        {"Hex", "[comm]\nbusywait=0x10\n", 16},
        {"CappedAtAnHour", "[comm]\nbusywait=99999999999\n", 3600},
        {"NotANumber", "[comm]\nbusywait=long\n", 10},
        {"OtherSection", "[serial]\nbusywait=3\n", 10},
    };
    for (const auto& c : cases) {
        Clear();
        Load(c.ini);
        EXPECT_EQ(g_nBusyWaitSec, c.seconds) << c.name;
    }
}

// One line on standard error per finding, naming the file, the line, the
// key and the value used; nothing on standard output.
TEST_F(LoadSetting, WarningsGoToStandardError)
{
    std::ostringstream err;
    std::streambuf* const oldErr = std::cerr.rdbuf(err.rdbuf());
    std::string out;
    {
        CaptureOut capture;
        Load("[comm]\ndef=1\ntime1=1OO\nbusywait=0600\ntimee2=4\n[serial]\npartwait=5\nno equals sign\n");
        out = capture.Text();
    }
    std::cerr.rdbuf(oldErr);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err.str(),
              "set.ini:3: time1=1OO: not wholly a number; value used: 1\n"
              "set.ini:4: busywait=0600: a leading zero reads as octal; value used: 384\n"
              "set.ini:5: timee2=4: unknown key; ignored\n"
              "set.ini:7: partwait=5: outside [comm]; ignored\n"
              "set.ini:8: line not understood; ignored\n");
    EXPECT_EQ(g_nWinUserValue[0], 1);
    EXPECT_EQ(g_nBusyWaitSec, 384);
}

TEST(SettingWarningLine, WholeFileAndCappedValue)
{
    SettingFinding_t unreadable;
    unreadable.file = "/etc/tarnel/set.ini";
    unreadable.problem = SETTING_UNREADABLE;
    EXPECT_EQ(CCheckManager::SettingWarningLine(unreadable),
              "/etc/tarnel/set.ini: cannot be read; the built-in values are used");
    const SettingFinding_t capped{"set.ini", 2, SETTING_CAPPED, "time1", "99999999999999999999", "60000"};
    EXPECT_EQ(CCheckManager::SettingWarningLine(capped),
              "set.ini:2: time1=99999999999999999999: above the highest value; value used: 60000");
}

TEST(MakeSleep, SleepsTheGivenMilliseconds)
{
    CCheckManager manager;
    const int64_t start = time_usec2();
    EXPECT_EQ(manager.makeSleep(20), 0);
    EXPECT_GE(time_usec2() - start, 20000);
    // A negative count does not become an endless sleep.
    EXPECT_EQ(manager.makeSleep(-5), 0);
    EXPECT_EQ(manager.makeSleep(0), 0);
    EXPECT_LT(time_usec2() - start, 5000000);
}

TEST(CCheckManager, StartsEmptyWithPlainText)
{
    const CCheckManager manager;
    EXPECT_TRUE(manager.m_vecComInfo.empty());
    EXPECT_EQ(manager.m_strStatus, "");
    EXPECT_TRUE(manager.m_vecSendResult.empty());
    EXPECT_TRUE(manager.m_bPlainText);
}

TEST_F(LoadSetting, PartWaitIsReadWhateverDefSays)
{
    const struct
    {
        const char* ini;
        int32_t minutes;
    } cases[] = {
        {nullptr, 0},
        {"[comm]\npartwait=30\n", 30},
        {"[comm]\ndef=1\ntime1=200\npartwait=5\n", 5},
        {"[comm]\ndef=0\npartwait=5\n", 5},
        {"[COMM]\nPARTWAIT=45\n", 45},
        {"[serial]\npartwait=5\n", 0},
        {"[comm]\npartwait=99999999999\n", 7 * 24 * 60},  // capped at a week
    };
    for (const auto& c : cases) {
        Clear();
        Load(c.ini);
        EXPECT_EQ(g_nPartWaitMinutes, c.minutes) << (c.ini ? c.ini : "no file");
    }
}

}  // namespace
