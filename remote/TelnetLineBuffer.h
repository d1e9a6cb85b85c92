#pragma once

#include <QByteArray>
#include <QList>

// Cuts one client's byte stream into command lines. A line ends at CR; CR, LF and NUL bytes
// between lines are dropped (so no line is empty), and an LF inside a line never ends it.
// Telnet negotiation (IAC sequences, including subnegotiation) and the NUL of a CR NUL pair
// are removed before the bytes count. A line that grows beyond MaxLine bytes is thrown away up
// to its CR and reported once as overlong, so the buffer never holds more than MaxLine bytes of
// an unfinished line whatever a client sends.
class TelnetLineBuffer
{
public:
    static constexpr qsizetype MaxLine = 1024;

    struct Line
    {
        QByteArray text;
        bool overlong = false;   // text holds the first MaxLine bytes of the discarded line
    };

    // Adds received bytes; complete lines are queued for takeLine().
    void feed(const QByteArray &bytes);
    bool hasLine() const { return !m_lines.isEmpty(); }
    Line takeLine() { return m_lines.takeFirst(); }
    qsizetype queuedLines() const { return m_lines.size(); }
    // Bytes of the unfinished line held now.
    qsizetype pendingBytes() const { return m_current.size(); }
    void clear();

private:
    enum class Telnet { Data, Iac, Option, Sub, SubIac };
    void finishLine();

    QList<Line> m_lines;
    QByteArray m_current;
    bool m_overlong = false;
    bool m_afterCr = true;   // leading LFs are dropped like the LF after a CR
    Telnet m_telnet = Telnet::Data;
};
