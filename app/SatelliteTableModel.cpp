#include "app/SatelliteTableModel.h"

#include <algorithm>

const QString SatelliteTableModel::BarScaleText = QStringLiteral("  20  |  30  |  40  |  50");

namespace {

bool isUbloxMode(int mode)
{
    return mode == ReceiverMode::UbloxUbx || mode == ReceiverMode::UbloxNmea;
}

bool isMotorolaBinaryMode(int mode)
{
    return mode == ReceiverMode::MotorolaBinary || mode == ReceiverMode::MotorolaBinaryRxOnly;
}

// Every part of the status list ends in ", "; the last one is cut unless nothing but a
// separator would remain.
QString cutFinalSeparator(QString text)
{
    if (text.size() > 2 && text.endsWith(QStringLiteral(", ")))
        text.chop(2);
    return text;
}

bool sameColumn0(const SatelliteRecord &a, const SatelliteRecord &b)
{
    return a.svId == b.svId;
}

bool sameColumn1(const SatelliteRecord &a, const SatelliteRecord &b)
{
    return a.elevation == b.elevation && a.azimuth == b.azimuth && a.riseSet == b.riseSet;
}

bool sameColumn2(const SatelliteRecord &a, const SatelliteRecord &b)
{
    return a.azimuth == b.azimuth;
}

bool sameSignal(const SatelliteRecord &a, const SatelliteRecord &b)
{
    return a.svId == b.svId && a.cNo == b.cNo && a.svFlags == b.svFlags && a.trackMode == b.trackMode
        && a.used == b.used;
}

} // namespace

void SatelliteTableModel::invalidate()
{
    m_shadow.fill(std::nullopt);
    m_rowCleared.fill(false);
}

void SatelliteTableModel::sortRecords(Records &records, int sortMode)
{
    // A stable sort: records that tie keep the receiver's order, so equal elevations do not
    // swap rows from one fill to the next.
    switch (sortMode) {
    case SortByPrn:
        std::stable_sort(records.begin(), records.end(),
                         [](const SatelliteRecord &a, const SatelliteRecord &b) { return a.svId < b.svId; });
        break;
    case SortByElevation:
        std::stable_sort(records.begin(), records.end(),
                         [](const SatelliteRecord &a, const SatelliteRecord &b) { return a.elevation > b.elevation; });
        break;
    case SortByAzimuth:
        std::stable_sort(records.begin(), records.end(),
                         [](const SatelliteRecord &a, const SatelliteRecord &b) { return a.azimuth < b.azimuth; });
        break;
    case SortByCNo:
        std::stable_sort(records.begin(), records.end(),
                         [](const SatelliteRecord &a, const SatelliteRecord &b) { return a.cNo > b.cNo; });
        break;
    default:
        break;   // unsorted: the receiver's order
    }
}

bool SatelliteTableModel::isShown(const SatelliteRecord &r, int receiverMode)
{
    // IDs above 256 are never shown, whatever the mode.
    if (r.svId == 0 || r.svId > 256 || r.elevation < 0 || r.azimuth < 0)
        return false;
    if (receiverMode == ReceiverMode::UbloxUbx)
        return r.cNo != 0;
    return r.cNo != 0 || r.trackMode == 8;
}

int SatelliteTableModel::barOffset(int value, int width)
{
    // QProgressBar fills (value - min) / (max - min) of its width, rounded down.
    return int(qint64(barValue(value) - BarMinimum) * width / (BarMaximum - BarMinimum));
}

int SatelliteTableModel::barValue(int cNo)
{
    return std::clamp(cNo, BarMinimum, BarMaximum);
}

QString SatelliteTableModel::prnText(const SatelliteRecord &r)
{
    return r.svId < 256 ? QString::number(r.svId) : QString();
}

QString SatelliteTableModel::elevationText(const SatelliteRecord &r)
{
    if (r.elevation >= 91 || (r.elevation == 0 && r.azimuth == 0))
        return {};
    const QChar arrow = r.riseSet > 0 ? QChar(0x2191) : r.riseSet < 0 ? QChar(0x2193) : QChar(u' ');
    return QStringLiteral("%1 ").arg(r.elevation, 2, 10, QLatin1Char('0')) + arrow;
}

QString SatelliteTableModel::azimuthText(const SatelliteRecord &r)
{
    // A channel tracked before any visible-satellite message has neither angle yet: its
    // azimuth is unknown, not north.
    if (r.azimuth >= 360 || (r.elevation == 0 && r.azimuth == 0))
        return {};
    return QString::number(r.azimuth);
}

