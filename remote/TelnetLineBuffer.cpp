#include "remote/TelnetLineBuffer.h"

namespace {
constexpr unsigned char IAC = 255;
constexpr unsigned char SB = 250;
constexpr unsigned char SE = 240;
constexpr unsigned char WILL = 251;
constexpr unsigned char DONT = 254;
}

void TelnetLineBuffer::clear()
{
    m_lines.clear();
    m_current.clear();
    m_overlong = false;
    m_afterCr = true;
    m_telnet = Telnet::Data;
}

void TelnetLineBuffer::finishLine()
{
    m_lines.append({ m_current, m_overlong });
    m_current.clear();
    m_overlong = false;
    m_afterCr = true;
}

void TelnetLineBuffer::feed(const QByteArray &bytes)
{
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        switch (m_telnet) {
        case Telnet::Iac:
            if (c == IAC) {
                m_telnet = Telnet::Data;   // IAC IAC is a data byte 255
                break;
            }
            m_telnet = c == SB ? Telnet::Sub : (c >= WILL && c <= DONT) ? Telnet::Option : Telnet::Data;
            continue;
        case Telnet::Option:
            m_telnet = Telnet::Data;
            continue;
        case Telnet::Sub:
            if (c == IAC)
                m_telnet = Telnet::SubIac;
            continue;
        case Telnet::SubIac:
            m_telnet = c == SE ? Telnet::Data : Telnet::Sub;
            continue;
        case Telnet::Data:
            if (c == IAC) {
                m_telnet = Telnet::Iac;
                continue;
            }
            break;
        }
        if ((c == '\r' || c == '\n' || c == 0) && m_afterCr)
            continue;   // line-end bytes between lines: LF or NUL after a CR, further CRs
        if (c == '\r') {
            finishLine();
            continue;
        }
        m_afterCr = false;
        if (m_overlong)
            continue;
        if (m_current.size() >= MaxLine) {
            m_overlong = true;
            continue;
        }
        m_current.append(ch);
    }
}
