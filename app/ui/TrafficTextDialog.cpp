#include "app/ui/TrafficTextDialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

TrafficTextDialog::TrafficTextDialog(const Layout &layout, QWidget *parent)
    : QDialog(parent)
    , m_geometryKey(layout.objectName + QStringLiteral("/geometry"))
{
    setObjectName(layout.objectName);
    setWindowTitle(layout.title);

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(layout.textObjectName);
    m_text->setReadOnly(true);
    m_text->setFont(QFont(QStringLiteral("Verdana")));
    m_text->setMaximumBlockCount(layout.maxParagraphs);

    m_wrap = new QCheckBox(layout.wrapText, this);
    m_wrap->setObjectName(QStringLiteral("WrapText"));
    m_wrap->setChecked(false);

    m_clear = new QPushButton(QStringLiteral("Clear Screen"), this);
    m_clear->setObjectName(QStringLiteral("ClearScreen"));
    m_clear->setStyleSheet(QStringLiteral("QPushButton {\n\tbackground-color: rgb(170, 255, 255);\n}\n"
                                          "QPushButton::hover{\n\tbackground-color: rgb(170, 255, 127);\n}"));

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_wrap);
    if (layout.legend.isEmpty())
        bottom->addStretch(1);
    else
        bottom->addWidget(new QLabel(layout.legend, this), 1);
    bottom->addWidget(m_clear);
    auto *box = new QVBoxLayout(this);
    box->addWidget(m_text, 1);
    box->addLayout(bottom);

    connect(m_wrap, &QCheckBox::stateChanged, this, [this] { applyWrap(); });
    connect(m_clear, &QPushButton::clicked, this, &TrafficTextDialog::on_ClearScreen_clicked);
    applyWrap();
    resize(layout.size);
}

bool TrafficTextDialog::wrapping() const
{
    return m_wrap->checkState() != Qt::Unchecked;
}

void TrafficTextDialog::applyWrap()
{
    m_text->setLineWrapMode(wrapping() ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

void TrafficTextDialog::on_ClearScreen_clicked()
{
    m_text->clear();
}

void TrafficTextDialog::showEvent(QShowEvent *event)
{
    const QByteArray geometry = QSettings().value(m_geometryKey).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    QDialog::showEvent(event);
}

void TrafficTextDialog::hideEvent(QHideEvent *event)
{
    QSettings().setValue(m_geometryKey, saveGeometry());
    QDialog::hideEvent(event);
}
