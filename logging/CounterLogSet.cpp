#include "logging/CounterLogSet.h"

#include "core/ReceiverState.h"
#include "core/Settings.h"
#include "logging/LogNaming.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>

namespace {

const int kIntervals[] = { 1, 2, 3, 4, 5, 6, 10, 12, 15, 20, 30, 60, 3600 };

QDateTime logDateTime(const ReceiverState *state, qint64 pcMs)
{
    const QDateTime pc = QDateTime::fromMSecsSinceEpoch(pcMs, Qt::UTC);
    if (state) {
        const QDateTime rx = state->receiverUtcDateTime.dateTime();
        if (rx.isValid() && std::llabs(rx.toMSecsSinceEpoch() - pcMs) < 2LL * 86400000)
            return rx.toUTC();
    }
    return pc;
}

QString dateText(const QDateTime &t)
{
    return QLocale::c().toString(t, QStringLiteral("ddd MMM dd hh:mm:ss yyyy"));
}

} // namespace

int CounterLogSettings::intervalForIndex(int index)
{
    return index >= 0 && index < 13 ? kIntervals[index] : -1;
}

int CounterLogSettings::timeLogInterval() const
{
    return timeLogEnabled ? std::max(0, intervalForIndex(everyIndex)) : 0;
}

CounterLogSettings CounterLogSettings::load(QSettings &s)
{
    auto notEmpty = [](const QString &t) { return !t.trimmed().isEmpty(); };
    CounterLogSettings o;
    o.directory = Settings::readText(s, QStringLiteral("LogFiles/TicLogFileDirectory"), LogNaming::defaultDirectory(),
                                     notEmpty);
    o.prefix = Settings::readText(s, QStringLiteral("LogFiles/TicFileNamePrefix"), QStringLiteral("VORA"), notEmpty);
    o.style = Settings::readInt(s, QStringLiteral("LogFiles/TicLogStyle"), 1, 0, 2);
    o.timeTagFormat = Settings::readInt(s, QStringLiteral("LogFiles/TicTimeTagFormat"), 0, 0, 2);
    o.timeLogEnabled = Settings::readInt(s, QStringLiteral("LogFiles/TimeIntervalLogButtonGroup"), 0, 0, 1) == 0;
    o.everyIndex = Settings::readInt(s, QStringLiteral("LogFiles/TicTimeLogEvery"), 0, 0, 12);
    o.counterAveraging = Settings::readInt(s, QStringLiteral("LogFiles/AveragingLogButtonGroup"), 0, 0, 1) == 1;
    o.averagingPeriod = Settings::readText(s, QStringLiteral("LogFiles/AveragingLogPeriod"), QStringLiteral("300"),
                                           [](const QString &t) {
                                               bool ok = false;
                                               return t.toInt(&ok) >= 0 && ok;
                                           })
                            .toInt();
    o.saveSatelliteEvents = Settings::readInt(s, QStringLiteral("LogFiles/TicTimeCfgLogSaveSats"), 0, 0, 1) == 1;
    o.autoRestart = Settings::readInt(s, QStringLiteral("LogFiles/TicTimeLogAutorestart"), 1, 0, 1) == 1;
    return o;
}

void CounterLogSettings::save(QSettings &s) const
{
    s.setValue(QStringLiteral("LogFiles/TicLogFileDirectory"), directory);
    s.setValue(QStringLiteral("LogFiles/TicFileNamePrefix"), prefix);
    s.setValue(QStringLiteral("LogFiles/TicLogStyle"), style);
    s.setValue(QStringLiteral("LogFiles/TicTimeTagFormat"), timeTagFormat);
    s.setValue(QStringLiteral("LogFiles/TimeIntervalLogButtonGroup"), timeLogEnabled ? 0 : 1);
    s.setValue(QStringLiteral("LogFiles/TicTimeLogEvery"), everyIndex);
    s.setValue(QStringLiteral("LogFiles/AveragingLogButtonGroup"), counterAveraging ? 1 : 0);
    s.setValue(QStringLiteral("LogFiles/AveragingLogPeriod"), QString::number(averagingPeriod));
    s.setValue(QStringLiteral("LogFiles/TicTimeCfgLogSaveSats"), saveSatelliteEvents ? 1 : 0);
    s.setValue(QStringLiteral("LogFiles/TicTimeLogAutorestart"), autoRestart ? 1 : 0);
}

CounterLogSet::CounterLogSet(const ReceiverState *state, Clock clock)
    : m_state(state)
    , m_clock(std::move(clock))
{
    m_options.directory = LogNaming::defaultDirectory();
}

