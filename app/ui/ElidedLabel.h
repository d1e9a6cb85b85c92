#pragma once

#include <QLabel>

// A one-line label that gives way when its row is short: it may shrink below its text, then
// draws the text cut with "…" and shows the whole text as its tool tip. text() stays whole.
class ElidedLabel : public QLabel
{
public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override;
    // True while the drawn text is cut.
    bool elided() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    QString shownText() const;
};
