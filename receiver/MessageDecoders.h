#pragma once

#include <QByteArray>
#include <QString>

// The one small interface per protocol family through which the dispatcher hands over
// messages. Each receives exactly what the link emits: a Motorola frame from "@@" through the
// last body byte (checksum, CR and LF already removed), an NMEA sentence from "$" through its
// checksum field (no CR LF), a whole UBX frame from 0xB5 0x62 through CK_B.

class MotorolaMessageDecoder
{
public:
    virtual ~MotorolaMessageDecoder() = default;
    // Decodes one frame into the receiver state and returns its display text.
    virtual QString decodeMotorolaFrame(const QByteArray &frame) = 0;
};

class NmeaMessageDecoder
{
public:
    virtual ~NmeaMessageDecoder() = default;
    // Decodes one sentence; false when the sentence is not accepted.
    virtual bool decodeNmeaSentence(const QByteArray &sentence) = 0;
    // Decoded text of the last sentence for the raw-data window (Garmin echoes), shown after
    // the sentence itself; empty for most sentences.
    virtual QString displayText() const { return QString(); }
};

class UbxMessageDecoder
{
public:
    virtual ~UbxMessageDecoder() = default;
    // Decodes one frame; returns its display text, empty when the frame was not understood.
    virtual QString decodeUbxFrame(const QByteArray &frame) = 0;
};
