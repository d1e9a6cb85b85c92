#include "receiver/ui/GpsRxDialog.h"

#include "receiver/ui/GpsRxType.h"

#include "core/ReceiverState.h"
#include "core/ReceiverMode.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QShowEvent>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

struct Choice
{
    int id;
    const char *text;
    const char *objectName;
};

QGroupBox *makeGroup(QWidget *parent, const QString &title, QButtonGroup *group, std::initializer_list<Choice> choices)
{
    auto *box = new QGroupBox(title, parent);
    auto *layout = new QVBoxLayout(box);
    for (const Choice &c : choices) {
        auto *button = new QRadioButton(QString::fromLatin1(c.text), box);
        button->setObjectName(QString::fromLatin1(c.objectName));
        group->addButton(button, c.id);
        layout->addWidget(button);
    }
    return box;
}

// Checks the button of `id`, or the group's default button when nothing is stored (-1).
void checkId(QButtonGroup *group, int id, int fallback)
{
    QAbstractButton *b = group->button(id < 0 ? fallback : id);
    if (!b)
        b = group->button(fallback);
    if (b)
        b->setChecked(true);
}

QCheckBox *makeCheck(QWidget *parent, const QString &text, const char *objectName)
{
    auto *c = new QCheckBox(text, parent);
    c->setObjectName(QString::fromLatin1(objectName));
    return c;
}

} // namespace

