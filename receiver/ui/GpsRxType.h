#pragma once

#include "receiver/setup/ReceiverType.h"

#include <QDialog>

class QButtonGroup;
class QGroupBox;
class QVBoxLayout;

// The receiver model chosen by hand: family and firmware range (see ReceiverType), the model a
// receive-only station decodes as. OK stores the choice and the window geometry.
class GpsRxType : public QDialog
{
    Q_OBJECT
public:
    explicit GpsRxType(QWidget *parent = nullptr);

    void load();
    int choice() const;
    void setChoice(int choice);

    QButtonGroup *FamilyGroup = nullptr;
    QButtonGroup *FirmwareGroup = nullptr;

public Q_SLOTS:
    void accept() override;
    void reject() override;

private:
    void showRanges(int family, int range);

    QGroupBox *m_firmwareBox = nullptr;
    QVBoxLayout *m_firmwareLayout = nullptr;
};
