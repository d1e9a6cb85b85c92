#include "tic/CounterLinks.h"

#include "tic/TicSerialPortThread.h"

#include <QSettings>

CounterLinks::CounterLinks(QObject *parent)
    : QObject(parent)
{
    for (auto &link : m_links) {
        link = std::make_unique<TicSerialPortThread>();
        connect(link.get(), &TicSerialPortThread::newTicText, this, &CounterLinks::newTicText);
        connect(link.get(), &TicSerialPortThread::showErrorMessageBox, this, &CounterLinks::showErrorMessageBox);
    }
}

CounterLinks::~CounterLinks()
{
    stopAll();
}

void CounterLinks::startAll()
{
    for (int n = 1; n <= Count; ++n)
        link(n).startTicSerialPort(n);
}

void CounterLinks::stopAll()
{
    for (auto &link : m_links)
        link->stopTicSerialPort();
}

std::array<TicPortSettings, CounterLinks::Count> CounterLinks::loadAll()
{
    QSettings store;
    std::array<TicPortSettings, Count> all;
    for (int n = 1; n <= Count; ++n)
        all[std::size_t(n - 1)] = TicPortSettings::load(store, n);
    return all;
}

QList<int> CounterLinks::restartChanged(const std::array<TicPortSettings, Count> &before,
                                        const std::array<TicPortSettings, Count> &after)
{
    QList<int> restarted;
    for (int n = 1; n <= Count; ++n) {
        if (before[std::size_t(n - 1)] == after[std::size_t(n - 1)])
            continue;
        link(n).startTicSerialPort(n);
        restarted << n;
    }
    return restarted;
}
