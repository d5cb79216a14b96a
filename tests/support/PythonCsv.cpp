#include "support/PythonCsv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

QVector<QStringList> ReadCsvWithPython(const QString& path, QString* error)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import csv, json, sys\n"
                                 "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                 "    json.dump(list(csv.reader(f, strict=True)), sys.stdout)\n"),
                  path});
    if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit ||
        python.exitCode() != 0) {
        *error = QStringLiteral("python3: ") + python.errorString() + QLatin1Char(' ') +
                 QString::fromUtf8(python.readAllStandardError());
        return {};
    }
    QVector<QStringList> records;
    const QJsonArray rows = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    records.reserve(rows.size());
    for (const QJsonValue& row : rows) {
        QStringList fields;
        for (const QJsonValue& field : row.toArray())
            fields << field.toString();
        records.append(fields);
    }
    return records;
}
