#include "clock/PcClockSync.h"

#include "averaging/AveragingEngine.h"
#include "clock/ChronySockFeed.h"
#include "clock/KernelClockSetter.h"
#include "core/ReceiverState.h"

#include <QCoreApplication>
#include <QSettings>
#include <QtDebug>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

int64_t floorDiv(int64_t a, int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Receivers whose time message can arrive just after the edge it names: a target in the
// first half second then belongs to the second before (the one the edge started).
bool announcesAfterEdge(int model)
{
    using namespace ReceiverModelCode;
    switch (model) {
    case M12: case M12Plus: case M12M: case UT: case UTPlus: case CnxtNavman: case Signav:
    case TxOncore: case Ssr6Tf: case Ssr6Tr: case SsrM8F: case SsrM8T:
        return true;
    default:
        return false;
    }
}

std::unique_ptr<PcClockBackend> makeBackend(const PcClockSettings &settings, QString *why)
{
    if (settings.method == PcClockSettings::KernelSetter)
        return KernelClockSetter::create(why);
    return std::make_unique<ChronySockFeed>(settings.chronySocket);
}

} // namespace

PcClockSync::PcClockSync(QObject *parent)
    : QObject(parent)
    , m_factory(makeBackend)
    , m_capable(SetTimeCapability::held)
    , m_buildDate(programBuildDate())
{
}

PcClockSync::~PcClockSync() = default;

