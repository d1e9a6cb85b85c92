#pragma once

#include "app/ui/TrafficTextDialog.h"

// The receiver-ID window: the receiver's identity texts. Unlike the raw-data window it keeps
// what arrives while it is hidden: the identity comes once, at set-up.
class GpsRxIdDialog : public TrafficTextDialog
{
    Q_OBJECT
public:
    static constexpr const char *Separator = "---------------------------------\n";

    explicit GpsRxIdDialog(QWidget *parent = nullptr);

public Q_SLOTS:
    void appendText(const QString &text);
};
