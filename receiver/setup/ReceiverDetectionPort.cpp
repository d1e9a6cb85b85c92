#include "receiver/setup/ReceiverDetectionPort.h"

#include "transport/GpsPortSettings.h"
#include "core/ReceiverMode.h"

#include <QDebug>
#include <QSettings>

StoredReceiverPort::StoredReceiverPort(std::function<void()> restartLink)
    : m_restartLink(std::move(restartLink))
{
}

QString StoredReceiverPort::badRateText(int rate)
{
    return QStringLiteral("GpsPortDialog::SetBaud bad argument == %1").arg(rate);
}

QString StoredReceiverPort::badModeText(int mode)
{
    return QStringLiteral("GpsPortDialog::Set Mode bad argument == %1").arg(mode);
}

int StoredReceiverPort::dataRate() const
{
    QSettings settings;
    return GpsPortSettings::load(settings).dataRate;
}

void StoredReceiverPort::setDataRate(int rate)
{
    if (!GpsPortSettings::isValidDataRate(rate)) {
        qWarning().noquote() << badRateText(rate);
        return;
    }
    {
        QSettings settings;
        settings.setValue(GpsPortSettings::keyDataRate(), rate);
        settings.sync();
    }
    if (m_restartLink)
        m_restartLink();
}

void StoredReceiverPort::setMode(int mode)
{
    const QString text = ReceiverMode::text(mode);
    if (text.isEmpty() || !ReceiverMode::portDialogTexts().contains(text)) {
        qWarning().noquote() << badModeText(mode);
        return;
    }
    QSettings settings;
    settings.setValue(GpsPortSettings::keyMode(), text);
}

bool StoredReceiverPort::minimizeInitialization() const
{
    if (m_listenOnly)
        return true;
    QSettings settings;
    return GpsPortSettings::load(settings).doNotInitialize;
}

bool StoredReceiverPort::portOff() const
{
    if (m_listenOnly)
        return false;   // a replay feeds the link whatever port is stored
    QSettings settings;
    return GpsPortSettings::load(settings).portName == GpsPortSettings::offPortName();
}
