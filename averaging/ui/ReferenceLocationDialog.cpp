#include "averaging/ui/ReferenceLocationDialog.h"

#include "averaging/Geoid.h"
#include "core/ui/MessageBoxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

using namespace ReferenceLocation;

namespace {

const QString kGeometryKey = QStringLiteral("ReferenceLocationDialog/geometry");

} // namespace

ReferenceLocationDialog::ReferenceLocationDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ReferenceLocationDialog"));
    setWindowTitle(QStringLiteral("Set Reference Location"));

    m_name = new QComboBox(this);
    m_name->setObjectName(QStringLiteral("IDC_REFDLG_NAME"));
    m_name->setEditable(true);
    m_name->setInsertPolicy(QComboBox::NoInsert);
    auto *save = new QPushButton(QStringLiteral("Save"), this);
    save->setObjectName(QStringLiteral("IDC_REFDLG_SAVE_NAME"));
    save->setAutoDefault(false);
    auto *remove = new QPushButton(QStringLiteral("Remove"), this);
    remove->setObjectName(QStringLiteral("IDC_REFDLG_REMOVE_NAME"));
    remove->setAutoDefault(false);
    auto *nameRow = new QHBoxLayout;
    nameRow->addWidget(m_name, 1);
    nameRow->addWidget(save);
    nameRow->addWidget(remove);

    static const char *const names[FieldCount] = { "IDC_REFDLG_LATITUDE", "IDC_REFDLG_LONGITUDE",
                                                   "IDC_REFDLG_ALT_WGS84", "IDC_REFDLG_ALT_MSL" };
    static const char *const labels[FieldCount] = { "Latitude (-90 to 90 degrees)", "Longitude (-180 to 180 degrees)",
                                                    "Alt (WGS84, meters)", "Alt (MSL, meters)" };
    auto *grid = new QGridLayout;
    for (int i = 0; i < FieldCount; ++i) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(names[i]));
        m_fields[i].edit = edit;
        grid->addWidget(new QLabel(QLatin1String(labels[i]), this), i, 0);
        grid->addWidget(edit, i, 1);
        const FieldId id = FieldId(i);
        connect(edit, &QLineEdit::textEdited, this, [this, id] { fieldEdited(id); });
    }
    m_geoidModel = new QLabel(this);
    m_geoidModel->setObjectName(QStringLiteral("IDC_REFDLG_GEDIFF_MODEL"));
    m_geoidCurrent = new QLabel(this);
    m_geoidCurrent->setObjectName(QStringLiteral("IDC_REFDLG_GEDIFF_CURRENT"));
    grid->addWidget(new QLabel(QStringLiteral("Geoid-Ellipsoid Difference, Reference Location"), this), FieldCount, 0);
    grid->addWidget(m_geoidModel, FieldCount, 1);
    grid->addWidget(new QLabel(QStringLiteral("Geoid-Ellipsoid Difference - Current Location "), this), FieldCount + 1, 0);
    grid->addWidget(m_geoidCurrent, FieldCount + 1, 1);

    m_locOnStartBox = new QCheckBox(QStringLiteral("Load reference location on program startup"), this);
    m_locOnStartBox->setObjectName(QStringLiteral("IDC_REFDLG_LOC_ON_START"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(nameRow);
    layout->addLayout(grid);
    layout->addWidget(m_locOnStartBox);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &ReferenceLocationDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ReferenceLocationDialog::reject);
    connect(m_name, &QComboBox::activated, this, &ReferenceLocationDialog::IDC_REFDLG_NAME_activated);
    connect(save, &QPushButton::clicked, this, &ReferenceLocationDialog::IDC_REFDLG_SAVE_NAME_clicked);
    connect(remove, &QPushButton::clicked, this, &ReferenceLocationDialog::IDC_REFDLG_REMOVE_NAME_clicked);
}

void ReferenceLocationDialog::setValues(const StationPosition &p, bool locOnStart, int navFormat,
                                        double geoidDiffCurrent)
{
    m_navFormat = navFormat;
    m_locOnStart = locOnStart;
    m_locOnStartBox->setChecked(locOnStart);
    m_geoidCurrent->setText(formatAltitude(geoidDiffCurrent));
    fill(p);
    fillNames();
    QSettings settings;
    const QByteArray geometry = settings.value(kGeometryKey).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}

