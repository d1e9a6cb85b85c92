#include "core/Settings.h"

#include <QFile>
#include <QFileInfo>
#include <QStringConverter>

#include <cmath>

namespace Settings {

int readInt(QSettings &s, const QString &key, int def, int lo, int hi)
{
    const QVariant v = s.value(key);
    bool ok = false;
    int n = def;
    if (v.isValid()) {
        if (v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QByteArray)
            n = v.toString().trimmed().toInt(&ok);
        else
            n = v.toInt(&ok);
    }
    if (!ok || n < lo || n > hi) {
        s.setValue(key, def);
        return def;
    }
    return n;
}

bool readBool(QSettings &s, const QString &key, bool def)
{
    const QVariant v = s.value(key);
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (v.isValid()) {
        const QString t = v.toString().trimmed().toLower();
        if (t == QLatin1String("true") || t == QLatin1String("1"))
            return true;
        if (t == QLatin1String("false") || t == QLatin1String("0"))
            return false;
    }
    s.setValue(key, def);
    return def;
}

QString readText(QSettings &s, const QString &key, const QString &def,
                 const std::function<bool(const QString &)> &accept)
{
    const QVariant v = s.value(key);
    if (!v.isValid() || !v.canConvert<QString>() || (accept && !accept(v.toString()))) {
        s.setValue(key, def);
        return def;
    }
    return v.toString();
}

double readTextNumber(QSettings &s, const QString &key, double missingValue, double repairValue,
                      const std::function<bool(double)> &accept, QString (*format)(double))
{
    if (!s.contains(key)) {
        s.setValue(key, format(missingValue));
        return missingValue;
    }
    bool ok = false;
    const double v = s.value(key).toString().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || (accept && !accept(v))) {
        s.setValue(key, format(repairValue));
        return repairValue;
    }
    return v;
}

namespace {
bool &firstRunFlag()
{
    static bool flag = true;
    return flag;
}
QStringList &noticeQueue()
{
    static QStringList notices;
    return notices;
}
} // namespace

bool firstRun()
{
    return firstRunFlag();
}

void setFirstRun(bool firstRun)
{
    firstRunFlag() = firstRun;
}

void addNotice(const QString &text)
{
    if (!noticeQueue().contains(text))
        noticeQueue().append(text);
}

QStringList takeNotices()
{
    return std::exchange(noticeQueue(), {});
}

bool looksSound(const QByteArray &content)
{
    if (content.isEmpty() || !content.endsWith('\n') || content.contains('\0'))
        return false;
    auto decoder = QStringDecoder(QStringDecoder::Utf8);
    const QString text = decoder(content);
    if (decoder.hasError())
        return false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']'))
                return false;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            return false;
        for (QChar c : line)
            if (c.unicode() < 0x20 && c != u'\t')
                return false;
    }
    return true;
}

StartCheck checkStore(const QDateTime &now)
{
    StartCheck check;
    check.fileName = QSettings().fileName();
    const QFileInfo info(check.fileName);
    if (!info.exists()) {
        check.firstRun = true;
        setFirstRun(true);
        return check;
    }
    setFirstRun(false);
    QFile file(check.fileName);
    bool sound = info.isFile() && file.open(QIODevice::ReadOnly);
    if (sound) {
        sound = looksSound(file.readAll());
        file.close();
    }
    if (sound) {
        QSettings parsed(check.fileName, QSettings::IniFormat);
        sound = parsed.status() == QSettings::NoError;
    }
    if (sound)
        return check;

    check.damaged = true;
    check.keptAs = check.fileName + QStringLiteral(".damaged-") + now.toString(QStringLiteral("yyyyMMdd-hhmmss"));
    for (int n = 2; QFileInfo::exists(check.keptAs); ++n)   // never over an earlier copy
        check.keptAs = check.keptAs.section(QLatin1Char('~'), 0, 0) + QStringLiteral("~%1").arg(n);
    if (!QFile::rename(check.fileName, check.keptAs) && QFile::copy(check.fileName, check.keptAs))
        QFile::remove(check.fileName);
    addNotice(QStringLiteral("The settings file %1 could not be read. It was kept as %2; the settings start "
                             "afresh and the GPS receiver port is OFF.")
                  .arg(check.fileName, check.keptAs));
    return check;
}

} // namespace Settings
