#pragma once

#include "clock/PcClockBackend.h"

#include <memory>

// The process's right to change the system time (the effective CAP_SYS_TIME bit on Linux).
namespace SetTimeCapability {
bool held();
// The environment variable that marks a test run; while it is set, nothing in this process
// may hold a kernel clock setter.
inline constexpr const char *TestMarker = "CHRONODE_TESTING";
} // namespace SetTimeCapability

// Corrects the system clock with the kernel's own calls: corrections under 0.5 s are slewed
// (adjtime), larger ones stepped (clock_settime). It refuses to act while the kernel reports
// the clock synchronised by someone else (another daemon disciplining it).
class KernelClockSetter : public PcClockBackend
{
public:
    static constexpr int64_t SlewLimitUs = 500000;

    // Null, with the reason in *why, when the process lacks CAP_SYS_TIME, or when it holds it
    // inside a test run (tests must never reach the real clock).
    static std::unique_ptr<KernelClockSetter> create(QString *why = nullptr);

    Kind kind() const override { return Kind::Setter; }
    int64_t nowUs() const override;
    bool apply(const ClockSample &sample) override;
    bool lastApplyStepped() const override { return m_stepped; }

private:
    KernelClockSetter() = default;
    bool m_stepped = true;
};
