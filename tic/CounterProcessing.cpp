#include "tic/CounterProcessing.h"

#include "core/ReceiverState.h"
#include "timescale/TimeScales.h"

#include <QDateTime>
#include <cmath>

namespace {

constexpr double kNotAReadingUs = 1e9;   // readings this large (or SCPI's 9.91E37) are notes
constexpr int kKeptSeconds = 16;          // sawtooth values kept for pairing

} // namespace

double CounterProcessing::bareUnitToUs(BareUnit unit)
{
    switch (unit) {
    case BareUnit::Seconds: return 1e6;
    case BareUnit::Milliseconds: return 1e3;
    case BareUnit::Microseconds: return 1.0;
    case BareUnit::Nanoseconds: return 1e-3;
    case BareUnit::Picoseconds: return 1e-6;
    }
    return 1e6;
}

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Length of the number at the start of `t`: [-+]?([0-9]+\.?[0-9]*|\.[0-9]+), then an
// optional exponent [eE][-+]?[0-9]+ (its length in *exponentLength). 0 when there is none.
qsizetype numberLength(const QByteArray &t, qsizetype *exponentLength)
{
    qsizetype i = 0;
    const qsizetype n = t.size();
    if (i < n && (t[i] == '-' || t[i] == '+'))
        ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(t[i]))
        ++i, ++digits;
    if (i < n && t[i] == '.') {
        ++i;
        qsizetype fraction = 0;
        while (i < n && isDigit(t[i]))
            ++i, ++fraction;
        if (digits == 0 && fraction == 0)
            return 0;
    } else if (digits == 0) {
        return 0;
    }
    *exponentLength = 0;
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        qsizetype j = i + 1;
        if (j < n && (t[j] == '-' || t[j] == '+'))
            ++j;
        const qsizetype first = j;
        while (j < n && isDigit(t[j]))
            ++j;
        if (j > first) {
            *exponentLength = j - i;
            i = j;
        }
    }
    return i;
}

} // namespace

CounterProcessing::Normalised CounterProcessing::normalise(const QByteArray &raw, BareUnit bare)
{
    Normalised n;
    QByteArray t = raw.trimmed();
    n.text = QString::fromUtf8(t);
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('#') || t.contains(':'))
        return n;
    // Decimal separators: a lone comma is the decimal mark; a mark that occurs more than once
    // groups digits and goes; with one of each, the later one is the decimal mark.
    const qsizetype commas = t.count(',');
    const qsizetype stops = t.count('.');
    if (commas > 1 || (commas == 1 && stops == 1 && t.indexOf(',') < t.indexOf('.'))) {
        t.replace(",", "");
    } else if (stops > 1 || (commas == 1 && stops == 1)) {
        t.replace(".", "");
        t.replace(',', '.');
    } else if (commas == 1) {
        t.replace(',', '.');
    }
    qsizetype exponentLength = 0;
    const qsizetype length = numberLength(t, &exponentLength);
    if (length == 0)
        return n;
    const bool exponent = exponentLength > 0;
    const QByteArray suffix = t.mid(length).trimmed();
    bool ok = false;
    const double value = t.left(length).toDouble(&ok);
    if (!ok)
        return n;
    double scale;
    if (suffix.isEmpty())
        scale = exponent ? 1e6 : bareUnitToUs(bare);
    else if (suffix == "s" || suffix == "chA" || suffix == "chB" || suffix == "TI(A->B)")
        scale = 1e6;
    else if (suffix == "ms")
        scale = 1e3;
    else if (suffix == "us" || suffix == "\xc2\xb5s" || suffix == "\xb5s" || suffix == "\xce\xbcs")
        scale = 1.0;
    else if (suffix == "ns")
        scale = 1e-3;
    else if (suffix == "ps")
        scale = 1e-6;
    else
        return n;   // a unit nobody knows is no measurement
    const double us = value * scale;
    if (!std::isfinite(us) || std::fabs(us) >= kNotAReadingUs)
        return n;
    n.reading = true;
    n.us = us;
    n.text = QString::asprintf(exponent ? "%.6f" : "%09.6f", us);
    return n;
}

