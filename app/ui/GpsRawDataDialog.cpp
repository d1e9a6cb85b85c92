#include "app/ui/GpsRawDataDialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace {
const QString kGeometryKey = QStringLiteral("GpsRawDataDialog/geometry");
// Traffic windows keep a bounded history so months of running do not grow memory.
constexpr int kMaxParagraphs = 5000;
} // namespace

GpsRawDataDialog::GpsRawDataDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("GpsRawDataDialog"));
    setWindowTitle(QStringLiteral("GPS Raw Data"));

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("GpsRawDataPlainTextEdit"));
    m_text->setReadOnly(true);
    m_text->setFont(QFont(QStringLiteral("Verdana")));
    m_text->setMaximumBlockCount(kMaxParagraphs);

    m_wrap = new QCheckBox(QStringLiteral("Wrap text "), this);
    m_wrap->setObjectName(QStringLiteral("WrapText"));
    m_wrap->setChecked(false);

    m_clear = new QPushButton(QStringLiteral("Clear Screen"), this);
    m_clear->setObjectName(QStringLiteral("ClearScreen"));
    m_clear->setStyleSheet(QStringLiteral("QPushButton {\n\tbackground-color: rgb(170, 255, 255);\n}\n"
                                          "QPushButton::hover{\n\tbackground-color: rgb(170, 255, 127);\n}"));

    auto *legend = new QLabel(QStringLiteral("   \"->\" = from GPS,    \"<-\" = to GPS"), this);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_wrap);
    bottom->addWidget(legend, 1);
    bottom->addWidget(m_clear);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_text, 1);
    layout->addLayout(bottom);

    connect(m_wrap, &QCheckBox::stateChanged, this, [this] { applyWrap(); });
    connect(m_clear, &QPushButton::clicked, this, &GpsRawDataDialog::on_ClearScreen_clicked);
    applyWrap();
    resize(640, 420);
}

void GpsRawDataDialog::applyWrap()
{
    m_text->setLineWrapMode(m_wrap->checkState() == Qt::Unchecked ? QPlainTextEdit::NoWrap
                                                                  : QPlainTextEdit::WidgetWidth);
}

void GpsRawDataDialog::appendText(const QString &text)
{
    if (!isVisible())
        return;
    m_text->appendPlainText(m_wrap->checkState() == Qt::Unchecked ? text.trimmed() : text);
}

void GpsRawDataDialog::on_ClearScreen_clicked()
{
    m_text->clear();
}

void GpsRawDataDialog::showEvent(QShowEvent *event)
{
    const QByteArray geometry = QSettings().value(kGeometryKey).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    QDialog::showEvent(event);
}

void GpsRawDataDialog::hideEvent(QHideEvent *event)
{
    QSettings().setValue(kGeometryKey, saveGeometry());
    QDialog::hideEvent(event);
}
