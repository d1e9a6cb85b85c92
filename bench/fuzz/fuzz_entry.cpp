// libFuzzer entry points, one executable per parser entry point, chosen at build time by
// CHRONODE_FUZZ_TARGET (see bench/fuzz.sh):
//   framer_loran, framer_motorola, framer_nmea, framer_ubx   the stream framer of each framing,
//       fed in chunks whose sizes come from the input, so messages split across reads
//   decode_loran, decode_motorola, decode_nmea, decode_ublox the driver of each family, given
//       the input as one framed message and then as the frames the framer cuts from it
//   counter_line                                              a counter's reading lines
//   remote_line                                               a telnet client's bytes, cut into
//       lines and run as commands against a station that accepts every change

#include "averaging/AveragingEngine.h"
#include "core/ReceiverState.h"
#include "receiver/DecoderContext.h"
#include "receiver/ProtocolDriver.h"
#include "receiver/ProtocolTable.h"
#include "receiver/framing/MotorolaFramer.h"
#include "receiver/framing/StreamFramer.h"
#include "remote/RemoteCommandInterpreter.h"
#include "remote/RemoteStationActions.h"
#include "remote/TelnetLineBuffer.h"
#include "tic/CounterProcessing.h"

#include <QCoreApplication>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

class DroppedCommands : public ReceiverCommandSink
{
public:
    void sendGpsRxCommand(const QByteArray &) override {}
};

// A station that takes every remote change and remembers only what it must answer with.
class AcceptingStation : public RemoteStationActions
{
public:
    QString versionText() const override { return QStringLiteral("1.0.0"); }
    QString referenceLocationText() const override { return m_reference; }
    bool setReferenceLocation(const QString &lat, const QString &lon, const QString &height) override
    {
        m_reference = lat + u',' + lon + u',' + height;
        return !lat.isEmpty();
    }
    GpsLogStatus gpsLogStatus() const override { return m_gps; }
    void setGpsLogType(int type) override { m_gps.type = type; }
    bool openGpsLog(const QString &prefix, OpenMode) override
    {
        m_gps.open = true;
        m_gps.fileName = prefix;
        return true;
    }
    bool closeGpsLog() override { return std::exchange(m_gps.open, false); }
    bool counterLogOpen() const override { return !m_counterName.isEmpty(); }
    QString counterLogName() const override { return m_counterName; }
    bool openCounterLogs(const CounterLogRequest &request) override
    {
        m_counterName = request.prefix;
        return true;
    }
    bool closeCounterLogs() override { return !std::exchange(m_counterName, QString()).isEmpty(); }
    void setCounterSubscription(CounterData, int) override {}
    QString latestCounterLine(CounterData data) const override
    {
        return data == CounterData::Time ? QStringLiteral("1 2 3") : QString();
    }

private:
    QString m_reference = QStringLiteral("0,0,0,0");
    GpsLogStatus m_gps;
    QString m_counterName;
};

QCoreApplication &application()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = { name, nullptr };
    static QCoreApplication app(argc, argv);
    return app;
}

int modeOf(const char *target)
{
    const QByteArray t(target);
    if (t.endsWith("loran"))
        return 0;
    if (t.endsWith("motorola"))
        return 2;
    if (t.endsWith("nmea"))
        return 6;
    return 9;   // ubx / ublox
}

// Returns the number of pulses fed.
int feedFramer(StreamFramer &framer, QByteArrayView data, const FrameSink &sink)
{
    // The first byte chooses the chunk size: the same bytes arrive split at every boundary.
    const qsizetype chunk = data.isEmpty() ? 1 : 1 + uint8_t(data.front()) % 64;
    bool pps = false;
    int pulses = 0;
    for (qsizetype pos = data.isEmpty() ? 0 : 1; pos < data.size(); pos += chunk) {
        // Every other chunk comes with a pulse; the framer clears the flag once it has noted it.
        pps = (pos / chunk) % 2 == 1;
        pulses += pps;
        framer.feed(data.sliced(pos, std::min(chunk, data.size() - pos)), pps, sink);
    }
    return pulses;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    application();
    const QByteArrayView data(reinterpret_cast<const char *>(bytes), qsizetype(size));
    static const QByteArray target(CHRONODE_FUZZ_TARGET);
    static const int mode = modeOf(CHRONODE_FUZZ_TARGET);

    if (target.startsWith("framer_")) {
        StreamFramer framer;
        framer.setMode(mode);
        qsizetype total = 0;
        int markers = 0;
        const int pulses = feedFramer(framer, data, [&](const QByteArray &frame) {
            if (frame == ppsMarker())
                ++markers;
            else
                total += frame.size();
        });
        // Frames are made of the input's bytes, and each pulse gives at most one marker; markers
        // beyond the pulses are text lines that read like one (the line framings pass them on).
        if (markers > pulses)
            total += (markers - pulses) * ppsMarker().size();
        if (total > data.size())
            __builtin_trap();
        return 0;
    }
    if (target.startsWith("decode_")) {
        static ReceiverState state;
        static AveragingEngine engine;
        static DroppedCommands commands;
        static std::unique_ptr<ProtocolDriver> driver = [] {
            engine.setReceiverState(&state);
            DecoderContext context;
            context.state = &state;
            context.averaging = &engine;
            context.commands = &commands;
            return protocolRow(mode)->makeDriver(context);
        }();
        state.receiverMode = mode;
        driver->decode(data.toByteArray());
        StreamFramer framer;
        framer.setMode(mode);
        feedFramer(framer, data, [&](const QByteArray &frame) { driver->decode(frame); });
        return 0;
    }
    if (target == "remote_line") {
        static AcceptingStation station;
        static RemoteCommandInterpreter interpreter(station);
        interpreter.setAllowChanges(true);
        TelnetLineBuffer lines;
        qsizetype replied = 0;
        const auto connection = QObject::connect(&interpreter, &RemoteCommandInterpreter::reply,
                                                 [&](const QByteArray &line) { replied += line.size(); });
        // Fed in pieces of up to 97 bytes, as a client's segments arrive.
        for (qsizetype pos = 0; pos < data.size(); pos += 97) {
            lines.feed(data.sliced(pos, std::min<qsizetype>(97, data.size() - pos)).toByteArray());
            while (lines.hasLine()) {
                const TelnetLineBuffer::Line line = lines.takeLine();
                if (line.text.size() > TelnetLineBuffer::MaxLine)
                    __builtin_trap();
                interpreter.processCommand(line.text);
            }
            if (lines.pendingBytes() > TelnetLineBuffer::MaxLine)
                __builtin_trap();
        }
        interpreter.clientGone();
        QObject::disconnect(connection);
        (void)replied;
        return 0;
    }
    // counter_line: "n reading" lines, one per input line, at successive pulses.
    static CounterProcessing processing;
    static qint64 second = 1780000000;
    for (QByteArrayView line : QByteArray(data.toByteArray()).split('\n')) {
        processing.processTicLine(line.toByteArray(), ++second);
        if (second % 3 == 0)
            processing.receiverSawtooth(second, double(int8_t(line.isEmpty() ? 0 : line.front())));
        processing.tick(second);
    }
    return 0;
}
