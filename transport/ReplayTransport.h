#pragma once

#include "transport/GpsTransport.h"
#include "transport/SimulationClock.h"
#include "transport/PacedPpsSource.h"

#include <QList>
#include <QTimer>

// Plays a receiver capture at real speed behind the transport seam: one second of traffic
// after each simulated 1PPS edge (raised on DCD). The seconds are found from the time messages
// in the capture (Motorola position messages, NMEA RMC/GGA/ZDA, UBX navigation messages);
// a capture without any is paced at 960 bytes a second, a 9600-baud line. Whatever the link
// writes is swallowed: a capture cannot answer.
class ReplayTransport : public GpsTransport
{
    Q_OBJECT
public:
    // Plays a capture file: the captures' format (leading "#" comment lines) or raw bytes.
    explicit ReplayTransport(const QString &fileName, const SimulationClock &clock = SimulationClock(),
                             QObject *parent = nullptr);
    // Plays bytes given directly (no comment lines are removed).
    ReplayTransport(const QByteArray &stream, const SimulationClock &clock, QObject *parent = nullptr);

    bool open(const GpsPortSettings &settings) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    QByteArray readAll() override;
    qint64 write(const QByteArray &bytes) override { return m_open ? bytes.size() : -1; }
    void clear() override { m_received.clear(); }
    int modemSignals() override;
    QString name() const override { return m_name; }

    // Starts again from the first second after the last one instead of falling silent.
    void setLooping(bool on) { m_looping = on; }
    // Finished once the edge that closes the last second has come.
    bool isFinished() const { return m_open && m_next >= m_seconds.size() && !m_looping && m_closingEdgeDone; }
    const QList<QByteArray> &seconds() const { return m_seconds; }
    int secondsPlayed() const { return m_played; }
    SimulationClock &clock() { return m_clock; }

    // Delivers whatever is due at the clock's present time (the timer calls it; tests with a
    // manual clock call it after moving the clock).
    void pump();

    // The capture's bytes after its leading "#" comment lines.
    static QByteArray stripComments(const QByteArray &file);
    // The stream cut into one piece per second; the pieces joined give the stream back.
    static QList<QByteArray> splitSeconds(const QByteArray &stream);
    // The receiver mode that frames the stream: 3 (Motorola binary, receive only) when it
    // holds "@@" messages, 9 (u-blox) for UBX frames, 6 (generic NMEA) otherwise.
    static int suggestedMode(const QByteArray &stream);
    // The same for a capture file (its first 64 KiB after the comment lines); -1 when the file
    // cannot be read.
    static int suggestedModeForFile(const QString &fileName);

Q_SIGNALS:
    void ppsEdge(int secondIndex);
    // The edge after the last second has come (not emitted when looping).
    void finished();

private:
    void scheduleTimer();

    QString m_name;
    QString m_fileName;
    QList<QByteArray> m_seconds;
    bool m_loaded = false;
    SimulationClock m_clock;
    QTimer m_timer;
    bool m_open = false;
    bool m_looping = false;
    QByteArray m_received;
    qsizetype m_next = 0;        // next second of the capture to play
    qint64 m_nextEdgeSecond = 0;   // clock second of the next edge
    int m_played = 0;
    qint64 m_deliverAtMs = -1;   // when the bytes of the last edge are due
    bool m_closingEdgeDone = false;   // the byte-less edge after the last second
    QByteArray m_due;
    PacedPpsSource m_pps;
};
