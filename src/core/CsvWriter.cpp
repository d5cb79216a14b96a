#include "core/CsvWriter.h"

#include <cstdlib>

namespace {

bool needsQuotes(const QString& value)
{
    if (value.isEmpty())
        return false;
    if (value.front() == QLatin1Char(' ') || value.back() == QLatin1Char(' ') ||
        value.front() == QLatin1Char('\t') || value.back() == QLatin1Char('\t'))
        return true;
    for (const QChar c : value) {
        if (c == QLatin1Char('"') || c == QLatin1Char(',') || c == QLatin1Char('\r') ||
            c == QLatin1Char('\n'))
            return true;
    }
    return false;
}

} // namespace

QString CsvField(const QString& value)
{
    if (!needsQuotes(value))
        return value;
    QString quoted;
    quoted.reserve(value.size() + 8);
    quoted += QLatin1Char('"');
    for (const QChar c : value) {
        if (c == QLatin1Char('"'))
            quoted += QLatin1Char('"');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    return quoted;
}

QByteArray CsvRecord(const QStringList& fields)
{
    QString line;
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += QLatin1Char(',');
        line += CsvField(fields[i]);
    }
    line += QLatin1String("\r\n");
    return line.toUtf8();
}

QString CsvDateTime(const QDateTime& time)
{
    if (!time.isValid())
        return QString();
    QString text = time.toString(time.time().msec() != 0 ? QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")
                                                         : QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    switch (time.timeSpec()) {
    case Qt::LocalTime:
        break;
    case Qt::UTC:
        text += QLatin1Char('Z');
        break;
    default: {
        const int offset = time.offsetFromUtc();
        if (offset == 0) {
            text += QLatin1Char('Z');
            break;
        }
        const int minutes = std::abs(offset) / 60;
        text += (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
                QStringLiteral("%1:%2")
                    .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                    .arg(minutes % 60, 2, 10, QLatin1Char('0'));
        break;
    }
    }
    return text;
}

QString CsvDateTimeText(const QString& databaseTime)
{
    // "yyyy-MM-dd HH:mm:ss": the blank at 10 and the colons at 13 and 16.
    if (databaseTime.size() >= 19 && databaseTime[4] == QLatin1Char('-') &&
        databaseTime[7] == QLatin1Char('-') && databaseTime[10] == QLatin1Char(' ') &&
        databaseTime[13] == QLatin1Char(':') && databaseTime[16] == QLatin1Char(':')) {
        QString text = databaseTime;
        text[10] = QLatin1Char('T');
        return text;
    }
    return databaseTime;
}
