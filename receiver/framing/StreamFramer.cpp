#include "receiver/framing/StreamFramer.h"

#include "core/ReceiverMode.h"

StreamFramer::StreamFramer(int receiverMode)
    : m_mode(receiverMode)
{
}

bool StreamFramer::setMode(int receiverMode)
{
    if (receiverMode == m_mode)
        return false;
    m_mode = receiverMode;
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
    switch (m_mode) {
    case ReceiverMode::MotorolaBinary:
    case ReceiverMode::MotorolaBinaryRxOnly:
        m_motorola.feed(bytes, ppsPending, sink);
        break;
    case ReceiverMode::MotorolaNmea:
    case ReceiverMode::GenericNmea:
        m_nmeaUbx.feed(bytes, true, ppsPending, sink);
        break;
    case ReceiverMode::UbloxUbx:
    case ReceiverMode::UbloxNmea:
        m_nmeaUbx.feed(bytes, false, ppsPending, sink);
        break;
    case ReceiverMode::MotorolaLoran:
        m_loran.feed(bytes, ppsPending, sink);
        break;
    default:
        break;   // search (11) and unused values frame nothing
    }
}
