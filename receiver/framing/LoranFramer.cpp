#include "receiver/framing/LoranFramer.h"

LoranFramer::LoranFramer()
{
    m_line.reserve(MaxLineLength);
}

void LoranFramer::reset()
{
    m_line.resize(0);
    m_skipping = false;
}

void LoranFramer::feed(QByteArrayView bytes, bool &ppsPending, const FrameSink &sink)
{
    const char *p = bytes.data();
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (m_line.isEmpty() && !m_skipping)
            emitPendingPps(ppsPending, sink);
        const char c = p[i];
        if (c == '\r' || c == '\n') {
            if (!m_line.isEmpty() && !m_skipping)
                sink(m_line);
            m_line.resize(0);
            m_skipping = false;
            continue;
        }
        if (m_skipping)
            continue;
        if (m_line.size() >= MaxLineLength) {
            // Too long to be a receiver line: drop it and everything up to its terminator.
            m_line.resize(0);
            m_skipping = true;
            continue;
        }
        m_line.append(c);
    }
}
