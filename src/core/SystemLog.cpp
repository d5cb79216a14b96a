#include "core/SystemLog.h"

#include "core/Clock.h"
#include "core/Notifier.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"

#include <QFile>

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

// Opens `path` for appending (creating it) and writes `line` + CR LF; false with the reason
// in `error` when that fails.
bool appendLine(const QString& path, const QString& line, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        *error = file.errorString();
        return false;
    }
    const QByteArray bytes = line.toUtf8() + "\r\n";
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        *error = file.errorString();
        return false;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace

QString HouseKeepDay(int days)
{
    return Now().date().addDays(-days).toString(kDateFormat);
}

QString LevelText(int level)
{
    switch (level) {
    case LogLevel::DEBUG:
        return QStringLiteral("[DEBUG]");
    case LogLevel::INFORMATIONAL:
        return QStringLiteral("[INFO]");
    case LogLevel::NOTICE:
        return QStringLiteral("[NOTICE]");
    case LogLevel::WARMING:
        return QStringLiteral("[WARMING]");
    case LogLevel::ERROR:
        return QStringLiteral("[ERROR]");
    case LogLevel::CRITICAL:
        return QStringLiteral("[CRITICAL]");
    case LogLevel::ALERT:
        return QStringLiteral("[ALERT]");
    case LogLevel::EMERGENCY:
        return QStringLiteral("[EMERGENCY]");
    default:
        return QString();
    }
}

void WriteSystemLog(const QString& message, int level)
{
    if (!EnsureLogDir()) {
        ShowErrorBox(QString::fromLatin1(lang::ERR00205));
        AskApplicationQuit();
        return;
    }
    if (level == LogLevel::NONE || level < AppSettings.MinimumLogLevel)
        return;
    if (AppSettings.SystemLogFilename.isEmpty())
        AppSettings.SystemLogFilename = QStringLiteral("system_");
    const QDateTime now = Now();
    const QString path = AppSettings.LogDir + AppSettings.SystemLogFilename + now.toString(kDateFormat) +
                         QStringLiteral(".log");
    const QString line = now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QLatin1Char(' ') +
                         LevelText(level) + QLatin1Char(' ') + message;
    QString error;
    if (!appendLine(path, line, &error)) {
        ShowErrorBox(QString::fromLatin1(lang::ERR00202) + QStringLiteral(" : ") + error);
        AskApplicationQuit();
    }
}

void WriteAlarmMessageLogFile(const QString& alarmDateTime, const QString& service, const QString& ip,
                              const QString& port, const QString& message)
{
    if (!AppSettings.AlarmMsgFileEnable)
        return;
    const QString path = AppSettings.AlarmMsgFilePath + AppSettings.AlarmMsgFilename +
                         Now().toString(kDateFormat) + QStringLiteral(".log");
    const QString line = alarmDateTime + QStringLiteral(" [") + service + QStringLiteral("] [") + ip +
                         QStringLiteral("] [") + port + QStringLiteral("] ") + message;
    QString error;
    if (!appendLine(path, line, &error))
        ShowWarningBox(QString::fromLatin1(lang::ERR00206) + QStringLiteral(" : ") + error);
}

void HouseKeepLogFiles()
{
    const AppSettingsRecord& s = AppSettings;
    QFile::remove(s.LogDir + s.SystemLogFilename + HouseKeepDay(s.SystemLogHouseKeepDay) +
                  QStringLiteral(".log"));
    QFile::remove(s.AlarmMsgFilePath + s.AlarmMsgFilename + HouseKeepDay(s.AlarmMsgFileHouseKeepDay) +
                  QStringLiteral(".log"));
}

void ApplicationEventsException(const QString& errorText)
{
    const QString text = QString::fromLatin1(lang::UnhandledError) + QStringLiteral(" : ") + errorText;
    WriteSystemLog(text, LogLevel::ERROR);
    ShowErrorBox(text);
}
