#pragma once

#include <QTableWidget>

struct SatelliteTableUpdate;
class QProgressBar;

// The satellite table of the main window: a header row with the bar scale and fifteen
// satellite rows, each with a signal bar. It only applies what SatelliteTableModel reports.
class SatelliteTableView : public QTableWidget
{
    Q_OBJECT
public:
    explicit SatelliteTableView(QWidget *parent = nullptr);

    void apply(const SatelliteTableUpdate &update);
    // Tall enough for every row, so the window opens showing the whole table.
    QSize sizeHint() const override;
    QProgressBar *bar(int row) const;   // display rows 1 to 15
    QString cellText(int row, int column) const;
    // Viewport x of each bar-scale mark: where a bar of that value ends, for the bars as they
    // are laid out now.
    QList<int> barScalePositions() const;

private:
    void setCellText(int row, int column, const QString &text);
};
