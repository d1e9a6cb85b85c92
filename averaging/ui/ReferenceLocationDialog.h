#pragma once

#include "averaging/AveragingEngine.h"
#include "averaging/ReferenceLocation.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

// "Set Reference Location": the reference in any of the coordinate notations the parser takes,
// WGS84 and MSL altitudes that must be changed together, the model's geoid-ellipsoid difference
// and the named location database. It only edits values: the caller hands them in with
// setValues(), and on acceptance reads values() and locOnStart() back and gives them to the
// averaging engine's reference setter.
class ReferenceLocationDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ReferenceLocationDialog(QWidget *parent = nullptr);

    // Fills the fields; `navFormat` is the main window's navigation data format (0 degrees,
    // 1 degrees and minutes, 2 degrees minutes seconds), `geoidDiffCurrent` the receiver's GPS
    // minus MSL height. Reloads the name list.
    void setValues(const StationPosition &p, bool locOnStart, int navFormat, double geoidDiffCurrent);
    StationPosition values() const { return m_values; }
    bool locOnStart() const { return m_locOnStart; }
    bool mslEdited() const { return m_mslEdited; }
    bool wgs84Edited() const { return m_wgs84Edited; }

public Q_SLOTS:
    void accept() override;
    void reject() override;
    void IDC_REFDLG_NAME_activated(int index);
    void IDC_REFDLG_SAVE_NAME_clicked();
    void IDC_REFDLG_REMOVE_NAME_clicked();

private:
    enum FieldId { Latitude, Longitude, AltWgs84, AltMsl, FieldCount };
    struct Field
    {
        QLineEdit *edit = nullptr;
        QString shown;   // the text as filled: an unchanged field keeps its stored double
    };

    // Reads one field into `out`: the stored value when untouched, else the parse. With `tell`
    // a refusal is explained in a message box and the focus returns to the field.
    bool readField(FieldId id, double &out, bool tell);
    // All four fields; false at the first refusal (explained).
    bool readAll(StationPosition &out);
    void fieldEdited(FieldId id);
    void fill(const StationPosition &p);
    void refreshGeoid();
    void fillNames();
    void storeGeometry();

    Field m_fields[FieldCount];
    QComboBox *m_name = nullptr;
    QLabel *m_geoidModel = nullptr;
    QLabel *m_geoidCurrent = nullptr;
    QCheckBox *m_locOnStartBox = nullptr;
    StationPosition m_values;
    bool m_locOnStart = true;
    bool m_mslEdited = false;
    bool m_wgs84Edited = false;
    int m_navFormat = 0;
};
