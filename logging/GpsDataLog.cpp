#include "logging/GpsDataLog.h"

#include "core/ReceiverState.h"
#include "core/Settings.h"
#include "logging/LogNaming.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>

namespace {

const int kIntervals[] = { 1, 2, 3, 4, 5, 6, 10, 12, 15, 20, 30, 60 };

const char kMotorola12[] =
    "Date,Time,lat(mas),long(mas),height,height_msl,velocity_3D,velocity_2D,heading,dop_type,dop,vis_sats,"
    "tracked_sats,rcvr_status,ID_tag,svid_1,ch_mode_1,sig_str_1,iode_1,ch_stat_1,svid_2,ch_mode_2,sig_str_2,"
    "iode_2,ch_stat_2,svid_3,ch_mode_3,sig_str_3,iode_3,ch_stat_3,svid_4,ch_mode_4,sig_str_4,iode_4,ch_stat_4,"
    "svid_5,ch_mode_5,sig_str_5,iode_5,ch_stat_5,svid_6,ch_mode_6,sig_str_6,iode_6,ch_stat_6,svid_7,ch_mode_7,"
    "sig_str_7,iode_7,ch_stat_7,svid_8,ch_mode_8,sig_str_8,iode_8,ch_stat_8,svid_9,ch_mode_9,sig_str_9,iode_9,"
    "ch_stat_9,svid_10,ch_mode_10,sig_str_10,iode_10,ch_stat_10,svid_11,ch_mode_11,sig_str_11,iode_11,"
    "ch_stat_11,svid_12,ch_mode_12,sig_str_12,iode_12,ch_stat_12,reserved,reserved,clock_bias,"
    "oscillator_offset,temperature,UTC_Data,GMT_Data";
const char kMotorolaHead[] =
    "Date,Time,lat(mas),long(mas),height,height_msl,velocity,heading,dop_type,dop,vis_sats,tracked_sats,rcvr_status";
const char kNmeaHeader[] = "time,lat_deg,lat_min,lat_dir,long_deg,long_min,long_dir,quality,no_tracked,HDOP,height_msl,"
                           "height_units,geoid_sep,geoid_sep_units,DGPS_age,DGPS_Ref_Stn_id";

bool isUbx(const QByteArray &m)
{
    return m.size() >= 2 && uint8_t(m[0]) == 0xB5 && uint8_t(m[1]) == 0x62;
}

} // namespace

int GpsLogSettings::intervalSeconds() const
{
    return everyIndex >= 0 && everyIndex < 12 ? kIntervals[everyIndex] : 1;
}

GpsLogSettings GpsLogSettings::load(QSettings &s)
{
    auto notEmpty = [](const QString &t) { return !t.trimmed().isEmpty(); };
    GpsLogSettings o;
    o.directory = Settings::readText(s, QStringLiteral("LogFiles/GpsLogFileDirectory"), LogNaming::defaultDirectory(),
                                     notEmpty);
    o.prefix = Settings::readText(s, QStringLiteral("LogFiles/GpsFileNamePrefix"), QStringLiteral("VORA"), notEmpty);
    o.type = Settings::readInt(s, QStringLiteral("LogFiles/GpsLogDataType"), 0, 0, 4);
    o.everyIndex = Settings::readInt(s, QStringLiteral("LogFiles/GPSLogEvery"), 0, 0, 11);
    o.autoRestart = Settings::readInt(s, QStringLiteral("LogFiles/GpsLogAutorestart"), 1, 0, 1) == 1;
    o.useGpsSeconds = Settings::readInt(s, QStringLiteral("LogFiles/UseGpsSecondNumber"), 0, 0, 1) == 1;
    return o;
}

void GpsLogSettings::save(QSettings &s) const
{
    s.setValue(QStringLiteral("LogFiles/GpsLogFileDirectory"), directory);
    s.setValue(QStringLiteral("LogFiles/GpsFileNamePrefix"), prefix);
    s.setValue(QStringLiteral("LogFiles/GpsLogDataType"), type);
    s.setValue(QStringLiteral("LogFiles/GPSLogEvery"), everyIndex);
    s.setValue(QStringLiteral("LogFiles/GpsLogAutorestart"), autoRestart ? 1 : 0);
    s.setValue(QStringLiteral("LogFiles/UseGpsSecondNumber"), useGpsSeconds ? 1 : 0);
}

