#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The records of a CSV file as Python's csv module reads them (UTF-8, strict quoting), so that
// tests check a file against a widely used reader rather than against our own writer. On failure
// `error` tells why (Python missing, a quoting error, ...) and no records are returned.
QVector<QStringList> ReadCsvWithPython(const QString& path, QString* error);