QString SatelliteTableModel::trackModeName(int trackMode)
{
    switch (trackMode) {
    case 0: return QStringLiteral("Code Search");
    case 1: return QStringLiteral("Code Acquire");
    case 2: return QStringLiteral("AGC Set");
    case 3: return QStringLiteral("Freq Acquire");
    case 4: return QStringLiteral("Bit Sync Detect");
    case 5: return QStringLiteral("Message Sync Detect");
    case 6: return QStringLiteral("Time Available");
    case 7: return QStringLiteral("Ephemeris Acquire");
    case 8: return QStringLiteral("Available");
    default: return QStringLiteral("Not Locked");
    }
}

// The tracking-mode names apply only where the decoders fill trackMode (Motorola binary).
static bool showsTrackMode(const SatelliteRecord &, int receiverMode)
{
    return isMotorolaBinaryMode(receiverMode);
}

QString SatelliteTableModel::cNoText(const SatelliteRecord &r, int receiverMode)
{
    if (showsTrackMode(r, receiverMode))
        return QString::number(r.cNo);
    // A value of 64 or more is not a C/No the receivers report; the cell stays empty.
    return r.cNo < 64 ? QString::number(r.cNo) : QString();
}

QString SatelliteTableModel::barText(const SatelliteRecord &r, int receiverMode)
{
    if (!showsTrackMode(r, receiverMode))
        return statusText(r, receiverMode);
    // A satellite the channel has locked on says whether the fix uses it and what is wrong with it.
    QString text = trackModeName(r.trackMode);
    if (r.trackMode == 8) {
        if (r.used == 0)
            text += QStringLiteral(", Not Used");
        if (r.svFlags & SvFlag::Unhealthy)
            text += QStringLiteral(", Unhealthy");
        if (r.svFlags & SvFlag::MomentumAlert)
            text += QStringLiteral(", Momentum Alert");
    }
    return text;
}

QString SatelliteTableModel::sbasNamePart(int svId)
{
    switch (svId) {
    case 120: return QStringLiteral("EGNOS AOR-E 15°W, ");
    case 121: return QStringLiteral("EMEA 25°E, ");
    case 122: return QStringLiteral("PAC-C, ");
    case 124: return QStringLiteral("EGNOS 21.5°E, ");
    case 126: return QStringLiteral("EGNOS IND-W 25°E, ");
    case 127: return QStringLiteral("GAGAN 82°E, ");
    case 128: return QStringLiteral("GAGAN 55°E, ");
    case 129: return QStringLiteral("MSAS 140°E, ");
    case 130: return QStringLiteral("IOR 142.5°E, ");
    case 131: return QStringLiteral("EGNOS IOR 64°E, ");
    case 133: return QStringLiteral("WAAS AMER 98°W, ");
    case 134: return QStringLiteral("WAAS POR 178°E, ");
    case 135: return QStringLiteral("WAAS 133°W, ");
    case 136: return QStringLiteral("INMARSAT 8°E, ");
    case 137: return QStringLiteral("MSAS 145°E, ");
    case 138: return QStringLiteral("WAAS 107°W, ");
    default: return {};
    }
}

QString SatelliteTableModel::systemPart(int id)
{
    // The ranges overlap ("below 65" after 159-163); the order of the tests decides.
    if (id < 33)
        return QStringLiteral("GPS, ");
    if (id >= 120 && id <= 158)
        return QStringLiteral("SBAS, ");
    if (id >= 211 && id <= 246)
        return QStringLiteral("Galileo, ");
    if (id >= 159 && id <= 163)
        return QStringLiteral("BeiDou, ");
    if (id < 65)
        return QStringLiteral("BeiDou, ");
    if (id >= 173 && id <= 182)
        return QStringLiteral("IMES, ");
    if (id >= 183 && id <= 197)
        return QStringLiteral("QZSS, ");
    if (id >= 65 && id <= 96)
        return QStringLiteral("GLONASS, ");
    if (id == 255)
        return QStringLiteral("GLONASS, ");
    return {};
}

QString SatelliteTableModel::statusText(const SatelliteRecord &r, int receiverMode)
{
    QString text;
    if (isUbloxMode(receiverMode)) {
        text = sbasNamePart(r.svId);
        if (text.isEmpty())
            text = systemPart(r.svId);
        // UBX fills the used bit itself; in NMEA output the GSA list decides.
        if (receiverMode == ReceiverMode::UbloxUbx ? !(r.svFlags & SvFlag::UbxUsed) : r.used == 0)
            text += QStringLiteral("Not Used, ");
        if (r.svFlags & SvFlag::UbxUnhealthy)
            text += QStringLiteral("Unhealthy, ");
    } else if (r.svId < 33) {
        text = QStringLiteral("GPS, ");
        if (r.used == 0)
            text += QStringLiteral("Not Used, ");
        if (r.svFlags & SvFlag::MomentumAlert)
            text += QStringLiteral("Momentum Alert, ");
        if (r.svFlags & SvFlag::Unhealthy)
            text += QStringLiteral("Unhealthy, ");
        if (r.svFlags & SvFlag::SelectiveAvailability)
            text += QStringLiteral("SA, ");
        if (r.svFlags & SvFlag::ParityError)
            text += QStringLiteral("Parity Error, ");
    } else {
        text = systemPart(r.svId);
    }
    return cutFinalSeparator(text);
}

