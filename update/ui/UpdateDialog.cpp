#include "update/ui/UpdateDialog.h"

#include "core/ui/MessageBoxes.h"
#include "update/UpdateDownload.h"
#include "update/UpdateSettings.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

QString productName()
{
    return QStringLiteral("Chronode");
}

QLabel *namedLabel(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

} // namespace

UpdateDialog::UpdateDialog(const UpdateCheck::Result &result, QNetworkAccessManager *network, QWidget *parent)
    : QDialog(parent), m_result(result), m_download(new UpdateDownload(network, this))
{
    setObjectName(QStringLiteral("UpdateDialog"));
    setWindowTitle(QStringLiteral("%1 Update").arg(productName()));
    auto *headline = namedLabel(QStringLiteral("labelHeadline"),
                                QStringLiteral("A newer version of %1 is available.").arg(productName()), this);
    QFont bold = headline->font();
    bold.setBold(true);
    headline->setFont(bold);

    auto *grid = new QGridLayout;
    grid->addWidget(namedLabel(QStringLiteral("labelInstalledCaption"), QStringLiteral("Installed version:"), this), 0, 0);
    grid->addWidget(namedLabel(QStringLiteral("labelInstalled"), QCoreApplication::applicationVersion().isEmpty()
                                   ? QStringLiteral(CHRONODE_VERSION) : QCoreApplication::applicationVersion(), this), 0, 1);
    grid->addWidget(namedLabel(QStringLiteral("labelNewCaption"), QStringLiteral("New version:"), this), 1, 0);
    grid->addWidget(namedLabel(QStringLiteral("labelNew"), result.manifest.latestVersion, this), 1, 1);
    grid->setColumnStretch(1, 1);

    auto *notes = new QTextBrowser(this);
    notes->setObjectName(QStringLiteral("textNotes"));
    notes->setOpenLinks(false);
    notes->setPlaceholderText(QStringLiteral("(No release notes were published for this version.)"));
    notes->setPlainText(result.manifest.releaseNotes);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progressBar"));
    m_progress->setVisible(false);
    m_status = namedLabel(QStringLiteral("labelStatus"), QString(), this);
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *autoCheck = new QCheckBox(QStringLiteral("Check for updates automatically"), this);
    autoCheck->setObjectName(QStringLiteral("checkAuto"));
    {
        QSettings settings;
        autoCheck->setChecked(UpdateSettings::load(settings).autoCheck);
    }
    connect(autoCheck, &QCheckBox::toggled, this, [](bool on) {
        QSettings settings;
        UpdateSettings::storeAutoCheck(settings, on);
    });

    m_skip = new QPushButton(QStringLiteral("&Skip This Version"), this);
    m_skip->setObjectName(QStringLiteral("btnSkip"));
    // The file is saved for the user to install, never started by this program.
    m_install = new QPushButton(QStringLiteral("&Download and Verify"), this);
    m_install->setObjectName(QStringLiteral("btnInstall"));
    m_later = new QPushButton(QStringLiteral("&Later"), this);
    m_later->setObjectName(QStringLiteral("btnLater"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_skip);
    buttons->addStretch(1);
    buttons->addWidget(m_install);
    buttons->addWidget(m_later);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(headline);
    layout->addLayout(grid);
    layout->addWidget(namedLabel(QStringLiteral("labelNotesCaption"), QStringLiteral("What's new:"), this));
    layout->addWidget(notes, 1);
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    layout->addWidget(autoCheck);
    layout->addLayout(buttons);
    resize(520, 400);

    if (result.installedFromPackage) {
        m_install->setVisible(false);
        m_status->setText(packagedText(result.manifest.latestVersion, result.manifest.infoUrl.toString()));
    }
    connect(m_skip, &QPushButton::clicked, this, [this] {
        QSettings settings;
        UpdateSettings::storeDismissedVersion(settings, m_result.manifest.latestVersion);
        close();
    });
    connect(m_install, &QPushButton::clicked, this, &UpdateDialog::startDownload);
    connect(m_later, &QPushButton::clicked, this, &UpdateDialog::reject);
    connect(m_download, &UpdateDownload::status, m_status, &QLabel::setText);
    connect(m_download, &UpdateDownload::progress, this, [this](qint64 received, qint64 total) {
        m_progress->setRange(0, total > 0 ? 1000 : 0);
        if (total > 0)
            m_progress->setValue(int(received * 1000 / total));
    });
    connect(m_download, &UpdateDownload::finished, this, &UpdateDialog::onFinished);
}

QString UpdateDialog::packagedText(const QString &version, const QString &infoUrl)
{
    return QStringLiteral("%1 was installed from a Debian package, so its updates come through the package "
                          "system: install version %2 with your usual package tool (for example "
                          "\"apt update\" and \"apt upgrade\"). The release is described at %3")
        .arg(productName(), version, infoUrl);
}

QString UpdateDialog::savedText(const QString &path)
{
    return QStringLiteral("The update was downloaded and its signature and checksum verified. It was saved as\n%1\n\n"
                          "%2 does not run downloaded files. Close %2, then install the update from that file.")
        .arg(QDir::toNativeSeparators(path), productName());
}

void UpdateDialog::startDownload()
{
    m_install->setEnabled(false);
    m_skip->setEnabled(false);
    m_later->setText(QStringLiteral("&Cancel"));
    m_progress->setVisible(true);
    m_progress->setRange(0, 0);
    m_download->start(m_result);
}

void UpdateDialog::reject()
{
    if (m_download->running()) {
        m_download->cancel();
        return;
    }
    QDialog::reject();
}

void UpdateDialog::onFinished(bool ok, const QString &pathOrError)
{
    m_progress->setVisible(false);
    m_later->setText(QStringLiteral("&Close"));
    if (ok) {
        m_status->setText(savedText(pathOrError));
        MessageBoxes::information(this, windowTitle(), savedText(pathOrError));
        return;
    }
    m_install->setEnabled(true);
    m_skip->setEnabled(true);
    m_status->setText(pathOrError);
    MessageBoxes::warning(this, QStringLiteral("The update was not installed."), pathOrError);
}

UpdatePresenter::UpdatePresenter(QWidget *window)
    : QObject(window), m_window(window), m_check(this)
{
    connect(&m_check, &UpdateCheck::finished, this, &UpdatePresenter::onFinished);
}

void UpdatePresenter::request(bool manual)
{
    // Whichever check comes first, the hourly offer of the automatic one runs from then on (it
    // checks only while "AutoCheck" is on and a check is due).
    m_check.periodicTimer().start();
    if (manual)
        m_check.start(true);
    else
        m_check.startAutomatic();
}

void UpdatePresenter::onFinished(const UpdateCheck::Result &result)
{
    switch (result.outcome) {
    case UpdateCheck::Outcome::Busy:
        if (result.manual)
            MessageBoxes::information(m_window, productName(), result.error);
        break;
    case UpdateCheck::Outcome::Failed:
        if (result.manual)
            MessageBoxes::warning(m_window, productName(),
                                  QStringLiteral("Could not check for updates at\n%1\n\n%2").arg(result.manifestUrl, result.error));
        break;
    case UpdateCheck::Outcome::Latest:
        if (result.manual)
            MessageBoxes::information(m_window, productName(),
                                      QStringLiteral("%1 %2 is the latest version.\n\n(checked %3)")
                                          .arg(productName(), m_check.installedVersion(),
                                               QLocale().toString(result.checkedAt, QLocale::ShortFormat)));
        break;
    case UpdateCheck::Outcome::Dismissed:
        break;
    case UpdateCheck::Outcome::Newer:
        if (m_dialog)
            m_dialog->close();
        m_dialog = new UpdateDialog(result, m_check.network(), m_window);
        m_dialog->setAttribute(Qt::WA_DeleteOnClose);
        m_dialog->show();   // not modal: an unattended station keeps running
        break;
    }
}
