// The Chinese build's short labels of the result codes; the long texts stay English.
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
    {SMS_SUCCEED, "Succeed", "成功"},
    {SMS_FAILED_UNKNOWN, "Failed Unknown Reason", "设备不AT"},
    {SMS_DEVICE_NOT_AT, "Device Not AT", "设备不AT"},
    {SMS_NOT_SUPPORTED_DEVICE, "Not VelTa Device", "不是Velta短信设备"},
    {SMS_NO_SIM_CARD, "No SIM CARD In Device", "设备未插卡"},
    {SMS_NO_SIGNAL, "No Signal", "设备无信号"},
    {SMS_NO_SUCH_PORT, "No Such Port", "没有此端口"},
    {SMS_NOT_SUPPORTED_SMS_DEVICE, "Not VelTa Sms Device", "不是Velta短信设备"},
    {SMS_SIM_LOCKED, "SIM locked", "SIM卡已锁"},
    {SMS_NOT_REGISTERED, "Not registered", "未注册网络"},
    {SMS_REGISTRATION_DENIED, "Registration denied", "网络拒绝注册"},
    {SMS_SIM_BUSY, "SIM busy", "SIM卡忙"},
    {SMS_SIM_FAILURE, "SIM failure", "SIM卡故障"},
    {13, "Unknown reason", "设备不AT"},
    {42, "Unknown reason", "设备不AT"},
    {-7, "Unknown reason", "设备不AT"},
};

TEST(SmsCodeZh, LabelsOfTheChineseCatalogue)
{
    for (const CodeRow& row : kCodes) {
        const auto code = static_cast<SMS_CODE_ENUM>(row.code);
        EXPECT_EQ(GetSmsCodeEnglishStr(code), row.english) << row.code;
        EXPECT_EQ(GetSmsCodeChineseStr(code), row.label) << row.code;
    }
}

}  // namespace
