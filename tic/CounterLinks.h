#pragma once

#include "tic/TicPortSettings.h"

#include <QByteArray>
#include <QObject>
#include <array>
#include <memory>

class TicSerialPortThread;

// The station's eight counter links, ports 1..8, for the program's whole life. Their lines
// and error texts leave through this object's signals.
class CounterLinks : public QObject
{
    Q_OBJECT
public:
    static constexpr int Count = TicPortSettings::PortCount;

    explicit CounterLinks(QObject *parent = nullptr);
    ~CounterLinks() override;

    // Link of port n (1..8).
    TicSerialPortThread &link(int n) { return *m_links.at(std::size_t(n - 1)); }

    // Starts (or restarts) every link from its stored settings.
    void startAll();
    // Stops every link (each waits at most 2000 ms for its thread).
    void stopAll();
    // After the port dialog: restarts exactly the links whose settings differ.
    // Returns the port numbers restarted.
    QList<int> restartChanged(const std::array<TicPortSettings, Count> &before,
                              const std::array<TicPortSettings, Count> &after);
    // The stored settings of all eight ports (repaired on the way, like a link start does).
    static std::array<TicPortSettings, Count> loadAll();

Q_SIGNALS:
    void newTicText(QByteArray text);
    void showErrorMessageBox(QString errmsg);

private:
    std::array<std::unique_ptr<TicSerialPortThread>, Count> m_links;
};
