#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Cuts a counter's byte stream into text lines. CR, LF and CR LF each end one line; empty
// lines are dropped; control bytes are dropped; a line longer than MaxLine bytes is dropped
// whole (its tail never passes for a reading). Bytes from 0x80 up are kept, so a unit such as
// "µs" arrives in whatever encoding the counter sends it.
class TicLineAssembler
{
public:
    static constexpr qsizetype MaxLine = 256;

    // Appends the complete lines found in `bytes` to `lines` (without line ends).
    void feed(QByteArrayView bytes, QList<QByteArray> &lines);
    QList<QByteArray> feed(QByteArrayView bytes)
    {
        QList<QByteArray> lines;
        feed(bytes, lines);
        return lines;
    }
    // The incomplete line held so far.
    const QByteArray &pending() const { return m_line; }
    void clear();
    // Lines dropped for their length since the last clear().
    int droppedLines() const { return m_dropped; }

private:
    QByteArray m_line;
    bool m_overflow = false;
    int m_dropped = 0;
};
