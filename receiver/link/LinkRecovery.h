#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class GpsSerialPortThread;

// Keeps an unattended receiver link alive. A port error that leaves the link without its device
// (a USB receiver unplugged, a pseudo-terminal closed, a network bridge that drops, refuses or
// is not up yet) gives one notice, and, while "Auto Restart GPS Receiver" is on, the port is
// reopened after 1 s, 2 s, 4 s ... at most 30 s until it is back; then `restored` asks for the
// receiver to be detected again, as at start. Also watches that receiver data keeps coming:
// after StaleAfterMs without a message the data on show is stale.
class LinkRecovery : public QObject
{
    Q_OBJECT
public:
    static constexpr int FirstDelayMs = 1000;
    static constexpr int MaxDelayMs = 30000;
    static constexpr int StaleAfterMs = 3000;
    // A reopened network link that neither connects nor fails in this time counts as failed.
    static constexpr int ConnectLimitMs = 10000;

    using Clock = std::function<qint64()>;   // ms since the epoch

    explicit LinkRecovery(GpsSerialPortThread &link, QObject *parent = nullptr);

    // How the port is reopened (the station's start of the stored port).
    void setReopen(std::function<void()> reopen) { m_reopen = std::move(reopen); }
    // Whether reopening is wanted ("GpsPortDialog/GPS AutoRestart"); read at each loss.
    void setAutoRestart(std::function<bool()> autoRestart) { m_autoRestart = std::move(autoRestart); }
    void setClock(Clock clock);
    // Shorter delays for tests; the doubling and the cap stay.
    void setDelays(int firstMs, int maxMs);

    // An error text from the link (its showErrorMessageBox).
    void linkError(const QString &message);
    // A receiver message arrived.
    void dataArrived();
    // The port was (re)opened on purpose (start, the port dialog): forget any loss, watch anew.
    void restart();
    // Runs once a second: stale or fresh again.
    void checkStale();

    bool lost() const { return m_state != State::Up; }
    bool stale() const { return m_stale; }
    qint64 lastDataMs() const { return m_lastDataMs; }
    // The wait before the next reopen.
    int currentDelayMs() const { return m_delayMs; }
    int reopenAttempts() const { return m_attempts; }

Q_SIGNALS:
    // Once per loss (and once per other port error): for the status bar, raw-data window and log.
    void notice(const QString &text);
    // The port is open again after a loss.
    void restored();
    void staleChanged(bool stale, qint64 lastDataMs);

private:
    enum class State { Up, Waiting, Connecting, Given };
    void scheduleReopen();
    void reopenNow();
    void verifyConnection();

    GpsSerialPortThread &m_link;
    std::function<void()> m_reopen;
    std::function<bool()> m_autoRestart;
    Clock m_clock;
    QTimer m_timer;
    State m_state = State::Up;
    int m_firstDelayMs = FirstDelayMs;
    int m_maxDelayMs = MaxDelayMs;
    int m_delayMs = FirstDelayMs;
    int m_attempts = 0;
    qint64 m_connectStartMs = 0;
    qint64 m_lastDataMs = 0;
    bool m_stale = false;
    QTimer m_staleTimer;
};
