#pragma once

#include "core/Settings.h"
#include "transport/GpsPortSettings.h"

#include <QList>
#include <QString>

class QSettings;

// The settings of one counter port n = 1..8 (group "TicPortDialog" of the settings store).
// Written by the counter port dialog, read by the counter link each time it starts.
struct TicPortSettings
{
    static constexpr int PortCount = 8;

    QString portName = offPortName();   // "OFF", "TCP/IP", "SIMULATOR" or a serial port name
    QString tcpIpAddress;               // "a.b.c.d" or "a.b.c.d:port"
    int dataRate = 9600;
    int handshake = 0;                  // 0 none, 1 Xon/Xoff, 2 RTS/CTS, 3 DTR/DSR (opens without)
    int stopBits = 1;                   // 1 or 2
    int parity = 0;                     // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int dataBits = 8;                   // 7 or 8
    int bareUnit = 0;                   // unit of a number without exponent or suffix:
                                        // 0 s, 1 ms, 2 µs, 3 ns, 4 ps

    static QString offPortName() { return GpsPortSettings::offPortName(); }
    static QString tcpIpPortName() { return GpsPortSettings::tcpIpPortName(); }
    // The built-in simulated counter.
    static QString simulatorPortName() { return GpsPortSettings::simulatorPortName(); }
    // A fresh station (a first run, no settings file) shows two living counters on the
    // simulator (ports 1 and 2); otherwise, and for the other ports, a missing port is off.
    static QString defaultPortName(int n)
    {
        return n <= SimulatedByDefault && Settings::firstRun() ? simulatorPortName() : offPortName();
    }
    static constexpr int SimulatedByDefault = 2;

    // Keys of port n.
    static QString keyPort(int n);
    static QString keyTcpIpAddress(int n);
    static QString keyDataRate(int n);
    static QString keyHandshake(int n);
    static QString keyStopBits(int n);
    static QString keyParity(int n);
    static QString keyDataBits(int n);
    static QString keyBareUnit(int n);
    static QString keyGeometry() { return QStringLiteral("TicPortDialog/geometry"); }

    // The rates the dialog offers.
    static QList<int> dataRates();

    // Reads the keys of port n. A missing key, one that does not read as its type and a value
    // outside its range take the default, which is written back at once. The address is kept
    // as stored (the link checks it when it connects).
    static TicPortSettings load(QSettings &settings, int n);
    void save(QSettings &settings, int n) const;

    // The same values as the transports take them.
    GpsPortSettings transportSettings() const;

    bool operator==(const TicPortSettings &) const = default;
};
