#pragma once

#include "core/ReceiverState.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class ReceiverCommandChannel;
class ReceiverPortControl;
class StationDisplay;

// Work that other parts of the program do at fixed moments of the receiver set-up. Unset hooks
// do nothing (and the options read as off).
struct ReceiverSetupHooks
{
    std::function<void()> applyReceiverSettings;       // the user's receiver settings
    std::function<bool()> garminSettingsEnabled;       // the Garmin option
    std::function<void()> applyGarminSettings;
    std::function<void()> sendTimingCommands;          // 1PPS offset, cable delay, T-RAIM
    // The averaging engine's two timing-noise terms (ns).
    std::function<void(double, double)> setTimingErrorTerms;
    // The averaging engine reloads its settings at the start of every set-up.
    std::function<void()> reloadAveragingSettings;
    // "Motorola Binary Rx Only": the hand-chosen model, channels and firmware (GpsRxType).
    std::function<void(ReceiverState &)> receiveOnlyIdentity;
    std::function<bool()> pvt6Mode;                    // PVT6 output option
    std::function<bool()> localTimeMode;               // "GPS Rx in Local Time"
    // "@@Bb" was polled at this time (ms since the epoch): the cycle's re-poll clock.
    std::function<void(qint64)> visibleSatellitesPolled;
};

// Finds the receiver on the configured port, works out its protocol family and model, sets it
// up (outputs, port rate, NMEA/binary/LORAN output) and builds the receiver description.
//
// Which decoded message answers each probe (ReceiverState::awaitedAnswerHeads holds the heads
// for the length of one wait; the decoders report what they decoded with noteAnswer()):
//   "@@Cj"             an "@@Cj" identification frame
//   "@@Ha"/"@@Ea"/"@@Ba" 00   that same position message ("@@Ha", "@@Ea", "@@Ba")
//   "@@Hb" 00, "@@Bh" 00, T-RAIM polls, "@@Wb"   a frame with the command's own identifier
//   "$PMOTG,ZDA,0001"  a "$GPZDA" or a "$PMOTG" sentence, never any other NMEA sentence, so a
//                      module streaming its default GGA, RMC, GSV... is not a Motorola unit
//   "T0"               LORAN output (the dispatcher's LORAN branch)
//   MON-VER poll       a UBX answer frame (MON-VER, ACK or a configuration echo): a u-blox
//                      unit sends none of them unasked, and NMEA or binary output never counts
// While a wait runs the receiver-busy flag is lowered so the dispatcher decodes; every wait
// checks for an answer and for shutdown every few milliseconds, so both end it at once.
class ReceiverDetection : public QObject
{
    Q_OBJECT
public:
    // Durations of the dialogue; tests shorten them.
    struct Timing
    {
        int answerTimeoutMs = 3000;       // most awaited answers
        int longAnswerTimeoutMs = 5000;   // identification, DGPS and T-RAIM probes
        int delayPercent = 100;           // scales the fixed pauses (300 ms ... 2500 ms)
    };

    ReceiverDetection(ReceiverState &state, ReceiverCommandChannel &commands, ReceiverPortControl &port,
                      QObject *parent = nullptr);
    ~ReceiverDetection() override;

    void setDisplay(StationDisplay *display) { m_display = display; }
    ReceiverSetupHooks &hooks() { return m_hooks; }
    void setTiming(const Timing &timing) { m_timing = timing; }
    const Timing &timing() const { return m_timing; }
    // Time source for lastBbTime; the system clock unless replaced.
    void setClock(std::function<qint64()> clock);

    // Start-up and after port changes: up to three set-up passes, the return to the previous
    // rate when a rate change is pending, and the warning box when nothing answered.
    void connectReceiver();
    // One detection and set-up pass; true when a receiver answered.
    bool initialiseReceiver();
    // One probe in `mode` at the current port rate (the mode is set for the probe only).
    bool probeMode(int mode);
    // The rate and protocol search; acts only while receiverMode is 11.
    bool searchReceiver();
    // Tells a receiver left at pendingNewRate to go back to pendingOldRate.
    bool returnToPreviousRate();
    // Re-applies the receiver settings while in Motorola NMEA mode.
    void applyMotorolaNmeaSettings();
    // Fallback for a receiver that cannot output NMEA.
    void stayInBinaryMode();
    // The user kept the port but changed its rate: tell the receiver at the old rate, move the
    // port, check the receiver at the new rate; connectReceiver() when it does not answer.
    void changePortRate(int oldRate, int newRate);