CounterLogSet::~CounterLogSet() = default;

void CounterLogSet::reload(QSettings &settings)
{
    m_options = CounterLogSettings::load(settings);
}

QDate CounterLogSet::logDate() const
{
    return logDateTime(m_state, m_clock()).date();
}

QString CounterLogSet::base() const
{
    return LogNaming::cutBase(m_options.directory + QLatin1Char('/') + m_options.prefix);
}

bool CounterLogSet::isOpen() const
{
    return m_config && m_config->isOpen();
}

LogResult CounterLogSet::openWithPrefix(const QString &prefix, int mode)
{
    const QString cut = LogNaming::prefixOf(prefix);
    if (!cut.isEmpty()) {
        m_options.prefix = cut;
        store().setValue(QStringLiteral("LogFiles/TicFileNamePrefix"), cut);
    }
    return open(mode);
}

LogResult CounterLogSet::open(int mode)
{
    if (isOpen())
        close(false);
    if (mode < 0 || mode > 3)
        return LogResult::BadMode;
    const QString b = base();
    const QDate date = logDate();
    const QString config = LogNaming::counterConfigFile(b, date);
    const bool exists = QFileInfo::exists(config);
    if (mode == LogOpenMode::Append && !exists)
        return LogResult::FileMissing;
    if ((mode == LogOpenMode::CreateConfirm || mode == LogOpenMode::Replace) && exists) {
        if (mode == LogOpenMode::CreateConfirm
            && (!m_confirm || !m_confirm(config.mid(config.lastIndexOf(QLatin1Char('/')) + 1))))
            return LogResult::Refused;
        for (int style = 0; style < 3; ++style) {
            for (const QString &name : LogNaming::counterSet(b, date, style))
                QFile::remove(name);
        }
    }
    const bool appending = exists && (mode == LogOpenMode::Append || mode == LogOpenMode::Create);

    QDir().mkpath(QFileInfo(config).absolutePath());
    m_openStyle = m_options.style;
    auto openOne = [](const QString &name) {
        auto f = std::make_unique<QFile>(name);
        if (!f->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
            f.reset();
        return f;
    };
    bool ok = true;
    m_config = openOne(config);
    ok = ok && m_config;
    for (int port = 1; port <= Ports && ok; ++port) {
        m_time[port - 1] = openOne(LogNaming::counterTimeFile(b, date, port, m_openStyle));
        m_average[port - 1] = openOne(LogNaming::counterAverageFile(b, date, port, m_openStyle));
        ok = m_time[port - 1] && m_average[port - 1];
    }
    QSettings &settings = store();
    settings.setValue(QStringLiteral("LogFiles/TicLogFileOpen"), ok);
    if (!ok) {
        closeFiles(true);
        m_config.reset();
        settings.setValue(QStringLiteral("LogFiles/TicLogOpen"), false);
        return LogResult::OpenFailed;
    }
    writeHeader(appending ? LogOpenMode::Append : LogOpenMode::Replace);
    if (!m_buffer.isEmpty()) {
        writeLine(m_config.get(), m_buffer);
        m_buffer.clear();
    }
    m_overflowed = false;
    flushAll();
    settings.setValue(QStringLiteral("LogFiles/TicLogOpen"), true);
    return LogResult::Ok;
}

void CounterLogSet::writeHeader(int mode)
{
    const QString date = dateText(logDateTime(m_state, m_clock()));
    QString h = mode == LogOpenMode::Append
        ? QStringLiteral(";\n; Opened existing TIC Data Logs to append data ") + date + QStringLiteral(" UTC\n;\n")
        : QStringLiteral("; Created TIC Data Logs ") + date + QStringLiteral(" UTC\n");
    const int interval = m_options.timeLogInterval();
    h += interval == 0 ? QStringLiteral("; Recording time data DISABLED\n")
                       : QString::asprintf("; Recording time data every %d seconds\n", interval);
    if (m_options.counterAveraging)
        h += QStringLiteral("; Average data file based on external TIC data. Averaging Period is set by TIC.\n; ");
    else if (m_sawtoothOff && m_sawtoothOff())
        h += QString::asprintf("; Average data file based on internal raw data. Software sawtooth correction is OFF. "
                               "Averaging Period is %d seconds.\n; ",
                               m_options.averagingPeriod);
    else
        h += QString::asprintf("; Average data file based on internal sawtooth corrected data. Averaging Period is "
                               "%d seconds.\n; ",
                               m_options.averagingPeriod);
    writeLine(m_config.get(), h);
}

void CounterLogSet::writeLine(QFile *file, const QString &text)
{
    if (!file || !file->isOpen())
        return;
    QString t = text;
    t.remove(QLatin1Char('\r'));
    if (!t.endsWith(QLatin1Char('\n')))
        t.append(QLatin1Char('\n'));
    file->write(t.toUtf8());
}

void CounterLogSet::closeFiles(bool removeEmpty)
{
    for (auto *files : { &m_time, &m_average }) {
        for (auto &f : *files) {
            if (!f)
                continue;
            f->flush();
            const bool empty = f->size() == 0;
            f->close();
            if (empty && removeEmpty)
                f->remove();
            f.reset();
        }
    }
}

LogResult CounterLogSet::close(bool remember)
{
    if (!isOpen())
        return LogResult::NotOpen;
    closeFiles(true);
    writeLine(m_config.get(), QStringLiteral("; Closed TIC Data Logs ") + dateText(logDateTime(m_state, m_clock()))
                                  + QStringLiteral(" UTC\n; \n"));
    m_config->flush();
    m_config->close();
    m_config.reset();
    if (remember)
        store().setValue(QStringLiteral("LogFiles/TicLogOpen"), false);
    return LogResult::Ok;
}

bool CounterLogSet::resumeAtStart()
{
    QSettings settings;
    const QString old = QStringLiteral("LogFiles/Tic Log Open");
    if (settings.contains(old)) {
        if (!settings.contains(QStringLiteral("LogFiles/TicLogOpen")))
            settings.setValue(QStringLiteral("LogFiles/TicLogOpen"), settings.value(old).toBool());
        settings.remove(old);
    }
    if (!settings.value(QStringLiteral("LogFiles/TicLogOpen"), false).toBool())
        return false;
    reload(settings);
    return open(LogOpenMode::Create) == LogResult::Ok;
}

bool CounterLogSet::flushAll()
{
    bool ok = true;
    if (m_config)
        ok = m_config->flush() && ok;
    for (auto *files : { &m_time, &m_average }) {
        for (auto &f : *files) {
            if (f)
                ok = f->flush() && ok;
        }
    }
    return ok;
}

QString CounterLogSet::styled(const QString &record, int style)
{
    QString out;
    out.reserve(record.size());
    const QChar sep = style == 1 ? QLatin1Char(',') : style == 2 ? QLatin1Char('\t') : QLatin1Char(' ');
    bool blank = false;
    for (const QChar c : record) {
        if (c == QLatin1Char(' ')) {
            blank = true;
            continue;
        }
        if (blank && !out.isEmpty())
            out.append(sep);
        blank = false;
        out.append(c);
    }
    return out;
}

void CounterLogSet::writeTimeRecord(int port, const QString &line)
{
    if (port >= 1 && port <= Ports && isOpen())
        writeLine(m_time[port - 1].get(), styled(line, m_openStyle));
}

void CounterLogSet::writeAverageRecord(int port, const QString &line)
{
    if (port >= 1 && port <= Ports && isOpen())
        writeLine(m_average[port - 1].get(), styled(line, m_openStyle));
}

void CounterLogSet::writeConfigLog(const QString &text, qint64 utcMs)
{
    const qint64 second = utcMs / 1000;
    const QString tag = m_timeTag ? m_timeTag(second) : QString::number(second);
    QString tagged;
    QString t = text;
    t.remove(QLatin1Char('\r'));
    for (const QString &line : t.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        tagged += tag + QLatin1Char(' ') + line + QLatin1Char('\n');
    if (tagged.isEmpty())
        return;
    if (isOpen()) {
        writeLine(m_config.get(), tagged);
        return;
    }
    if (m_buffer.size() < ConfigBufferLimit) {
        m_buffer += tagged;
    } else if (!m_overflowed) {
        m_buffer += QStringLiteral("*** Configuration buffer overflow before log opened ***\n");
        m_overflowed = true;
    }
}

CounterLogSet::Status CounterLogSet::status() const
{
    Status st;
    st.open = isOpen();
    const int style = st.open ? m_openStyle : m_options.style;
    st.files = LogNaming::counterSet(base(), logDate(), style);
    st.configFile = st.open ? m_config->fileName() : st.files.first();
    st.style = style;
    st.timeLogInterval = m_options.timeLogInterval();
    st.averagingPeriod = m_options.averagingPeriod;
    return st;
}

// The open flags go through one settings object that the event loop writes out (at once,
// once the current event is done), so a day's restart does not wait for the settings file.
QSettings &CounterLogSet::store()
{
    if (!m_store)
        m_store = std::make_unique<QSettings>();
    return *m_store;
}
