#ifndef TARNEL_CPHONE_MC323_ON_H
#define TARNEL_CPHONE_MC323_ON_H

#include <string>
#include <vector>

#include "PhoneCardBase.h"

// Huawei MC323 (CDMA): sends and reads Unicode text with its own commands.
class CPhone_MC323_ON : public CPhoneCardBase
{
public:
    std::string Get_ATI_Rsp() const override;
    bool IsATI_RspMatch(std::string rsp) const override;
    std::string GetCallCmd(std::string number) const override;
    bool OnCallCmdRsp(std::string rsp) override;
    std::string GetHungUpCmd() const override;
    bool OnHungUpCmdRsp(std::string rsp) override;
    std::string SetSmsPDUModeCmd() const override;
    int OnSendPduSmsContextCmdRsp(std::string rsp) override;
    std::string GetSendSMS_PhoneCmd(std::string phone) const override;
    bool OnSendSMS_PhoneCmd(std::string rsp) override;
    std::string GetReceiveSmsCmd() const override;
    bool OnReceiveSmsCmdRsp(std::string rsp) override;
    std::string GetIMSI_Cmd() const override;
    std::string GetIMEI_Cmd() const override;
    std::string GetQuerySmsCenterCmd() const override;
    std::string GetReadAllSmsCmd() const override;
    int OnReadAllSmsCmdRsp(std::string rsp) override;
    bool NotFinished() const override;
    std::string GetReadNextSmsCmd() override;
    int OnReadNextSmsCmdRsp(std::string rsp) override;
    // "AT^HCMGR=<index>\r\n": the CDMA read is the read-again too.
    std::string GetReadOneSmsCmd(int index) override;
    // The answer to it: RSP_OK for a message read whole, which replaces the
    // record read before at that index; otherwise as OnReadNextSmsCmdRsp.
    int OnReadOneSmsCmdRsp(std::string rsp) override;
    PHONE_TYPE_t GetPhoneType() const override;
    // A CDMA modem registers in one domain and has no GSM operator selection:
    // "AT+CREG?\r" only; no +CGREG, +CEREG or +COPS query (tests/fixtures/creg/CPhone_MC323_ON.txt).
    std::string GetRegistrationCmd(RegDomain_t domain) override;
    std::string GetOperatorFormatCmd() const override;
    std::string GetOperatorCmd() const override;
    // USSD is a GSM service: the CDMA modem has none.
    bool SupportsUssd() const override;
    std::vector<std::string> GetInitAtCmd() const override;
    std::vector<PDU_LONG_SMS_Base_t> GetSendLongPduSmsCmd(std::string phone, std::string text) override;
    std::vector<PDU_LONG_SMS_Base_t> GetSendSmsModePDUCmd(std::string phone, std::string text) override;

private:
    // An "AT^HCMGR=<i>" answer: its verdict and, for a complete answer with a
    // header, the record (`hasEntry`): the message, or SMS_KIND_UNREADABLE
    // when its text did not come whole (no length, or no Ctrl-Z right after
    // <length> bytes).
    int ReadHcmgrAnswer(const std::string& rsp, SmsRecvStruct_t& sms, bool& hasEntry);

    std::vector<SmsMode> m_vecPendingSms;  // messages listed but not read yet
};

#endif
