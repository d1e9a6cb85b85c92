#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

class QObject;

// Runs a helper program without waiting for it: the callback gets its exit code and standard
// output when it ends, or exit code -1 when it could not start or ran longer than timeoutMs
// (it is then killed). The callback is not called once context is destroyed.
namespace ToolProcess {

using Done = std::function<void(int exitCode, const QByteArray &standardOutput)>;
void run(QObject *context, const QString &program, const QStringList &arguments, int timeoutMs, Done done);

} // namespace ToolProcess
