#include "clock/ChronySockFeed.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// chrony's sample layout (refclock_sock.c).
struct SockSample
{
    struct timeval tv;
    double offset;
    int pulse;
    int leap;
    int pad;
    int magic;
};
static_assert(sizeof(SockSample) == ChronySockFeed::SampleSize, "chrony's SOCK sample is 40 bytes");

int64_t floorDiv(int64_t a, int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

} // namespace

ChronySockFeed::ChronySockFeed(const QString &socketPath)
    : m_path(socketPath)
{
    m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

ChronySockFeed::~ChronySockFeed()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int64_t ChronySockFeed::nowUs() const
{
    timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

QByteArray ChronySockFeed::encode(const ClockSample &sample)
{
    SockSample s;
    std::memset(&s, 0, sizeof s);
    s.tv.tv_sec = time_t(floorDiv(sample.pcUs, 1000000));
    s.tv.tv_usec = suseconds_t(sample.pcUs - int64_t(s.tv.tv_sec) * 1000000);
    s.offset = double(sample.offsetUs()) / 1e6;
    s.pulse = 0;
    s.leap = (sample.leap == 1 || sample.leap == 2) ? sample.leap : 0;
    s.magic = Magic;
    return QByteArray(reinterpret_cast<const char *>(&s), sizeof s);
}

bool ChronySockFeed::apply(const ClockSample &sample)
{
    if (m_fd < 0) {
        m_lastError = QStringLiteral("no socket: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(m_path);
    if (path.isEmpty() || size_t(path.size()) >= sizeof addr.sun_path) {
        m_lastError = QStringLiteral("chrony socket path \"%1\" is empty or too long").arg(m_path);
        return false;
    }
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
    const QByteArray datagram = encode(sample);
    const ssize_t n = ::sendto(m_fd, datagram.constData(), size_t(datagram.size()), 0,
                               reinterpret_cast<const sockaddr *>(&addr), sizeof addr);
    if (n != datagram.size()) {
        m_lastError = QStringLiteral("chrony socket %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    ++m_sent;
    m_lastError.clear();
    return true;
}