GpsDataLog::GpsDataLog(const ReceiverState *state, Clock clock)
    : m_state(state)
    , m_clock(std::move(clock))
    , m_version(QCoreApplication::applicationVersion())
{
    m_options.directory = LogNaming::defaultDirectory();
}

GpsDataLog::~GpsDataLog() = default;

void GpsDataLog::reload(QSettings &settings)
{
    m_options = GpsLogSettings::load(settings);
}

// One date for naming, headers and the daily restart: the receiver's UTC time when it is
// plausible (set and within two days of the PC clock), else the PC's.
static QDateTime logDateTime(const ReceiverState *state, qint64 pcMs)
{
    const QDateTime pc = QDateTime::fromMSecsSinceEpoch(pcMs, Qt::UTC);
    if (state) {
        const QDateTime rx = state->receiverUtcDateTime.dateTime();
        if (rx.isValid() && std::llabs(rx.toMSecsSinceEpoch() - pcMs) < 2LL * 86400000)
            return rx.toUTC();
    }
    return pc;
}

QDate GpsDataLog::logDate() const
{
    return logDateTime(m_state, m_clock()).date();
}

QString GpsDataLog::receiverDateText() const
{
    return QLocale::c().toString(logDateTime(m_state, m_clock()), QStringLiteral("ddd MMM dd hh:mm:ss yyyy"));
}

QString GpsDataLog::currentFileName() const
{
    const QString base = LogNaming::cutBase(m_options.directory + QLatin1Char('/') + m_options.prefix);
    return LogNaming::gpsFile(base, logDate(), m_options.type, rinexObservations());
}

bool GpsDataLog::rinexObservations() const
{
    return m_options.type == int(GpsLogType::Rinex) && m_state
        && (m_state->receiverMode == 9 || m_state->receiverMode == 10);
}

LogResult GpsDataLog::openWithPrefix(const QString &prefix, int mode)
{
    const QString cut = LogNaming::prefixOf(prefix);
    if (!cut.isEmpty()) {
        m_options.prefix = cut;
        store().setValue(QStringLiteral("LogFiles/GpsFileNamePrefix"), cut);
    }
    return open(mode);
}

LogResult GpsDataLog::open(int mode)
{
    if (isOpen())
        close(false);
    if (mode < 0 || mode > 3)
        return LogResult::BadMode;
    const QString name = currentFileName();
    const bool exists = QFileInfo::exists(name);
    if (mode == LogOpenMode::Create && exists)
        return LogResult::FileExists;
    if (mode == LogOpenMode::CreateConfirm && exists) {
        if (!m_confirm || !m_confirm(name.mid(name.lastIndexOf(QLatin1Char('/')) + 1)))
            return LogResult::Refused;
    }
    if (mode == LogOpenMode::Append && !exists)
        return LogResult::FileMissing;
    if (exists && (mode == LogOpenMode::CreateConfirm || mode == LogOpenMode::Replace))
        QFile::remove(name);

    QDir().mkpath(QFileInfo(name).absolutePath());
    m_openType = m_options.type;
    if (rinexObservations()) {
        RinexHeaderInfo info;
        info.markerName = m_options.prefix;
        info.receiverType = m_description ? m_description() : QString();
        if (m_state)
            info.receiverVersion = m_state->firmwareVersionText;
        info.intervalSeconds = intervalSeconds();
        info.comments << QStringLiteral("Chronode Version ") + m_version;
        if (!m_rinex.open(name, info)) {
            qDebug().noquote() << "Failed to open GPS Log file  -> " + name;
            return LogResult::OpenFailed;
        }
        store().setValue(QStringLiteral("LogFiles/GpsLogOpen"), true);
        return LogResult::Ok;
    }
    auto file = std::make_unique<QFile>(name);
    const bool binary = m_openType == int(GpsLogType::Binary) || m_openType == int(GpsLogType::Rinex);
    QIODevice::OpenMode how = QIODevice::WriteOnly | QIODevice::Append;
    if (!binary)
        how |= QIODevice::Text;
    if (!file->open(how)) {
        qDebug().noquote() << "Failed to open GPS Log file  -> " + name;
        return LogResult::OpenFailed;
    }
    m_file = std::move(file);
    m_holdA.clear();
    m_holdB.clear();
    writeHeader(mode);
    m_file->flush();
    store().setValue(QStringLiteral("LogFiles/GpsLogOpen"), true);
    return LogResult::Ok;
}

