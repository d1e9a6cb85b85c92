#include "core/ReceiverMode.h"
#include "receiver/framing/Checksums.h"
#include "receiver/framing/StreamFramer.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "support/FramingHelpers.h"
#include "support/TestSupport.h"

#include <QMap>
#include <QRandomGenerator>
#include <QtTest>

namespace framing_tests {

using namespace Frames;

namespace {

QList<QByteArray> frameAll(int mode, const QList<QByteArray> &chunks)
{
    StreamFramer framer(mode);
    QList<QByteArray> out;
    for (const QByteArray &c : chunks)
        framer.feed(c, [&](const QByteArray &f) { out.append(f); });
    return out;
}

QByteArray zeros(int n)
{
    return QByteArray(n, '\0');
}

} // namespace

class TestFraming : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lengthTable_data()
    {
        QTest::addColumn<QByteArray>("id");
        QTest::addColumn<int>("length");
        QTest::newRow("Ha") << QByteArray("Ha") << 154;
        QTest::newRow("Ea") << QByteArray("Ea") << 76;
        QTest::newRow("Bb") << QByteArray("Bb") << 92;
        QTest::newRow("Cj") << QByteArray("Cj") << 294;
        QTest::newRow("Tr longest") << QByteArray("Tr") << 597;
        QTest::newRow("Cf shortest") << QByteArray("Cf") << 7;
        QTest::newRow("SP upper") << QByteArray("SP") << 11;
        QTest::newRow("Sp lower") << QByteArray("Sp") << 8;
        QTest::newRow("Wb listed") << QByteArray("Wb") << 9;
        QTest::newRow("Wz unlisted W") << QByteArray("Wz") << 0;
        QTest::newRow("W then 0xFF") << QByteArray("W\xFF") << 0;
        QTest::newRow("Zz unknown") << QByteArray("Zz") << -1;
        QTest::newRow("Hb") << QByteArray("Hb") << 54;
        QTest::newRow("hA wrong case") << QByteArray("hA") << -1;
        QTest::newRow("@H") << QByteArray("@H") << -1;
    }
    void lengthTable()
    {
        QFETCH(QByteArray, id);
        QFETCH(int, length);
        QCOMPARE(MotorolaFramer::messageLength(id[0], id[1]), length);
    }

