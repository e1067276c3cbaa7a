// One name per device: candidate paths that reach one character device are
// listed once, under the kernel's name, and a typed name or a link stands
// for the listed device. Built in a private folder that plays /dev and /sys,
// with links to the machine's /dev/null and /dev/zero as the devices.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "CCheckManager.h"
#include "PortDiscovery.h"

namespace {

// A scratch folder holding dev/ and sys/, removed at the end.
class FakeRoots
{
public:
    FakeRoots()
    {
        char pattern[] = "/tmp/tarnel-names.XXXXXX";
        const char* made = mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        m_root = made != nullptr ? made : "/nonexistent";
        Dir("dev");
        Dir("sys/dev/char");
    }
    ~FakeRoots() { EXPECT_EQ(std::system(("rm -rf '" + m_root + "'").c_str()), 0); }
    FakeRoots(const FakeRoots&) = delete;
    FakeRoots& operator=(const FakeRoots&) = delete;

    std::string Path(const std::string& relative) const { return m_root + "/" + relative; }
    void Dir(const std::string& relative) const
    {
        EXPECT_EQ(std::system(("mkdir -p '" + Path(relative) + "'").c_str()), 0);
    }
    // `relative` becomes a link to `target`, written as given.
    void Link(const std::string& relative, const std::string& target) const
    {
        EXPECT_EQ(symlink(target.c_str(), Path(relative).c_str()), 0) << relative;
    }

private:
    std::string m_root;
};

// The device numbers of /dev/null and /dev/zero, as /sys/dev/char names them.
std::string CharEntry(const char* device)
{
    struct stat st;
    EXPECT_EQ(stat(device, &st), 0) << device;
    return "sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
}

struct NamingCase
{
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // fake path -> target, written as given
    std::vector<std::string> dirs;                           // folders made under the fake root
    std::vector<std::string> listed;                         // "@" starts a fake path
    std::vector<std::string> expected;
};

// The case's name for test listings, instead of its bytes.
void PrintTo(const NamingCase& c, std::ostream* os)
{
    *os << c.name;
}

std::string Resolve(const FakeRoots& roots, const std::string& path)
{
    return !path.empty() && path[0] == '@' ? roots.Path(path.substr(1)) : path;
}

std::vector<NamingCase> NamingCases()
{
    // The kernel's entry of /dev/null's device, leading to a tty called ttyUSB3.
    const std::pair<std::string, std::string> sysNamesNullTtyUSB3 = {CharEntry("/dev/null"),
                                                                      "../../devices/usb1/tty/ttyUSB3"};
    return {
        {"LinkToALinkIsTheDeviceItPassesThrough",
         {{"dev/ttyUSB0", "/dev/null"}, {"dev/ttyUSB9", "ttyUSB0"}},
         {},
         {"@dev/ttyUSB0", "@dev/ttyUSB9"},
         {"@dev/ttyUSB0"}},
        {"TheNodeThatIsNoLinkWins", {{"dev/ttyUSB5", "/dev/null"}}, {}, {"@dev/ttyUSB5", "/dev/null"}, {"/dev/null"}},
        {"TwoLinksSideBySideKeepTheFirst",
         {{"dev/ttyUSB1", "/dev/null"}, {"dev/ttyUSB2", "/dev/null"}},
         {},
         {"@dev/ttyUSB1", "@dev/ttyUSB2"},
         {"@dev/ttyUSB1"}},
        {"TheKernelsNameFromSys",
         {{"dev/ttyUSB3", "/dev/null"}, {"dev/ttyUSB7", "/dev/null"}, sysNamesNullTtyUSB3},
         {"sys/devices/usb1/tty/ttyUSB3"},
         {"@dev/ttyUSB7", "@dev/ttyUSB3"},
         {"@dev/ttyUSB3"}},
        // /sys names a node of another device: the listed names decide.
        {"SysNamingAnotherDeviceIsIgnored",
         {{"dev/ttyUSB3", "/dev/zero"}, {"dev/ttyUSB7", "/dev/null"}, {"dev/ttyUSB8", "ttyUSB7"}, sysNamesNullTtyUSB3},
         {"sys/devices/usb1/tty/ttyUSB3"},
         {"@dev/ttyUSB8", "@dev/ttyUSB7"},
         {"@dev/ttyUSB7"}},
        // ls order puts ttyUSB10 first; the device keeps the place of its name.
        {"TheDeviceKeepsThePlaceOfItsName",
         {{"dev/ttyUSB2", "/dev/null"}, {"dev/ttyUSB10", "ttyUSB2"}, {"dev/ttyUSB1", "/dev/zero"}},
         {},
         {"@dev/ttyUSB10", "@dev/ttyUSB1", "@dev/ttyUSB2"},
         {"@dev/ttyUSB1", "@dev/ttyUSB2"}},
        {"PathsOfNoDeviceStayInTheirPlaces",
         {{"dev/ttyUSB4", "/nonexistent/tty"}, {"dev/ttyUSB6", "/dev/zero"}},
         {},
         {"@dev/ttyUSB4", "/nonexistent/ttyS0", "@dev/ttyUSB6", "/dev/null"},
         {"@dev/ttyUSB4", "/nonexistent/ttyS0", "@dev/ttyUSB6", "/dev/null"}},
    };
}

class OneNamePerDevice : public ::testing::TestWithParam<NamingCase>
{
};

TEST_P(OneNamePerDevice, ListsEachDeviceOnceUnderItsName)
{
    const NamingCase& c = GetParam();
    const FakeRoots roots;
    for (const std::string& dir : c.dirs) {
        roots.Dir(dir);
    }
    for (const auto& link : c.links) {
        roots.Link(link.first, link.second);
    }
    std::vector<std::string> listed;
    for (const std::string& path : c.listed) {
        listed.push_back(Resolve(roots, path));
    }
    std::vector<std::string> expected;
    for (const std::string& path : c.expected) {
        expected.push_back(Resolve(roots, path));
    }

    EXPECT_EQ(::OneNamePerDevice(listed, roots.Path("sys"), roots.Path("dev")), expected);
}

INSTANTIATE_TEST_SUITE_P(Devices, OneNamePerDevice, ::testing::ValuesIn(NamingCases()),
                         [](const ::testing::TestParamInfo<NamingCase>& info) { return info.param.name; });

// A typed item names a listed port by its short name, or by being another
// name of the same device; anything else names none.
TEST(PortItems, AnItemThatIsALinkNamesTheDeviceItPointsTo)
{
    const FakeRoots roots;
    roots.Link("dev/ttyUSB9", "/dev/null");
    roots.Link("dev/ttyUSB8", "/dev/random");
    const std::vector<std::string> candidates = {"/dev/zero", "/dev/null"};
    const struct
    {
        std::string path;
        std::string expected;
    } rows[] = {
        {"/dev/null", "/dev/null"},
        {roots.Path("dev/ttyUSB9"), "/dev/null"},
        {roots.Path("dev/ttyUSB8"), ""},
        {roots.Path("dev/missing"), ""},
        {roots.Path("dev"), ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CandidateOfPath(row.path, candidates), row.expected) << row.path;
    }
    // Short names are matched before devices, and an empty item names nothing.
    EXPECT_EQ(CCheckManager::CandidateOfItem("USB3", {"/dev/ttyUSB3", "/dev/null"}), "/dev/ttyUSB3");
    EXPECT_EQ(CCheckManager::CandidateOfItem("", {"/dev/tty", "/dev/null"}), "");
    EXPECT_EQ(CCheckManager::NamedPorts("USB3,,USB3", {"/dev/ttyS0", "/dev/ttyUSB3"}),
              (std::vector<std::string>{"/dev/ttyUSB3"}));
}

}  // namespace
