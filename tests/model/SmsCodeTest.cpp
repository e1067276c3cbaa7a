// The result codes' long texts and the English build's short labels.
#include <gtest/gtest.h>

#include "PhoneCardBase.h"

namespace {

struct CodeRow
{
    int code;
    const char* english;
    const char* label;
};

const CodeRow kCodes[] = {
    {SMS_SUCCEED, "Succeed", "Success"},
    {SMS_FAILED_UNKNOWN, "Failed Unknown Reason", "No AT"},
    {SMS_DEVICE_NOT_AT, "Device Not AT", "No AT"},
    {SMS_NOT_SUPPORTED_DEVICE, "Not VelTa Device", "No Velta Dev."},
    {SMS_NO_SIM_CARD, "No SIM CARD In Device", "No card"},
    {SMS_NO_SIGNAL, "No Signal", "No SIG"},
    {SMS_NO_SUCH_PORT, "No Such Port", "No port"},
    {SMS_NOT_SUPPORTED_SMS_DEVICE, "Not VelTa Sms Device", "No Velta Dev."},
    {SMS_SIM_LOCKED, "SIM locked", "SIM locked"},
    {SMS_NOT_REGISTERED, "Not registered", "Not registered"},
    {SMS_REGISTRATION_DENIED, "Registration denied", "Reg. denied"},
    {SMS_SIM_BUSY, "SIM busy", "SIM busy"},
    {SMS_SIM_FAILURE, "SIM failure", "SIM failure"},
    {13, "Unknown reason", "No AT"},
    {42, "Unknown reason", "No AT"},
    {-1, "Unknown reason", "No AT"},
};

TEST(SmsCode, EnglishTextsAndLabels)
{
    for (const CodeRow& row : kCodes) {
        const auto code = static_cast<SMS_CODE_ENUM>(row.code);
        EXPECT_EQ(GetSmsCodeEnglishStr(code), row.english) << row.code;
        EXPECT_EQ(GetSmsCodeChineseStr(code), row.label) << row.code;
    }
}

}  // namespace
