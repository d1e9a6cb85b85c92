#pragma once

// Recording fakes of what a receiver decoder writes to besides the receiver state: the
// averaging engine, the main display, the command path and the GPS log. Tests check what was
// handed over.

#include "averaging/AveragingInput.h"
#include "core/ReceiverState.h"
#include "receiver/DecoderContext.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class RecordingAveraging : public AveragingInput
{
public:
    struct Position { double lat, lon, altGps, altMsl; };
    struct Dops { double gdop, pdop, hdop, vdop, tdop; };

    QList<Position> positions;
    QList<Dops> dops;
    QList<int> fixTypes;
    QList<int> timingSatellites;
    QList<double> speeds;
    QList<double> headings;
    QList<int> fixQualities;
    QString dopTextToReturn = QStringLiteral("DOPs: P = 2.5");
    bool hold = false;   // the engine's position-hold switch

    void updatePosition(double lat, double lon, double altGps, double altMsl) override
    {
        positions.append({ lat, lon, altGps, altMsl });
    }
    void setDops(double g, double p, double h, double v, double t) override { dops.append({ g, p, h, v, t }); }
    void setFixType(int t) override { fixTypes.append(t); }
    void setTimingSatellites(int n) override { timingSatellites.append(n); }
    void setSpeedKnots(double k) override { speeds.append(k); }
    void setHeadingDegrees(double d) override { headings.append(d); }
    void setFixQuality(int q) override { fixQualities.append(q); }
    QString dopText() const override { return dopTextToReturn; }
    bool positionHold() const override { return hold; }
    QList<QList<double>> dopLists() const   // g, p, h, v, t of every call
    {
        QList<QList<double>> out;
        for (const Dops &d : dops)
            out.append({ d.gdop, d.pdop, d.hdop, d.vdop, d.tdop });
        return out;
    }

    int calls() const
    {
        return int(positions.size() + dops.size() + fixTypes.size() + timingSatellites.size()
                   + speeds.size() + headings.size() + fixQualities.size());
    }
};

class RecordingDisplay : public StationDisplay
{
public:
    QList<int> antenna;
    QList<int> navigation;
    int satelliteTableUpdates = 0;
    int satelliteCountUpdates = 0;
    QStringList trackedTexts;
    QStringList usedTexts;
    QStringList receiverIdTexts;
    int receiverIdClears = 0;
    QStringList fixStatusTexts;
    QStringList dopStatusTexts;
    QList<bool> receiverIdActionStates;
    int clockRefreshes = 0;
    const ReceiverState *state = nullptr;   // when set, each refresh records the stored time
    QList<QDateTime> storedTimes;

    void setAntennaIndicator(int v) override { antenna.append(v); }
    void setNavigationIndicator(int v) override { navigation.append(v); }
    void updateSatelliteTable() override { ++satelliteTableUpdates; }
    void updateSatelliteCount() override { ++satelliteCountUpdates; }
    void setTrackedText(const QString &t) override { trackedTexts.append(t); }
    void setUsedText(const QString &t) override { usedTexts.append(t); }
    void appendReceiverIdText(const QString &t) override { receiverIdTexts.append(t); }
    void clearReceiverIdText() override
    {
        ++receiverIdClears;
        receiverIdTexts.clear();
    }
    void setFixStatusText(const QString &t) override { fixStatusTexts.append(t); }
    void setDopStatusText(const QString &t) override { dopStatusTexts.append(t); }
    void setReceiverIdActionEnabled(bool e) override { receiverIdActionStates.append(e); }
    void refreshClockPanel() override
    {
        ++clockRefreshes;
        if (state)
            storedTimes.append(state->receiverUtcDateTime.dateTime());
    }
};

class RecordingLog : public GpsLogRecorder
{
public:
    QList<QByteArray> records;
    QStringList lines;
    void writeBinaryRecord(const QByteArray &m) override { records.append(m); }
    void writeNmeaFixLine(const QString &line) override { lines.append(line); }
};

class RecordingCommands : public ReceiverCommandSink
{
public:
    QList<QByteArray> sent;
    std::function<void(const QByteArray &)> onSend;   // e.g. to answer as a receiver would
    void sendGpsRxCommand(const QByteArray &command) override
    {
        sent.append(command);
        if (onSend)
            onSend(command);
    }
};
