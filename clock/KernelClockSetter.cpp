#include "clock/KernelClockSetter.h"

#include <QtGlobal>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/timex.h>
#include <unistd.h>

namespace SetTimeCapability {

bool held()
{
    __user_cap_header_struct header {};
    header.version = _LINUX_CAPABILITY_VERSION_3;
    header.pid = 0;
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    return (data[CAP_TO_INDEX(CAP_SYS_TIME)].effective & CAP_TO_MASK(CAP_SYS_TIME)) != 0;
}

} // namespace SetTimeCapability

std::unique_ptr<KernelClockSetter> KernelClockSetter::create(QString *why)
{
    const bool capable = SetTimeCapability::held();
    QString reason;
    if (!capable)
        reason = QStringLiteral("the process does not hold CAP_SYS_TIME");
    else if (qEnvironmentVariableIsSet(SetTimeCapability::TestMarker))
        reason = QStringLiteral("refusing to touch the system clock in a test run that holds CAP_SYS_TIME");
    if (why)
        *why = reason;
    if (!reason.isEmpty())
        return nullptr;
    return std::unique_ptr<KernelClockSetter>(new KernelClockSetter);
}

int64_t KernelClockSetter::nowUs() const
{
    timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

bool KernelClockSetter::apply(const ClockSample &sample)
{
    timex tx {};
    tx.modes = 0;
    if (adjtimex(&tx) < 0) {
        m_lastError = QStringLiteral("adjtimex: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // A daemon that disciplines the clock clears STA_UNSYNC; stepping under it would fight it.
    if (!(tx.status & STA_UNSYNC)) {
        m_lastError = QStringLiteral("another daemon is synchronising the system clock");
        return false;
    }
    const int64_t delta = sample.offsetUs();
    if (delta > -SlewLimitUs && delta < SlewLimitUs) {
        timeval tv {};
        tv.tv_sec = time_t(delta / 1000000);
        tv.tv_usec = suseconds_t(delta % 1000000);
        if (adjtime(&tv, nullptr) != 0) {
            m_lastError = QStringLiteral("adjtime: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        m_stepped = false;
        return true;
    }
    // Stepped by the difference, so the time spent since the clock was read is not lost.
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    const int64_t ns = int64_t(now.tv_sec) * 1000000000 + now.tv_nsec + delta * 1000;
    timespec to {};
    to.tv_sec = time_t(ns / 1000000000);
    to.tv_nsec = long(ns % 1000000000);
    if (to.tv_nsec < 0) {
        to.tv_nsec += 1000000000;
        --to.tv_sec;
    }
    if (clock_settime(CLOCK_REALTIME, &to) != 0) {
        m_lastError = QStringLiteral("clock_settime: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_stepped = true;
    return true;
}
