#pragma once

#include "receiver/DecoderContext.h"

#include <QByteArrayView>
#include <QString>

// The timing side of the Motorola binary protocol: T-RAIM and 1PPS status with the sawtooth
// value ("@@Bn", "@@En", "@@Hn"), the self-test results, the command echoes of the A and G
// groups and the SSR extension messages. The Motorola decoder hands these frames over; each
// call returns the decoded text line (empty when no text is wanted) and adds what it changed
// to the decoder's change bits.
class MotorolaTiming
{
public:
    MotorolaTiming(const DecoderContext &context, int &changes)
        : m_ctx(context)
        , m_changes(changes)
    {
    }

    QString decodeTraim(QByteArrayView f, int channels);
    QString decodeHn(QByteArrayView f);
    QString decodeSelfTest(QByteArrayView f);
    QString decodeEcho(QByteArrayView f);
    QString decodeSsr(QByteArrayView f);

    // Texts of the self-test result word of "@@Ca", "@@Fa" or "@@Ia" (frame as emitted).
    static QString selfTestText(QByteArrayView frame, int receiverModel);

private:
    const DecoderContext &m_ctx;
    int &m_changes;
};
