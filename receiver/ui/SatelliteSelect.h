#pragma once

#include <QDialog>
#include <array>
#include <cstdint>

class QCheckBox;

// "Satellite Select": one box per GPS PRN 1-32, checked when the receiver must not use the
// satellite. OK stores the ignore mask (bit n-1 = PRN n not used) with the receiver settings;
// the caller then sends the receiver settings again, which carry the mask in "@@Am".
class SatelliteSelect : public QDialog
{
    Q_OBJECT
public:
    explicit SatelliteSelect(QWidget *parent = nullptr);

    // Shows the stored mask.
    void load();
    uint32_t ignoreMask() const;
    void setIgnoreMask(uint32_t mask);

public Q_SLOTS:
    void accept() override;
    void reject() override;

private:
    std::array<QCheckBox *, 32> m_boxes {};
};