    void stream_data()
    {
        using L = QList<QByteArray>;
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QList<QByteArray>>("expected");

        const QByteArray ha = motorola("Ha");
        const QByteArray cj = motorola("Cj", {}, 'x');
        const QByteArray ea = motorola("Ea", {}, '\x11');
        const int motorolaBinary = ReceiverMode::MotorolaBinary;

        QTest::newRow("motorola whole frame") << motorolaBinary << L { ha } << L { emitted(ha) };
        QTest::newRow("motorola rx only mode") << int(ReceiverMode::MotorolaBinaryRxOnly) << L { ea }
                                               << L { emitted(ea) };
        QTest::newRow("motorola garbage between") << motorolaBinary << L { "xx@y" + ha + "\r\n\x01@z" + cj + "zz" }
            << L { emitted(ha), emitted(cj) };
        QTest::newRow("three @ lose the message") << motorolaBinary << L { "@" + ha + ea } << L { emitted(ea) };
        {
            QByteArray bad = ha;
            bad[bad.size() - 3] = static_cast<char>(bad[bad.size() - 3] ^ 0x01);
            QTest::newRow("wrong checksum dropped, next kept") << motorolaBinary << L { bad + ea } << L { emitted(ea) };
            QByteArray noCrLf = ha;
            noCrLf[noCrLf.size() - 1] = 'X';
            QTest::newRow("missing LF dropped") << motorolaBinary << L { noCrLf + ea } << L { emitted(ea) };
        }
        {
            QByteArray eq = motorola("Eq", {}, 'A');
            eq[eq.size() - 3] = static_cast<char>(eq[eq.size() - 3] ^ 0x5A);
            QTest::newRow("Eq wrong checksum still emitted") << motorolaBinary << L { eq } << L { emitted(eq) };
            QByteArray eqNoCr = eq;
            eqNoCr[eqNoCr.size() - 2] = ' ';
            QTest::newRow("Eq without CR LF dropped") << motorolaBinary << L { eqNoCr + ha } << L { emitted(ha) };
        }
        QTest::newRow("unknown identifier dropped")
            << motorolaBinary << L { QByteArray("@@Zz") + zeros(10) + "\r\n" + ha } << L { emitted(ha) };
        QTest::newRow("unlisted W never verifies")
            << motorolaBinary << L { QByteArray("@@Wq\r\n") + ha } << L { emitted(ha) };
        {
            const QByteArray wb = motorola("Wb", QByteArray("\x00\x00", 2));
            QTest::newRow("listed W frame") << motorolaBinary << L { wb } << L { emitted(wb) };
        }
        {
            const QByteArray bb20 = bb(20, 20);
            QVERIFY(bb20.size() == 148);
            QTest::newRow("Bb count 20 is 148 bytes") << motorolaBinary << L { bb20 + ha }
                                                      << L { emitted(bb20), emitted(ha) };
            // Count 100: the length is capped at 64 entries (456 bytes).
            const QByteArray bb100 = bb(100, 64);
            QVERIFY(bb100.size() == 456);
            QTest::newRow("Bb count 100 is 456 bytes") << motorolaBinary << L { bb100 + ha }
                                                       << L { emitted(bb100), emitted(ha) };
            const QByteArray bb13of12 = bb(13, 12);
            QVERIFY(bb13of12.size() == 92);
            QTest::newRow("Bb count 13 with 12 records ends at 92")
                << motorolaBinary << L { bb13of12 + ea } << L { emitted(bb13of12), emitted(ea) };
            const QByteArray bb13 = bb(13, 13);
            QVERIFY(bb13.size() == 99);
            QTest::newRow("Bb count 13 with 13 records is 99 bytes")
                << motorolaBinary << L { bb13 + ea } << L { emitted(bb13), emitted(ea) };
            const QByteArray bb5 = bb(5, 12);
            QTest::newRow("Bb small count keeps table length") << motorolaBinary << L { bb5 } << L { emitted(bb5) };
        }
        {
            // The DGPS probe's answer and the correction output: no length in the table, cut
            // where CR LF follows a matching checksum (a CR LF inside the body is not an end).
            const QByteArray answer = motorola("Bh", QByteArray("\x00", 1));
            const QByteArray output = motorola("Bh", QByteArray("\x01\x10\r\n\x22" "corrections\r\n\x33", 19));
            QTest::newRow("Bh answer then Ha") << motorolaBinary << QList<QByteArray> { answer + ha }
                                               << QList<QByteArray> { emitted(answer), emitted(ha) };
            QTest::newRow("Bh output split") << motorolaBinary << QList<QByteArray> { output.left(6), output.mid(6) + ea }
                                             << QList<QByteArray> { emitted(output), emitted(ea) };
        }
        QTest::newRow("motorola in nmea mode ignored") << int(ReceiverMode::MotorolaNmea) << L { ha } << L {};
        QTest::newRow("loran mode frames text lines")
            << int(ReceiverMode::MotorolaLoran) << L { nmea("GPZDA,1") + "T012\r\n" }
            << L { nmeaEmitted("GPZDA,1"), "T012" };
        QTest::newRow("search mode frames nothing") << int(ReceiverMode::Search) << L { ha + nmea("GPZDA,1") } << L {};

        // --- NMEA and UBX ---------------------------------------------------------------
        const int ubloxUbx = ReceiverMode::UbloxUbx;
        const int genericNmea = ReceiverMode::GenericNmea;
        const QByteArray gga = "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
        const QByteArray ubx0 = ubx(0x0A, 0x04, {});
        const QByteArray ubxSol = ubx(0x01, 0x06, QByteArray(52, '\x24'));   // payload full of '$'

        QTest::newRow("nmea sentence") << genericNmea << L { nmea(gga) } << L { nmeaEmitted(gga) };
        QTest::newRow("nmea LF only and CR only")
            << int(ReceiverMode::MotorolaNmea) << L { nmea("GPZDA,1", "\n") + nmea("GPZDA,2", "\r") }
            << L { nmeaEmitted("GPZDA,1"), nmeaEmitted("GPZDA,2") };
        {
            QByteArray lower = nmea("GPZDA,9");   // checksum 0x?? written in lower case
            const QByteArray field = Checksums::hexByte(Checksums::nmeaXor("GPZDA,9")).toLower();
            lower = "$GPZDA,9*" + field + "\r\n";
            QVERIFY(field != field.toUpper());
            QTest::newRow("lower-case checksum fails") << genericNmea << L { lower } << L {};
        }
        QTest::newRow("wrong checksum fails") << genericNmea << L { QByteArray("$GPZDA,1*00\r\n") } << L {};
        QTest::newRow("no star GP with comma valid")
            << genericNmea << L { QByteArray("$GPXYZ,1,2\r\n") } << L { "$GPXYZ,1,2" };
        QTest::newRow("no star P with comma valid")
            << genericNmea << L { QByteArray("$PMOTG,ZDA\r\n") } << L { "$PMOTG,ZDA" };
        QTest::newRow("no star other talker invalid") << genericNmea << L { QByteArray("$GNXYZ,1,2\r\n") } << L {};
        QTest::newRow("no star no comma invalid") << genericNmea << L { QByteArray("$GPXYZ\r\n") } << L {};
        QTest::newRow("star elsewhere invalid") << genericNmea << L { QByteArray("$GPXYZ,1*2,3\r\n") } << L {};
        QTest::newRow("non-printable byte drops sentence, byte rescanned")
            << genericNmea << L { "$GPZDA,12\x01" + nmea("GPZDA,3") } << L { nmeaEmitted("GPZDA,3") };
        QTest::newRow("8-bit byte drops sentence") << genericNmea << L { "$GPZDA,1\xE9,2*00\r\n" + nmea("GPZDA,4") }
            << L { nmeaEmitted("GPZDA,4") };
        QTest::newRow("ubx length 0 is 8 bytes") << ubloxUbx << L { ubx0 } << L { ubx0 };
        QTest::newRow("ubx ignored when nmea only") << genericNmea << L { ubx0 + nmea("GPZDA,5") }
                                                    << L { nmeaEmitted("GPZDA,5") };
        QTest::newRow("ubx payload with dollars") << int(ReceiverMode::UbloxNmea) << L { ubxSol } << L { ubxSol };
        {
            const QByteArray max = ubx(0x02, 0x10, QByteArray(1024, '\x7F'));
            QTest::newRow("ubx length 1024 accepted") << ubloxUbx << L { max } << L { max };
            const QByteArray over = ubx(0x02, 0x10, QByteArray(1025, '\x7F'));
            QTest::newRow("ubx length 1025 dropped") << ubloxUbx << L { over + ubx0 } << L { ubx0 };
            QByteArray bad = ubxSol;
            bad[bad.size() - 1] = static_cast<char>(bad[bad.size() - 1] ^ 0x10);
            QTest::newRow("ubx bad checksum dropped") << ubloxUbx << L { bad + ubx0 } << L { ubx0 };
        }
        QTest::newRow("B5 without 62 then sentence")
            << ubloxUbx << L { "\xB5\x63" + nmea("GPZDA,6") } << L { nmeaEmitted("GPZDA,6") };
        QTest::newRow("B5 B5 62 starts at the second") << ubloxUbx << L { "\xB5" + ubx0 } << L { ubx0 };
        QTest::newRow("stream order nmea before ubx") << ubloxUbx << L { nmea(gga) + ubx0 + nmea("GPZDA,7") }
            << L { nmeaEmitted(gga), ubx0, nmeaEmitted("GPZDA,7") };
        QTest::newRow("nmea interrupted by ubx sync") << ubloxUbx << L { "$GPZDA,1" + ubx0 } << L { ubx0 };
    }
    void stream()
    {
        QFETCH(int, mode);
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QList<QByteArray>, expected);
        QCOMPARE(frameAll(mode, chunks), expected);
        // The same bytes one at a time give the same messages.
        QList<QByteArray> bytes;
        for (const QByteArray &c : chunks)
            for (char b : c)
                bytes.append(QByteArray(1, b));
        QCOMPARE(frameAll(mode, bytes), expected);
    }

    void motorolaSplitAtEveryByte()
    {
        const QByteArray first = motorola("Ea", {}, '\x40');   // body full of '@'
        const QByteArray second = bb(13, 12);
        const QByteArray wire = first + second;
        const QList<QByteArray> expected { emitted(first), emitted(second) };
        for (int a = 0; a <= wire.size(); ++a) {
            for (int b = a; b <= wire.size(); b += 7) {
                const QList<QByteArray> got = frameAll(ReceiverMode::MotorolaBinary,
                                                       { wire.left(a), wire.mid(a, b - a), wire.mid(b) });
                if (got != expected)
                    QFAIL(qPrintable(QStringLiteral("split at %1/%2").arg(a).arg(b)));
            }
        }
    }

    void nmeaUbxSplitAtEveryByte()
    {
        const QByteArray s1 = nmea("GPRMC,1,2,3");
        const QByteArray u = ubx(0x01, 0x20, QByteArray("\x01\x02$\x03\xB5\x62\x0D\x0A", 8));
        const QByteArray wire = s1 + u + nmea("PGRMT,x");
        const QList<QByteArray> expected { s1.left(s1.size() - 2), u, nmeaEmitted("PGRMT,x") };
        for (int a = 0; a <= wire.size(); ++a) {
            const QList<QByteArray> got = frameAll(ReceiverMode::UbloxNmea, { wire.left(a), wire.mid(a) });
            if (got != expected)
                QFAIL(qPrintable(QStringLiteral("split at %1").arg(a)));
        }
    }

    void ppsMarker_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("before");   // fed before the edge
        QTest::addColumn<QByteArray>("after");    // fed after the edge
        QTest::addColumn<QList<QByteArray>>("expected");

        const QByteArray ha = motorola("Ha");
        const QByteArray ea = motorola("Ea");
        QTest::newRow("between frames") << int(ReceiverMode::MotorolaBinary) << ha << ea
                                        << QList<QByteArray> { emitted(ha), ::ppsMarker(), emitted(ea) };
        // The edge comes while a message is half read: the marker waits for its end.
        QTest::newRow("inside a frame") << int(ReceiverMode::MotorolaBinary) << ha.left(20) << ha.mid(20) + ea
                                        << QList<QByteArray> { emitted(ha), ::ppsMarker(), emitted(ea) };
        // A chunk that ends exactly with a frame leaves the marker for the next chunk.
        QTest::newRow("at chunk end") << int(ReceiverMode::MotorolaBinary) << ha.left(20) << ha.mid(20)
                                      << QList<QByteArray> { emitted(ha) };
        const QByteArray zda = nmea("GPZDA,1");
        QTest::newRow("nmea inside a sentence") << int(ReceiverMode::GenericNmea) << zda.left(4) << zda.mid(4) + zda
                                                << QList<QByteArray> { nmeaEmitted("GPZDA,1"), ::ppsMarker(), nmeaEmitted("GPZDA,1") };
        QTest::newRow("garbage only") << int(ReceiverMode::UbloxUbx) << QByteArray() << QByteArray("\x01\x02")
                                      << QList<QByteArray> { ::ppsMarker() };
    }
    void ppsMarker()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(QList<QByteArray>, expected);
        StreamFramer framer(mode);
        QList<QByteArray> out;
        const FrameSink sink = [&](const QByteArray &f) { out.append(f); };
        bool pending = false;
        framer.feed(before, pending, sink);
        pending = true;
        framer.feed(after, pending, sink);
        QCOMPARE(out, expected);
        QCOMPARE(pending, !expected.contains(::ppsMarker()));
    }

    void modeChangeDropsPartialMessage()
    {
        const QByteArray ha = motorola("Ha");
        const QByteArray ea = motorola("Ea");
        StreamFramer framer(ReceiverMode::MotorolaBinary);
        QList<QByteArray> out;
        const FrameSink sink = [&](const QByteArray &f) { out.append(f); };
        framer.feed(ha.left(50), sink);
        QVERIFY(framer.motorola().pendingBytes() > 0);
        QVERIFY(!framer.setMode(ReceiverMode::MotorolaBinary));   // same mode keeps it
        QVERIFY(framer.motorola().pendingBytes() > 0);
        QVERIFY(framer.setMode(ReceiverMode::UbloxUbx));
        QVERIFY(framer.setMode(ReceiverMode::MotorolaBinary));
        QCOMPARE(framer.motorola().pendingBytes(), 0);
        framer.feed(ha.mid(50) + ea, sink);
        QCOMPARE(out, QList<QByteArray> { emitted(ea) });

        // The same for a half sentence.
        out.clear();
        framer.setMode(ReceiverMode::GenericNmea);
        framer.feed("$GPZDA,12", sink);
        framer.setMode(ReceiverMode::MotorolaNmea);
        framer.feed(",3\r\n" + nmea("GPZDA,8"), sink);
        QCOMPARE(out, QList<QByteArray> { nmeaEmitted("GPZDA,8") });
    }

    void longSentenceIsCapped()
    {
        NmeaUbxFramer framer;
        QList<QByteArray> out;
        bool pending = false;
        const FrameSink sink = [&](const QByteArray &f) { out.append(f); };
        const QByteArray body = "GPTXT," + QByteArray(NmeaUbxFramer::MaxSentenceLength - 10, 'a');
        const QByteArray fits = nmea(body);
        QCOMPARE(fits.size() - 2, NmeaUbxFramer::MaxSentenceLength);
        framer.feed(fits, true, pending, sink);
        QCOMPARE(out.size(), 1);
        out.clear();
        framer.feed(nmea("GPTXT,x" + body), true, pending, sink);   // one byte too long
        QVERIFY(out.isEmpty());
        out.clear();
        framer.feed("$GPTXT," + QByteArray(5000, 'b'), true, pending, sink);
        QVERIFY(framer.pendingBytes() <= NmeaUbxFramer::MaxSentenceLength);
        framer.feed("\r\n" + nmea("GPZDA,1"), true, pending, sink);
        QCOMPARE(out, QList<QByteArray> { nmeaEmitted("GPZDA,1") });
    }

    void splitsDoNotMatter_data()
    {
        QTest::addColumn<int>("mode");
        for (int mode : { 1, 2, 9 })
            QTest::newRow(qPrintable(ReceiverMode::text(mode))) << mode;
    }
    void splitsDoNotMatter()
    {
        // Good frames of every family, damaged copies and noise, framed as one chunk, in random
        // pieces and byte by byte: the messages must be the same every time.
        QFETCH(int, mode);
        QRandomGenerator rng(42 + mode);
        QByteArray stream;
        const QList<QByteArray> good { motorola("Ha"), motorola("Ea", {}, '@'), bb(13, 12), bb(13, 13), bb(30, 30),
                                       motorola("Eq", {}, '$'), nmea("GPZDA,1,2"), nmea("PGRMT,GPS 15x"),
                                       QByteArray("$GPXYZ,1\r\n"), ubx(0x01, 0x06, QByteArray(52, '\xB5')),
                                       ubx(0x0A, 0x04, {}), ubx(0x0D, 0x01, QByteArray(16, '$')) };
        while (stream.size() < 200000) {
            QByteArray f = good[rng.bounded(good.size())];
            const quint32 r = rng.bounded(10);
            if (r == 0)
                f[rng.bounded(f.size())] = static_cast<char>(rng.bounded(256));   // damaged
            else if (r == 1)
                f = f.left(rng.bounded(f.size()));                                  // cut short
            else if (r == 2)
                for (int k = rng.bounded(40); k > 0; --k)                           // noise
                    f.append(static_cast<char>(rng.bounded(256)));
            stream += f;
        }
        const QList<QByteArray> whole = frameAll(mode, { stream });
        QVERIFY(whole.size() > 300);
        QList<QByteArray> pieces;
        for (qsizetype i = 0; i < stream.size();) {
            const qsizetype n = 1 + rng.bounded(300);
            pieces.append(stream.mid(i, n));
            i += n;
        }
        QCOMPARE(frameAll(mode, pieces), whole);
        QList<QByteArray> bytes;
        for (qsizetype i = 0; i < 30000; ++i)
            bytes.append(stream.mid(i, 1));
        QCOMPARE(frameAll(mode, bytes), frameAll(mode, { stream.left(30000) }));
    }

    void randomBytesStayBounded_data()
    {
        QTest::addColumn<int>("mode");
        for (int mode : { 1, 2, 3, 6, 9, 10 })
            QTest::newRow(qPrintable(ReceiverMode::text(mode))) << mode;
    }
    void randomBytesStayBounded()
    {
        QFETCH(int, mode);
        // Random bytes biased toward the start bytes, so every state is visited often.
        QRandomGenerator rng(0xC0FFEE + mode);
        StreamFramer framer(mode);
        qsizetype maxPending = 0;
        qint64 maxFrame = 0;
        const FrameSink sink = [&](const QByteArray &f) {
            maxFrame = std::max<qint64>(maxFrame, f.size());
        };
        QByteArray chunk(4096, Qt::Uninitialized);
        const char specials[] = { '@', '$', '\xB5', '\x62', '\r', '\n', '*', 'B', 'b' };
        for (int round = 0; round < 1024; ++round) {   // 4 MB
            for (char &c : chunk) {
                const quint32 r = rng.generate();
                c = (r & 0x300) == 0 ? specials[(r >> 16) % sizeof specials] : static_cast<char>(r & 0xFF);
            }
            framer.feed(QByteArrayView(chunk).first(1 + rng.bounded(4096)), sink);
            maxPending = std::max({ maxPending, framer.motorola().pendingBytes(), framer.nmeaUbx().pendingBytes() });
        }
        QVERIFY2(maxPending <= 1100, qPrintable(QString::number(maxPending)));
        QVERIFY(maxFrame <= 1100);
        // Whatever state the noise left behind, the framer finds the next good message.
        const QByteArray good = mode == 2 || mode == 3 ? motorola("Ha") : nmea("GPZDA,1");
        QByteArray last;
        framer.feed(QByteArray(1100, '\0') + "\r\n" + good, [&](const QByteArray &f) { last = f; });
        QCOMPARE(last, mode == 2 || mode == 3 ? emitted(good) : nmeaEmitted("GPZDA,1"));
    }

    void oncoreBinaryCapture()
    {
        CHRONODE_REQUIRE_CAPTURE(bytes, "oncore-binary.log");
        QMap<QByteArray, int> ids;
        QList<QByteArray> frames;
        for (int chunkSize : { int(bytes.size()), 1, 13 }) {
            ids.clear();
            frames.clear();
            StreamFramer framer(ReceiverMode::MotorolaBinary);
            for (qsizetype i = 0; i < bytes.size(); i += chunkSize)
                framer.feed(QByteArrayView(bytes).sliced(i, std::min<qsizetype>(chunkSize, bytes.size() - i)),
                            [&](const QByteArray &f) { frames.append(f); ++ids[f.mid(2, 2)]; });
            // Both of the 8-channel receiver's "@@Bb" (count 13, 12 records) come through.
            QCOMPARE(ids.value("Bb"), 2);
            QCOMPARE(ids.value("Ea"), 12);
            QCOMPARE(ids.value("En"), 12);
            QCOMPARE(ids.value("Bo"), 12);
            QCOMPARE(ids.value("As"), 11);
        }
        for (const QByteArray &f : frames) {
            if (f.startsWith("@@Bb")) {
                QCOMPARE(f.size(), 89);
                QCOMPARE(int(uchar(f[4])), 13);
            }
        }
    }

};

} // namespace framing_tests

