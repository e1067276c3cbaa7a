// Parsing stored-message listings and joining concatenated parts.
#include "PhoneCardBase.h"

// filled in with the send/read work
int CPhoneCardBase::OnReadAllSmsCmdRsp(std::string)
{
    return RSP_ERROR;
}

// filled in with the send/read work
std::vector<SmsInfo> CPhoneCardBase::SmsRspToSmsInfoVec(const std::string&)
{
    return {};
}

// filled in with the send/read work
SmsMode CPhoneCardBase::StrToSmsMode(std::string)
{
    return SmsMode();
}

// filled in with the send/read work
std::string CPhoneCardBase::ReceiveTimeToReadStr(const char*)
{
    return "";
}

// filled in with the send/read work
std::vector<SmsRecvStruct_t> CPhoneCardBase::SmsInfoVecToSmsRecvStructVec(const std::vector<SmsInfo>&)
{
    return {};
}

// filled in with the send/read work
bool CPhoneCardBase::lessSmsInfo(const SmsInfo&, const SmsInfo&)
{
    return false;
}

// filled in with the send/read work
bool CPhoneCardBase::LessLongSms(const SmsInfo&, const SmsInfo&)
{
    return false;
}

// filled in with the send/read work
bool CPhoneCardBase::IsHexChar(char)
{
    return false;
}

// ---- reading one message at a time (models without a "+CMGL" listing)

// filled in with the send/read work
int CPhoneCardBase::OnCmgdIndexListRsp(const std::string&, std::vector<std::string>&)
{
    return RSP_ERROR;
}

// filled in with the send/read work
std::string CPhoneCardBase::TakeNextCmgrCmd(std::vector<std::string>&)
{
    return "";
}

// filled in with the send/read work
bool CPhoneCardBase::OnCmgrReadRsp(const std::string&, const std::vector<std::string>&, std::vector<SmsInfo>&)
{
    return false;
}
