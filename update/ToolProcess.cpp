#include "update/ToolProcess.h"

#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <memory>

namespace ToolProcess {

void run(QObject *context, const QString &program, const QStringList &arguments, int timeoutMs, Done done)
{
    auto *process = new QProcess(context);
    auto *timer = new QTimer(process);
    auto callback = std::make_shared<Done>(std::move(done));
    const QPointer<QObject> alive(context);
    const auto finish = [process, callback, alive](int code) {
        if (!*callback || !alive)
            return;
        const QByteArray out = code >= 0 ? process->readAllStandardOutput() : QByteArray();
        const Done d = std::move(*callback);
        *callback = nullptr;
        process->deleteLater();
        d(code, out);
    };
    QObject::connect(process, &QProcess::finished, process, [process, finish](int code, QProcess::ExitStatus status) {
        finish(status == QProcess::NormalExit ? code : -1);
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process, finish](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(-1);
        else if (error == QProcess::Timedout || error == QProcess::ReadError)
            process->kill();
    });
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, process, [process, finish] {
        finish(-1);
        process->kill();
    });
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    timer->start(timeoutMs);
    process->start(program, arguments);
}

} // namespace ToolProcess
