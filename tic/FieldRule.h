#pragma once

#include <QString>

// The check of a number typed into a dialog field: whole numbers match "[+]?[0-9]+", decimal
// numbers a plain decimal; then the range. The texts are the dialogs' message boxes.
struct FieldRule
{
    bool integer = true;
    double low = 0;
    double high = 0;

    enum class Result { Ok, Extraneous, OutOfRange };
    Result check(const QString &text) const;
    static QString extraneousTitle() { return QStringLiteral("Error"); }
    static QString extraneousText() { return QStringLiteral("Extraneous characters in the field."); }
    static QString rangeTitle() { return QStringLiteral("Numeric Error"); }
    // "Field is out of range.\nMust be between %i and %i" (or "%.3f and %.3f" for decimals).
    QString rangeText() const;
};