double CounterProcessing::wrap(double us)
{
    double v = std::fmod(us, 1000000.0);
    if (v > 500000.0)
        v -= 1000000.0;
    else if (v < -500000.0)
        v += 1000000.0;
    return v;
}

CounterProcessing::CounterProcessing(QObject *parent)
    : QObject(parent)
{
    m_epoch = m_delays.epochOffsets();
}

void CounterProcessing::setDelays(const TimingDelays &delays)
{
    if (delays.sawtoothMode != m_delays.sawtoothMode)
        for (PortState &p : m_ports)
            p.restart = true;
    m_delays = delays;
    m_epoch = delays.epochOffsets();
}

double CounterProcessing::appliedDelayNs() const
{
    if (m_receiverMode == 2)
        return m_delays.measurementCableDelayNs + m_delays.rxDelayNs;
    return m_delays.utcCorrectionNs();
}

void CounterProcessing::setBareUnit(int port, BareUnit unit)
{
    if (port >= 1 && port <= Ports)
        st(port).bare = unit;
}

QString CounterProcessing::timeTag(qint64 utcSecond) const
{
    if (utcSecond == m_tagSecond && m_tagFormat == m_timeTagFormat)
        return m_tag;
    const QDateTime utc = QDateTime::fromSecsSinceEpoch(utcSecond, Qt::UTC);
    switch (m_timeTagFormat) {
    case 1:
        m_tag = TimeScales::mjdTagText(utc);
        break;
    case 2:
        m_tag = TimeScales::excelDayNumberText(utc);
        break;
    default:
        m_tag = TimeScales::yearAndDayText(utc);
        break;
    }
    m_tagSecond = utcSecond;
    m_tagFormat = m_timeTagFormat;
    return m_tag;
}

QString CounterProcessing::collapse(const QString &line)
{
    QString out;
    out.reserve(line.size());
    for (const QChar c : line) {
        if (c == QLatin1Char(' ') && (out.isEmpty() || out.back() == QLatin1Char(' ')))
            continue;
        out.append(c);
    }
    if (out.endsWith(QLatin1Char(' ')))
        out.chop(1);
    return out;
}

bool CounterProcessing::sawtoothFlowing(qint64 second) const
{
    return !m_sawtooth.isEmpty() && m_sawtooth.lastKey() >= second - 3;
}

void CounterProcessing::receiverSawtooth(qint64 pulseSecond, double ns)
{
    m_sawtooth.insert(pulseSecond, ns);
    while (m_sawtooth.size() > kKeptSeconds)
        m_sawtooth.erase(m_sawtooth.begin());
    releasePending(pulseSecond, false);
}

void CounterProcessing::tick(qint64 utcSecond)
{
    releasePending(utcSecond, false);
}

void CounterProcessing::releasePending(qint64 now, bool force)
{
    for (int port = 1; port <= Ports; ++port) {
        PortState &p = st(port);
        while (!p.pending.isEmpty()) {
            const Pending &head = p.pending.first();
            const auto it = m_sawtooth.constFind(head.second);
            const bool late = force || now >= head.second + 2
                || (!m_sawtooth.isEmpty() && m_sawtooth.lastKey() > head.second);
            if (it == m_sawtooth.constEnd() && !late)
                break;
            const Pending item = p.pending.takeFirst();
            handleReading(port, item.second, item.value,
                          it != m_sawtooth.constEnd() ? std::optional<double>(it.value()) : std::nullopt);
        }
    }
}

