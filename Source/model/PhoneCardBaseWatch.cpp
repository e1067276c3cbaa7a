// New-message indications: what the modem offers, what it has set, setting
// them, and the status-report storage.
#include "PhoneCardBase.h"

std::string CPhoneCardBase::GetIndicationOfferCmd() const
{
    return "AT+CNMI=?\r";
}

int CPhoneCardBase::OnIndicationOfferRsp(std::string rsp)
{
    const ValueAnswer_t answer = FindValueAnswer(rsp, "+CNMI:");
    if (answer.verdict != RSP_MORE) {
        m_strIndicationOffer = answer.verdict == RSP_OK && answer.hasValue ? answer.value : std::string();
    }
    return answer.verdict;
}

std::string CPhoneCardBase::GetIndicationSettingCmd() const
{
    return "AT+CNMI?\r";
}

int CPhoneCardBase::OnIndicationSettingRsp(std::string rsp)
{
    const ValueAnswer_t answer = FindValueAnswer(rsp, "+CNMI:");
    if (answer.verdict != RSP_MORE) {
        m_strIndicationSetting = answer.verdict == RSP_OK && answer.hasValue ? answer.value : std::string();
    }
    return answer.verdict;
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