GpsRxDialog::GpsRxDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("GpsRxDialog"));
    setWindowTitle(QStringLiteral("GPS Receiver Mode Selections"));

    GpsModeGroup = new QButtonGroup(this);
    PositionFixGroup = new QButtonGroup(this);
    SatelliteSelectionGroup = new QButtonGroup(this);
    IonoGroup = new QButtonGroup(this);
    TropoGroup = new QButtonGroup(this);
    GeometryGroup = new QButtonGroup(this);
    ApplicationTypeGroup = new QButtonGroup(this);
    PpsRateGroup = new QButtonGroup(this);
    PpsDurationGroup = new QButtonGroup(this);

    // Navigation.
    auto *navigation = new QGroupBox(QStringLiteral("Navigation"), this);
    auto *navLayout = new QGridLayout(navigation);
    navLayout->addWidget(makeGroup(navigation, QStringLiteral("Nav Mode"), GpsModeGroup,
                                   { { 0, "3-D Nav", "IDC_GPS_MODE_3D_RADIO" },
                                     { 1, "2-D Nav", "IDC_GPS_MODE_2D_RADIO" },
                                     { 2, "0-D Nav (Timing)", "IDC_GPS_MODE_0D_RADIO" } }),
                         0, 0);
    navLayout->addWidget(makeGroup(navigation, QStringLiteral("Position Fix"), PositionFixGroup,
                                   { { 0, "All in view", "IDC_POSITION_ALL_IN_VIEW_RADIO" },
                                     { 1, "Best 4", "IDC_POSITION_BEST_4_RADIO" } }),
                         0, 1);
    navLayout->addWidget(makeGroup(navigation, QStringLiteral("Satellite Selection"), SatelliteSelectionGroup,
                                   { { 0, "Best Geometry ->", "IDC_SATELLITE_BEST_GEOMETRY_RADIO" },
                                     { 1, "Highest in the sky", "IDC_SATELLITE_HIGHEST_RADIO" } }),
                         0, 2);
    navLayout->addWidget(makeGroup(navigation, QStringLiteral("Geometry"), GeometryGroup,
                                   { { 0, "GDOP", "IDC_GEOMETRY_GDOP_RADIO" },
                                     { 1, "PDOP", "IDC_GEOMETRY_PDOP_RADIO" },
                                     { 2, "HDOP", "IDC_GEOMETRY_HDOP_RADIO" },
                                     { 3, "VDOP", "IDC_GEOMETRY_VDOP_RADIO" },
                                     { 4, "TDOP", "IDC_GEOMETRY_TDOP_RADIO" } }),
                         0, 3);
    navLayout->addWidget(makeGroup(navigation, QStringLiteral("Iono Corrections"), IonoGroup,
                                   { { 0, "Enabled", "IDC_IONO_ENABLED_RADIO" },
                                     { 1, "Disabled", "IDC_IONO_DISABLED_RADIO" } }),
                         1, 0);
    navLayout->addWidget(makeGroup(navigation, QStringLiteral("Tropo Corrections"), TropoGroup,
                                   { { 0, "Enabled", "IDC_TROPO_ENABLED_RADIO" },
                                     { 1, "Disabled", "IDC_TROPO_DISABLED_RADIO" } }),
                         1, 1);
    navLayout->addWidget(makeGroup(navigation, QStringLiteral("App Type"), ApplicationTypeGroup,
                                   { { 0, "Air", "IDC_APP_AIR_RADIO" },
                                     { 1, "Handheld", "IDC_APP_HANDHELD_RADIO" },
                                     { 2, "Land", "IDC_APP_LAND_RADIO" },
                                     { 3, "Marine", "IDC_APP_MARINE_RADIO" },
                                     { 4, "Static", "IDC_APP_STATIC_RADIO" } }),
                         1, 2);
    auto *maskBox = new QGroupBox(QStringLiteral("Elevation Mask"), navigation);
    auto *maskLayout = new QHBoxLayout(maskBox);
    ElevationMaskSpinBox = new QSpinBox(maskBox);
    ElevationMaskSpinBox->setObjectName(QStringLiteral("IDC_ELEVATION_MASK"));
    ElevationMaskSpinBox->setRange(0, ReceiverSettings::MaxElevationMask);
    maskLayout->addWidget(ElevationMaskSpinBox);
    maskLayout->addWidget(new QLabel(QStringLiteral("Degrees"), maskBox));
    navLayout->addWidget(maskBox, 1, 3);
    RestoreNavigationButton = new QPushButton(QStringLiteral("Restore defaults"), navigation);
    RestoreNavigationButton->setObjectName(QStringLiteral("IDC_RESTORE_NAVIGATION"));
    navLayout->addWidget(RestoreNavigationButton, 2, 3);

    // Precision timing.
    auto *timing = new QGroupBox(QStringLiteral("Precision Timing"), this);
    auto *timingLayout = new QGridLayout(timing);
    timingLayout->addWidget(makeGroup(timing, QStringLiteral("Pulse Mode"), PpsRateGroup,
                                      { { 0, "1 PPS", "IDC_PPS_RATE_1_RADIO" },
                                        { 1, "100 PPS", "IDC_PPS_RATE_100_RADIO" } }),
                            0, 0);
    timingLayout->addWidget(makeGroup(timing, QStringLiteral("PPS Duration"), PpsDurationGroup,
                                      { { 0, "200 msec (long)", "IDC_PPS_LONG_RADIO" },
                                        { 1, "  30 usec (short)", "IDC_PPS_SHORT_RADIO" } }),
                            0, 1);
    auto *revision = new QLabel(QStringLiteral("<html><head/><body><p>KTW Clock II Rev L and newer</p></body></html>"), timing);
    revision->setObjectName(QStringLiteral("IDC_PPS_REVISION_LABEL"));
    timingLayout->addWidget(revision, 0, 2);
    AlignMessagesCheckBox = makeCheck(timing, QStringLiteral("Align All Messages"), "IDC_ALIGN_MESSAGES");
    timingLayout->addWidget(AlignMessagesCheckBox, 1, 0);
    RestoreTimingButton = new QPushButton(QStringLiteral("Restore defaults"), timing);
    RestoreTimingButton->setObjectName(QStringLiteral("IDC_RESTORE_TIMING"));
    timingLayout->addWidget(RestoreTimingButton, 1, 2);

    // Special purpose modes.
    auto *special = new QGroupBox(QStringLiteral("Special Purpose Modes"), this);
    auto *specialLayout = new QGridLayout(special);
    LocalTimeCheckBox = makeCheck(special, QStringLiteral("GPS Rx in Local Time"), "IDC_LOCAL_TIME");
    EmulatePvt6CheckBox = makeCheck(special, QStringLiteral("6-channel mode"), "IDC_EMULATE_PVT6");
    GarminCheckBox = makeCheck(special, QStringLiteral("Garmin Rx ($PGRMC, $PGRMI)"), "IDC_GARMIN");
    ReceiverTypeButton = new QPushButton(QStringLiteral("Receiver Type..."), special);
    ReceiverTypeButton->setObjectName(QStringLiteral("IDC_GPS_RX_TYPE"));
    ReceiverTypeButton->setAutoDefault(false);
    connect(ReceiverTypeButton, &QPushButton::clicked, this, [this] {
        auto *type = findChild<GpsRxType *>();
        if (!type)
            type = new GpsRxType(this);
        type->load();
        type->open();
    });
    specialLayout->addWidget(LocalTimeCheckBox, 0, 0);
    specialLayout->addWidget(EmulatePvt6CheckBox, 1, 0);
    specialLayout->addWidget(GarminCheckBox, 4, 0);
    specialLayout->addWidget(ReceiverTypeButton, 4, 1);
    auto *dgpsBox = new QGroupBox(QStringLiteral("DGPS Output"), special);
    auto *dgpsLayout = new QHBoxLayout(dgpsBox);
    DgpsActivateCheckBox = makeCheck(dgpsBox, QStringLiteral("Activate"), "IDC_DGPS_ACTIVATE");
    DgpsRateSpinBox = new QSpinBox(dgpsBox);
    DgpsRateSpinBox->setObjectName(QStringLiteral("IDC_DGPS_RATE"));
    DgpsRateSpinBox->setRange(0, ReceiverSettings::MaxDgpsRate);
    dgpsLayout->addWidget(DgpsActivateCheckBox);
    dgpsLayout->addWidget(DgpsRateSpinBox);
    dgpsLayout->addWidget(new QLabel(QStringLiteral("secs/msg"), dgpsBox));
    specialLayout->addWidget(dgpsBox, 0, 1, 2, 1);
    // GPS week rollover correction of received dates.
    WeekRolloverGroup = new QButtonGroup(this);
    auto *rolloverBox = makeGroup(special, QStringLiteral("GPS Week Rollover Correction"), WeekRolloverGroup,
                                  { { GpsWeekRollover::None, "None", "IDC_ROLLOVER_NONE" },
                                    { GpsWeekRollover::Automatic, "Automatic", "IDC_ROLLOVER_AUTOMATIC" },
                                    { GpsWeekRollover::Fixed, "Add 1024-week epochs:", "IDC_ROLLOVER_FIXED" } });
    WeekRolloverEpochsSpinBox = new QSpinBox(rolloverBox);
    WeekRolloverEpochsSpinBox->setObjectName(QStringLiteral("IDC_ROLLOVER_EPOCHS"));
    WeekRolloverEpochsSpinBox->setRange(1, GpsWeekRollover::MaxFixedEpochs);
    rolloverBox->layout()->addWidget(WeekRolloverEpochsSpinBox);
    connect(WeekRolloverGroup, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (id == GpsWeekRollover::Fixed)
            WeekRolloverEpochsSpinBox->setEnabled(on);
    });
    specialLayout->addWidget(rolloverBox, 2, 0);
    RestoreSpecialButton = new QPushButton(QStringLiteral("Restore defaults"), special);
    RestoreSpecialButton->setObjectName(QStringLiteral("IDC_RESTORE_SPECIAL"));
    specialLayout->addWidget(RestoreSpecialButton, 2, 1);

    // Constellations (multi-GNSS receivers).
    ConstellationGroup = new QGroupBox(QStringLiteral("GNSS"), this);
    auto *gnssLayout = new QGridLayout(ConstellationGroup);
    SatGpsCheckBox = makeCheck(ConstellationGroup, QStringLiteral("GPS"), "IDC_SAT_GPS");
    SatGlonassCheckBox = makeCheck(ConstellationGroup, QStringLiteral("GLONASS"), "IDC_SAT_GLONASS");
    SatGalileoCheckBox = makeCheck(ConstellationGroup, QStringLiteral("Galileo "), "IDC_SAT_GALILEO");
    SatBeidouCheckBox = makeCheck(ConstellationGroup, QStringLiteral("Beidou"), "IDC_SAT_BEIDOU");
    SatQzssCheckBox = makeCheck(ConstellationGroup, QStringLiteral("QZSS"), "IDC_SAT_QZSS");
    SatSbasCheckBox = makeCheck(ConstellationGroup, QStringLiteral("SBAS (WAAS, etc.)"), "IDC_SAT_SBAS");
    int i = 0;
    for (QCheckBox *c : { SatGpsCheckBox, SatGlonassCheckBox, SatGalileoCheckBox, SatBeidouCheckBox, SatQzssCheckBox,
                          SatSbasCheckBox }) {
        gnssLayout->addWidget(c, i / 3, i % 3);
        connect(c, &QCheckBox::toggled, this, &GpsRxDialog::checkConstellations);
        ++i;
    }
    ConstellationRuleLabel = new QLabel(ConstellationGroup);
    ConstellationRuleLabel->setObjectName(QStringLiteral("IDC_CONSTELLATION_RULE"));
    ConstellationRuleLabel->setStyleSheet(QStringLiteral("color:red"));
    gnssLayout->addWidget(ConstellationRuleLabel, 2, 0, 1, 3);
    ConstellationGroup->setEnabled(false);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    OkButton = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &GpsRxDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &GpsRxDialog::reject);
    connect(RestoreNavigationButton, &QPushButton::clicked, this, &GpsRxDialog::restoreNavigationDefaults);
    connect(RestoreTimingButton, &QPushButton::clicked, this, &GpsRxDialog::restorePrecisionTimingDefaults);
    connect(RestoreSpecialButton, &QPushButton::clicked, this, &GpsRxDialog::restoreSpecialPurposeDefaults);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(navigation);
    layout->addWidget(timing);
    layout->addWidget(special);
    layout->addWidget(ConstellationGroup);
    layout->addWidget(buttons);

    loadFromSettings();
}

