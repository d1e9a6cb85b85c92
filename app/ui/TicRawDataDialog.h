#pragma once

#include "app/ui/TrafficTextDialog.h"

// The "TIC Raw Data" window: every counter line as it arrived ("n reading"). Showing the
// window clears it; lines reach it only while it is visible.
class TicRawDataDialog : public TrafficTextDialog
{
    Q_OBJECT
public:
    explicit TicRawDataDialog(QWidget *parent = nullptr);

public Q_SLOTS:
    void appendText(const QString &text);

protected:
    void showEvent(QShowEvent *event) override;
};
