#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// Comma-separated values as RFC 4180 writes them: UTF-8 text, one record per line, every line
// (the last one too) ended by CR LF, fields separated by commas. A field is put between double
// quotes when it holds a double quote, a comma, a CR or an LF, or begins or ends with a blank
// (which some readers would trim); a double quote inside is doubled. Other fields stand as they are.

// One field as it goes into a record.
QString CsvField(const QString& value);
// One record: the fields quoted where needed, joined by commas, ended by CR LF, in UTF-8.
QByteArray CsvRecord(const QStringList& fields);

// A time in ISO 8601: "yyyy-MM-ddTHH:mm:ss", with ".zzz" when it has milliseconds, and "Z" or the
// offset ("+02:00") when the time is not local time. An invalid time gives the empty text.
QString CsvDateTime(const QDateTime& time);
// A time as the database writes it ("yyyy-MM-dd HH:mm:ss", with or without fractions) turned into
// ISO 8601 by putting "T" between date and time; other text is kept as it is (the zero date the
// server accepts reads "0000-00-00T00:00:00", which no calendar conversion would keep).
QString CsvDateTimeText(const QString& databaseTime);
