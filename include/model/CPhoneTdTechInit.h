#ifndef TARNEL_CPHONETDTECHINIT_H
#define TARNEL_CPHONETDTECHINIT_H

#include <string>
#include <vector>

// The initialisation of TD Tech firmware (CPhone_TD_ME901, CPhone_TD_ME909,
// CPhone_TD_MH5000): unsolicited reports off, then caller ID, phase 2+
// messaging, new-message indications, no registration reports and all three
// storages on the SIM. `Family` is the class the model builds on otherwise;
// this one operation is laid over it.
template <class Family>
class CPhoneTdTechInit : public Family
{
public:
    // The base list, "AT^CURC=0\r\n", then the TD Tech set-up commands.
    std::vector<std::string> GetInitAtCmd() const override
    {
        std::vector<std::string> cmds = this->GetCurcInitAtCmd();
        for (const char* cmd : {"AT+CLIP=1\r\n", "AT+CSMS=1\r\n", "AT+CNMI=1,1,0,1,0\r\n", "AT+CREG=0\r\n",
                                "AT+CPMS=\"SM\",\"SM\",\"SM\"\r\n"}) {
            cmds.push_back(cmd);
        }
        return cmds;
    }
};

#endif
