#include "ModemLock.h"

#include <poll.h>

#include "PortLock.h"
#include "StopSignal.h"
#include "basic.h"

namespace {

// How often a wait for a held modem looks again.
const int64_t RETRY_USEC = 100000;

// Sleeps `usec` or until a stop is requested.
void PauseUnlessStopped(int64_t usec)
{
    struct pollfd wake = {StopWakeDescriptor(), POLLIN, 0};
    const int ms = static_cast<int>(usec / 1000);
    poll(wake.fd >= 0 ? &wake : nullptr, wake.fd >= 0 ? 1 : 0, ms);
}

}  // namespace

std::string CModemLock::NameOf(const std::string& position)
{
    return "usb-" + position;
}

CModemLock::CModemLock(const std::string& position, int waitMs)
{
    const int64_t deadline = MonotonicUsec() + int64_t{waitMs > 0 ? waitMs : 0} * 1000;
    for (;;) {
        pid_t holder = 0;
        const int taken = portlock_take(NameOf(position), m_strLockPath, &holder);
        if (taken >= 0) {
            m_bHeld = true;  // ours, or no lock folder to guard with
            m_nBusyPid = 0;
            return;
        }
        m_nBusyPid = portlock_errno == PORTLOCK_EBUSY ? holder : 0;
        const int64_t now = MonotonicUsec();
        if (portlock_errno != PORTLOCK_EBUSY || now >= deadline || StopRequested()) {
            return;
        }
        PauseUnlessStopped(std::min(RETRY_USEC, deadline - now));
    }
}

CModemLock::~CModemLock()
{
    portlock_release(m_strLockPath);
}
