#pragma once

#include "app/ui/TrafficTextDialog.h"

// The counter data windows: "TIC Raw Data" (every counter line as it arrived, "n reading")
// and "TIC Processed Data" (processed lines, notes and averages). Showing a window clears
// it; lines reach it only while it is visible; each keeps a bounded number of lines.
class TicDataDialog : public TrafficTextDialog
{
    Q_OBJECT
public:
    TicDataDialog(const Layout &layout, QWidget *parent);

public Q_SLOTS:
    void appendText(const QString &text);

protected:
    void showEvent(QShowEvent *event) override;
};

class TicRawDataDialog : public TicDataDialog
{
    Q_OBJECT
public:
    explicit TicRawDataDialog(QWidget *parent = nullptr);
};

class TicProcessedDataDialog : public TicDataDialog
{
    Q_OBJECT
public:
    explicit TicProcessedDataDialog(QWidget *parent = nullptr);
};
