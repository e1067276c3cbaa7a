// The journal directory: entries written whole and held by the run that
// wrote them, taken over only from runs that are gone, oldest first; files
// that are no entries left alone; first-seen records per SIM card.

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "SmsJournal.h"

namespace {

// A fresh directory, removed with what is in it.
class TempDir
{
public:
    TempDir()
    {
        char name[] = "/tmp/tarnel-journal-test.XXXXXX";
        m_path = mkdtemp(name) != nullptr ? name : "";
    }
    ~TempDir() { Remove(m_path); }
    const std::string& Path() const { return m_path; }

    std::vector<std::string> Files() const
    {
        std::vector<std::string> out;
        if (DIR* dir = opendir(m_path.c_str())) {
            while (const dirent* e = readdir(dir)) {
                if (e->d_name[0] != '.' || std::string(e->d_name).rfind(".tmp-", 0) == 0) {
                    out.push_back(e->d_name);
                }
            }
            closedir(dir);
        }
        return out;
    }

private:
    static void Remove(const std::string& path)
    {
        if (DIR* dir = opendir(path.c_str())) {
            while (const dirent* e = readdir(dir)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..") {
                    Remove(path + "/" + name);
                }
            }
            closedir(dir);
            rmdir(path.c_str());
        } else {
            unlink(path.c_str());
        }
    }
    std::string m_path;
};

SmsJournal::Entry_t EntryOf(const std::string& port, const std::vector<std::string>& texts)
{
    SmsJournal::Entry_t entry;
    entry.port = port;
    entry.msgs = Json::Value(Json::arrayValue);
    for (const std::string& text : texts) {
        Json::Value msg(Json::objectValue);
        msg["text"] = text;
        entry.msgs.append(msg);
    }
    return entry;
}

std::vector<std::string> TextsOf(const SmsJournal::Entry_t& entry)
{
    std::vector<std::string> out;
    for (const Json::Value& msg : entry.msgs) {
        out.push_back(msg["text"].asString());
    }
    return out;
}

TEST(SmsJournal, EntriesOfALiveRunAreNotTakenThoseOfAGoneOneAreOldestFirst)
{
    TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    auto earlier = std::make_unique<SmsJournal>(dir.Path() + "/a/b");  // made with its parents
    std::string error;
    ASSERT_TRUE(earlier->Keep(EntryOf("ttyUSB0", {"one", "two"}), error)) << error;
    ASSERT_TRUE(earlier->Keep(EntryOf("ttyUSB1", {"three"}), error)) << error;
    EXPECT_TRUE(earlier->HoldsEntries());

    SmsJournal next(dir.Path() + "/a/b/");
    EXPECT_TRUE(next.TakeLeftEntries().empty());  // the writer still lives

    earlier.reset();  // the run ended without handing its messages over
    const std::vector<SmsJournal::Entry_t> left = next.TakeLeftEntries();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].port, "ttyUSB0");
    EXPECT_EQ(TextsOf(left[0]), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(left[1].port, "ttyUSB1");
    EXPECT_EQ(TextsOf(left[1]), (std::vector<std::string>{"three"}));

    // Taken, they are this run's: a third run does not report them as well.
    SmsJournal third(dir.Path() + "/a/b");
    EXPECT_TRUE(third.TakeLeftEntries().empty());

    EXPECT_TRUE(next.RemoveHeldEntries());
    EXPECT_FALSE(next.HoldsEntries());
    EXPECT_TRUE(third.TakeLeftEntries().empty());
}

TEST(SmsJournal, FilesThatAreNoEntriesAreSkippedAndLeft)
{
    const std::vector<std::string> contents = {
        "",
        "not json",
        "[1, 2]",
        R"({"port": 5, "msgs": []})",
        R"({"port": "ttyUSB0", "msgs": {}})",
        R"({"port": "ttyUSB0"})",
    };
    for (const std::string& content : contents) {
        SCOPED_TRACE(content);
        TempDir dir;
        std::ofstream(dir.Path() + "/sms-000000000001-1-1-ttyUSB0.json") << content;
        SmsJournal journal(dir.Path());
        EXPECT_TRUE(journal.TakeLeftEntries().empty());
        EXPECT_TRUE(journal.RemoveHeldEntries());
        EXPECT_EQ(dir.Files(), std::vector<std::string>{"sms-000000000001-1-1-ttyUSB0.json"});
    }
}

TEST(SmsJournal, KeepFailsWhereNoDirectoryCanBeMade)
{
    TempDir dir;
    std::ofstream(dir.Path() + "/plain") << "x";
    SmsJournal journal(dir.Path() + "/plain/journal");
    std::string error;
    EXPECT_FALSE(journal.Keep(EntryOf("ttyUSB0", {"one"}), error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(journal.HoldsEntries());
}

TEST(SmsJournal, FirstSeenPerSimCardRoundTripsAndStaysInTheDirectory)
{
    TempDir dir;
    SmsJournal journal(dir.Path() + "/j");
    const std::map<std::string, int64_t> seen = {{"10086/7/2", 1700000000}, {"10010/9/3", 1700000600}};
    // A card's number is any text a modem gave: it never leaves the directory.
    for (const std::string sim : {"89860012345678901234", "../../etc/passwd", ""}) {
        SCOPED_TRACE(sim);
        EXPECT_TRUE(journal.LoadFirstSeen(sim).empty());
        ASSERT_TRUE(journal.SaveFirstSeen(sim, seen));
        EXPECT_EQ(journal.LoadFirstSeen(sim), seen);
        EXPECT_TRUE(journal.SaveFirstSeen(sim, {}));
        EXPECT_TRUE(journal.LoadFirstSeen(sim).empty());
    }
    std::ofstream(dir.Path() + "/j/parts-8986.json") << "{\"a/1/2\": \"soon\", \"b/2/2\": 5}";
    EXPECT_EQ(journal.LoadFirstSeen("8986"), (std::map<std::string, int64_t>{{"b/2/2", 5}}));
}

}  // namespace
