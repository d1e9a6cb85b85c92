#include "transport/ReplayTransport.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace {

bool isDigits(QByteArrayView s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The time of the message starting at `i`, packed so that equal seconds compare equal; -1 when
// no complete time message starts there. `length` receives its length.
qint64 timeKeyAt(const QByteArray &s, qsizetype i, qsizetype *length)
{
    const qsizetype n = s.size();
    const auto u8 = [&s](qsizetype k) { return uint8_t(s.at(k)); };
    if (s.at(i) == '@' && i + 4 <= n && s.at(i + 1) == '@') {
        int len = 0;
        const char f = s.at(i + 2), l = s.at(i + 3);
        if (f == 'H' && l == 'a')
            len = 154;
        else if (f == 'H' && l == 'b')
            len = 54;
        else if (f == 'E' && l == 'a')
            len = 76;
        else if (f == 'B' && l == 'a')
            len = 68;
        if (!len || i + len > n || s.at(i + len - 2) != '\r' || s.at(i + len - 1) != '\n')
            return -1;
        uint8_t x = 0;
        for (qsizetype k = i + 2; k < i + len - 3; ++k)
            x ^= u8(k);
        if (x != u8(i + len - 3))
            return -1;
        *length = len;
        const qint64 year = (u8(i + 6) << 8) | u8(i + 7);
        return ((((year * 13 + u8(i + 4)) * 32 + u8(i + 5)) * 24 + u8(i + 8)) * 60 + u8(i + 9)) * 61 + u8(i + 10);
    }
    if (s.at(i) == '$' && i + 14 <= n) {
        const QByteArrayView type(s.constData() + i + 3, 4);
        if (type != "RMC," && type != "GGA," && type != "ZDA,")
            return -1;
        const QByteArrayView hhmmss(s.constData() + i + 7, 6);
        if (!isDigits(hhmmss))
            return -1;
        const qsizetype nl = s.indexOf('\n', i);
        *length = (nl < 0 ? n : nl + 1) - i;
        return QByteArray(hhmmss.data(), 6).toLongLong();
    }
    if (u8(i) == 0xB5 && i + 10 <= n && u8(i + 1) == 0x62 && u8(i + 2) == 0x01) {
        const qsizetype len = u8(i + 4) | (u8(i + 5) << 8);
        if (len < 4 || i + 8 + len > n)
            return -1;
        uint8_t a = 0, b = 0;
        for (qsizetype k = i + 2; k < i + 6 + len; ++k) {
            a = uint8_t(a + u8(k));
            b = uint8_t(b + a);
        }
        if (a != u8(i + 6 + len) || b != u8(i + 7 + len))
            return -1;
        *length = 8 + len;
        const qint64 itow = u8(i + 6) | (u8(i + 7) << 8) | (u8(i + 8) << 16) | (qint64(u8(i + 9)) << 24);
        return itow / 1000;
    }
    return -1;
}

} // namespace

ReplayTransport::ReplayTransport(const QString &fileName, const SimulationClock &clock, QObject *parent)
    : GpsTransport(parent)
    , m_name(QFileInfo(fileName).fileName())
    , m_fileName(fileName)
    , m_clock(clock)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ReplayTransport::pump);
}

ReplayTransport::ReplayTransport(const QByteArray &stream, const SimulationClock &clock, QObject *parent)
    : GpsTransport(parent)
    , m_name(QStringLiteral("REPLAY"))
    , m_seconds(splitSeconds(stream))
    , m_loaded(true)
    , m_clock(clock)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ReplayTransport::pump);
}

QByteArray ReplayTransport::stripComments(const QByteArray &file)
{
    qsizetype pos = 0;
    while (pos < file.size() && file.at(pos) == '#') {
        const qsizetype nl = file.indexOf('\n', pos);
        if (nl < 0)
            return {};
        pos = nl + 1;
    }
    return file.mid(pos);
}

QList<QByteArray> ReplayTransport::splitSeconds(const QByteArray &stream)
{
    QList<QByteArray> out;
    qsizetype start = 0;
    qint64 lastKey = -1;
    bool anyTime = false;
    for (qsizetype i = 0; i < stream.size();) {
        const char c = stream.at(i);
        qsizetype len = 0;
        const qint64 key = (c == '@' || c == '$' || uint8_t(c) == 0xB5) ? timeKeyAt(stream, i, &len) : -1;
        if (key < 0) {
            ++i;
            continue;
        }
        if (anyTime && key != lastKey) {
            out.append(stream.mid(start, i - start));
            start = i;
        }
        anyTime = true;
        lastKey = key;
        i += len;
    }
    if (!anyTime) {
        // No clock in the stream: pace it like a 9600-baud line.
        constexpr qsizetype PerSecond = 960;
        for (qsizetype p = 0; p < stream.size(); p += PerSecond)
            out.append(stream.mid(p, PerSecond));
        return out;
    }
    out.append(stream.mid(start));
    return out;
}