void CounterProcessing::processTicLine(const QByteArray &line, qint64 utcSecond)
{
    QByteArray text = line;
    while (text.endsWith('\r') || text.endsWith('\n'))
        text.chop(1);
    Q_EMIT rawLine(QString::fromUtf8(text));
    if (text.startsWith(';'))
        return;   // a comment without a port
    const qsizetype blank = text.indexOf(' ');
    bool ok = false;
    const int port = text.left(blank < 0 ? text.size() : blank).toInt(&ok);
    if (!ok || port < 1 || port > Ports)
        return;
    const QByteArray reading = blank < 0 ? QByteArray() : text.mid(blank + 1);
    PortState &p = st(port);
    const Normalised n = normalise(reading, p.bare);
    if (!n.reading) {
        if (n.text.isEmpty())
            p.restart = true;   // an empty reading starts the sawtooth decision again
        handleNote(port, utcSecond, n.text);
        return;
    }
    releasePending(utcSecond, false);
    const auto it = m_sawtooth.constFind(utcSecond);
    if (m_delays.sawtoothMode == TimingDelays::Off || it != m_sawtooth.constEnd() || !sawtoothFlowing(utcSecond)) {
        handleReading(port, utcSecond, n,
                      it != m_sawtooth.constEnd() ? std::optional<double>(it.value()) : std::nullopt);
        return;
    }
    // The receiver's value for this pulse is still to come: the reading waits for it.
    p.pending.append({ utcSecond, n });
}

void CounterProcessing::handleNote(int port, qint64 second, const QString &text)
{
    // Notes (headers, summaries, colon lines, values that are no reading) are shown, never
    // averaged or corrected.
    const QString line = timeTag(second) + QLatin1Char(' ') + QString::number(port) + QLatin1Char(' ') + text;
    Q_EMIT processedText(QStringLiteral("%1 %2").arg(port).arg(line));
}

double CounterProcessing::correctSawtooth(PortState &p, double r, std::optional<double> sawtoothUs)
{
    if (p.restart) {
        p.restart = false;
        p.filled = 0;
        p.write = 0;
        p.votes = 0;
        switch (m_delays.sawtoothMode) {
        case TimingDelays::Automatic: p.decided = false; p.add = true; break;
        case TimingDelays::Add: p.decided = true; p.add = true; break;
        case TimingDelays::Subtract: p.decided = true; p.add = false; break;
        default: p.decided = false; break;
        }
    }
    if (m_delays.sawtoothMode == TimingDelays::Off || !sawtoothUs)
        return r;
    const double s = *sawtoothUs;
    p.readings[std::size_t(p.write)] = r;
    p.sawtooth[std::size_t(p.write)] = s;
    p.write = (p.write + 1) % 5;
    p.filled = std::min(p.filled + 1, 5);
    if (p.decided)
        return p.add ? r + s : r - s;
    if (m_delays.sawtoothMode != TimingDelays::Automatic || p.filled < 3)
        return r;
    // Which sign leaves the smaller scatter over the last readings?
    double meanA = 0, meanD = 0;
    for (int k = 0; k < p.filled; ++k) {
        meanA += p.readings[std::size_t(k)] + p.sawtooth[std::size_t(k)];
        meanD += p.readings[std::size_t(k)] - p.sawtooth[std::size_t(k)];
    }
    meanA /= p.filled;
    meanD /= p.filled;
    double varA = 0, varD = 0;
    for (int k = 0; k < p.filled; ++k) {
        const double a = p.readings[std::size_t(k)] + p.sawtooth[std::size_t(k)] - meanA;
        const double d = p.readings[std::size_t(k)] - p.sawtooth[std::size_t(k)] - meanD;
        varA += a * a;
        varD += d * d;
    }
    const bool addWins = varA <= varD;
    if (addWins == p.add) {
        if (p.votes++ > 8) {
            p.decided = true;
            return p.add ? r + s : r - s;
        }
    } else {
        p.add = addWins;
        p.votes = 0;
    }
    return r;
}

