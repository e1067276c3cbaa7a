// Time stamps as instants: the zone octet's sign and quarter hours, dates
// across day, year and leap-day boundaries, and stamps that name no instant.
// The expected instants were computed apart from this code (Python's datetime).

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "SmsTime.h"

namespace {

struct StampCase
{
    const char* name;
    const char* digits;  // as the decoder writes tp_scts
    bool valid;
    int64_t utc;
};

std::ostream& operator<<(std::ostream& os, const StampCase& c)
{
    return os << c.name;
}

const StampCase STAMP_CASES[] = {
    {"Utc", "23051708300000", true, 1684312200},
    {"EastPlus32Quarters", "23051708300032", true, 1684283400},          // 00:30 UTC
    {"WestMinus20Quarters", "230517083000A0", true, 1684330200},         // 13:30 UTC
    {"EastAcrossNewYear", "24010102000032", true, 1704045600},           // 2023-12-31 18:00 UTC
    {"WestAcrossLeapDay", "240229230000A0", true, 1709265600},           // 2024-03-01 04:00 UTC
    {"LowerCaseSign", "230517083000a0", true, 1684330200},
    {"LastCenturyYear", "99123123595900", true, 946684799},
    {"NoLeapDay2023", "23022908300000", false, 0},
    {"MonthThirteen", "23131708300000", false, 0},
    {"SecondSixty", "23051708306000", false, 0},
    {"ZoneBeyondFourteenHours", "23051708300075", false, 0},
    {"ZoneUnitsNotDecimal", "2305170830003A", false, 0},
    {"NotDecimal", "2305170830F000", false, 0},
    {"ThirteenCharacters", "2305170830000", false, 0},
};

class TimeStamp : public ::testing::TestWithParam<StampCase>
{
};

TEST_P(TimeStamp, Instant)
{
    const StampCase& c = GetParam();
    int64_t utc = -1;
    EXPECT_EQ(gsmTimeStampToUtc(c.digits, &utc), c.valid);
    EXPECT_EQ(utc, c.valid ? c.utc : -1);
}

INSTANTIATE_TEST_SUITE_P(Stamps, TimeStamp, ::testing::ValuesIn(STAMP_CASES),
                         [](const ::testing::TestParamInfo<StampCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
