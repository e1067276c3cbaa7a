// The pure parsers of the health answers, one table each.
#include <gtest/gtest.h>

#include "ModemHealth.h"

namespace {

TEST(HealthParse, SignalInDbmAndAWord)
{
    const struct
    {
        const char* csq;
        SignalQuality_t quality;
        int dbm;
    } rows[] = {
        {" 0,99", SIGNAL_POOR, -113},      {" 9,99", SIGNAL_POOR, -95},    {" 10,99", SIGNAL_FAIR, -93},
        {" 14,0", SIGNAL_FAIR, -85},       {" 15,99", SIGNAL_GOOD, -83},   {" 19,99", SIGNAL_GOOD, -75},
        {" 20,99", SIGNAL_EXCELLENT, -73}, {" 23,99", SIGNAL_EXCELLENT, -67}, {"31,99", SIGNAL_EXCELLENT, -51},
        {" 017,99", SIGNAL_GOOD, -79},     {" 99,99", SIGNAL_UNKNOWN, 0},  {" 40,99", SIGNAL_UNKNOWN, 0},
        {" 32", SIGNAL_UNKNOWN, 0},        {"", SIGNAL_UNKNOWN, 0},        {" ,99", SIGNAL_UNKNOWN, 0},
        {" -1,99", SIGNAL_UNKNOWN, 0},     {" 99999999999,1", SIGNAL_UNKNOWN, 0}, {"\"23\",99", SIGNAL_UNKNOWN, 0},
    };
    for (const auto& row : rows) {
        const SignalHealth_t signal = ParseSignal(row.csq);
        EXPECT_STREQ(SignalQualityName(signal.quality), SignalQualityName(row.quality)) << row.csq;
        if (row.quality != SIGNAL_UNKNOWN) {
            EXPECT_EQ(signal.dbm, row.dbm) << row.csq;
        }
    }
}

TEST(HealthParse, SimStateOfErrorLines)
{
    const struct
    {
        const char* line;
        SimState_t state;
        const char* lock;
    } rows[] = {
        {"+CME ERROR: 10", SIM_STATE_ABSENT, ""},
        {"+CME ERROR: 010", SIM_STATE_ABSENT, ""},
        {"+CMS ERROR: 310", SIM_STATE_ABSENT, ""},
        {"+CMS ERROR: 10", SIM_STATE_UNKNOWN, ""},  // a +CMS number of its own
        {"+CME ERROR: 11", SIM_STATE_PIN, "SIM PIN"},
        {"+CMS ERROR: 316", SIM_STATE_PUK, "SIM PUK"},
        {"+CME ERROR: 5", SIM_STATE_OTHER_LOCK, "PH-SIM PIN"},
        {"+CMS ERROR: 312", SIM_STATE_OTHER_LOCK, "PH-SIM PIN"},
        {"+CME ERROR: 40", SIM_STATE_OTHER_LOCK, "PH-NET PIN"},
        {"+CME ERROR: 13", SIM_STATE_FAILURE, ""},
        {"+CME ERROR: 15", SIM_STATE_FAILURE, ""},
        {"+CME ERROR: 14", SIM_STATE_BUSY, ""},
        {"+CME ERROR: sim busy", SIM_STATE_BUSY, ""},
        {"+CME ERROR: SIM PUK required", SIM_STATE_PUK, "SIM PUK"},
        {"+CMS ERROR: SIM failure", SIM_STATE_FAILURE, ""},
        {"+CME ERROR: network personalization PIN required", SIM_STATE_OTHER_LOCK, "PH-NET PIN"},
        {"+CME ERROR: SIM not inserted yet", SIM_STATE_UNKNOWN, ""},
        {"+CME ERROR: 0", SIM_STATE_UNKNOWN, ""},
        {"+CMS ERROR: 0", SIM_STATE_UNKNOWN, ""},
        {"+CME ERROR: ", SIM_STATE_UNKNOWN, ""},
        {"+CME ERROR", SIM_STATE_UNKNOWN, ""},
        {"ERROR", SIM_STATE_UNKNOWN, ""},
        {"", SIM_STATE_UNKNOWN, ""},
    };
    for (const auto& row : rows) {
        const SimHealth_t sim = SimStateOfError(row.line);
        EXPECT_STREQ(SimStateName(sim.state), SimStateName(row.state)) << row.line;
        EXPECT_EQ(sim.lock, row.lock) << row.line;
    }
}

TEST(HealthParse, Ucs2HexToUtf8)
{
    const struct
    {
        const char* hex;
        bool ok;
        const char* utf8;
    } rows[] = {
        {"0054006500730074", true, "Test"},
        {"4e2d56fd", true, "\xE4\xB8\xAD\xE5\x9B\xBD"},
        {"00E9", true, "\xC3\xA9"},
        {"D83DDE00", true, "\xF0\x9F\x98\x80"},  // a surrogate pair
        {"D83D", false, ""},                     // a high surrogate alone
        {"DE00", false, ""},                     // a low surrogate alone
        {"D83DD83D", false, ""},
        {"0000", false, ""},
        {"005", false, ""},
        {"00G4", false, ""},
        {"", false, ""},
    };
    for (const auto& row : rows) {
        std::string utf8 = "untouched";
        EXPECT_EQ(DecodeUcs2Hex(row.hex, utf8), row.ok) << row.hex;
        EXPECT_EQ(utf8, row.ok ? row.utf8 : "untouched") << row.hex;
    }
}

TEST(HealthParse, TechnologyNames)
{
    const struct
    {
        int act;
        const char* name;
    } rows[] = {{0, "gsm"}, {2, "umts"}, {3, "edge"}, {6, "hspa"}, {7, "lte"}, {9, "nb-iot"},
                {11, "nr"}, {13, "lte+nr"}, {14, "unknown"}, {-1, "unknown"}, {9999, "unknown"}};
    for (const auto& row : rows) {
        EXPECT_STREQ(TechnologyName(row.act), row.name) << row.act;
    }
}

TEST(HealthParse, RadioOff)
{
    const struct
    {
        const char* cfun;
        bool off;
    } rows[] = {{" 1", false}, {" 0", true}, {" 4", true}, {"", false}, {" x", false}, {" 1,0", false}};
    for (const auto& row : rows) {
        EXPECT_EQ(ParseRadioOff(row.cfun), row.off) << row.cfun;
    }
}

// The operator's technology when +COPS gives none: a registered domain's, LTE first.
TEST(HealthParse, TechnologyFallsBackToARegisteredDomain)
{
    ModemHealth_t health;
    EXPECT_EQ(HealthTechnology(health), -1);
    health.domains[REG_DOMAIN_CS] = {REG_STATE_HOME, 0};
    health.domains[REG_DOMAIN_EPS] = {REG_STATE_SEARCHING, 7};
    EXPECT_EQ(HealthTechnology(health), 0);
    health.domains[REG_DOMAIN_EPS] = {REG_STATE_ROAMING, 7};
    EXPECT_EQ(HealthTechnology(health), 7);
    health.operatorAct = 2;
    EXPECT_EQ(HealthTechnology(health), 2);
}

}  // namespace
