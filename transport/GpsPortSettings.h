#pragma once

#include <QString>
#include <QStringList>
#include <QList>

class QSettings;

// The receiver port settings (group "GpsPortDialog" of the settings store). Written by the
// port dialog, read by the link whenever the port is (re)started.
struct GpsPortSettings
{
    // Port name as the system lists it, or one of the special names below.
    QString portName = QStringLiteral("SIMULATOR");
    QString modeText = QStringLiteral("Motorola Binary");   // one of the six port-dialog texts
    int dataRate = 9600;
    int dataBits = 8;        // 7 or 8
    int stopBits = 1;        // 1 or 2
    int parity = 0;          // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int handshake = 0;       // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 DTR/DSR (opens without)
    int ppsInterface = 1;    // 0 none, 1 DCD, 2 CTS, 3 DSR
    QString tcpIpAddress;    // "a.b.c.d" or "a.b.c.d:port"
    bool doNotInitialize = false;
    bool autoRestart = true;

    // Special port names: no receiver port at all, a TCP link to a serial-to-network bridge,
    // and the built-in simulated receiver (the default when nothing is stored).
    static QString offPortName() { return QStringLiteral("OFF"); }
    static QString tcpIpPortName() { return QStringLiteral("TCP/IP"); }
    static QString simulatorPortName() { return QStringLiteral("SIMULATOR"); }

    // Settings keys.
    static QString keyPort() { return QStringLiteral("GpsPortDialog/GPS Serial Port"); }
    static QString keyMode() { return QStringLiteral("GpsPortDialog/GPS Serial Port Mode"); }
    static QString keyDataRate() { return QStringLiteral("GpsPortDialog/GPS Serial Port DataRate"); }
    static QString keyDataBits() { return QStringLiteral("GpsPortDialog/GPS Serial Port DataBits"); }
    static QString keyStopBits() { return QStringLiteral("GpsPortDialog/GPS Serial Port StopBits"); }
    static QString keyParity() { return QStringLiteral("GpsPortDialog/GPS Serial Port Parity"); }
    static QString keyHandshake() { return QStringLiteral("GpsPortDialog/GPS Serial Port Handshake"); }
    static QString keyPpsInterface() { return QStringLiteral("GpsPortDialog/GPS Serial Port PPS Interface"); }
    static QString keyTcpIpAddress() { return QStringLiteral("GpsPortDialog/GPS Serial Port TcpIp Address"); }
    static QString keyDoNotInitialize() { return QStringLiteral("GpsPortDialog/GPS Do Not Initialize"); }
    static QString keyAutoRestart() { return QStringLiteral("GpsPortDialog/GPS AutoRestart"); }
    static QString keyGeometry() { return QStringLiteral("GpsPortDialog/geometry"); }

    // The rates the dialog offers (115000, not 115200, is what the 115k button carries).
    static QList<int> dataRates();
    static bool isValidDataRate(int rate);

    // Reads every key; a missing key takes its default, which is written back at once. Values
    // that cannot be read as their type are repaired the same way. Choices outside their range
    // are kept as stored (the port opens them with the documented fall-backs).
    static GpsPortSettings load(QSettings &settings);
    void save(QSettings &settings) const;

    // The receiver mode number of modeText (11 when it is none of the six texts).
    int receiverMode() const;

    // Parses "a.b.c.d" or "a.b.c.d:port" (decimal numbers, not range-checked). An empty text
    // is acceptable but yields no host. Returns false for anything else.
    struct TcpAddress
    {
        QString host;
        int port = 0;   // 0 when the text gives none
    };
    static bool parseTcpIpAddress(const QString &text, TcpAddress *address = nullptr);
    // Port used when the address names none.
    static constexpr int DefaultTcpPort = 5024;

    bool operator==(const GpsPortSettings &) const = default;
};
