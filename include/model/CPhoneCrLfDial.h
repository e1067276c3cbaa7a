#ifndef TARNEL_CPHONECRLFDIAL_H
#define TARNEL_CPHONECRLFDIAL_H

#include <string>

// Dialling and hanging up of the firmware families that want CR LF after
// "ATD<number>;" and hang up with "at+chup;": the ^ICCID models
// (CPhoneCaretIccid) and the Yuga and MeiG modules (CPhoneYugaMeig). Neither
// step is driven by the program, so any answer counts. `Family` is the class
// the family builds on; these four operations are laid over it.
template <class Family>
class CPhoneCrLfDial : public Family
{
public:
    std::string GetCallCmd(std::string number) const override { return "ATD" + number + ";\r\n"; }
    bool OnCallCmdRsp(std::string rsp) override { return !rsp.empty(); }
    std::string GetHungUpCmd() const override { return "at+chup;\r\n"; }
    bool OnHungUpCmdRsp(std::string rsp) override { return !rsp.empty(); }
};

#endif