namespace checksums_tests {

class TestChecksums : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void motorolaFrame_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("valid");
        // "@@Cj" poll: 'C' ^ 'j' = 0x29.
        QTest::newRow("Cj poll") << QByteArray("@@Cj)\r\n") << true;
        QTest::newRow("Cj wrong") << QByteArray("@@Cj*\r\n") << false;
        QTest::newRow("Cj no LF") << QByteArray("@@Cj)\r\r") << false;
        QTest::newRow("Ea 00") << QByteArray("@@Ea\x00\x24\r\n", 8) << true;   // 'E'^'a' = 0x24
        QTest::newRow("Eq any checksum") << QByteArray("@@Eq,1,2\xFF\r\n") << true;
        QTest::newRow("Eq needs CR LF") << QByteArray("@@Eq,1,2\xFF\n\r") << false;
        QTest::newRow("too short") << QByteArray("\r\n") << false;
    }
    void motorolaFrame()
    {
        QFETCH(QByteArray, frame);
        QFETCH(bool, valid);
        QCOMPARE(Checksums::motorolaFrameValid(frame), valid);
    }

    void ubxFletcher_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("valid");
        // MON-VER poll and CFG-PRT poll as published by the manufacturer.
        QTest::newRow("MON-VER poll") << QByteArray("\xB5\x62\x0A\x04\x00\x00\x0E\x34", 8) << true;
        QTest::newRow("NAV-PVT poll") << QByteArray("\xB5\x62\x01\x07\x00\x00\x08\x19", 8) << true;
        QTest::newRow("CFG-MSG NAV-SOL 1")
            << QByteArray("\xB5\x62\x06\x01\x03\x00\x01\x06\x01\x12\x4F", 11) << true;
        QTest::newRow("CK_B wrong") << QByteArray("\xB5\x62\x0A\x04\x00\x00\x0E\x35", 8) << false;
        QTest::newRow("seven bytes") << QByteArray("\xB5\x62\x0A\x04\x00\x0E\x34", 7) << false;
    }
    void ubxFletcher()
    {
        QFETCH(QByteArray, frame);
        QFETCH(bool, valid);
        QCOMPARE(Checksums::ubxFrameValid(frame), valid);
    }

    void nmeaSentence_data()
    {
        QTest::addColumn<QByteArray>("sentence");
        QTest::addColumn<bool>("valid");
        QTest::newRow("GGA") << QByteArray("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47") << true;
        QTest::newRow("GGA wrong") << QByteArray("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*48") << false;
        QTest::newRow("digits only") << QByteArray("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39") << true;
        QTest::newRow("lower hex fails") << QByteArray("$PGRME,15.0,M,45.0,M,25.0,M*1c") << false;
        QTest::newRow("upper hex") << QByteArray("$PGRME,15.0,M,45.0,M,25.0,M*1C") << true;
        QTest::newRow("no star GP") << QByteArray("$GPRMC,1") << true;
        QTest::newRow("no star P") << QByteArray("$PMOTG,FOR,0") << true;
        QTest::newRow("no star GL") << QByteArray("$GLGSV,1") << false;
        QTest::newRow("no star no comma") << QByteArray("$GPRMC") << false;
        QTest::newRow("star not third-last") << QByteArray("$GPRMC,1*4") << false;
        QTest::newRow("empty checksum body") << QByteArray("$*00") << true;
        // No '$' in front of the star: nothing lies between them, and nothing may be read.
        QTest::newRow("star first, no dollar") << QByteArray("*00") << false;
        QTest::newRow("star first, two digits") << QByteArray("*AB") << false;
    }
    void nmeaSentence()
    {
        QFETCH(QByteArray, sentence);
        QFETCH(bool, valid);
        QCOMPARE(Checksums::nmeaSentenceValid(sentence), valid);
    }

    void completeCommand_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("echo");

        QTest::newRow("nmea checksum appended") << QByteArray("$PMOTG,ZDA,0001") << QByteArray("$PMOTG,ZDA,0001*1F")
                                                << QStringLiteral("<- $PMOTG,ZDA,0001*1F");
        QTest::newRow("nmea stale checksum replaced") << QByteArray("$PMOTG,ZDA,0001*99") << QByteArray("$PMOTG,ZDA,0001*1F")
                                                      << QStringLiteral("<- $PMOTG,ZDA,0001*1F");
        QTest::newRow("nmea short unchanged") << QByteArray("$PMOTG") << QByteArray("$PMOTG") << QStringLiteral("<- $PMOTG");
        QTest::newRow("nmea seven chars") << QByteArray("$PMOTGX") << QByteArray("$PMOTGX*19") << QStringLiteral("<- $PMOTGX*19");
        QTest::newRow("ubx poll") << QByteArray("\xB5\x62\x0A\x04\x00\x00", 6) << QByteArray("\xB5\x62\x0A\x04\x00\x00\x0E\x34", 8)
                                  << QStringLiteral("<- <B5><62><0A><04><00><00><0E><34>");
        QTest::newRow("motorola Cj") << QByteArray("@@Cj") << QByteArray("@@Cj)") << QStringLiteral("<- @@Cj<29>");
        QTest::newRow("motorola Ha 00") << QByteArray("@@Ha\x00", 5) << QByteArray("@@Ha\x00\x29", 6)
                                        << QStringLiteral("<- @@Ha<00><29>");
        // A trailing "*x": the checksum covers the bytes before the '*', which stays in place.
        QTest::newRow("motorola star second-last") << QByteArray("@@Gk\x01*\x05", 7) << QByteArray("@@Gk\x01*\x05\x2D", 8)
                                                   << QStringLiteral("<- @@Gk<01><2A><05><2D>");
        QTest::newRow("motorola too short") << QByteArray("@@C") << QByteArray("@@C") << QStringLiteral("<- @@C");
        {
            QByteArray tk("@@Tk");
            tk += QByteArray("Chronode test message for the Tk echo ... 0123456789ABC");   // to byte 59
            QCOMPARE(tk.size(), 59);
            tk += QByteArray("\x01\x02", 2);
            const char ck = static_cast<char>(Checksums::motorolaXor(tk));
            QString echo = QStringLiteral("<- ") + QString::fromLatin1(tk.left(59)) + QStringLiteral("<01><02><")
                + QString::fromLatin1(Checksums::hexByte(uint8_t(ck))) + QStringLiteral(">");
            QTest::newRow("motorola Tk text") << tk << (tk + ck) << echo;
        }
        QTest::newRow("5555 unchanged") << QByteArray("\x55\x55\x01\xFF", 4) << QByteArray("\x55\x55\x01\xFF", 4)
                                        << QStringLiteral("<- <55><55><01><FF>");
        QTest::newRow("other unchanged, no echo") << QByteArray("T0") << QByteArray("T0") << QString();
        QTest::newRow("single @ is other") << QByteArray("@X1") << QByteArray("@X1") << QString();
    }
    void completeCommand()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, sent);
        QFETCH(QString, echo);
        QString gotEcho = QStringLiteral("unset");
        QCOMPARE(ReceiverCommandChannel::completeCommand(command, &gotEcho), sent);
        QCOMPARE(gotEcho, echo);
    }
};

} // namespace checksums_tests

CHRONODE_TEST_MAIN(framing_tests::TestFraming, checksums_tests::TestChecksums)
#include "tst_framing.moc"