int ReplayTransport::suggestedMode(const QByteArray &stream)
{
    for (qsizetype i = stream.indexOf("@@"); i >= 0 && i + 4 <= stream.size(); i = stream.indexOf("@@", i + 1)) {
        const char f = stream.at(i + 2), l = stream.at(i + 3);
        if (f >= 'A' && f <= 'Z' && ((l >= 'a' && l <= 'z') || (l >= 'A' && l <= 'Z')))
            return 3;
    }
    const qsizetype ubx = stream.indexOf("\xB5\x62");
    if (ubx >= 0)
        return 9;
    return 6;
}

int ReplayTransport::suggestedModeForFile(const QString &fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return suggestedMode(stripComments(f.read(1 << 16)));
}

bool ReplayTransport::open(const GpsPortSettings &settings)
{
    Q_UNUSED(settings);
    if (!m_loaded) {
        QFile f(m_fileName);
        if (!f.open(QIODevice::ReadOnly)) {
            Q_EMIT errorOccurred(1);   // no such device
            return false;
        }
        // Captures are small; a cap keeps a wrong file from taking all memory.
        constexpr qint64 MaxCapture = 256ll << 20;
        m_seconds = splitSeconds(stripComments(f.read(MaxCapture)));
        m_loaded = true;
    }
    if (!m_open) {
        m_open = true;
        m_next = 0;
        m_played = 0;
        m_received.clear();
        m_due.clear();
        m_deliverAtMs = -1;
        m_closingEdgeDone = false;
        m_pps.reset();
        m_nextEdgeSecond = m_clock.nowMs() / 1000 + 1;
    }
    scheduleTimer();
    return true;
}

void ReplayTransport::close()
{
    m_open = false;
    m_timer.stop();
    m_received.clear();
    m_due.clear();
    m_pps.reset();
}

QByteArray ReplayTransport::readAll()
{
    QByteArray out;
    out.swap(m_received);
    return out;
}

int ReplayTransport::modemSignals()
{
    if (!m_open)
        return 0;
    return m_pps.readLevel(m_clock.nowMs()) ? Dcd : 0;
}

void ReplayTransport::pump()
{
    if (!m_open)
        return;
    const qint64 now = m_clock.nowMs();
    bool delivered = false;
    bool finishedNow = false;
    const auto deliverDue = [&] {
        if (m_deliverAtMs >= 0 && m_deliverAtMs <= now) {
            m_received += m_due;
            m_due.clear();
            m_deliverAtMs = -1;
            delivered = true;
        }
    };
    deliverDue();
    // A second is shown at the edge that ends it: after the capture's last second one more
    // edge, without bytes, lets the station show it.
    if (m_next >= m_seconds.size() && !m_looping && !m_closingEdgeDone && !m_seconds.isEmpty()
        && m_deliverAtMs < 0 && m_nextEdgeSecond * 1000 <= now) {
        m_pps.edge(std::max(m_nextEdgeSecond, now / 1000) * 1000);
        m_closingEdgeDone = true;
        finishedNow = true;
    }
    // One capture second per clock second; a clock that jumped ahead plays only the latest edge.
    if (m_nextEdgeSecond * 1000 <= now && (m_next < m_seconds.size() || (m_looping && !m_seconds.isEmpty()))) {
        if (m_next >= m_seconds.size())
            m_next = 0;
        if (!m_due.isEmpty()) {   // the previous second was never handed over: do it now
            m_received += m_due;
            delivered = true;
        }
        const qint64 edgeMs = std::max(m_nextEdgeSecond, now / 1000) * 1000;
        m_pps.edge(edgeMs);
        m_due = m_seconds.at(m_next);
        m_deliverAtMs = edgeMs + PacedPpsSource::MessageDelayMs;
        const int index = int(m_next);
        ++m_next;
        ++m_played;
        m_nextEdgeSecond = edgeMs / 1000 + 1;
        Q_EMIT ppsEdge(index);
        deliverDue();
    }
    scheduleTimer();
    if (delivered)
        Q_EMIT readyRead();
    if (finishedNow)
        Q_EMIT finished();
}

void ReplayTransport::scheduleTimer()
{
    if (!m_open || m_clock.isManual())
        return;
    qint64 next = -1;
    if (m_deliverAtMs >= 0)
        next = m_deliverAtMs;
    else if (m_next < m_seconds.size() || m_looping || (!m_closingEdgeDone && !m_seconds.isEmpty()))
        next = m_nextEdgeSecond * 1000;
    if (next < 0)
        return;
    m_timer.start(int(std::clamp<qint64>(m_clock.realMsUntil(next), 0, 60000)));
}
