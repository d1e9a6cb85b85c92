#include "remote/RemoteCommandInterpreter.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <array>

Q_LOGGING_CATEGORY(lcRemote, "chronode.remote")

namespace {

const QString Err = QStringLiteral("Err");

// "Log Every" choices of the counter logs, in seconds, by index.
constexpr std::array<int, 13> LogEverySeconds = { 1, 2, 3, 4, 5, 6, 10, 12, 15, 20, 30, 60, 3600 };
// The numbers a TI, ALTIC or ALINT option may carry.
constexpr std::array<int, 11> OptionNumbers = { 1, 2, 3, 4, 5, 6, 10, 12, 15, 20, 30 };

// The number after `head` when the option is head + one of the accepted numbers.
std::optional<int> optionNumber(const QString &option, const QString &head)
{
    if (!option.startsWith(head))
        return std::nullopt;
    bool ok = false;
    const QString digits = option.mid(head.size());
    const int n = digits.toInt(&ok);
    if (!ok || digits.startsWith(QLatin1Char('+')) || digits.startsWith(QLatin1Char('0')))
        return std::nullopt;
    for (int accepted : OptionNumbers) {
        if (n == accepted)
            return n;
    }
    return std::nullopt;
}

int logEveryIndex(int seconds)
{
    for (std::size_t i = 0; i < LogEverySeconds.size(); ++i) {
        if (LogEverySeconds[i] == seconds)
            return int(i);
    }
    return 0;
}

} // namespace

QString RemoteFieldReader::next(const QString &def)
{
    if (m_rest.isEmpty())
        return def;
    QString field;
    const qsizetype comma = m_rest.indexOf(QLatin1Char(','));
    if (comma < 0) {
        field = m_rest;
        m_rest.clear();
    } else {
        field = m_rest.left(comma);
        m_rest.remove(0, comma + 1);
    }
    field = field.trimmed();
    return field.isEmpty() ? def : field;
}

RemoteCommandInterpreter::RemoteCommandInterpreter(RemoteStationActions &actions, QObject *parent)
    : QObject(parent)
    , m_actions(actions)
{
}

std::optional<QString> RemoteCommandInterpreter::prefixFromField(const QString &field)
{
    static const QRegularExpression bare(QStringLiteral("^([A-Za-z0-9_-]{1,40})(\\.[A-Za-z0-9]{1,4})?$"));
    const QRegularExpressionMatch m = bare.match(field);
    if (!m.hasMatch())
        return std::nullopt;
    QString prefix = m.captured(1);
    // A name picked from an existing log loses its date stamp
    // (year and day, a four-digit day, the day-only forms).
    static const std::array<QRegularExpression, 4> stamps = {
        QRegularExpression(QStringLiteral("_\\d{4}_\\d{3}[ACGT]")),
        QRegularExpression(QStringLiteral("_\\d{4}[ACGT]")),
        QRegularExpression(QStringLiteral("\\d{3}[AT]_PORT_")),
        QRegularExpression(QStringLiteral("\\d{3}C")),
    };
    for (const QRegularExpression &stamp : stamps) {
        const QRegularExpressionMatch s = stamp.match(prefix);
        if (s.hasMatch())
            prefix.truncate(s.capturedStart());
    }
    if (prefix.isEmpty())
        return std::nullopt;
    return prefix;
}

int RemoteCommandInterpreter::gpsLogTypeFromWord(const QString &word)
{
    static const QStringList words = { QStringLiteral("RAW"), QStringLiteral("BINARY"), QStringLiteral("PVT"),
                                       QStringLiteral("NMEA"), QStringLiteral("RINEX") };
    return int(words.indexOf(word.toUpper()));
}

QString RemoteCommandInterpreter::gpsLogTypeWord(int type)
{
    static const QStringList words = { QStringLiteral("RAW"), QStringLiteral("BINARY"), QStringLiteral("PVT"),
                                       QStringLiteral("NMEA"), QStringLiteral("RINEX") };
    return words.value(type);
}

void RemoteCommandInterpreter::send(const QString &text)
{
    Q_EMIT reply(text.toLatin1());
}

void RemoteCommandInterpreter::exitSession()
{
    send(QString::fromLatin1(Disconnected));
    Q_EMIT exitRequested();
}

void RemoteCommandInterpreter::clientGone()
{
    setSubscription(RemoteStationActions::CounterData::Time, 0);
    setSubscription(RemoteStationActions::CounterData::Average, 0);
}