void ReferenceLocationDialog::fill(const StationPosition &p)
{
    m_values = p;
    const QString texts[FieldCount] = { formatCoordinate(p.lat, m_navFormat), formatCoordinate(p.lon, m_navFormat),
                                        formatAltitude(p.altGps), formatAltitude(p.altMsl) };
    for (int i = 0; i < FieldCount; ++i) {
        m_fields[i].shown = texts[i];
        m_fields[i].edit->setText(texts[i]);
        m_fields[i].edit->setStyleSheet(QStringLiteral("color:black"));
    }
    m_mslEdited = false;
    m_wgs84Edited = false;
    refreshGeoid();
}

void ReferenceLocationDialog::fillNames()
{
    QSettings settings;
    const QString text = m_name->currentText();
    m_name->clear();
    m_name->addItem(QString());
    m_name->addItems(Database::names(settings));
    m_name->setEditText(text);
}

bool ReferenceLocationDialog::readField(FieldId id, double &out, bool tell)
{
    Field &f = m_fields[id];
    if (f.edit->text() == f.shown) {
        const double stored[FieldCount] = { m_values.lat, m_values.lon, m_values.altGps, m_values.altMsl };
        out = stored[id];
        return true;
    }
    const Axis axis = id == Longitude ? Axis::Longitude : Axis::Latitude;
    const Parsed p = id <= Longitude ? parseCoordinate(f.edit->text(), axis) : parseAltitude(f.edit->text());
    if (p.ok()) {
        out = p.value;
        return true;
    }
    if (tell) {
        MessageBoxes::warning(this, messageTitle(p.result), messageText(p.result, axis));
        f.edit->setFocus();
    }
    return false;
}

bool ReferenceLocationDialog::readAll(StationPosition &out)
{
    return readField(Latitude, out.lat, true) && readField(Longitude, out.lon, true)
        && readField(AltWgs84, out.altGps, true) && readField(AltMsl, out.altMsl, true);
}

void ReferenceLocationDialog::fieldEdited(FieldId id)
{
    if (id == AltMsl)
        m_mslEdited = true;
    else if (id == AltWgs84)
        m_wgs84Edited = true;
    double v = 0.0;
    const bool ok = readField(id, v, false);
    m_fields[id].edit->setStyleSheet(ok ? QStringLiteral("color:black") : QStringLiteral("color:red"));
    if (ok && id <= Longitude)
        refreshGeoid();
}

void ReferenceLocationDialog::refreshGeoid()
{
    double lat = 0.0, lon = 0.0;
    if (readField(Latitude, lat, false) && readField(Longitude, lon, false))
        m_geoidModel->setText(formatAltitude(geoidSeparation(lat, lon)));
}

void ReferenceLocationDialog::accept()
{
    StationPosition p;
    if (!readAll(p))
        return;
    if (m_mslEdited != m_wgs84Edited) {
        if (m_mslEdited)
            MessageBoxes::warning(this, QStringLiteral("Altitude(MSL) changed."),
                                  QStringLiteral("Altitude(WGS84) must be changed to match."));
        else
            MessageBoxes::warning(this, QStringLiteral("Altitude(WGS84) changed."),
                                  QStringLiteral("Altitude(MSL) must be changed to match."));
        return;
    }
    m_values = p;
    m_locOnStart = m_locOnStartBox->isChecked();
    storeGeometry();
    QDialog::accept();
}

void ReferenceLocationDialog::reject()
{
    storeGeometry();
    QDialog::reject();
}

void ReferenceLocationDialog::storeGeometry()
{
    QSettings settings;
    settings.setValue(kGeometryKey, saveGeometry());
}

void ReferenceLocationDialog::IDC_REFDLG_NAME_activated(int index)
{
    if (index <= 0)
        return;
    QSettings settings;
    StationPosition p;
    if (Database::load(settings, m_name->itemText(index), p))
        fill(p);   // a loaded record counts as untouched: both edit flags clear
}

void ReferenceLocationDialog::IDC_REFDLG_SAVE_NAME_clicked()
{
    const QString name = m_name->currentText();
    if (!Database::validName(name)) {
        MessageBoxes::warning(this, QStringLiteral("Error"),
                              QStringLiteral("A location name must not be empty or contain \"/\" or \"\\\"."));
        return;
    }
    StationPosition p;
    if (!readAll(p))
        return;
    QSettings settings;
    Database::save(settings, name, p);
    if (m_name->findText(name) < 0)
        m_name->addItem(name);
}

void ReferenceLocationDialog::IDC_REFDLG_REMOVE_NAME_clicked()
{
    const QString name = m_name->currentText();
    QSettings settings;
    if (!Database::remove(settings, name)) {
        MessageBoxes::warning(this, QStringLiteral("Error"), QStringLiteral("No such item in the database."));
        return;
    }
    const int index = m_name->findText(name);
    if (index > 0)
        m_name->removeItem(index);
    m_name->setEditText(QString());
}