    // "@@Wb" with the code of a rate of the SSR rate table (4800 ... 57600); empty for others.
    static QByteArray makeRateCommand(int rate);
    // "@@Wb" for the port dialog's rates (300 ... 115000; unknown rates give 00 00).
    static QByteArray portRateCommand(int rate);

    struct ModelTiming
    {
        int channels;
        double term;   // second timing-noise term, ns
    };
    // Channel count and timing-noise term of a model after a binary set-up; none for models
    // outside the table.
    static std::optional<ModelTiming> modelTiming(int model);
    // The receiver description for the binary (2, 3) and Motorola NMEA (1) modes; empty for
    // the other modes.
    static QString describe(const ReceiverState &state, int mode, bool pvt6Mode, bool localTimeMode);

    QString description() const { return m_description; }
    // Describes a receiver that was only listened to anew from what its messages filled in
    // (channels, firmware); does nothing in the other modes or when nothing changed.
    void describeListenedReceiver();
    int pendingNewRate() const { return m_pendingNewRate; }
    int pendingOldRate() const { return m_pendingOldRate; }
    void setPendingRates(int oldRate, int newRate);
    int lastGoodRate() const { return m_lastGoodRate; }
    // The port dialog keeps the rate that last worked when it opens.
    void setLastGoodRate(int rate) { m_lastGoodRate = rate; }

    // Texts of the dialogue.
    static QString retryText(int attempt);
    static QString notFoundTitle() { return QStringLiteral("GPS Receiver not found"); }
    static QString notFoundText();
    // The receiver label while the stored port is "OFF" (no search, no box).
    static QString portOffText();
    static QString noNmeaTitle() { return QStringLiteral("GPS Receiver"); }
    static QString noNmeaText(const QString &firmwareVersionText);

Q_SIGNALS:
    // The receiver label: progress and error texts ("Initialization: ..."), and at the end of
    // a successful set-up the receiver description.
    void statusText(QString text);
    // The receiver description alone, each time it is built.
    void receiverDescription(QString text);
    // Probe result lines for the raw-data window.
    void rawDataText(QString text);
    void warningBox(QString title, QString text);
    void informationBox(QString title, QString text);
    // The port-settings menu action.
    void portSettingsActionEnabled(bool enabled);
    // Wait cursor while the receiver is set up.
    void busyCursor(bool busy);

private:
    class UbxHost;

    bool closing() const { return m_state.closing; }
    int scaled(int ms) const;
    void pause(int ms);
    void send(const QByteArray &command);
    bool awaitAnswer(const QByteArray &command, AnswerFamily family, const QList<QByteArray> &heads,
                     int timeoutMs);
    bool awaitMotorola(const QByteArray &command, bool longTimeout = false);
    bool awaitNmeaTime();
    // After "@@Ci" to NMEA: waits for the NMEA time (asking for NMEA once more if none comes),
    // then restores the usual sentence output.
    void settleInNmea();
    // "@@Cj" and wait, `tries` times at most; the timeout line after each failed try.
    bool requestIdentity(int tries);
    bool probeChannels(char family);
    bool probeDgps();
    bool probeTraim();
    void setChannelCount(int n);
    void setTimingTerms(double a, double b);
    void setStatus(const QString &text);
    void clearDisplay();
    void setDescription(const QString &text);
    void setRate(int rate);
    void setMode(int mode);
    bool option(const std::function<bool()> &f) const { return f && f(); }
    void call(const std::function<void()> &f) { if (f) f(); }
    void changeRateSsr(int rate);
    bool motorolaSetUp(int startMode, bool found, int configuredRate);
    bool ubloxSetUp(int mode, int configuredRate);
    bool finish(bool ok);

    ReceiverState &m_state;
    ReceiverCommandChannel &m_commands;
    ReceiverPortControl &m_port;
    StationDisplay *m_display = nullptr;
    ReceiverSetupHooks m_hooks;
    Timing m_timing;
    std::function<qint64()> m_clock;
    QString m_description;
    QString m_status;
    int m_pendingNewRate = 0;
    int m_pendingOldRate = 0;
    int m_lastGoodRate = 0;
};
