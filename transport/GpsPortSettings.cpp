#include "transport/GpsPortSettings.h"

#include "core/ReceiverMode.h"
#include "core/Settings.h"

#include <QRegularExpression>
#include <QSettings>

using Settings::readBool;
using Settings::readInt;
using Settings::readText;

QList<int> GpsPortSettings::dataRates()
{
    return { 300, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115000 };
}

bool GpsPortSettings::isValidDataRate(int rate)
{
    return dataRates().contains(rate);
}

GpsPortSettings GpsPortSettings::load(QSettings &s)
{
    GpsPortSettings d;
    // Only a first run starts on the simulated receiver; a station that has settings never
    // finds itself on invented data.
    if (!Settings::firstRun())
        d.portName = offPortName();
    GpsPortSettings r;
    r.portName = readText(s, keyPort(), d.portName);
    r.modeText = readText(s, keyMode(), d.modeText);
    r.dataRate = readInt(s, keyDataRate(), d.dataRate);
    r.dataBits = readInt(s, keyDataBits(), d.dataBits);
    r.stopBits = readInt(s, keyStopBits(), d.stopBits);
    r.parity = readInt(s, keyParity(), d.parity);
    r.handshake = readInt(s, keyHandshake(), d.handshake);
    if (const QVariant pps = s.value(keyPpsInterface()); pps.isValid()) {
        bool ok = false;
        const int stored = pps.toString().trimmed().toInt(&ok);
        if (!ok || stored < 0 || stored > 3)
            Settings::addNotice(QStringLiteral("The stored 1PPS interface \"%1\" is not one of 0 (none), 1 (DCD), "
                                               "2 (CTS), 3 (DSR); it was set to %2 (DCD).")
                                    .arg(pps.toString())
                                    .arg(d.ppsInterface));
    }
    r.ppsInterface = readInt(s, keyPpsInterface(), d.ppsInterface, 0, 3);
    r.tcpIpAddress = readText(s, keyTcpIpAddress(), d.tcpIpAddress);
    r.doNotInitialize = readBool(s, keyDoNotInitialize(), d.doNotInitialize);
    r.autoRestart = readBool(s, keyAutoRestart(), d.autoRestart);
    if (r.portName.trimmed().isEmpty()) {
        r.portName = d.portName;
        s.setValue(keyPort(), r.portName);
    }
    return r;
}

void GpsPortSettings::save(QSettings &s) const
{
    s.setValue(keyPort(), portName);
    s.setValue(keyMode(), modeText);
    s.setValue(keyDataRate(), dataRate);
    s.setValue(keyDataBits(), dataBits);
    s.setValue(keyStopBits(), stopBits);
    s.setValue(keyParity(), parity);
    s.setValue(keyHandshake(), handshake);
    s.setValue(keyPpsInterface(), ppsInterface);
    s.setValue(keyTcpIpAddress(), tcpIpAddress);
    s.setValue(keyDoNotInitialize(), doNotInitialize);
    s.setValue(keyAutoRestart(), autoRestart);
}

int GpsPortSettings::receiverMode() const
{
    return ReceiverMode::fromSettingsText(modeText);
}

bool GpsPortSettings::parseTcpIpAddress(const QString &text, TcpAddress *address)
{
    if (text.isEmpty()) {
        if (address)
            *address = {};
        return true;
    }
    static const QRegularExpression re(
        QStringLiteral("^([0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+)(?::([0-9]+))?\\z"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return false;
    if (address) {
        address->host = m.captured(1);
        bool ok = false;
        const int port = m.captured(2).toInt(&ok);
        address->port = ok ? port : 0;
    }
    return true;
}