void RemoteCommandInterpreter::setSubscription(RemoteStationActions::CounterData data, int lines)
{
    int &mode = data == RemoteStationActions::CounterData::Time ? m_timeLines : m_averageLines;
    mode = lines;
    m_actions.setCounterSubscription(data, lines);
}

void RemoteCommandInterpreter::processCommand(const QByteArray &line)
{
    qCDebug(lcRemote) << "MainWindow Received TELNET Command ->" << line;
    RemoteFieldReader in(line);
    const QString first = in.next();
    if (first.toUpper() != QLatin1String("$PKTWL")) {
        if (first.toUpper() == QLatin1String("EXIT"))
            exitSession();
        else
            send(first + QLatin1Char(',') + QLatin1String(Unknown));
        return;
    }
    QString out = first + QLatin1Char(',');
    const QString word = in.next();
    out += word + QLatin1Char(',');
    const QString key = word.toUpper();
    if (key == QLatin1String("VERSION"))
        version(in, out);
    else if (key == QLatin1String("EXIT"))
        exitSession();
    else if (key == QLatin1String("REFLOC"))
        referenceLocation(in, out);
    else if (key == QLatin1String("LOG"))
        gpsLog(in, out);
    else if (key == QLatin1String("TICLOG"))
        counterLog(in, out);
    else if (key == QLatin1String("TICDATA"))
        counterData(in, out);
    else
        send(out + QLatin1String(Unknown));
}

void RemoteCommandInterpreter::version(RemoteFieldReader &in, QString &out)
{
    const QString option = in.next();
    if (option.isEmpty())
        send(out + m_actions.versionText());
    else
        send(out + option + QLatin1Char(',') + QLatin1String(BadOption));
}

void RemoteCommandInterpreter::referenceLocation(RemoteFieldReader &in, QString &out)
{
    const QString latitude = in.next(Err);
    if (latitude == Err) {
        send(out + m_actions.referenceLocationText());
        return;
    }
    const QString longitude = in.next(Err);
    const QString height = in.next(Err);
    if (longitude == Err || height == Err || !m_allowChanges
        || !m_actions.setReferenceLocation(latitude, longitude, height)) {
        send(out + QLatin1String(Error));
        return;
    }
    send(out + m_actions.referenceLocationText());
}

void RemoteCommandInterpreter::gpsLog(RemoteFieldReader &in, QString &out)
{
    const QString action = in.next();
    out += action + QLatin1Char(',');
    const QString key = action.toUpper();
    if (key == QLatin1String("CLOSE")) {
        bool closed = false;
        if (m_allowChanges && m_actions.closeGpsLog()) {
            m_actions.closeCounterLogs();
            closed = true;
        }
        send(out + QLatin1String(closed ? Closed : Failed));
        return;
    }
    if (key == QLatin1String("STATUS")) {
        const RemoteStationActions::GpsLogStatus status = m_actions.gpsLogStatus();
        if (status.open)
            send(out + QLatin1String(Opened) + QLatin1Char(',') + gpsLogTypeWord(status.type) + QLatin1Char(',')
                 + status.fileName);
        else
            send(out + QLatin1String(Closed));
        return;
    }
    if (key != QLatin1String("NEW") && key != QLatin1String("OPEN")) {
        send(out + QLatin1String(Unknown));
        return;
    }
    const QString file = in.next();
    const QString type = in.next();
    out += file + QLatin1Char(',') + type + QLatin1Char(',');
    if (file.isEmpty()) {
        send(out + QLatin1String(NoFileName));
        return;
    }
    const QString option = in.next().toUpper();
    auto mode = RemoteStationActions::OpenMode::Append;
    if (key == QLatin1String("NEW")) {
        if (option.isEmpty())
            mode = RemoteStationActions::OpenMode::Create;
        else if (option == QLatin1String("REPLACE"))
            mode = RemoteStationActions::OpenMode::Replace;
        else {
            send(out + QLatin1String(BadOption));
            return;
        }
    } else if (!option.isEmpty()) {
        send(out + QLatin1String(BadOption));
        return;
    }
    const std::optional<QString> prefix = prefixFromField(file);
    if (!m_allowChanges || !prefix) {
        send(out + QLatin1String(Failed));
        return;
    }
    const int typeNumber = gpsLogTypeFromWord(type);
    if (typeNumber >= 0)
        m_actions.setGpsLogType(typeNumber);
    const bool ok = m_actions.openGpsLog(*prefix, mode);
    const char *success = key == QLatin1String("NEW") ? Created : Opened;
    send(out + QLatin1String(ok ? success : Failed));
}

