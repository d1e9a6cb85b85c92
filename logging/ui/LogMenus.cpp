#include "logging/ui/LogMenus.h"

#include "core/ui/MessageBoxes.h"
#include "logging/LogNaming.h"
#include "logging/LogRecorder.h"
#include "logging/ui/GpsLogTypeDialog.h"
#include "logging/ui/TicFileDialog.h"

#include <QAction>
#include <QDebug>
#include <QDialog>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QSettings>
#include <QVBoxLayout>

namespace {

struct Picked
{
    bool accepted = false;
    QString file;
    QString directory;
    int filterIndex = 0;
};

// A window holding a non-native file dialog and an options panel; the panel is handed back
// (hidden) when the window goes.
Picked pickFile(QWidget *parent, QWidget *panel, bool beside, const QString &title, const QString &accept,
                const QString &directory, const QStringList &filters, int filterIndex, const QString &stateKey,
                const QString &geometryKey)
{
    QSettings settings;
    QDialog window(parent);
    window.setWindowTitle(title);
    auto *files = new QFileDialog(&window, title, directory);
    files->setWindowFlags(Qt::Widget);
    files->setOption(QFileDialog::DontUseNativeDialog);
    files->setFileMode(QFileDialog::AnyFile);
    files->setViewMode(QFileDialog::Detail);
    files->setNameFilters(filters);
    if (filterIndex >= 0 && filterIndex < filters.size())
        files->selectNameFilter(filters.at(filterIndex));
    files->setLabelText(QFileDialog::Accept, accept);
    files->restoreState(settings.value(stateKey).toByteArray());
    files->setDirectory(directory);
    QBoxLayout *layout = beside ? static_cast<QBoxLayout *>(new QHBoxLayout(&window))
                                : static_cast<QBoxLayout *>(new QVBoxLayout(&window));
    layout->addWidget(files);
    QWidget *oldParent = panel->parentWidget();
    layout->addWidget(panel);
    panel->show();
    window.restoreGeometry(settings.value(geometryKey).toByteArray());
    QObject::connect(files, &QFileDialog::accepted, &window, &QDialog::accept);
    QObject::connect(files, &QFileDialog::rejected, &window, &QDialog::reject);
    Picked p;
    p.accepted = window.exec() == QDialog::Accepted && !files->selectedFiles().isEmpty();
    if (p.accepted) {
        p.file = files->selectedFiles().first();
        p.directory = files->directory().absolutePath();
        p.filterIndex = std::max<int>(0, filters.indexOf(files->selectedNameFilter()));
        settings.setValue(stateKey, files->saveState());
        settings.setValue(geometryKey, window.saveGeometry());
    }
    panel->hide();
    panel->setParent(oldParent);
    return p;
}

} // namespace

LogMenus::LogMenus(QWidget *window, LogRecorder &recorder, const Actions &actions)
    : QObject(window)
    , m_window(window)
    , m_recorder(recorder)
    , m_actions(actions)
{
    m_gpsPanel = new GpsLogTypeDialog(window);
    m_gpsPanel->setWindowFlags(Qt::Widget);
    m_gpsPanel->hide();
    m_ticPanel = new TicFileDialog(window);
    m_ticPanel->hide();
    auto ask = [window](const QString &question) {
        return [window, question](const QString &bare) {
            return MessageBoxes::show(window, { MessageBoxes::Kind::Question, QStringLiteral("Chronode"),
                                                question + QStringLiteral("\n") + bare,
                                                QMessageBox::Ok | QMessageBox::Cancel })
                == QMessageBox::Ok;
        };
    };
    m_recorder.gps().setConfirmReplace(ask(QStringLiteral("Are you sure you want to replace this GPS Log file?")));
    m_recorder.counters().setConfirmReplace(ask(QStringLiteral("Are you sure you want to replace this TIC Log file?")));
    const std::pair<QAction *, void (LogMenus::*)()> table[] = {
        { actions.newGps, &LogMenus::actionNew_GPS_Data_Log_triggered },
        { actions.openGps, &LogMenus::actionOpen_GPS_Data_Log_triggered },
        { actions.closeGps, &LogMenus::actionClose_GPS_Data_Log_triggered },
        { actions.newTic, &LogMenus::actionNew_TIC_Data_Log_triggered },
        { actions.openTic, &LogMenus::actionOpen_TIC_Data_Log_triggered },
        { actions.closeTic, &LogMenus::actionClose_TIC_Data_Log_triggered },
    };
    for (const auto &[action, slot] : table) {
        if (action)
            connect(action, &QAction::triggered, this, slot);
    }
    updateActions();
}

void LogMenus::updateActions()
{
    const bool gps = m_recorder.gps().isOpen();
    const bool tic = m_recorder.counters().isOpen();
    const std::pair<QAction *, bool> states[] = { { m_actions.newGps, !gps },  { m_actions.openGps, !gps },
                                                  { m_actions.closeGps, gps }, { m_actions.newTic, !tic },
                                                  { m_actions.openTic, !tic }, { m_actions.closeTic, tic } };
    for (const auto &[action, on] : states) {
        if (action)
            action->setEnabled(on);
    }
}

