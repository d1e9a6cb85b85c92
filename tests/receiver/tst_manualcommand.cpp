#include "core/ReceiverMode.h"
#include "core/ReceiverState.h"
#include "receiver/console/CommandCatalogue.h"
#include "receiver/console/ManualCommand.h"

#include <QTest>

using ManualCommand::Error;
Q_DECLARE_METATYPE(ManualCommand::Error)

class TestManualCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyRowDefaultsFit_data();
    void everyRowDefaultsFit();
    void parameters_data();
    void parameters();
    void checksums_data();
    void checksums();
    void rowsForReceiver_data();
    void rowsForReceiver();
};

void TestManualCommand::everyRowDefaultsFit_data()
{
    QTest::addColumn<int>("index");
    const QList<CommandRow> &rows = CommandCatalogue::rows();
    for (int i = 0; i < rows.size(); ++i)
        QTest::addRow("%d %s", i, qPrintable(rows[i].name)) << i;
}

void TestManualCommand::everyRowDefaultsFit()
{
    QFETCH(int, index);
    const CommandRow &row = CommandCatalogue::rows().at(index);
    const ManualCommand::Result r = ManualCommand::build(row, row.defaults);
    QVERIFY(r.ok());
    const QByteArray &m = r.message;
    if (row.isMotorola()) {
        // Identifier, parameters, then checksum, CR and LF.
        QCOMPARE(m.size() + 3, row.length);
    } else if (row.isUbx()) {
        const int declared = uint8_t(m.at(4)) | (uint8_t(m.at(5)) << 8);
        QCOMPARE(declared, row.length);
        QCOMPARE(m.size() - 6, row.length);
    } else if (row.length >= 0) {
        // "$" and the sentence, then "*hh", CR and LF.
        QCOMPARE(m.size() - 1 + 5, row.length);
    }
    // Text rows hold what the hex rule refuses ("SETUP", the $PGRMC fields, "0000" is the
    // exception that reads as hex too).
    if (row.kind == CommandRow::Kind::Text && row.defaults.contains(QRegularExpression(QStringLiteral("[^0-9A-Fa-f\\s]")))) {
        CommandRow asHex = row;
        asHex.kind = CommandRow::Kind::Hex;
        QCOMPARE(ManualCommand::build(asHex, row.defaults).error, Error::IllegalHex);
    }
}

void TestManualCommand::parameters_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("group");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<Error>("error");

    const int bin = int(CommandRow::Group::MotorolaBinary);
    const int nmea = int(CommandRow::Group::MotorolaNmea);
    QTest::newRow("lower case, spaces") << "@@Aa" << bin << " 0c 1e\t2d " << QByteArray("@@Aa\x0C\x1E\x2D") << Error::None;
    QTest::newRow("G is no hex digit") << "@@Aa" << bin << "0C1E2G" << QByteArray() << Error::IllegalHex;
    QTest::newRow("half a byte") << "@@Aa" << bin << "0C1E2" << QByteArray() << Error::Malformed;
    QTest::newRow("one byte too many") << "@@Aa" << bin << "0C1E2D00" << QByteArray() << Error::Malformed;
    QTest::newRow("one byte short") << "@@Ag" << bin << "" << QByteArray() << Error::Malformed;
    QTest::newRow("no parameters") << "@@Cj" << bin << "" << QByteArray("@@Cj") << Error::None;
    QTest::newRow("rate text") << "$GPGGA" << nmea << "0001" << QByteArray("$PMOTG,GGA,0001") << Error::None;
    QTest::newRow("rate too long") << "$GPGGA" << nmea << "00001" << QByteArray() << Error::Malformed;
    QTest::newRow("star inside a sentence") << "$GPGGA" << nmea << "00*1" << QByteArray() << Error::Malformed;
    QTest::newRow("manufacturing text") << "@@Tk" << bin << QString(58, QLatin1Char('x'))
                                        << QByteArray("@@Tk") + QByteArray(58, 'x') << Error::None;
    QTest::newRow("manufacturing text short") << "@@Tk" << bin << QString(57, QLatin1Char('x')) << QByteArray() << Error::Malformed;
    QTest::newRow("u-blox TXT rate") << "$GPTXT" << int(CommandRow::Group::UbloxNmea) << "00"
                                     << QByteArray::fromHex("B56206010300F04100") << Error::None;
    QTest::newRow("Garmin any length") << "$PGRMO" << int(CommandRow::Group::Garmin) << "GPRMC,0"
                                       << QByteArray("$PGRMO,GPRMC,0") << Error::None;
}

