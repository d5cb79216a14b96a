#include "core/SystemLog.h"

#include "core/Clock.h"
#include "core/Notifier.h"
#include "core/auxFunc.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"

#include <QDir>
#include <QFile>

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

// The system log could not be written and the program has been asked to quit: the error box is
// shown once, not again for the lines that follow (a timer may write one while the box is up).
bool g_systemLogFailed = false;
// The alarm message log file failed at its last write: its warning is shown once for a run of
// failures and again only after a write has succeeded.
bool g_alarmLogFailing = false;

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

// Removes from `folder` every "<prefix>yyyy-MM-dd.log" dated `cutoff` or earlier. Files of other
// names, or whose date part is no date, stay where they are.
void removeDatedLogs(const QString& folder, const QString& prefix, const QDate& cutoff)
{
    const QString suffix = QStringLiteral(".log");
    const qsizetype nameLength = prefix.size() + kDateFormat.size() + suffix.size();
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (name.size() != nameLength || !name.startsWith(prefix) || !name.endsWith(suffix))
            continue;
        const QDate date = QDate::fromString(name.mid(prefix.size(), kDateFormat.size()), kDateFormat);
        if (date.isValid() && date <= cutoff)
            QFile::remove(dir.filePath(name));
    }
}

} // namespace

QString LogFilePath(const QString& folder, const QString& fileName)
{
    if (folder.isEmpty())
        return fileName;
    return QDir(folder).filePath(fileName);
}

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
        if (!g_systemLogFailed) {
            g_systemLogFailed = true;
            ShowErrorBox(QString::fromLatin1(lang::ERR00205));
            AskApplicationQuit();
        }
        return;
    }
    if (level == LogLevel::NONE || level < AppSettings.MinimumLogLevel)
        return;
    if (AppSettings.SystemLogFilename.isEmpty())
        AppSettings.SystemLogFilename = QStringLiteral("system_");
    const QDateTime now = Now();
    const QString path =
        LogFilePath(AppSettings.LogDir,
                    AppSettings.SystemLogFilename + now.toString(kDateFormat) + QStringLiteral(".log"));
    // One entry is one line: no text can start a line of its own.
    const QString line = now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QLatin1Char(' ') +
                         LevelText(level) + QLatin1Char(' ') + BlankControls(message);
    QString error;
    if (!appendLine(path, line, &error) && !g_systemLogFailed) {
        g_systemLogFailed = true;
        ShowErrorBox(QString::fromLatin1(lang::ERR00202) + QStringLiteral(" : ") + error);
        AskApplicationQuit();
    }
}

void ResetLogFailures()
{
    g_systemLogFailed = false;
    g_alarmLogFailing = false;
}

void WriteAlarmMessageLogFile(const QString& alarmDateTime, const QString& service, const QString& ip,
                              const QString& port, const QString& message)
{
    if (!AppSettings.AlarmMsgFileEnable)
        return;
    const QString path =
        LogFilePath(AppSettings.AlarmMsgFilePath,
                    AppSettings.AlarmMsgFilename + Now().toString(kDateFormat) + QStringLiteral(".log"));
    const QString line =
        BlankControls(alarmDateTime + QStringLiteral(" [") + service + QStringLiteral("] [") + ip +
                      QStringLiteral("] [") + port + QStringLiteral("] ") + message);
    QString error;
    if (appendLine(path, line, &error)) {
        g_alarmLogFailing = false;
        return;
    }
    // One warning for a run of failures. The box runs its own event loop, in which results keep
    // being handed back and stored; their failing writes do not open another box.
    if (g_alarmLogFailing)
        return;
    g_alarmLogFailing = true;
    ShowWarningBox(QString::fromLatin1(lang::ERR00206) + QStringLiteral(" : ") + error);
}

void HouseKeepLogFiles()
{
    const AppSettingsRecord& s = AppSettings;
    const QDate today = Now().date();
    // Every day's file past the limit goes, not just the one dated exactly that far back: the
    // limit may have been lowered, or the program not running on some day.
    const QString systemPrefix =
        s.SystemLogFilename.isEmpty() ? QStringLiteral("system_") : s.SystemLogFilename;
    removeDatedLogs(s.LogDir, systemPrefix, today.addDays(-s.SystemLogHouseKeepDay));
    if (!s.AlarmMsgFilename.isEmpty())
        removeDatedLogs(s.AlarmMsgFilePath, s.AlarmMsgFilename, today.addDays(-s.AlarmMsgFileHouseKeepDay));
}

void ApplicationEventsException(const QString& errorText)
{
    const QString text = QString::fromLatin1(lang::UnhandledError) + QStringLiteral(" : ") + errorText;
    WriteSystemLog(text, LogLevel::ERROR);
    ShowErrorBox(text);
}
