#ifndef TARNEL_MODEMLOCK_H
#define TARNEL_MODEMLOCK_H

// One modem, one holder: the lock file of a whole USB modem, named after its
// USB position ("LCK..usb-1-1.3" in the lock folder, with the owner's PID as
// a port's lock file has it). A run takes it before the locks of the modem's
// AT ttys, so two runs can never each take a different AT tty of one modem.

#include <string>
#include <sys/types.h>

class CModemLock
{
public:
    // Takes the lock of the USB device at `position`, waiting up to `waitMs`
    // milliseconds for another program to let go (0: busy is an answer at
    // once); a stop request ends the wait. Where no lock folder exists there
    // is nothing to take and the lock counts as held.
    CModemLock(const std::string& position, int waitMs);
    // Lets go of the lock file when this object holds it.
    ~CModemLock();

    CModemLock(const CModemLock&) = delete;
    CModemLock& operator=(const CModemLock&) = delete;

    // Whether this object holds the modem (or there is no lock folder).
    bool Held() const { return m_bHeld; }
    // The holder's PID when not held; 0 when it cannot be told.
    pid_t BusyPid() const { return m_nBusyPid; }

    // The lock's name as the lock folder shows it without "LCK..": "usb-1-1.3".
    static std::string NameOf(const std::string& position);

private:
    std::string m_strLockPath;
    bool m_bHeld = false;
    pid_t m_nBusyPid = 0;
};

#endif
