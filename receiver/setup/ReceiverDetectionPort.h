#pragma once

#include <QString>
#include <functional>

// What receiver detection needs from the receiver port settings: read and change the data
// rate (the link re-opens the port at the new rate), write the receiver mode back so the port
// dialog shows it, and the "Minimize GPS Receiver Initialization" option.
class ReceiverPortControl
{
public:
    virtual ~ReceiverPortControl() = default;
    // The configured data rate.
    virtual int dataRate() const = 0;
    // Stores the rate and re-opens the port at it. Rates the port dialog does not offer are
    // refused (see StoredReceiverPort).
    virtual void setDataRate(int rate) = 0;
    // Stores the mode as its port-dialog text.
    virtual void setMode(int mode) = 0;
    // "GpsPortDialog/GPS Do Not Initialize".
    virtual bool minimizeInitialization() const = 0;
    // No receiver port: the stored port is "OFF" and nothing else feeds the link.
    virtual bool portOff() const { return false; }
};

// The headless half of the port dialog's rate and mode setters: each stores its value under
// its key at once. An unknown rate logs "GpsPortDialog::SetBaud bad argument == %i" and stores
// nothing (the dialog then shows 9600); a mode without a port-dialog text logs
// "GpsPortDialog::Set Mode bad argument == %i" and changes nothing. A stored rate re-opens the
// port through `restartLink`.
class StoredReceiverPort : public ReceiverPortControl
{
public:
    explicit StoredReceiverPort(std::function<void()> restartLink = {});

    int dataRate() const override;
    void setDataRate(int rate) override;
    void setMode(int mode) override;
    bool minimizeInitialization() const override;
    bool portOff() const override;
    // A source that can be listened to but never answers (a replayed capture): initialisation
    // is kept to the minimum whatever the stored option says.
    void setListenOnly(bool listenOnly) { m_listenOnly = listenOnly; }

    static QString badRateText(int rate);
    static QString badModeText(int mode);

private:
    std::function<void()> m_restartLink;
    bool m_listenOnly = false;
};
