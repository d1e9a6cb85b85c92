#include "tic/TicPortSettings.h"

#include <QSettings>

namespace {

QString key(int n, const char *suffix)
{
    return QStringLiteral("TicPortDialog/TIC Serial Port %1%2").arg(n).arg(QLatin1String(suffix));
}

int readChoice(QSettings &s, const QString &k, int fallback, const QList<int> &allowed)
{
    const QVariant v = s.value(k);
    bool ok = false;
    const int value = v.isValid() ? v.toString().trimmed().toInt(&ok) : 0;
    if (ok && allowed.contains(value))
        return value;
    s.setValue(k, fallback);
    return fallback;
}

} // namespace

QString TicPortSettings::keyPort(int n) { return key(n, ""); }
QString TicPortSettings::keyTcpIpAddress(int n) { return key(n, " TcpIp Address"); }
QString TicPortSettings::keyDataRate(int n) { return key(n, " DataRate"); }
QString TicPortSettings::keyHandshake(int n) { return key(n, " Handshake"); }
QString TicPortSettings::keyStopBits(int n) { return key(n, " StopBits"); }
QString TicPortSettings::keyParity(int n) { return key(n, " Parity"); }
QString TicPortSettings::keyDataBits(int n) { return key(n, " DataBits"); }
QString TicPortSettings::keyBareUnit(int n) { return key(n, " Unit"); }

QList<int> TicPortSettings::dataRates()
{
    return { 300, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200 };
}

TicPortSettings TicPortSettings::load(QSettings &s, int n)
{
    const TicPortSettings d;
    TicPortSettings r;
    const QVariant name = s.value(keyPort(n));
    r.portName = name.isValid() ? name.toString().trimmed() : QString();
    if (r.portName.isEmpty()) {
        r.portName = defaultPortName(n);
        s.setValue(keyPort(n), r.portName);
    }
    const QVariant address = s.value(keyTcpIpAddress(n));
    if (address.isValid())
        r.tcpIpAddress = address.toString().trimmed();
    else
        s.setValue(keyTcpIpAddress(n), r.tcpIpAddress);
    r.dataRate = readChoice(s, keyDataRate(n), d.dataRate, dataRates());
    r.handshake = readChoice(s, keyHandshake(n), d.handshake, { 0, 1, 2, 3 });
    r.stopBits = readChoice(s, keyStopBits(n), d.stopBits, { 1, 2 });
    r.parity = readChoice(s, keyParity(n), d.parity, { 0, 1, 2, 3, 4 });
    r.dataBits = readChoice(s, keyDataBits(n), d.dataBits, { 7, 8 });
    r.bareUnit = readChoice(s, keyBareUnit(n), d.bareUnit, { 0, 1, 2, 3, 4 });
    return r;
}

void TicPortSettings::save(QSettings &s, int n) const
{
    s.setValue(keyPort(n), portName);
    s.setValue(keyTcpIpAddress(n), tcpIpAddress);
    s.setValue(keyDataRate(n), dataRate);
    s.setValue(keyHandshake(n), handshake);
    s.setValue(keyStopBits(n), stopBits);
    s.setValue(keyParity(n), parity);
    s.setValue(keyDataBits(n), dataBits);
    s.setValue(keyBareUnit(n), bareUnit);
}

GpsPortSettings TicPortSettings::transportSettings() const
{
    GpsPortSettings t;
    t.portName = portName;
    t.modeText.clear();
    t.dataRate = dataRate;
    t.dataBits = dataBits;
    t.stopBits = stopBits;
    t.parity = parity;
    t.handshake = handshake;
    t.ppsInterface = 0;
    t.tcpIpAddress = tcpIpAddress;
    t.doNotInitialize = true;
    t.autoRestart = false;
    return t;
}