QDate PcClockSync::programBuildDate()
{
    // __DATE__ is "Mmm dd yyyy".
    static const QDate date = [] {
        const QString text = QStringLiteral(__DATE__).simplified();
        static const char *const months[] = { "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
        const QStringList parts = text.split(QLatin1Char(' '));
        int month = 0;
        for (int i = 0; i < 12 && parts.size() == 3; ++i) {
            if (parts[0] == QLatin1String(months[i]))
                month = i + 1;
        }
        return parts.size() == 3 ? QDate(parts[2].toInt(), month, parts[1].toInt()) : QDate(2024, 1, 1);
    }();
    return date;
}

void PcClockSync::startUp()
{
    m_setPending = false;
    m_clockWasSet = false;
    m_lastTimeMessageUs = INT64_MIN;
    m_lastSampleSecond = INT64_MIN;
    setBias(0);
    loadSettings();
}

void PcClockSync::loadSettings()
{
    QSettings store;
    m_settings = PcClockSettings::load(store);
    if (m_settings.mode != PcClockSettings::Disable && m_settings.method == PcClockSettings::KernelSetter
        && !m_capable()) {
        qDebug("Failed to adjust privileges");
        emit capabilityWarning(capabilityWarningText(QString::fromLocal8Bit(std::strerror(EPERM))));
        m_settings.mode = PcClockSettings::Disable;
        PcClockSettings::storeModeOff(store);
        emit modeChanged(m_settings.mode);
    }
    m_backendProblem.clear();
    m_backend = m_factory(m_settings, &m_backendProblem);
    if (m_backend)
        m_backendProblem.clear();
}

QString PcClockSync::capabilityWarningText(const QString &systemError)
{
    const QString program = QCoreApplication::applicationFilePath();
    return QStringLiteral("<b>Chronode cannot set the system time</b><br/>because it cannot get the Set System Time Privilege.<br/>")
        + QStringLiteral("System Error: <br/>\"") + systemError.trimmed() + QLatin1Char('"')
        + QStringLiteral("<p><b>Disabling system clock synchronization.</b><br/>Use Set PC Clock on the main menu to re-enable.</p>")
        + QStringLiteral("<p>To correct, give the program the right to set the clock (CAP_SYS_TIME) with "
                         "<code>sudo setcap cap_sys_time+ep %1</code>, or run it under a service account that "
                         "holds it (a systemd service with <code>AmbientCapabilities=CAP_SYS_TIME</code>).<br/>")
              .arg(program.toHtmlEscaped())
        + QStringLiteral("The program must be started again for this change to take effect.</p>")
        + QStringLiteral("<p>Better still, let chrony keep the clock: choose \"Feed chrony\" in Set PC Clock and "
                         "add the refclock line to chrony.conf. The feed needs no privilege.</p>");
}

int64_t PcClockSync::pcNowUs() const
{
    if (m_backend)
        return m_backend->nowUs();
    timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

void PcClockSync::setBias(int bias)
{
    if (bias == m_bias)
        return;
    m_bias = bias;
    emit latencyBiasChanged(bias);
}

int PcClockSync::learnBias(int bias, int64_t errorMs)
{
    if (errorMs < -1000 || errorMs > 1000)
        return 0;
    // The error a second after a set is what the set missed by: a clock left behind
    // (error > 0) needs more added next time, one left ahead less.
    if (errorMs > 0)
        return std::min(bias, 998) + 1;
    if (errorMs < 0)
        return std::max(bias, -998) - 1;
    return bias;
}

QDateTime PcClockSync::targetTime(const ReceiverTime &receiverTime, int bias, int model, bool recentTimeMessage)
{
    const QDateTime whole = receiverTime.dateTime().addMSecs(-receiverTime.dateTime().time().msec());
    const int ms = receiverTime.milliseconds();
    const int offset = ms < 500 ? ms : ms - 1000;
    const int m = offset + bias;
    if (m < 0)
        return whole.addMSecs(-1000 + (m + 1000));
    if (m < 1000) {
        if (announcesAfterEdge(model) && m >= 1 && m <= 499 && recentTimeMessage)
            return whole.addMSecs(-1000 + m);
        return whole.addMSecs(m);
    }
    return whole.addMSecs(1000 + (m - 1000));
}

bool PcClockSync::inLeapWindow(const QDateTime &utc, int leapPending, const QDate &leapAnnouncedOn)
{
    const int secondOfDay = utc.time().msecsSinceStartOfDay() / 1000;
    if (leapPending != 0 && secondOfDay >= 86400 - LeapWindowSeconds)
        return true;
    return secondOfDay < LeapWindowSeconds && leapAnnouncedOn.isValid() && leapAnnouncedOn.addDays(1) == utc.date();
}

QString PcClockSync::pktwtLine(const QDateTime &target, int64_t errorMs)
{
    return QStringLiteral("$PKTWT,") + target.toUTC().toString(QStringLiteral("yyyyMMddhhmmss.zzz"))
        + QString::asprintf(",%i", int(std::clamp<int64_t>(errorMs, INT32_MIN, INT32_MAX)));
}

QString PcClockSync::pktwaLine(const QDateTime &receiverTime, const AveragingEngine &engine)
{
    QString line = QStringLiteral("$PKTWA,") + receiverTime.toUTC().addSecs(1).toString(QStringLiteral("yyyyMMdd,hhmmss.zzz"))
        + QLatin1Char(',') + engine.positionText(AveragingEngine::Which::Current, 3);
    line += engine.speedKnots() < 0.0 ? QStringLiteral(",") : QString::asprintf(",%05.1f", engine.speedKnots());
    line += QStringLiteral(",N");
    line += engine.headingDegrees() < 0.0 ? QStringLiteral(",") : QString::asprintf(",%05.1f", engine.headingDegrees());
    line += engine.timingSatellites() < 0 ? QStringLiteral(",") : QString::asprintf(",%2.2d", engine.timingSatellites());
    line += engine.fixQuality() < 0 ? QStringLiteral(",") : QString::asprintf(",%01i", engine.fixQuality());
    return line;
}

QString PcClockSync::counterText(quint32 value)
{
    return value == CounterLimit ? QString::asprintf("> %u", value) : QString::asprintf("%u", value);
}

void PcClockSync::noteClockSetShown(const QString &timeText)
{
    m_lastSyncText = timeText;
    if (m_clockResets < CounterLimit)
        ++m_clockResets;
    m_clockWasSet = false;
    emit countersChanged();
}

void PcClockSync::allowFarCorrectionOnce()
{
    m_allowFarOnce = true;
    m_refusedText.clear();
}

bool PcClockSync::timeUsable(const ReceiverState &state) const
{
    return state.receiverUtcDateTime.dateTime().isValid() && state.timeValidity != 0;
}

bool PcClockSync::guardRefuses(const QDateTime &target, int64_t pcMs)
{
    const int64_t distance = target.toMSecsSinceEpoch() - pcMs;
    const bool far = distance > FarCorrectionMs || distance < -FarCorrectionMs;
    const bool beforeBuild = target.date() < m_buildDate;
    if (!far && !beforeBuild) {
        m_refusalKind = 0;
        return false;
    }
    if (m_allowFarOnce)
        return false;
    const QString pc = QDateTime::fromMSecsSinceEpoch(pcMs, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    const QString to = target.toUTC().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    const QString text = beforeBuild
        ? QStringLiteral("Refused to set the PC clock from %1 to %2: the receiver's date is earlier than this program.").arg(pc, to)
        : QStringLiteral("Refused to set the PC clock from %1 to %2: a correction of more than one day.").arg(pc, to);
    const int64_t nowUs = pcMs * 1000;
    // Logged when the reason changes, then once a minute while it lasts.
    const int kind = beforeBuild ? 2 : 1;
    m_refusedText = text;
    if (kind != m_refusalKind || nowUs - m_lastRefusalLogUs >= 60000000) {
        qWarning("%s", qPrintable(text));
        m_lastRefusalLogUs = nowUs;
        m_refusalKind = kind;
        emit correctionRefused(text);
    }
    return true;
}

void PcClockSync::clockStep(ReceiverState &state, bool atPpsEdge)
{
    const PcClockSettings &p = m_settings;
    const int64_t pcUs = pcNowUs();
    const int64_t pcMs = floorDiv(pcUs, 1000);
    const bool recentTimeMessage = m_lastTimeMessageUs != INT64_MIN && pcUs - m_lastTimeMessageUs < 500000;
    if (!atPpsEdge)
        m_lastTimeMessageUs = pcUs;

    const ReceiverTime &rt = state.receiverUtcDateTime;
    const bool usable = timeUsable(state);
    m_pcTime = QDateTime::fromMSecsSinceEpoch(pcMs, Qt::UTC);
    if (usable) {
        m_errorMs = rt.dateTime().toMSecsSinceEpoch() - pcMs;
        state.pcClockOffsetMs = int32_t(std::clamp<int64_t>(-m_errorMs, INT32_MIN, INT32_MAX));
        if (state.leapSecondPending != 0)
            m_leapAnnouncedOn = rt.dateTime().date();
    }

    // Latency learning: at the edge after a second in which a set was due.
    if (atPpsEdge && m_setPending) {
        if (usable)
            setBias(learnBias(m_bias, m_errorMs));
        m_setPending = false;
    }

    const bool off = p.mode == PcClockSettings::Disable || !m_backend;
    const bool stepAllowed = atPpsEdge || p.overrideTraim;
    const bool integrityOk = !state.outOfLock || p.overrideIntegrity;
    const bool feed = m_backend && m_backend->kind() == PcClockBackend::Kind::Feed;

    bool due = false;
    if (usable && !off && stepAllowed) {
        if (feed) {
            due = true;
        } else {
            const int second = rt.second();
            switch (p.mode) {
            case PcClockSettings::OneTime:
            case PcClockSettings::EverySecond:
                due = true;
                break;
            case PcClockSettings::EveryMinute:
                due = second == 0;
                break;
            case PcClockSettings::EveryHour:
                due = second == 0 && rt.minute() == 0;
                break;
            case PcClockSettings::EveryDay:
                due = second == 0 && rt.minute() == 0 && rt.hour() == 0;
                break;
            default:
                break;
            }
            if (p.thresholdOn && std::abs(m_errorMs) >= p.thresholdMs)
                due = true;
            if (due)
                m_setPending = true;
        }
    }

    if (due) {
        const QDateTime target = targetTime(rt, feed ? 0 : m_bias, state.receiverModel, recentTimeMessage);
        m_pcTime = target;
        const int64_t limit = p.maxCorrectionSeconds();
        bool skip = limit > 0 && std::abs(m_errorMs) / 1000 > limit;
        skip = skip || inLeapWindow(rt.dateTime(), state.leapSecondPending, m_leapAnnouncedOn);
        skip = skip || guardRefuses(target, pcMs);
        // A feed hands chrony one sample per receiver second.
        const int64_t second = floorDiv(target.toMSecsSinceEpoch() + 500, 1000);
        skip = skip || (feed && second == m_lastSampleSecond);
        if (skip) {
            m_setPending = false;
        } else if (integrityOk) {
            ClockSample sample;
            sample.pcUs = pcUs;
            sample.targetUs = target.toMSecsSinceEpoch() * 1000;
            sample.leap = (state.leapSecondPending == 1 || state.leapSecondPending == 2) ? state.leapSecondPending : 0;
            if (m_backend->apply(sample)) {
                const bool farAllowance = m_allowFarOnce;
                if (farAllowance && !feed)
                    m_allowFarOnce = false;
                if (feed) {
                    m_lastSampleSecond = second;
                    if (m_ntpHits < CounterLimit)
                        ++m_ntpHits;
                    emit countersChanged();
                } else {
                    qDebug("Time Set OK");
                    m_clockWasSet = true;
                    if (!m_backend->lastApplyStepped())
                        m_setPending = false;   // a slew: nothing to learn a second later
                    if (p.mode == PcClockSettings::OneTime) {
                        m_settings.mode = PcClockSettings::Disable;
                        emit modeChanged(m_settings.mode);
                    }
                    if (m_log && m_log->nmeaLogOpen())
                        m_log->writeNmeaLine(pktwtLine(target, m_errorMs));
                }
            }
        }
    }
    if (feed && m_allowFarOnce && usable && std::abs(m_errorMs) <= FarCorrectionMs && rt.dateTime().date() >= m_buildDate)
        m_allowFarOnce = false;   // chrony has brought the clock back within a day

    writeLogLines(state);
}

void PcClockSync::writeLogLines(ReceiverState &state)
{
    state.gpsLogWriteNow = m_log ? m_log->writeNow(state) : false;
    if (!m_log || !m_engine || !state.gpsLogWriteNow || !m_log->nmeaLogOpen())
        return;
    if (!state.receiverUtcDateTime.dateTime().isValid())
        return;
    // The edge and the time message of one second name the same record: written once.
    const QDateTime second = state.receiverUtcDateTime.dateTime();
    if (second == m_lastPktwaTime)
        return;
    m_lastPktwaTime = second;
    m_log->writeNmeaLine(pktwaLine(second, *m_engine));
}