void LogMenus::runGpsDialog(bool create)
{
    GpsDataLog &log = m_recorder.gps();
    QSettings settings;
    log.reload(settings);
    m_gpsPanel->load(log.options());
    const Picked p = pickFile(m_window, m_gpsPanel, false,
                              create ? QStringLiteral("New GPS Data Log") : QStringLiteral("Open GPS Data Log"),
                              create ? QStringLiteral("Create New") : QStringLiteral("Open Existing"),
                              log.options().directory, { QStringLiteral("Text or Binary (*.txt *.bin *.csv)") }, 0,
                              QStringLiteral("LogFiles/GpsFileDialogSettings"),
                              QStringLiteral("LogFiles/GpsFileDialogGeometry"));
    if (!p.accepted)
        return;
    GpsLogSettings o = m_gpsPanel->store(log.options());
    o.prefix = LogNaming::prefixOf(p.file);
    o.directory = p.directory;
    qDebug().noquote() << "filenamePrefix -> " + o.prefix;
    o.save(settings);
    settings.setValue(QStringLiteral("GpsLogTypeDialog/geometry"), m_gpsPanel->saveGeometry());
    log.setOptions(o);
    if (log.open(create ? 1 : 3) != LogResult::Ok) {
        log.close();
        settings.setValue(QStringLiteral("LogFiles/GpsLogOpen"), false);
        MessageBoxes::warning(m_window, QStringLiteral("Chronode"),
                              create ? QStringLiteral("Cannot create files.")
                                     : QStringLiteral("Cannot open files.\nThe files for the current day do not exist."));
    }
    updateActions();
}

void LogMenus::actionClose_GPS_Data_Log_triggered()
{
    if (!m_recorder.gps().isOpen())
        return;
    if (MessageBoxes::show(m_window, { MessageBoxes::Kind::Question, QStringLiteral("Chronode"),
                                       QStringLiteral("Are you sure you want to close this GPS Log file?"),
                                       QMessageBox::Close | QMessageBox::Cancel })
        != QMessageBox::Close)
        return;
    m_recorder.gps().close();
    updateActions();
}

void LogMenus::runTicDialog(bool create)
{
    CounterLogSet &set = m_recorder.counters();
    QSettings settings;
    set.reload(settings);
    m_ticPanel->load(set.options());
    const QStringList filters { QStringLiteral("CSV (comma delimited) (*.csv)"),
                                QStringLiteral("Formatted Text (Space-delimited) (*.prn)"),
                                QStringLiteral("Text (Tab-delimited) (*.txt)"), QStringLiteral("All Files (*.*)") };
    // Filter order to style: csv 1, prn 0, txt 2.
    const int styleOfFilter[] = { 1, 0, 2, 1 };
    const int filterOfStyle[] = { 1, 0, 2 };
    const Picked p = pickFile(m_window, m_ticPanel, true,
                              create ? QStringLiteral("New TIC Data Log") : QStringLiteral("Open TIC Data Log"),
                              create ? QStringLiteral("Create New") : QStringLiteral("Open Existing"),
                              set.options().directory, filters, filterOfStyle[set.options().style],
                              QStringLiteral("LogFiles/TicFileDialogSettings"),
                              QStringLiteral("LogFiles/TicFileDialogGeometry"));
    if (!p.accepted)
        return;
    CounterLogSettings o = m_ticPanel->store(set.options());
    o.prefix = LogNaming::prefixOf(p.file);
    o.directory = p.directory;
    o.style = styleOfFilter[p.filterIndex];
    o.save(settings);
    set.setOptions(o);
    if (m_counterOptionsStored)
        m_counterOptionsStored();
    if (set.open(create ? 1 : 3) != LogResult::Ok) {
        settings.setValue(QStringLiteral("LogFiles/TicLogOpen"), false);
        MessageBoxes::warning(m_window, QStringLiteral("Chronode"),
                              create ? QStringLiteral("Cannot create files.")
                                     : QStringLiteral("Cannot open files.\nThe files for the current day do not exist."));
    }
    updateActions();
}

void LogMenus::actionClose_TIC_Data_Log_triggered()
{
    CounterLogSet &set = m_recorder.counters();
    if (!set.isOpen())
        return;
    QString config = set.status().configFile;
    config = config.mid(config.lastIndexOf(QLatin1Char('/')) + 1);
    config.chop(int(qstrlen("C.txt")));
    if (MessageBoxes::show(m_window, { MessageBoxes::Kind::Question, QStringLiteral("Chronode"),
                                       QStringLiteral("Are you sure you want to close this TIC Log file set?\n") + config
                                           + QStringLiteral(" [A..., C, T...]"),
                                       QMessageBox::Close | QMessageBox::Cancel })
        != QMessageBox::Close)
        return;
    set.close();
    updateActions();
}