void GpsDataLog::writeHeader(int mode)
{
    const bool append = mode == LogOpenMode::Append;
    writeLogLine(QStringLiteral("; Chronode Version ") + m_version
                 + (append ? QStringLiteral(". Opened GPS ") : QStringLiteral(". Created GPS "))
                 + (m_openType == int(GpsLogType::Rinex) ? QStringLiteral("Oncore raw for RINEX conversion")
                                                         : gpsLogTypeName(m_openType))
                 + QStringLiteral(" Data Log ")
                 + (append ? QStringLiteral("to append data ") : QString()) + QStringLiteral("at ")
                 + receiverDateText() + QStringLiteral(" UTC"));
    const int interval = intervalSeconds();
    writeLogLine(interval < 1 ? QStringLiteral("; Recording GPS data DISABLED")
                              : QString::asprintf("; Recording GPS data every %d seconds", interval));
    QString receiver = m_description ? m_description() : QString();
    if (receiver.isEmpty())
        receiver = QStringLiteral("unknown");
    if (m_state && !m_state->softwareDateText.isEmpty())
        receiver += QStringLiteral(", software date ") + m_state->softwareDateText;
    writeLogLine(QStringLiteral("; Receiver: ") + receiver);
    writeLogLine(QStringLiteral(";"));
    m_pvtHeaderPending = m_openType == int(GpsLogType::Pvt);
    if (m_pvtHeaderPending)
        writePvtHeader();
    else if (m_openType == int(GpsLogType::Nmea)) {
        writeLogLine(QString::fromLatin1(kNmeaHeader));
    }
}

QString GpsDataLog::pvtHeader(int receiverMode, int channels)
{
    if (receiverMode != 2 && receiverMode != 3)
        return {};
    if (channels == 12)
        return QString::fromLatin1(kMotorola12);
    if (channels != 8 && channels != 6)
        return {};
    QString h = QString::fromLatin1(kMotorolaHead);
    for (int c = 1; c <= channels; ++c)
        h += QStringLiteral(",svid_%1,ch_mode_%1,sig_str_%1,ch_stat_%1").arg(c);
    return h;
}

LogResult GpsDataLog::close(bool remember)
{
    if (!isOpen())
        return LogResult::NotOpen;
    if (m_rinex.isOpen()) {
        m_rinex.close();
        if (remember)
            store().setValue(QStringLiteral("LogFiles/GpsLogOpen"), false);
        return LogResult::Ok;
    }
    writeLogLine(QStringLiteral("; Closed GPS Data Log ") + receiverDateText() + QStringLiteral(" UTC\n; \n"));
    m_file->flush();
    m_file->close();
    m_file.reset();
    if (remember)
        store().setValue(QStringLiteral("LogFiles/GpsLogOpen"), false);
    return LogResult::Ok;
}

bool GpsDataLog::closeQuiet()
{
    return close(true) == LogResult::Ok;
}

bool GpsDataLog::openNew()
{
    // A restart that finds the day's file (a date glitch, a restart after a crash) appends.
    if (open(LogOpenMode::Create) == LogResult::Ok)
        return true;
    return open(LogOpenMode::Append) == LogResult::Ok;
}

bool GpsDataLog::resumeAtStart()
{
    QSettings settings;
    if (!settings.value(QStringLiteral("LogFiles/GpsLogOpen"), false).toBool())
        return false;
    reload(settings);
    return open(QFileInfo::exists(currentFileName()) ? LogOpenMode::Append : LogOpenMode::Create) == LogResult::Ok;
}

GpsDataLog::Status GpsDataLog::status() const
{
    Status st;
    st.open = isOpen();
    st.fileName = !st.open ? currentFileName() : m_file ? m_file->fileName() : m_rinex.fileName();
    st.type = st.open ? m_openType : m_options.type;
    st.typeName = gpsLogTypeName(st.type);
    st.intervalSeconds = intervalSeconds();
    st.bytes = st.open && m_file ? m_file->size() : 0;
    return st;
}