void CounterProcessing::handleReading(int port, qint64 second, const Normalised &n, std::optional<double> sawtoothNs)
{
    PortState &p = st(port);
    if (!sawtoothNs && m_delays.sawtoothMode != TimingDelays::Off && sawtoothFlowing(second)) {
        ++p.missing;
        Q_EMIT processedText(QStringLiteral("%1 ; no receiver sawtooth for this pulse (%2 so far)").arg(port).arg(p.missing));
    }
    double v = correctSawtooth(p, n.us, sawtoothNs ? std::optional<double>(*sawtoothNs / 1000.0) : std::nullopt);
    if (m_delays.ticAutoCorrect)
        v -= m_epoch.usedUs + appliedDelayNs() / 1000.0;
    v = wrap(v);

    const int accuracy = m_state ? int(m_state->timeSolutionAccuracy) : 0;
    const int leap = m_state ? int(m_state->leapSeconds) : 0;
    const double pcOffsetS = m_state ? double(m_state->pcClockOffsetMs) / 1000.0 : 0.0;
    const QString line = collapse(timeTag(second) + QLatin1Char(' ') + n.text
                                  + QString::asprintf(" %05.3f %i %05.3f ", sawtoothNs.value_or(0.0), accuracy,
                                                      m_epoch.usedUs)
                                  + QString::asprintf("%08.6f", v)
                                  + QString::asprintf(" %05.3f ", pcOffsetS)
                                  + QString::asprintf(" %i %04.2f ", leap, 0.0));
    if (port == 1) {
        m_lastTimeLine = line;
        Q_EMIT port1Value(v);
    }
    average(port, second, v);
    Q_EMIT processedText(QStringLiteral("%1 %2").arg(port).arg(line));
    const qint64 secondOfDay = ((second % 86400) + 86400) % 86400;
    if (m_timeLogInterval > 0 && secondOfDay % m_timeLogInterval == 0) {
        Q_EMIT timeRecord(port, line);
        if (m_remoteTime != 0) {
            Q_EMIT remoteLine(QStringLiteral("$PKTWL,TICDATA,TIME,%1,%2").arg(port).arg(line).toLatin1());
            if (m_remoteTime > 0)
                --m_remoteTime;
        }
    }
}

void CounterProcessing::average(int port, qint64 second, double v)
{
    if (m_averagingPeriod < 1)
        return;
    PortState &p = st(port);
    const qint64 before = p.count;
    if (before == 0) {
        p.start = second;
        p.max = -INFINITY;
        p.min = INFINITY;
        p.mean = 0.0;
        p.m2 = 0.0;
    }
    ++p.count;
    const double delta = v - p.mean;
    p.mean += delta / double(p.count);
    p.m2 += delta * (v - p.mean);
    p.max = std::max(p.max, v);
    p.min = std::min(p.min, v);
    const qint64 secondOfDay = ((second % 86400) + 86400) % 86400;
    if (before == 0
        || !(secondOfDay % m_averagingPeriod == 0 || second - p.start >= m_averagingPeriod
             || p.count > m_averagingPeriod))
        return;
    const double sd = std::sqrt(std::max(0.0, p.m2 / double(p.count)));
    const QString line = collapse(timeTag(second) + QLatin1Char(' ')
                                  + QString::asprintf("%lld %09.6f %09.6f %09.6f %09.6f", static_cast<long long>(p.count),
                                                      sd, p.mean, p.max, p.min));
    p.count = 0;
    m_lastAverageLine = line;
    Q_EMIT averageRecord(port, line);
    if (m_remoteAverage != 0) {
        Q_EMIT remoteLine(QStringLiteral("$PKTWL,TICDATA,AVERAGE,%1,%2").arg(port).arg(line).toLatin1());
        if (m_remoteAverage > 0)
            --m_remoteAverage;
    }
    Q_EMIT processedText(QStringLiteral("%1 %2").arg(port).arg(line));
}
