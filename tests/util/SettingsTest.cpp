// The set.ini loader: the values it stores, what it says about the file, and
// which file it reads.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Settings.h"
#include "basic.h"

namespace {

// A scratch folder for set.ini files, removed with what it holds.
class SettingsDir
{
public:
    SettingsDir()
    {
        char dir[] = "/tmp/tarnel-settings-XXXXXX";
        if (mkdtemp(dir) != nullptr) {
            m_dir = dir;
        }
    }
    ~SettingsDir()
    {
        for (const std::string& path : m_made) {
            if (unlink(path.c_str()) != 0) {
                rmdir(path.c_str());
            }
        }
        rmdir(m_dir.c_str());
    }
    std::string Write(const std::string& name, const std::string& content)
    {
        const std::string path = Path(name);
        std::ofstream(path, std::ios::binary) << content;
        m_made.push_back(path);
        return path;
    }
    std::string MakeFolder(const std::string& name)
    {
        const std::string path = Path(name);
        mkdir(path.c_str(), 0700);
        m_made.push_back(path);
        return path;
    }
    std::string Path(const std::string& name) const { return m_dir + "/" + name; }

private:
    std::string m_dir;
    std::vector<std::string> m_made;
};

// "<line> <problem> <key>=<value> -> <value used>", one per finding.
std::vector<std::string> Described(const std::vector<SettingFinding_t>& findings)
{
    std::vector<std::string> out;
    for (const SettingFinding_t& f : findings) {
        std::ostringstream line;
        line << f.line << " " << f.problem << " " << f.key << "=" << f.value << " -> " << f.valueUsed;
        out.push_back(line.str());
    }
    return out;
}

std::vector<SettingFinding_t> LoadText(SettingsDir& dir, const std::string& ini)
{
    return LoadSettings({dir.Write("set.ini", ini)});
}

struct FindingCase
{
    const char* name;
    std::string ini;
    std::vector<std::string> findings;  // as Described gives them
    const int32_t* value;               // one stored value to check
    int32_t expected;
};

void PrintTo(const FindingCase& c, std::ostream* os)
{
    *os << c.name;
}

class SettingFindings : public ::testing::TestWithParam<FindingCase>
{
};

TEST_P(SettingFindings, SaysWhatWasNotTakenAsWritten)
{
    SettingsDir dir;
    const FindingCase& c = GetParam();
    EXPECT_EQ(Described(LoadText(dir, c.ini)), c.findings);
    EXPECT_EQ(*c.value, c.expected);
}

std::string Num(SettingProblem_t p)
{
    return std::to_string(static_cast<int>(p));
}

INSTANTIATE_TEST_SUITE_P(
    LoadSettings, SettingFindings,
    ::testing::Values(
        FindingCase{"CleanFile", "; timing\n# more\n\n[comm]\ndef=1 ; on\ntime1 = 0x100\nbusywait=-4\n", {},
                    &g_nWinUserValue[0], 256},
        FindingCase{"NegativeWaitMeansDefault", "[comm]\nbusywait=-4\n", {}, &g_nBusyWaitSec, 10},
        FindingCase{"LetterOInsteadOfZero", "[comm]\ndef=1\ntime1=1OO\n",
                    {"3 " + Num(SETTING_NOT_A_NUMBER) + " time1=1OO -> 1"}, &g_nWinUserValue[0], 1},
        FindingCase{"Unit", "[comm]\ndef=1\nTime1=150ms\n",
                    {"3 " + Num(SETTING_NOT_A_NUMBER) + " Time1=150ms -> 150"}, &g_nWinUserValue[0], 150},
        FindingCase{"NoDigits", "[comm]\nbusywait=long\n",
                    {"2 " + Num(SETTING_NOT_A_NUMBER) + " busywait=long -> 10"}, &g_nBusyWaitSec, 10},
        FindingCase{"LeadingZeroIsOctal", "[comm]\ndef=1\ntime1=0600\n",
                    {"3 " + Num(SETTING_OCTAL) + " time1=0600 -> 384"}, &g_nWinUserValue[0], 384},
        FindingCase{"EightAfterZeroIsNoNumber", "[comm]\nbusywait=08\n",
                    {"2 " + Num(SETTING_NOT_A_NUMBER) + " busywait=08 -> 0"}, &g_nBusyWaitSec, 0},
        FindingCase{"Time1AtItsCeiling", "[comm]\ndef=1\ntime1=60000\n", {}, &g_nWinUserValue[0], 60000},
        FindingCase{"Time1AboveItsCeiling", "[comm]\ndef=1\ntime1=60001\n",
                    {"3 " + Num(SETTING_CAPPED) + " time1=60001 -> 60000"}, &g_nWinUserValue[0], 60000},
        FindingCase{"Time1OfTwelveDays", "[comm]\ndef=1\ntime1=99999999999999999999\n",
                    {"3 " + Num(SETTING_CAPPED) + " time1=99999999999999999999 -> 60000"},
                    &g_nWinUserValue[0], 60000},
        FindingCase{"BusyWaitCapped", "[comm]\nbusywait=3601\n",
                    {"2 " + Num(SETTING_CAPPED) + " busywait=3601 -> 3600"}, &g_nBusyWaitSec, 3600},
        FindingCase{"PartWaitCappedAtAWeek", "[comm]\npartwait=99999999999\n",
                    {"2 " + Num(SETTING_CAPPED) + " partwait=99999999999 -> 10080"}, &g_nPartWaitMinutes, 10080},
        // Beyond 32 bits: the same warning and value with 32- and 64-bit longs.
        FindingCase{"DefBeyond32Bits", "[comm]\ndef=4294967297\n",
                    {"2 " + Num(SETTING_CAPPED) + " def=4294967297 -> 2147483647"}, &g_nWinUserSet, INT32_MAX},
        FindingCase{"TimingKeyWithoutDef", "[comm]\ntime1=200\ntime2=5\n",
                    {"2 " + Num(SETTING_NEEDS_DEF) + " time1=200 -> ", "3 " + Num(SETTING_NEEDS_DEF) + " time2=5 -> "},
                    &g_nWinUserValue[0], 0},
        FindingCase{"UnknownKey", "[comm]\ndef=1\ntimee1=200\n",
                    {"3 " + Num(SETTING_UNKNOWN_KEY) + " timee1=200 -> "}, &g_nWinUserValue[0], 0},
        FindingCase{"OtherSection", "[serial]\nbusywait=3\n",
                    {"2 " + Num(SETTING_OUTSIDE_COMM) + " busywait=3 -> "}, &g_nBusyWaitSec, 10},
        FindingCase{"BeforeAnySection", "busywait=3\n[comm]\n",
                    {"1 " + Num(SETTING_OUTSIDE_COMM) + " busywait=3 -> "}, &g_nBusyWaitSec, 10},
        // The reader takes the unclosed section line for an error and keeps
        // the section before it (none).
        FindingCase{"UnclosedSection", "[comm\ndef=1\n",
                    {"1 " + Num(SETTING_BAD_LINE) + " = -> ", "2 " + Num(SETTING_OUTSIDE_COMM) + " def=1 -> "},
                    &g_nWinUserSet, 0},
        FindingCase{"LineWithoutEquals", "[comm]\nbusywait 3\n", {"2 " + Num(SETTING_BAD_LINE) + " = -> "},
                    &g_nBusyWaitSec, 10},
        FindingCase{"RepeatedKeyKeepsTheFirst", "[comm]\nbusywait=3\nbusywait=5\n",
                    {"3 " + Num(SETTING_REPEATED) + " busywait=5 -> 3"}, &g_nBusyWaitSec, 3},
        FindingCase{"IndentedLineContinuesTheValue", "[comm]\nbusywait=3\n  5\n",
                    {"3 " + Num(SETTING_REPEATED) + " busywait=5 -> 3"}, &g_nBusyWaitSec, 3},
        FindingCase{"FixedPortsTwoExamines", "[comm]\nfixedports=2\n",
                    {"2 " + Num(SETTING_NOT_A_SWITCH) + " fixedports=2 -> 1"}, &g_nFixedPorts, 1},
        FindingCase{"FixedPortsZero", "[comm]\nfixedports=0\n", {}, &g_nFixedPorts, 0},
        FindingCase{"AcmPortsOne", "[comm]\nacmports=1\n", {}, &g_nAcmPorts, 1},
        FindingCase{"AcmPortsTwoLeavesThem", "[comm]\nacmports=2\n",
                    {"2 " + Num(SETTING_NOT_A_SWITCH) + " acmports=2 -> 0"}, &g_nAcmPorts, 0},
        FindingCase{"EncodingInCapitals", "[comm]\nencoding=AUTO\n", {}, &g_nSmsEncoding, SMS_ENCODING_AUTO},
        FindingCase{"EncodingUnknown", "[comm]\nencoding=utf8\n",
                    {"2 " + Num(SETTING_NOT_A_WORD) + " encoding=utf8 -> ucs2"}, &g_nSmsEncoding,
                    SMS_ENCODING_UCS2},
        FindingCase{"WatchPollZeroMeansDefault", "[comm]\nwatchpoll=0\n", {}, &g_nWatchPollSec, 60},
        FindingCase{"RegWaitCapped", "[comm]\nregwait=601\n",
                    {"2 " + Num(SETTING_CAPPED) + " regwait=601 -> 600"}, &g_nRegWaitSec, 600},
        FindingCase{"ByteOrderMark", "\xEF\xBB\xBF[comm]\nussdwait=45\n", {}, &g_nUssdWaitSec, 45}));

TEST(LoadSettings, JournalDirMustBeAbsolute)
{
    SettingsDir dir;
    EXPECT_EQ(Described(LoadText(dir, "[comm]\njournaldir=/srv/tarnel\n")), std::vector<std::string>());
    EXPECT_EQ(g_strJournalDir, "/srv/tarnel");
    EXPECT_EQ(Described(LoadText(dir, "[comm]\njournaldir=journal\n")),
              std::vector<std::string>({"2 " + Num(SETTING_NOT_A_PATH) + " journaldir=journal -> /var/lib/tarnel"}));
    EXPECT_EQ(g_strJournalDir, "/var/lib/tarnel");
}

// The reader reads a line of more than 199 bytes as two: the value is cut
// there and the rest is a line of its own. The lines after keep their numbers.
TEST(LoadSettings, OverlongLineIsCutAsTheReaderCutsIt)
{
    SettingsDir dir;
    const std::string path = "/" + std::string(250, 'a');
    const std::vector<SettingFinding_t> findings =
        LoadText(dir, "[comm]\njournaldir=" + path + "\nbusywait=x\n");
    EXPECT_EQ(Described(findings), std::vector<std::string>({"2 " + Num(SETTING_BAD_LINE) + " = -> ",
                                                              "3 " + Num(SETTING_NOT_A_NUMBER) + " busywait=x -> 10"}));
    EXPECT_EQ(g_strJournalDir, path.substr(0, 199 - std::string("journaldir=").size()));
}

TEST(LoadSettings, EveryKeyStartsFromItsDefault)
{
    SettingsDir dir;
    LoadText(dir, "[comm]\ndef=1\ntime1=5\ntime10=7\nbusywait=1\npartwait=2\nfixedports=0\nacmports=1\n"
                  "regwait=3\nussdwait=4\nwatchpoll=5\nencoding=auto\njournaldir=/srv\n");
    ASSERT_EQ(g_nWinUserValue[9], 7);
    EXPECT_EQ(Described(LoadSettings({dir.Path("absent.ini")})), std::vector<std::string>());
    EXPECT_EQ(g_nWinUserSet, 0);
    for (int32_t v : g_nWinUserValue) {
        EXPECT_EQ(v, 0);
    }
    EXPECT_EQ(g_nBusyWaitSec, 10);
    EXPECT_EQ(g_nPartWaitMinutes, 0);
    EXPECT_EQ(g_nFixedPorts, 1);
    EXPECT_EQ(g_nAcmPorts, 0);
    EXPECT_EQ(g_nRegWaitSec, 30);
    EXPECT_EQ(g_nUssdWaitSec, 30);
    EXPECT_EQ(g_nWatchPollSec, 60);
    EXPECT_EQ(g_nSmsEncoding, SMS_ENCODING_UCS2);
    EXPECT_EQ(g_strJournalDir, "/var/lib/tarnel");
}

// The working folder's file when there is one, else the system's.
TEST(LoadSettings, FirstFileThatExists)
{
    SettingsDir dir;
    const std::string local = dir.Path("local.ini");
    const std::string system = dir.Write("system.ini", "[comm]\nbusywait=7\nbogus=1\n");

    std::vector<SettingFinding_t> findings = LoadSettings({local, system});
    EXPECT_EQ(g_nBusyWaitSec, 7);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].file, system);

    dir.Write("local.ini", "[comm]\nbusywait=3\n");
    EXPECT_TRUE(LoadSettings({local, system}).empty());
    EXPECT_EQ(g_nBusyWaitSec, 3);

    // An empty local file is still the file: nothing of the system's is read.
    dir.Write("local.ini", "");
    EXPECT_TRUE(LoadSettings({local, system}).empty());
    EXPECT_EQ(g_nBusyWaitSec, 10);
}

TEST(LoadSettings, FolderInPlaceOfTheFileIsUnreadable)
{
    SettingsDir dir;
    const std::string folder = dir.MakeFolder("set.ini");
    const std::string system = dir.Write("system.ini", "[comm]\nbusywait=7\n");
    const std::vector<SettingFinding_t> findings = LoadSettings({folder, system});
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].file, folder);
    EXPECT_EQ(findings[0].line, 0);
    EXPECT_EQ(findings[0].problem, SETTING_UNREADABLE);
    EXPECT_EQ(g_nBusyWaitSec, 10);
}

TEST(SettingKeys, NamesAreLowerCaseAndUnique)
{
    for (std::size_t i = 0; i < SETTING_KEY_COUNT; ++i) {
        const std::string name = SETTING_KEYS[i].name;
        for (char c : name) {
            EXPECT_FALSE(c >= 'A' && c <= 'Z') << name;
        }
        for (std::size_t j = i + 1; j < SETTING_KEY_COUNT; ++j) {
            EXPECT_NE(name, SETTING_KEYS[j].name);
        }
    }
    // "def" decides whether the timing keys are read, so it is read first.
    EXPECT_STREQ(SETTING_KEYS[0].name, "def");
}

}  // namespace
