// The remote-control link under abuse, on loopback only, every loop bounded in count and time:
//   1. 1 000 connect/disconnect cycles: open descriptors and resident memory before and after,
//      and the server still answering.
//   2. One 100 MB line without a CR: memory before and after, then the overlong line is
//      answered " ???" once and the next command normally.
//   3. A client flooding 100 000 command lines, and one flooding 100 000 malformed lines: the
//      lateness of a 10 ms poll timer (the 1PPS poll that starts the one-second cycle) at the
//      50th and 99th percentile and at worst while the flood lasts.
//   bench_remote [flood-seconds]   (default 10)
// Exit status 1 when a figure misses its target (descriptors or memory not flat, no answer,
// p99 lateness of 15 ms or more).

#include "remote/RemoteControl.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLoggingCategory>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class QuietStation : public RemoteStationActions
{
public:
    QString versionText() const override { return QStringLiteral("bench"); }
    QString referenceLocationText() const override { return QStringLiteral("0.00000000,0.00000000,0.00,0.00"); }
    bool setReferenceLocation(const QString &, const QString &, const QString &) override { return false; }
    GpsLogStatus gpsLogStatus() const override { return {}; }
    void setGpsLogType(int) override {}
    bool openGpsLog(const QString &, OpenMode) override { return false; }
    bool closeGpsLog() override { return false; }
    bool counterLogOpen() const override { return false; }
    QString counterLogName() const override { return {}; }
    bool openCounterLogs(const CounterLogRequest &) override { return false; }
    bool closeCounterLogs() override { return false; }
    void setCounterSubscription(CounterData, int) override {}
    QString latestCounterLine(CounterData) const override { return {}; }
};

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

long residentKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// Runs the event loop until `done` or the time is up; false on time-out.
template <typename F>
bool spinUntil(F done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// One command answered on a fresh connection.
bool answers(RemoteControl &remote)
{
    QTcpSocket c;
    QByteArray got;
    QObject::connect(&c, &QTcpSocket::readyRead, [&] { got += c.readAll(); });
    c.connectToHost(QHostAddress::LocalHost, remote.server().port());
    c.write("$PKTWL,VERSION\r\n");
    const bool ok = spinUntil([&] { return got.contains("$PKTWL,VERSION,bench\r\n"); }, 5000);
    c.disconnectFromHost();
    spinUntil([&] { return remote.server().isListening(); }, 5000);
    return ok;
}

bool cycles(RemoteControl &remote)
{
    answers(remote);   // warm-up: the first connection's allocations are not a leak
    const int fd0 = openDescriptors();
    const long rss0 = residentKiB();
    QElapsedTimer t;
    t.start();
    int done = 0;
    for (; done < 1000 && t.elapsed() < 120000; ++done) {
        QTcpSocket c;
        QByteArray got;
        QObject::connect(&c, &QTcpSocket::readyRead, [&] { got += c.readAll(); });
        c.connectToHost(QHostAddress::LocalHost, remote.server().port());
        if (!spinUntil([&] { return got.endsWith("\r\n"); }, 5000))
            break;
        c.disconnectFromHost();
        if (!spinUntil([&] { return remote.server().isListening(); }, 5000))
            break;
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const int fd1 = openDescriptors();
    const long rss1 = residentKiB();
    const bool answering = answers(remote);
    std::printf("connect/disconnect: %d cycles in %.1f s; descriptors %d -> %d; resident %ld -> %ld KiB; answering %s\n",
                done, t.elapsed() / 1000.0, fd0, fd1, rss0, rss1, answering ? "yes" : "no");
    return done == 1000 && fd1 <= fd0 && rss1 - rss0 < 2048 && answering;
}

bool hugeLine(RemoteControl &remote)
{
    const long rss0 = residentKiB();
    QTcpSocket c;
    QByteArray got;
    QObject::connect(&c, &QTcpSocket::readyRead, [&] { got += c.readAll(); });
    c.connectToHost(QHostAddress::LocalHost, remote.server().port());
    spinUntil([&] { return got.endsWith("\r\n"); }, 5000);
    got.clear();
    const QByteArray chunk(1 << 20, 'x');
    QElapsedTimer t;
    t.start();
    long peak = rss0;
    int sent = 0;
    for (; sent < 100 && t.elapsed() < 120000; ++sent) {
        c.write(chunk);
        spinUntil([&] { return c.bytesToWrite() < (1 << 20); }, 10000);
        peak = std::max(peak, residentKiB());
    }
    spinUntil([&] { return c.bytesToWrite() == 0; }, 10000);
    c.write("\r$PKTWL,VERSION\r");
    const bool ok = spinUntil([&] { return got == " ???\r\n$PKTWL,VERSION,bench\r\n"; }, 10000);
    const long rss1 = residentKiB();
    std::printf("100 MB line: %d MiB sent in %.1f s; resident %ld -> %ld KiB (peak %ld); reply %s\n", sent,
                t.elapsed() / 1000.0, rss0, rss1, peak, ok ? "\" ???\" then the version" : got.left(60).constData());
    c.disconnectFromHost();
    spinUntil([&] { return remote.server().isListening(); }, 5000);
    return sent == 100 && ok && peak - rss0 < 8192;
}

// With an empty line: no client, the machine's own lateness for comparison.
bool flood(RemoteControl &remote, const char *what, const QByteArray &line, int seconds)
{
    QTcpSocket c;
    qint64 received = 0;
    if (!line.isEmpty()) {
        QObject::connect(&c, &QTcpSocket::readyRead, [&] { received += c.readAll().size(); });
        c.connectToHost(QHostAddress::LocalHost, remote.server().port());
        spinUntil([&] { return received > 0; }, 5000);
        QByteArray all;
        all.reserve(line.size() * 100000);
        for (int i = 0; i < 100000; ++i)
            all += line;
        c.write(all);
    }

    // The 1PPS poll: a 10 ms timer whose every firing is measured against its schedule.
    std::vector<double> lateMs;
    QElapsedTimer clock;
    clock.start();
    qint64 next = 10;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    poll.setSingleShot(true);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        lateMs.push_back(std::max(0.0, double(now - next * 1000000) / 1e6));
        next += 10;
        while (next * 1000000 < now)
            next += 10;
        poll.start(int(std::max<qint64>(0, next - now / 1000000)));
    });
    poll.start(10);
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    poll.stop();
    std::sort(lateMs.begin(), lateMs.end());
    auto pct = [&](double p) { return lateMs.empty() ? 0.0 : lateMs[std::size_t(p * double(lateMs.size() - 1))]; };
    const double p99 = pct(0.99);
    std::printf("%s: %zu polls in %d s, lateness p50 %.2f ms, p99 %.2f ms, worst %.2f ms; "
                "%lld reply bytes; client %s\n",
                what, lateMs.size(), seconds, pct(0.5), p99, lateMs.empty() ? 0.0 : lateMs.back(),
                static_cast<long long>(received), remote.server().hasClient() ? "connected" : "closed");
    if (line.isEmpty())
        return true;
    c.abort();
    spinUntil([&] { return remote.server().isListening(); }, 5000);
    return p99 < 15.0 && !lateMs.empty();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::clamp(atoi(argv[1]), 1, 60) : 10;
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    QuietStation station;
    RemoteControl remote(station);
    if (!remote.applySettings({ true, 0, QStringLiteral("127.0.0.1"), false })) {
        std::printf("cannot listen on loopback\n");
        return 1;
    }
    bool ok = cycles(remote);
    ok = hugeLine(remote) && ok;
    flood(remote, "no client (the machine itself)", QByteArray(), seconds);
    ok = flood(remote, "flood of 100000 commands", "$PKTWL,VERSION\r", seconds) && ok;
    ok = flood(remote, "flood of 100000 malformed lines", "hello there\r", seconds) && ok;
    std::printf("%s\n", ok ? "all targets met" : "a target was missed");
    return ok ? 0 : 1;
}