void GpsRxDialog::showEvent(QShowEvent *event)
{
    loadFromSettings();
    QDialog::showEvent(event);
}

void GpsRxDialog::loadFromSettings()
{
    QSettings settings;
    const QByteArray geometry = settings.value(ReceiverSettings::keyGeometry()).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    showSettings(ReceiverSettings::load(settings));
}

void GpsRxDialog::showSettings(const ReceiverSettings &r)
{
    m_shown = r;
    checkId(GpsModeGroup, r.gpsMode, ReceiverSettings::DefaultGpsMode);
    checkId(PositionFixGroup, r.positionFixMode, ReceiverSettings::DefaultPositionFixMode);
    checkId(SatelliteSelectionGroup, r.satelliteSelection, ReceiverSettings::DefaultSatelliteSelection);
    checkId(IonoGroup, r.ionospheric, ReceiverSettings::DefaultIonospheric);
    checkId(TropoGroup, r.tropospheric, ReceiverSettings::DefaultTropospheric);
    checkId(GeometryGroup, r.geometryButton, ReceiverSettings::DefaultGeometryButton);
    checkId(ApplicationTypeGroup, r.applicationType, ReceiverSettings::DefaultApplicationType);
    checkId(PpsRateGroup, r.ppsRate, ReceiverSettings::DefaultPpsRate);
    checkId(PpsDurationGroup, r.ppsDuration, ReceiverSettings::DefaultPpsDuration);
    checkId(WeekRolloverGroup, r.weekRollover, GpsWeekRollover::None);
    WeekRolloverEpochsSpinBox->setValue(r.weekRolloverEpochs);
    WeekRolloverEpochsSpinBox->setEnabled(r.weekRollover == GpsWeekRollover::Fixed);
    LocalTimeCheckBox->setChecked(r.localTime);
    EmulatePvt6CheckBox->setChecked(r.emulatePvt6);
    EmulatePvt6CheckBox->setEnabled(m_pvt6Offered || r.emulatePvt6);
    GarminCheckBox->setChecked(r.garmin);
    DgpsActivateCheckBox->setChecked(r.dgpsActivate);
    DgpsRateSpinBox->setValue(r.dgpsRate);
    AlignMessagesCheckBox->setChecked(r.alignMessages);
    ElevationMaskSpinBox->setValue(r.elevationMask);
    SatGpsCheckBox->setChecked(r.satGps);
    SatGlonassCheckBox->setChecked(r.satGlonass);
    SatGalileoCheckBox->setChecked(r.satGalileo);
    SatBeidouCheckBox->setChecked(r.satBeidou);
    SatQzssCheckBox->setChecked(r.satQzss);
    SatSbasCheckBox->setChecked(r.satSbas);
    checkConstellations();
}

