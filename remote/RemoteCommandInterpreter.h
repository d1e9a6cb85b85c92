#pragma once

#include "remote/RemoteStationActions.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <optional>

// Takes the fields of a command line from the front, one at a time. An empty field (or none
// left) is the caller's default; fields are trimmed of white space.
class RemoteFieldReader
{
public:
    explicit RemoteFieldReader(const QByteArray &line)
        : m_rest(QString::fromLatin1(line))
    {
    }
    QString next(const QString &def = QString());
    bool atEnd() const { return m_rest.isEmpty(); }

private:
    QString m_rest;
};

// The "$PKTWL" command protocol: parses each command line the server passes on, has the
// station act through RemoteStationActions and answers with one line (two for a counter-log
// open that failed, none for TICDATA ... OFF). Commands that change the station (reference
// location set, log and counter-log NEW, OPEN, CLOSE) are refused with the failure word unless
// remote changes are allowed. Remote file names are bare prefixes; see prefixFromField().
class RemoteCommandInterpreter : public QObject
{
    Q_OBJECT
public:
    // Status words.
    static constexpr char Unknown[] = "UNKNOWN";
    static constexpr char Created[] = "CREATED";
    static constexpr char Opened[] = "OPENED";
    static constexpr char Closed[] = "CLOSED";
    static constexpr char Failed[] = "FAILED";
    static constexpr char NoFileName[] = "NOFILENAME";
    static constexpr char BadOption[] = "BADOPTION";
    static constexpr char Error[] = "ERROR";
    static constexpr char Disconnected[] = "DISCONNECTED";

    static constexpr int MaxPrefix = 40;

    explicit RemoteCommandInterpreter(RemoteStationActions &actions, QObject *parent = nullptr);

    void setAllowChanges(bool allow) { m_allowChanges = allow; }
    bool allowChanges() const { return m_allowChanges; }

    // The counter data modes last set by TICDATA (0 off, -1 every line).
    int remoteTimeLines() const { return m_timeLines; }
    int remoteAverageLines() const { return m_averageLines; }

    // A client file field as a log prefix: letters, digits, "_" and "-" (at most MaxPrefix),
    // optionally followed by one extension; a date stamp of a picked log name is cut off.
    // Nothing for anything else (paths, drive letters, "..", empty results).
    static std::optional<QString> prefixFromField(const QString &field);
    // The type word of a GPS log type ("RAW", "BINARY", "PVT", "NMEA", "RINEX"); -1 / empty
    // for none.
    static int gpsLogTypeFromWord(const QString &word);
    static QString gpsLogTypeWord(int type);

public Q_SLOTS:
    // One command line, without checksum and line end.
    void processCommand(const QByteArray &line);
    // The client is gone: its subscriptions end.
    void clientGone();

Q_SIGNALS:
    // A line for the client (the server adds CR LF).
    void reply(const QByteArray &line);
    // EXIT: the reply is sent; the client is to be let go and the server to listen again.
    void exitRequested();

private:
    void send(const QString &text);
    void exitSession();
    void version(RemoteFieldReader &in, QString &out);
    void referenceLocation(RemoteFieldReader &in, QString &out);
    void gpsLog(RemoteFieldReader &in, QString &out);
    void counterLog(RemoteFieldReader &in, QString &out);
    void counterData(RemoteFieldReader &in, QString &out);
    void setSubscription(RemoteStationActions::CounterData data, int lines);

    RemoteStationActions &m_actions;
    bool m_allowChanges = false;
    int m_timeLines = 0;
    int m_averageLines = 0;
};
