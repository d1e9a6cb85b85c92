#pragma once

#include "remote/RemoteControl.h"
#include "remote/RemoteStationActions.h"

#include <QStringList>
#include <functional>

class AveragingEngine;
class CounterProcessing;
class LogRecorder;
struct ReceiverState;

// Remote commands carried out by the station's own subsystems: the averaging engine's
// reference location, the station's GPS data log and counter log set, and the counter
// processing's remote lines. A remote open uses the client's prefix for this run only and
// never writes the stored directory or prefix; a replace keeps a ".bak" copy of every file it
// truncates. Nothing here asks the user anything.
class StationRemoteActions : public RemoteStationActions
{
public:
    // The station's parts the commands act on; `rereadCounterSettings` brings the counter
    // processing in line with the stored counter-log options after a remote open wrote them.
    struct Parts
    {
        AveragingEngine &averaging;
        ReceiverState &state;
        LogRecorder &logs;
        CounterProcessing &processing;
        std::function<void()> rereadCounterSettings;
    };
    explicit StationRemoteActions(Parts parts)
        : m_parts(std::move(parts))
    {
    }

    QString versionText() const override;
    QString referenceLocationText() const override;
    bool setReferenceLocation(const QString &latitude, const QString &longitude, const QString &heightMsl) override;
    GpsLogStatus gpsLogStatus() const override;
    void setGpsLogType(int type) override;
    bool openGpsLog(const QString &prefix, OpenMode mode) override;
    bool closeGpsLog() override;
    bool counterLogOpen() const override;
    QString counterLogName() const override;
    bool openCounterLogs(const CounterLogRequest &request) override;
    bool closeCounterLogs() override;
    void setCounterSubscription(CounterData data, int lines) override;
    QString latestCounterLine(CounterData data) const override;

    // Copies each existing file to "<name>.bak" (an older copy is replaced); false when a copy
    // failed, and then nothing may be truncated.
    static bool keepBackups(const QStringList &files);

private:
    Parts m_parts;
};

// What the station holds of the remote control: the actions and the server with its
// interpreter, counter data lines wired to the server.
struct StationRemote
{
    explicit StationRemote(StationRemoteActions::Parts parts);
    StationRemoteActions actions;
    RemoteControl control;
};