ReceiverSettings GpsRxDialog::currentSettings() const
{
    ReceiverSettings r = m_shown;
    r.gpsMode = GpsModeGroup->checkedId();
    r.positionFixMode = PositionFixGroup->checkedId();
    r.satelliteSelection = SatelliteSelectionGroup->checkedId();
    r.ionospheric = IonoGroup->checkedId();
    r.tropospheric = TropoGroup->checkedId();
    r.geometryButton = GeometryGroup->checkedId();
    r.applicationType = ApplicationTypeGroup->checkedId();
    r.ppsRate = PpsRateGroup->checkedId();
    r.ppsDuration = PpsDurationGroup->checkedId();
    r.weekRollover = WeekRolloverGroup->checkedId();
    r.weekRolloverEpochs = WeekRolloverEpochsSpinBox->value();
    r.localTime = LocalTimeCheckBox->isChecked();
    r.emulatePvt6 = EmulatePvt6CheckBox->isChecked();
    r.garmin = GarminCheckBox->isChecked();
    r.dgpsActivate = DgpsActivateCheckBox->isChecked();
    r.dgpsRate = DgpsRateSpinBox->value();
    r.alignMessages = AlignMessagesCheckBox->isChecked();
    r.elevationMask = ElevationMaskSpinBox->value();
    r.satGps = SatGpsCheckBox->isChecked();
    r.satGlonass = SatGlonassCheckBox->isChecked();
    r.satGalileo = SatGalileoCheckBox->isChecked();
    r.satBeidou = SatBeidouCheckBox->isChecked();
    r.satQzss = SatQzssCheckBox->isChecked();
    r.satSbas = SatSbasCheckBox->isChecked();
    return r;
}

