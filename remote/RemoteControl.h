#pragma once

#include "remote/RemoteCommandInterpreter.h"
#include "remote/TelnetTcpServer.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

class QSettings;

// The remote-control link's stored choices ("TelnetDialog/..."), read and repaired together.
struct TelnetSettings
{
    static constexpr int MinPort = 1024;
    static constexpr int MaxPort = 32768;
    static constexpr int DefaultPort = 32325;

    bool activate = false;       // "TelnetDialog/TelnetActivate"
    int port = DefaultPort;      // "TelnetDialog/TelnetServerPort"
    QString listenAddress = QStringLiteral("127.0.0.1");   // "TelnetDialog/TelnetListenAddress"
    bool allowChanges = false;   // "TelnetDialog/AllowRemoteChanges"

    static TelnetSettings load(QSettings &settings);
    void save(QSettings &settings) const;
    // A port text of the dialog: a whole number within MinPort..MaxPort, else -1.
    static int portFromText(const QString &text);
    static bool validAddress(const QString &text);
};

// The station's remote control: the server and the command interpreter wired together. The
// server runs only after applySettings() with "activate" on (never by itself at start-up).
class RemoteControl : public QObject
{
    Q_OBJECT
public:
    explicit RemoteControl(RemoteStationActions &actions, QObject *parent = nullptr);

    TelnetTcpServer &server() { return m_server; }
    RemoteCommandInterpreter &interpreter() { return m_interpreter; }
    const TelnetSettings &settings() const { return m_settings; }

    // Starts (a client connected meanwhile is let go quietly) or stops the server. Returns
    // false when the server was wanted but could not listen.
    bool applySettings(const TelnetSettings &settings);

public Q_SLOTS:
    // A subscribed counter data line ("$PKTWL,TICDATA,...").
    void sendDataLine(const QByteArray &line);

private:
    TelnetSettings m_settings;
    TelnetTcpServer m_server;
    RemoteCommandInterpreter m_interpreter;
};
