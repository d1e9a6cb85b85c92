#include "core/TextFormat.h"
#include "tools/chronode-decode/JsonLineWriter.h"
#include "support/TestSupport.h"

#include <QtTest>
#include <cstdio>
#include <limits>

// The decoders' text formatting must print what the C library and QString::asprintf print,
// including their different rounding of halves; chronode-decode's JSON numbers and strings
// must print as the tool always printed them.
class TestTextOutput : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void formatMatchesBothFormatters_data()
    {
        QTest::addColumn<QByteArray>("format");
        for (const char *f : { "%.1f", "%4.1f", "%05.2f", "%06.6f", "%1.8f", "%.0f", "%012.9f", "%-8.2f|", "%+.2f", "%#.0f",
                               "%#10.8e", "%.3e", "%E" })
            QTest::newRow(f) << QByteArray(f);
    }
    void formatMatchesBothFormatters()
    {
        QFETCH(QByteArray, format);
        // Halves (1.25, 0.125, 2.5), values just off them, sign changes, carries into a new digit.
        const double values[] = { 1.25, -1.25, 0.125, 2.5, 0.5, 1.35, 12.125, 9.995, 99.95, -0.04, -0.0, 0.0, 207766190.0,
                                  1e-7, 123456.5, 999999.5, 3.0000000005, -57.712830555555556, 4.35 };
        for (const double v : values) {
            char want[256];
            std::snprintf(want, sizeof want, format.constData(), v);
            QCOMPARE(formatText(format.constData(), v), QString::asprintf(format.constData(), v));
            char got[128];
            const int n = callFast(got, format.constData(), v);
            if (n >= 0)
                QCOMPARE(QByteArray(got, n), QByteArray(want));
        }
        QCOMPARE(formatText("%.1f|%.2f|%.0f", 1.25, 0.125, 2.5), QStringLiteral("1.3|0.13|3"));
    }

    void integersAndText()
    {
        QCOMPARE(formatText("%1.1d|%04d|%2.2X|%.0d|%-5d|%5.3d|%x|%#x|%llu", 7, -12, 10, 0, 3, -7, 255, 255, 18446744073709551615ULL),
                 QStringLiteral("7|-012|0A|0|3    | -007|ff|0xff|18446744073709551615"));
        char c[128];
        QCOMPARE(QByteArray(c, callFast(c, "%.0d|%+d|% d|%hhu|%s|%5s|%c|100%%", 0, 5, 5, 300, "ab", "cd", 'x')),
                 QByteArray("|+5| 5|44|ab|   cd|x|100%"));
        // The C rule for halves, and what only the stood-in formatters can print.
        QCOMPARE(callFast(c, "%.1f", 1.25), 3);
        QCOMPARE(QByteArray(c, 3), QByteArray("1.2"));
        QCOMPARE(callFast(c, "%f", std::numeric_limits<double>::quiet_NaN()), -1);
        QCOMPARE(callFast(c, "%*d", 3, 4), -1);
        QCOMPARE(formatText("%hd", 70000), QString::asprintf("%hd", 70000));
    }

    void jsonNumbersAndStrings()
    {
        JsonLineWriter w(nullptr);
        w.beginObject();
        for (const double d : { 0.1, -0.0, 57.712830555555556, 49.4, 1e15, 123456789012345678.0, 0.0001, 0.0001234, 1.234e-05,
                                5e-324, 999999999999999.0, std::numeric_limits<double>::infinity() })
            w.key("n").number(d);
        w.key("s").string(QStringLiteral("a\"b\\c\n\r\t\x01\u00e9\u20ac~\x7f"));
        w.key("l").latin1("\xb0 N,");
        w.key("a");
        w.beginArray();
        w.integer(-3);
        w.boolean(true);
        w.beginObject();
        w.endObject();
        w.endArray();
        w.endObject();
        w.endLine();
        QCOMPARE(w.text().toByteArray(),
                 QByteArray("{\"n\":0.1,\"n\":0,\"n\":57.712830555555556,\"n\":49.4,\"n\":1e+15,\"n\":123456789012345680,"
                            "\"n\":1e-04,\"n\":0.0001234,\"n\":1.234e-05,\"n\":5e-324,\"n\":999999999999999,\"n\":null,"
                            "\"s\":\"a\\\"b\\\\c\\n\\r\\t\\u0001\\u00e9\\u20ac~\\u007f\",\"l\":\"\\u00b0 N,\",\"a\":[-3,true,{}]}\n"));
    }

private:
    static int callFast(char *out, const char *format, ...)
    {
        va_list args;
        va_start(args, format);
        const int n = TextFormat::formatFast(TextFormat::Flavour::C, out, 128, format, args);
        va_end(args);
        return n;
    }
};

CHRONODE_TEST_MAIN(TestTextOutput)
#include "tst_textoutput.moc"
