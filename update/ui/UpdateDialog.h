#pragma once

#include "update/UpdateCheck.h"

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QLabel;
class QNetworkAccessManager;
class QProgressBar;
class QPushButton;
class QTextBrowser;
class UpdateDownload;

// Offers a newer version the check found. On Linux the verified file is saved in the download
// folder for the user to install; when Debian's package system installed the program, the
// dialog only says what is new and where it is described.
class UpdateDialog : public QDialog
{
    Q_OBJECT
public:
    UpdateDialog(const UpdateCheck::Result &result, QNetworkAccessManager *network, QWidget *parent = nullptr);

    UpdateDownload &download() { return *m_download; }
    // Text for a file saved at path, telling the user how to install it.
    static QString savedText(const QString &path);
    static QString packagedText(const QString &version, const QString &infoUrl);

private:
    void startDownload();
    void onFinished(bool ok, const QString &pathOrError);
    void reject() override;

    UpdateCheck::Result m_result;
    UpdateDownload *m_download = nullptr;
    QLabel *m_status = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_install = nullptr;
    QPushButton *m_skip = nullptr;
    QPushButton *m_later = nullptr;
};

// Runs the update check the main window asks for and answers it: message boxes for a check
// the user started, nothing but the dialog (not modal) for the automatic one.
class UpdatePresenter : public QObject
{
    Q_OBJECT
public:
    explicit UpdatePresenter(QWidget *window);

    UpdateCheck &check() { return m_check; }
    UpdateDialog *dialog() const { return m_dialog; }

public Q_SLOTS:
    void request(bool manual);

private:
    void onFinished(const UpdateCheck::Result &result);

    QWidget *m_window;
    UpdateCheck m_check;
    QPointer<UpdateDialog> m_dialog;
};