void GpsDataLog::flush()
{
    if (m_file && m_file->isOpen())
        m_file->flush();
    m_rinex.flush();
}

void GpsDataLog::writeRawEpoch(const UbxRawEpoch &epoch)
{
    if (!m_rinex.isOpen())
        return;
    if (writeNow())
        m_rinex.writeEpoch(epoch);
    else
        m_rinex.skipEpoch(epoch);
}

bool GpsDataLog::writeNow() const
{
    return m_state && m_state->gpsLogWriteNow;
}

void GpsDataLog::writeBytes(const QByteArray &bytes)
{
    if (m_file && m_file->isOpen())
        m_file->write(bytes);
}

void GpsDataLog::writeLogLine(const QString &text)
{
    if (!m_file || !m_file->isOpen())
        return;
    QString t = text;
    t.remove(QLatin1Char('\r'));
    while (t.endsWith(QLatin1Char('\n')))
        t.chop(1);
    QByteArray bytes = t.toUtf8();
    bytes.append('\n');
    m_file->write(bytes);
}

void GpsDataLog::writeRawText(const QString &text)
{
    if (isOpen() && m_openType == int(GpsLogType::Raw))
        writeLogLine(text);
}

// A log opened before the receiver was identified (at start-up) gets its column header with
// its first row.
void GpsDataLog::writePvtHeader()
{
    if (!m_state)
        return;
    const QString header = pvtHeader(m_state->receiverMode, m_state->channelCountUsed > 0 ? m_state->channelCountUsed
                                                                                          : m_state->channelCount);
    if (!header.isEmpty()) {
        writeLogLine(header);
        m_pvtHeaderPending = false;
    }
}

void GpsDataLog::writePvtRecord(const QString &row)
{
    if (!isOpen() || m_openType != int(GpsLogType::Pvt) || !writeNow())
        return;
    if (m_pvtHeaderPending)
        writePvtHeader();
    writeLogLine(row);
}

void GpsDataLog::writeNmeaFixLine(const QString &line)
{
    if (isOpen() && m_openType == int(GpsLogType::Nmea) && writeNow())
        writeLogLine(line);
}

QByteArray GpsDataLog::binaryRecord(const QByteArray &message)
{
    QByteArray out = message;
    if (isUbx(message)) {
        uint8_t a = 0, b = 0;
        for (qsizetype i = 2; i < message.size(); ++i) {
            a = uint8_t(a + uint8_t(message[i]));
            b = uint8_t(b + a);
        }
        out.append(char(a));
        out.append(char(b));
        return out;
    }
    uint8_t x = 0;
    for (qsizetype i = 2; i < message.size(); ++i)
        x ^= uint8_t(message[i]);
    out.append(char(x));
    out.append("\r\n");
    return out;
}

void GpsDataLog::writeBinaryRecord(const QByteArray &message)
{
    if (!isOpen() || message.isEmpty())
        return;
    if (m_openType == int(GpsLogType::Binary)) {
        if (writeNow())
            writeBytes(binaryRecord(message));
        return;
    }
    if (m_openType != int(GpsLogType::Rinex))
        return;
    if (isUbx(message))
        return;   // u-blox receivers: writeRawEpoch()
    // The Oncore stream for RINEX conversion: the position message and the ephemeris of a
    // second are held until the pseudorange message of that second arrives.
    const QByteArray key = message.left(4);
    if (key == "@@Ba" || key == "@@Ea") {
        m_holdA = message;
    } else if (key == "@@Bk" || key == "@@Ek") {
        m_holdB = message;
    } else if (key == "@@Bg" || key == "@@Eg") {
        const bool now = writeNow();
        for (QByteArray *held : { &m_holdA, &m_holdB }) {
            if (!held->isEmpty() && now)
                writeBytes(binaryRecord(*held));
            held->clear();
        }
        if (now)
            writeBytes(binaryRecord(message));
    } else if (key == "@@Bf" || key == "@@Cc" || key == "@@Ha") {
        if (writeNow())
            writeBytes(binaryRecord(message));
    }
}

// The open flags go through one settings object that the event loop writes out (at once,
// once the current event is done), so a day's restart does not wait for the settings file.
QSettings &GpsDataLog::store()
{
    if (!m_store)
        m_store = std::make_unique<QSettings>();
    return *m_store;
}
