#include "app/ui/GpsRxIdDialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace {
const QString kGeometryKey = QStringLiteral("GpsRxIdDialog/geometry");
constexpr int kMaxParagraphs = 2000;
} // namespace

GpsRxIdDialog::GpsRxIdDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("GpsRxIdDialog"));
    setWindowTitle(QStringLiteral("Receiver ID  Message"));

    GpsRxIdPlainTextEdit = new QPlainTextEdit(this);
    GpsRxIdPlainTextEdit->setObjectName(QStringLiteral("GpsRxIdPlainTextEdit"));
    GpsRxIdPlainTextEdit->setReadOnly(true);
    GpsRxIdPlainTextEdit->setFont(QFont(QStringLiteral("Verdana")));
    GpsRxIdPlainTextEdit->setMaximumBlockCount(kMaxParagraphs);

    m_wrap = new QCheckBox(QStringLiteral("Wrap text"), this);
    m_wrap->setObjectName(QStringLiteral("WrapText"));
    m_clear = new QPushButton(QStringLiteral("Clear Screen"), this);
    m_clear->setObjectName(QStringLiteral("ClearScreen"));
    m_clear->setStyleSheet(QStringLiteral("QPushButton {\n\tbackground-color: rgb(170, 255, 255);\n}\n"
                                          "QPushButton::hover{\n\tbackground-color: rgb(170, 255, 127);\n}"));

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_wrap);
    bottom->addStretch(1);
    bottom->addWidget(m_clear);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(GpsRxIdPlainTextEdit, 1);
    layout->addLayout(bottom);

    connect(m_wrap, &QCheckBox::stateChanged, this, [this] { applyWrap(); });
    connect(m_clear, &QPushButton::clicked, this, &GpsRxIdDialog::on_ClearScreen_clicked);
    applyWrap();
    resize(560, 420);
}

void GpsRxIdDialog::applyWrap()
{
    GpsRxIdPlainTextEdit->setLineWrapMode(m_wrap->checkState() == Qt::Unchecked ? QPlainTextEdit::NoWrap
                                                                                : QPlainTextEdit::WidgetWidth);
}

void GpsRxIdDialog::appendText(const QString &text)
{
    GpsRxIdPlainTextEdit->appendPlainText(text);
}

void GpsRxIdDialog::on_ClearScreen_clicked()
{
    GpsRxIdPlainTextEdit->clear();
}

void GpsRxIdDialog::showEvent(QShowEvent *event)
{
    const QByteArray geometry = QSettings().value(kGeometryKey).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    QDialog::showEvent(event);
}

void GpsRxIdDialog::hideEvent(QHideEvent *event)
{
    QSettings().setValue(kGeometryKey, saveGeometry());
    QDialog::hideEvent(event);
}