void TestManualCommand::parameters()
{
    QFETCH(QString, name);
    QFETCH(int, group);
    QFETCH(QString, typed);
    QFETCH(QByteArray, message);
    QFETCH(Error, error);
    const int i = CommandCatalogue::find(name, CommandRow::Group(group));
    QVERIFY(i >= 0);
    const ManualCommand::Result r = ManualCommand::build(CommandCatalogue::rows().at(i), typed);
    QCOMPARE(r.error, error);
    QCOMPARE(r.message, message);
}

void TestManualCommand::checksums_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QString>("checksum");
    QTest::newRow("Motorola") << QByteArray("@@Ag\x1E") << "38";
    QTest::newRow("Motorola 3 bytes") << QByteArray("@@Aa\x0C\x1E\x2D") << "1F";
    QTest::newRow("NMEA zero") << QByteArray("$PMOTG,GGA,0000") << "*00";
    QTest::newRow("NMEA") << QByteArray("$PKTW,SETUP") << "*73";
    QTest::newRow("MON-VER") << QByteArray::fromHex("B5620A040000") << "0E34";
    QTest::newRow("CFG-PRT") << QByteArray::fromHex("B5620600140001000000D0080000802500000100010000000000") << "9A79";
    QTest::newRow("nothing known") << QByteArray("Hello") << "";
}

void TestManualCommand::checksums()
{
    QFETCH(QByteArray, message);
    QFETCH(QString, checksum);
    QCOMPARE(ManualCommand::checksumText(message), checksum);
}

void TestManualCommand::rowsForReceiver_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("first");
    QTest::addColumn<bool>("synergy");   // "@@Sa" listed
    QTest::addColumn<bool>("uSwitch");   // "@@Wb" listed

    QTest::newRow("M12+ binary") << 2 << int(ReceiverModelCode::M12Plus) << 89 << "@@Aa" << false << false;
    QTest::newRow("VP receive only") << 3 << int(ReceiverModelCode::VP) << 89 << "@@Aa" << false << false;
    QTest::newRow("SSR-6Tf binary") << 2 << int(ReceiverModelCode::Ssr6Tf) << 102 << "@@Aa" << true << false;
    QTest::newRow("SSR-M8T binary") << 2 << int(ReceiverModelCode::SsrM8T) << 103 << "@@Aa" << true << true;
    QTest::newRow("Motorola NMEA") << 1 << int(ReceiverModelCode::VP) << 9 << "$GPGGA" << false << true;
    QTest::newRow("u-blox UBX") << 9 << int(ReceiverModelCode::Ublox) << 9 << "AID-HUI" << false << false;
    QTest::newRow("u-blox NMEA") << 10 << int(ReceiverModelCode::Ublox) << 13 << "$GPDTM" << false << false;
    QTest::newRow("TX Oncore") << 6 << int(ReceiverModelCode::TxOncore) << 5 << "$GPALM" << false << false;
    QTest::newRow("generic NMEA") << 6 << int(ReceiverModelCode::GenericNmea) << 0 << "" << false << false;
}

void TestManualCommand::rowsForReceiver()
{
    QFETCH(int, mode);
    QFETCH(int, model);
    QFETCH(int, count);
    QFETCH(QString, first);
    QFETCH(bool, synergy);
    QFETCH(bool, uSwitch);
    const QList<int> rows = CommandCatalogue::rowsFor(mode, model);
    QStringList names;
    for (int i : rows)
        names << CommandCatalogue::rows().at(i).name;
    QCOMPARE(names.size(), count);
    QCOMPARE(names.value(0), first);
    QCOMPARE(names.contains(QStringLiteral("@@Sa")), synergy);
    QCOMPARE(names.contains(QStringLiteral("@@Wb")), uSwitch);
}

QTEST_GUILESS_MAIN(TestManualCommand)
#include "tst_manualcommand.moc"
