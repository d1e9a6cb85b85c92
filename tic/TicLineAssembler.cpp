#include "tic/TicLineAssembler.h"

void TicLineAssembler::feed(QByteArrayView bytes, QList<QByteArray> &lines)
{
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\r' || c == '\n') {
            if (m_overflow)
                ++m_dropped;
            else if (!m_line.isEmpty())
                lines.append(m_line);
            m_line.clear();
            m_overflow = false;
        } else if (c < 0x20 || c == 0x7f) {
            continue;
        } else if (!m_overflow) {
            if (m_line.size() >= MaxLine) {
                m_overflow = true;
                m_line.clear();
            } else {
                m_line.append(ch);
            }
        }
    }
}

void TicLineAssembler::clear()
{
    m_line.clear();
    m_overflow = false;
    m_dropped = 0;
}
