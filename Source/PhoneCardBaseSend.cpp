// Building the send steps of an SMS and judging the two answers of each step.
#include "PhoneCardBase.h"

// filled in with the send/read work
std::vector<PDU_LONG_SMS_Base_t> CPhoneCardBase::GetSendPduSmsCmdArray(std::string, std::string)
{
    return {};
}

// filled in with the send/read work
int CPhoneCardBase::OnSendPduSmsContextCmdRsp(std::string)
{
    return RSP_ERROR;
}

// filled in with the send/read work
int CPhoneCardBase::OnSendPduSmsLenCmdRsp(std::string)
{
    return RSP_ERROR;
}

// filled in with the send/read work
std::vector<PDU_LONG_SMS_Base_t> CPhoneCardBase::GetSendLongPduSmsCmd(std::string, std::string)
{
    return {};
}

// filled in with the send/read work
std::vector<PDU_LONG_SMS_Base_t> CPhoneCardBase::GetSendSmsModePDUCmd(std::string, std::string)
{
    return {};
}

// filled in with the send/read work
bool CPhoneCardBase::IsLongSms(const std::string&)
{
    return false;
}

// filled in with the send/read work
CountryCode_t CPhoneCardBase::JudgePhoneCountryCode(const std::string&)
{
    return CountryCode_t();
}

// filled in with the send/read work
std::string CPhoneCardBase::ModifyPhoneCode(const std::string& phone, bool)
{
    return phone;
}