SatelliteTableUpdate SatelliteTableModel::fill(Records &master, int receiverMode, int sortMode)
{
    SatelliteTableUpdate update;
    if (receiverMode != m_lastMode) {
        // Texts depend on the mode: a new mode rewrites every cell.
        invalidate();
        m_lastMode = receiverMode;
    }

    if (receiverMode == ReceiverMode::UbloxUbx) {
        for (SatelliteRecord &r : master) {
            if (!(r.svFlags & SvFlag::UbxUsed))
                r.cNo = 0;
        }
    }

    m_sorted = master;
    sortRecords(m_sorted, sortMode);

    int row = 0;
    for (const SatelliteRecord &r : m_sorted) {
        if (row >= DisplayRows)
            break;
        if (!isShown(r, receiverMode))
            continue;
        const std::optional<SatelliteRecord> &shadow = m_shadow[row];
        const int displayRow = row + 1;
        if (!shadow || !sameColumn0(*shadow, r))
            update.cells.append({ displayRow, PrnColumn, prnText(r), 0 });
        if (!shadow || !sameColumn1(*shadow, r))
            update.cells.append({ displayRow, ElevationColumn, elevationText(r), 0 });
        if (!shadow || !sameColumn2(*shadow, r))
            update.cells.append({ displayRow, AzimuthColumn, azimuthText(r), 0 });
        if (!shadow || !sameSignal(*shadow, r)) {
            update.cells.append({ displayRow, CNoColumn, cNoText(r, receiverMode), 0 });
            update.cells.append({ displayRow, BarColumn, barText(r, receiverMode), barValue(r.cNo) });
        }
        m_shadow[row] = r;
        m_rowCleared[row] = false;
        ++row;
    }
    m_shownRows = row;

    for (; row < DisplayRows; ++row) {
        if (m_rowCleared[row])
            continue;
        update.clearedRows.append(row + 1);
        m_rowCleared[row] = true;
        m_shadow[row].reset();
    }
    return update;
}

// --- indicators ------------------------------------------------------------------------------

namespace {
const QString kWhiteStyle = QStringLiteral("padding: 2px 5px; color:black; background-color:white");
const QString kGreenStyle = QStringLiteral("padding: 2px 5px; color:white; background-color:green");
const QString kRedStyle = QStringLiteral("padding: 2px 5px; color:white; background-color:red");
const QString kYellowStyle = QStringLiteral("padding: 2px 5px; color:black; background-color:yellow");
} // namespace

IndicatorLook StationIndicators::antenna(int value)
{
    switch (value) {
    case 0: return { QStringLiteral("Ant OK"), kGreenStyle };
    case 1: return { QStringLiteral("Ant OC Short"), kRedStyle };
    case 2: return { QStringLiteral("Ant Open"), kYellowStyle };
    case 3: return { QStringLiteral("Ant No Pwr"), kYellowStyle };
    default: return { QStringLiteral("Ant Unknown"), kWhiteStyle };
    }
}

IndicatorLook StationIndicators::navigation(int value)
{
    switch (value) {
    case 0: return { QStringLiteral("Navigating"), kGreenStyle };
    case 1: return { QStringLiteral("Position Hold"), kGreenStyle };
    case 2: return { QStringLiteral("Surveying"), kYellowStyle };
    default: return { QStringLiteral("Nav Unknown"), kWhiteStyle };
    }
}

IndicatorLook StationIndicators::antennaAtStart()
{
    return { QStringLiteral("Ant Unknown"), kWhiteStyle };
}

IndicatorLook StationIndicators::navigationAtStart()
{
    return { QStringLiteral("Nav Unknown"), kWhiteStyle };
}

std::optional<QString> VisibleCountLabel::update(ShownCount &count)
{
    if (!count.changed)
        return std::nullopt;
    count.changed = false;
    const QString text = QStringLiteral("%1 Visible").arg(count.value);
    if (text == m_lastText)
        return std::nullopt;
    m_lastText = text;
    return text;
}
