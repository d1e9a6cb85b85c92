#pragma once

// Shared helpers for the QtTest executables.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

namespace TestSupport {

// Points the settings store ("KTW Systems" / "Chronode") at a fresh temporary folder for the
// life of the object, so a test never touches the user's settings. Each test function that
// needs a clean store makes its own.
class TemporarySettings
{
public:
    TemporarySettings()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("KTW Systems"));
        QCoreApplication::setApplicationName(QStringLiteral("Chronode"));
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    }
    QString path() const { return m_dir.path(); }
    // The file the default QSettings object writes to.
    QString fileName() const { return QSettings().fileName(); }

private:
    QTemporaryDir m_dir;
};

// Folder of the real receiver captures, or an empty string when they are not present.
inline QString capturesDir()
{
    const QString dir = QStringLiteral(CHRONODE_SHARED_DIR) + QStringLiteral("/captures");
    return QDir(dir).exists() ? QDir(dir).absolutePath() : QString();
}

// Bytes of a capture file after its leading "#" comment lines; empty when absent.
inline QByteArray captureBytes(const QString &fileName)
{
    const QString dir = capturesDir();
    if (dir.isEmpty())
        return {};
    QFile f(dir + QLatin1Char('/') + fileName);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray all = f.readAll();
    qsizetype pos = 0;
    while (pos < all.size() && all.at(pos) == '#') {
        const qsizetype nl = all.indexOf('\n', pos);
        if (nl < 0)
            return {};
        pos = nl + 1;
    }
    return all.mid(pos);
}

// Runs the test classes of one subsystem in one executable (one link instead of several);
// the exit code counts the failed functions of all of them.
template <typename Test>
int runTest(int argc, char **argv)
{
    Test t;
    return QTest::qExec(&t, argc, argv);
}

template <typename... Tests>
int runTests(int argc, char **argv)
{
    int failed = 0;
    ((failed += runTest<Tests>(argc, argv)), ...);
    return failed;
}

} // namespace TestSupport

#define CHRONODE_TEST_MAIN(...)                                                \
    int main(int argc, char **argv)                                            \
    {                                                                          \
        qputenv("CHRONODE_TESTING", "1");                                      \
        QCoreApplication app(argc, argv);                                      \
        return TestSupport::runTests<__VA_ARGS__>(argc, argv);                 \
    }
// The same for widget tests (the file includes QApplication).
#define CHRONODE_TEST_GUI_MAIN(...)                                            \
    int main(int argc, char **argv)                                            \
    {                                                                          \
        qputenv("CHRONODE_TESTING", "1");                                      \
        QApplication app(argc, argv);                                          \
        return TestSupport::runTests<__VA_ARGS__>(argc, argv);                 \
    }

// Skips the current test when a capture is not available.
#define CHRONODE_REQUIRE_CAPTURE(bytesVar, fileName)                                   \
    const QByteArray bytesVar = TestSupport::captureBytes(QStringLiteral(fileName));   \
    if (bytesVar.isEmpty())                                                            \
        QSKIP("capture " fileName " not present")
