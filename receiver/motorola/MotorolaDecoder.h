#pragma once

#include "receiver/DecoderContext.h"
#include "receiver/MessageDecoders.h"
#include "receiver/motorola/MotorolaText.h"
#include "receiver/motorola/MotorolaTiming.h"

#include <QByteArrayView>
#include <QString>
#include <cstdint>

struct ReceiverState;

// Decodes Motorola Oncore "@@" binary frames (6-, 8- and 12-channel families and the Synergy
// SSR units) into the receiver state, the averaging engine and the display, and returns the
// decoded text line of each frame. Frames arrive as the link emits them: "@@", identifier and
// body, without checksum, CR and LF; offsets count from the first '@'.
class MotorolaDecoder : public MotorolaMessageDecoder
{
public:
    // What the last decoded frame changed (see lastChanges()).
    enum Change : int {
        ChangedTime = DecodeChange::Time,
        ChangedPosition = DecodeChange::Position,   // lastPosition()
        ChangedSatellites = DecodeChange::Satellites,
        ChangedCounts = DecodeChange::Counts,
        ChangedModel = DecodeChange::Model,
        ChangedSawtooth = DecodeChange::Sawtooth,
    };

    struct Position
    {
        double latitude = 0.0;       // degrees
        double longitude = 0.0;      // degrees
        double altEllipsoid = 0.0;   // metres
        double altMsl = 0.0;         // metres (after the geoid fill)
    };

    explicit MotorolaDecoder(const DecoderContext &context);

    QString decodeMotorolaFrame(const QByteArray &frame) override;

    int lastChanges() const { return m_changes; }
    const Position &lastPosition() const { return m_position; }
    // Status text of the last position message, with its DOP text joined as the log shows it.
    QString statusText() const { return m_statusText; }
    // Fix dimension last handed to the engine (3, 2, 1; 0 before any).
    int fixDimension() const { return m_fixDimension; }

    DecoderContext &context() { return m_ctx; }

    // One second has passed: counts the position-message precedence down (the one-second cycle
    // calls this once per 1PPS tick).
    static void countDownPrecedence(ReceiverState &state);

    // Texts of the self-test result word of "@@Ca", "@@Fa" or "@@Ia" (frame as emitted).
    static QString selfTestText(QByteArrayView frame, int receiverModel);

private:
    bool textsWanted() const { return motorolaTextsWanted(m_ctx); }
    void markTime(QByteArrayView f, bool roundSeconds);
    void storePosition(double lat, double lon, double altEllipsoid, double altMsl);
    void setCounts(int visible, int tracked);
    // Speed and heading to the engine, then the position and the counts.
    void storeFix(double lat, double lon, double altEllipsoid, double altMsl,
                  uint16_t speedCmPerSecond, uint16_t headingTenths, int visible, int tracked);
    void clearChannels();
    void showStatus(const QString &status, const QString &dop);
    // The 12-channel status word (@@Ha, @@Hb): its fix dimension and text, with the DOP.
    void showTwelveChannelStatus(uint8_t statusHigh, uint8_t statusLow, double dop);

    QString decodeEaBa(QByteArrayView f, bool eightChannel);
    QString decodeHa(QByteArrayView f);
    QString decodeHb(QByteArrayView f);
    QString decodeBb(QByteArrayView f);
    QString decodeCj(QByteArrayView f);
    QString decodeBd(QByteArrayView f);
    QString decodeBj(QByteArrayView f);
    QString decodeBo(QByteArrayView f);
    QString decodeBkEk(QByteArrayView f);
    QString decodeDataOnly(QByteArrayView f);

    DecoderContext m_ctx;
    int m_changes = 0;
    MotorolaTiming m_timing { m_ctx, m_changes };
    Position m_position;
    QString m_statusText;
    int m_fixDimension = 0;
};
