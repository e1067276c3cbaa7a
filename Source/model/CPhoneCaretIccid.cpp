#include "CPhoneCaretIccid.h"

std::string CPhoneCaretIccid::GetIMSI_Cmd() const
{
    return "AT^ICCID?\r\n";
}

// no +CCID on this firmware: AT^ICCID? -> ^ICCID: <iccid> then OK (fixtures iccid/<model>.txt)
int CPhoneCaretIccid::OnGetIMSI_CmdRsp(std::string rsp)
{
    return OnCaretIccidRsp(rsp);
}

// ^RSSI/^MODE lines would come unasked between the answers until AT^CURC=0
std::vector<std::string> CPhoneCaretIccid::GetInitAtCmd() const
{
    return GetCurcInitAtCmd();
}
