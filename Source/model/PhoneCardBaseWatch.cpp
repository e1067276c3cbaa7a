// New-message indications: what the modem offers, what it has set, setting
// them, and the status-report storage.
#include "PhoneCardBase.h"

int CPhoneCardBase::KeepAnswerValue(const ValueAnswer_t& answer, std::string& value)
{
    if (answer.verdict != RSP_MORE) {
        value = answer.verdict == RSP_OK && answer.hasValue ? answer.value : std::string();
    }
    return answer.verdict;
}

std::string CPhoneCardBase::GetIndicationOfferCmd() const
{
    return "AT+CNMI=?\r";
}

int CPhoneCardBase::OnIndicationOfferRsp(std::string rsp)
{
    return KeepAnswerValue(FindValueAnswer(rsp, "+CNMI:"), m_strIndicationOffer);
}

std::string CPhoneCardBase::GetIndicationSettingCmd() const
{
    return "AT+CNMI?\r";
}

int CPhoneCardBase::OnIndicationSettingRsp(std::string rsp)
{
    return KeepAnswerValue(FindValueAnswer(rsp, "+CNMI:"), m_strIndicationSetting);
}

std::string CPhoneCardBase::GetSetIndicationCmd(const IndicationSetting_t& setting) const
{
    return setting.count > 0 ? IndicationSettingCmd(setting) : std::string();
}

int CPhoneCardBase::OnSetIndicationRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp);
}

std::string CPhoneCardBase::GetReadSmsOnSrCmd() const
{
    return "AT+CPMS=\"SR\"\r\n";
}

int CPhoneCardBase::OnGetReadSmsOnSrCmd(std::string rsp)
{
    return OnOkErrorRsp(rsp);
}

std::vector<NewMessage_t> CPhoneCardBase::TakeNewMessages(std::string& pending) const
{
    return TakeNewMessageIndications(pending);
}
