#include "remote/RemoteControl.h"

#include "core/Settings.h"

#include <QSettings>

TelnetSettings TelnetSettings::load(QSettings &settings)
{
    TelnetSettings t;
    t.activate = Settings::readBool(settings, QStringLiteral("TelnetDialog/TelnetActivate"), false);
    t.port = Settings::readInt(settings, QStringLiteral("TelnetDialog/TelnetServerPort"), DefaultPort, MinPort, MaxPort);
    t.listenAddress = Settings::readText(settings, QStringLiteral("TelnetDialog/TelnetListenAddress"),
                                         QStringLiteral("127.0.0.1"), &TelnetSettings::validAddress);
    t.allowChanges = Settings::readBool(settings, QStringLiteral("TelnetDialog/AllowRemoteChanges"), false);
    return t;
}

void TelnetSettings::save(QSettings &settings) const
{
    settings.setValue(QStringLiteral("TelnetDialog/TelnetActivate"), activate);
    settings.setValue(QStringLiteral("TelnetDialog/TelnetServerPort"), QString::number(port));
    settings.setValue(QStringLiteral("TelnetDialog/TelnetListenAddress"), listenAddress);
    settings.setValue(QStringLiteral("TelnetDialog/AllowRemoteChanges"), allowChanges);
}

int TelnetSettings::portFromText(const QString &text)
{
    bool ok = false;
    const int port = text.toInt(&ok);
    return ok && port >= MinPort && port <= MaxPort ? port : -1;
}

bool TelnetSettings::validAddress(const QString &text)
{
    QHostAddress address;
    return address.setAddress(text);
}

RemoteControl::RemoteControl(RemoteStationActions &actions, QObject *parent)
    : QObject(parent)
    , m_interpreter(actions)
{
    connect(&m_server, &TelnetTcpServer::sendTelnetCommand, &m_interpreter, &RemoteCommandInterpreter::processCommand);
    connect(&m_interpreter, &RemoteCommandInterpreter::reply, &m_server, &TelnetTcpServer::sendLine);
    connect(&m_interpreter, &RemoteCommandInterpreter::exitRequested, this,
            [this] { m_server.Start(m_server.port(), m_server.address()); });
    connect(&m_server, &TelnetTcpServer::clientDisconnected, &m_interpreter, &RemoteCommandInterpreter::clientGone);
}

bool RemoteControl::applySettings(const TelnetSettings &settings)
{
    m_settings = settings;
    m_interpreter.setAllowChanges(settings.allowChanges);
    if (!settings.activate) {
        m_server.stop();
        return true;
    }
    return m_server.Start(quint16(settings.port), QHostAddress(settings.listenAddress));
}

void RemoteControl::sendDataLine(const QByteArray &line)
{
    m_server.sendDataLine(line);
}
