#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QAction;
class QWidget;
class LogRecorder;
class GpsLogTypeDialog;
class TicFileDialog;

// The GPS and TIC data log menu actions: the file dialogs with their option panels, the
// close questions, the warning boxes, and New/Open/Close enabled as the logs are closed or open.
class LogMenus : public QObject
{
    Q_OBJECT
public:
    struct Actions
    {
        QAction *newGps = nullptr;
        QAction *openGps = nullptr;
        QAction *closeGps = nullptr;
        QAction *newTic = nullptr;
        QAction *openTic = nullptr;
        QAction *closeTic = nullptr;
    };
    LogMenus(QWidget *window, LogRecorder &recorder, const Actions &actions);

    // Called after the counter log options were stored (the processing rereads them).
    void setCounterOptionsStored(std::function<void()> f) { m_counterOptionsStored = std::move(f); }

public Q_SLOTS:
    void actionNew_GPS_Data_Log_triggered() { runGpsDialog(true); }
    void actionOpen_GPS_Data_Log_triggered() { runGpsDialog(false); }
    void actionClose_GPS_Data_Log_triggered();
    void actionNew_TIC_Data_Log_triggered() { runTicDialog(true); }
    void actionOpen_TIC_Data_Log_triggered() { runTicDialog(false); }
    void actionClose_TIC_Data_Log_triggered();
    // New and Open enabled while a family is closed, Close while it is open.
    void updateActions();

private:
    void runGpsDialog(bool create);
    void runTicDialog(bool create);

    QWidget *m_window;
    LogRecorder &m_recorder;
    Actions m_actions;
    GpsLogTypeDialog *m_gpsPanel = nullptr;
    TicFileDialog *m_ticPanel = nullptr;
    std::function<void()> m_counterOptionsStored;
};
