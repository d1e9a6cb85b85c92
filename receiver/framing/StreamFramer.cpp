#include "receiver/framing/StreamFramer.h"

#include "receiver/ProtocolTable.h"

StreamFramer::StreamFramer(int receiverMode)
    : m_mode(receiverMode)
    , m_framing(framingOf(receiverMode))
{
}

bool StreamFramer::setMode(int receiverMode)
{
    if (receiverMode == m_mode)
        return false;
    m_mode = receiverMode;
    m_framing = framingOf(receiverMode);
    reset();
    return true;
}

void StreamFramer::reset()
{
    m_motorola.reset();
    m_nmeaUbx.reset();
    m_loran.reset();
}

void StreamFramer::feed(QByteArrayView bytes, const FrameSink &sink)
{
    bool ppsPending = false;
    feed(bytes, ppsPending, sink);
}

void StreamFramer::feed(QByteArrayView bytes, bool &ppsPending, const FrameSink &sink)
{
    switch (m_framing) {
    case Framing::Motorola:
        m_motorola.feed(bytes, ppsPending, sink);
        break;
    case Framing::Nmea:
        m_nmeaUbx.feed(bytes, true, ppsPending, sink);
        break;
    case Framing::NmeaUbx:
        m_nmeaUbx.feed(bytes, false, ppsPending, sink);
        break;
    case Framing::Loran:
        m_loran.feed(bytes, ppsPending, sink);
        break;
    case Framing::None:
        break;   // the search (11) and unused values frame nothing
    }
}