void RemoteCommandInterpreter::counterLog(RemoteFieldReader &in, QString &out)
{
    const QString action = in.next();
    out += action + QLatin1Char(',');
    const QString key = action.toUpper();
    if (key == QLatin1String("CLOSE")) {
        const bool closed = m_allowChanges && m_actions.closeCounterLogs();
        send(out + QLatin1String(closed ? Closed : Failed));
        return;
    }
    if (key == QLatin1String("STATUS")) {
        if (m_actions.counterLogOpen())
            send(out + QLatin1String(Opened) + QLatin1Char(',') + m_actions.counterLogName());
        else
            send(out + QLatin1String(Closed));
        return;
    }
    if (key != QLatin1String("NEW") && key != QLatin1String("OPEN")) {
        send(out + QLatin1String(Unknown));
        return;
    }
    const bool create = key == QLatin1String("NEW");
    const QString file = in.next();
    out += file + QLatin1Char(',');
    if (file.isEmpty()) {
        send(out + QLatin1String(NoFileName));
        return;
    }
    RemoteStationActions::CounterLogRequest request;
    request.mode = create ? RemoteStationActions::OpenMode::Create : RemoteStationActions::OpenMode::Append;
    while (!in.atEnd()) {
        const QString option = in.next();
        if (option.isEmpty())
            continue;
        out += option + QLatin1Char(',');
        const QString o = option.toUpper();
        if (o == QLatin1String("COMMA"))
            request.style = 1;
        else if (o == QLatin1String("SPACE"))
            request.style = 0;
        else if (o == QLatin1String("TAB"))
            request.style = 2;
        else if (o == QLatin1String("YDF"))
            request.timeTagFormat = 0;
        else if (o == QLatin1String("MJD"))
            request.timeTagFormat = 1;
        else if (o == QLatin1String("EXCEL"))
            request.timeTagFormat = 2;
        else if (o == QLatin1String("ARON") || o == QLatin1String("AROFF"))
            request.autoRestart = o == QLatin1String("ARON");
        else if (o == QLatin1String("SEON") || o == QLatin1String("SEOFF"))
            request.saveSatelliteEvents = o == QLatin1String("SEON");
        else if (o == QLatin1String("REPLACE") && create)
            request.mode = RemoteStationActions::OpenMode::Replace;
        else if (const auto n = optionNumber(o, QStringLiteral("TI")))
            request.timeLogEveryIndex = logEveryIndex(*n);
        else if (const auto n = optionNumber(o, QStringLiteral("ALTIC"))) {
            request.counterAveraging = true;
            request.averagingPeriod = *n * 60;
        } else if (const auto n = optionNumber(o, QStringLiteral("ALINT"))) {
            request.counterAveraging = false;
            request.averagingPeriod = *n * 60;
        } else {
            send(out + QLatin1String(BadOption));
            return;
        }
    }
    const std::optional<QString> prefix = prefixFromField(file);
    if (!m_allowChanges || !prefix) {
        send(out + QLatin1String(Failed));
        return;
    }
    request.prefix = *prefix;
    out.chop(1);
    send(out);
    if (m_actions.openCounterLogs(request))
        return;
    if (create) {
        send(QStringLiteral("Cannot create files."));
    } else {
        send(QStringLiteral("Cannot open files."));
        send(QStringLiteral("The files for the current day do not exest."));
    }
}

void RemoteCommandInterpreter::counterData(RemoteFieldReader &in, QString &out)
{
    const QString which = in.next();
    const QString how = in.next();
    out += which + QLatin1Char(',') + how + QLatin1Char(',');
    const QString w = which.toUpper();
    const QString h = how.toUpper();
    std::optional<RemoteStationActions::CounterData> data;
    if (w == QLatin1String("TIME"))
        data = RemoteStationActions::CounterData::Time;
    else if (w == QLatin1String("AVERAGE"))
        data = RemoteStationActions::CounterData::Average;
    if (!data || (h != QLatin1String("ONCE") && h != QLatin1String("ALWAYS") && h != QLatin1String("OFF"))) {
        send(out + QLatin1String(Unknown));
        return;
    }
    if (h == QLatin1String("OFF")) {
        setSubscription(*data, 0);
        return;
    }
    const QString head = *data == RemoteStationActions::CounterData::Time ? QStringLiteral("$PKTWL,TICDATA,TIME,")
                                                                          : QStringLiteral("$PKTWL,TICDATA,AVERAGE,");
    setSubscription(*data, h == QLatin1String("ALWAYS") ? -1 : 0);
    send(head + m_actions.latestCounterLine(*data));
}
