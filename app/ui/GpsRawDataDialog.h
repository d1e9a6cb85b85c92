#pragma once

#include "app/ui/TrafficTextDialog.h"

// The raw-data window: receiver traffic as text ("->" from the receiver, "<-" to it). Text
// that arrives while the window is hidden is not kept.
class GpsRawDataDialog : public TrafficTextDialog
{
    Q_OBJECT
public:
    explicit GpsRawDataDialog(QWidget *parent = nullptr);

public Q_SLOTS:
    // Adds the text as a new paragraph while the window is visible; with wrapping off the text
    // is trimmed of leading and trailing white space first.
    void appendText(const QString &text);
};