void GpsRxDialog::setReceiver(int receiverMode, int receiverModel, double firmwareVersion, int channelCount)
{
    m_pvt6Offered = channelCount == 8;
    EmulatePvt6CheckBox->setEnabled(m_pvt6Offered || EmulatePvt6CheckBox->isChecked());
    m_constellationsActive = receiverMode == ReceiverMode::MotorolaBinary
        && (receiverModel == ReceiverModelCode::SsrM8F || receiverModel == ReceiverModelCode::SsrM8T);
    m_galileoCapable = firmwareVersion >= 3.01;
    ConstellationGroup->setEnabled(m_constellationsActive);
    SatGalileoCheckBox->setEnabled(m_galileoCapable || SatGalileoCheckBox->isChecked());
    checkConstellations();
}

QString GpsRxDialog::constellationProblem() const
{
    if (!m_constellationsActive)
        return {};
    return ReceiverSettingsCommands::constellationProblem(currentSettings().constellationMask(), m_galileoCapable);
}

void GpsRxDialog::checkConstellations()
{
    const QString problem = constellationProblem();
    ConstellationRuleLabel->setText(problem);
    OkButton->setEnabled(problem.isEmpty());
}

void GpsRxDialog::restoreNavigationDefaults()
{
    checkId(GpsModeGroup, -1, ReceiverSettings::DefaultGpsMode);
    checkId(PositionFixGroup, -1, ReceiverSettings::DefaultPositionFixMode);
    checkId(SatelliteSelectionGroup, -1, ReceiverSettings::DefaultSatelliteSelection);
    checkId(IonoGroup, -1, ReceiverSettings::DefaultIonospheric);
    checkId(TropoGroup, -1, ReceiverSettings::DefaultTropospheric);
    checkId(GeometryGroup, -1, ReceiverSettings::DefaultGeometryButton);
    checkId(ApplicationTypeGroup, -1, ReceiverSettings::DefaultApplicationType);
    ElevationMaskSpinBox->setValue(ReceiverSettings::DefaultElevationMask);
}

void GpsRxDialog::restorePrecisionTimingDefaults()
{
    checkId(PpsRateGroup, -1, ReceiverSettings::DefaultPpsRate);
    checkId(PpsDurationGroup, -1, ReceiverSettings::DefaultPpsDuration);
    AlignMessagesCheckBox->setChecked(false);
}

void GpsRxDialog::restoreSpecialPurposeDefaults()
{
    LocalTimeCheckBox->setChecked(false);
    EmulatePvt6CheckBox->setChecked(false);
    checkId(WeekRolloverGroup, GpsWeekRollover::None, GpsWeekRollover::None);
    DgpsActivateCheckBox->setChecked(false);
    DgpsRateSpinBox->setValue(ReceiverSettings::DefaultDgpsRate);
}

void GpsRxDialog::accept()
{
    if (!constellationProblem().isEmpty())
        return;
    const ReceiverSettings r = currentSettings();
    {
        QSettings settings;
        r.save(settings);
        settings.setValue(ReceiverSettings::keyGeometry(), saveGeometry());
    }
    m_shown = r;
    QDialog::accept();
    if (applyReceiverSettings)
        applyReceiverSettings(r);
}
