#include "database/dbcomFunc.h"

#include "database/DataModuleQuorvel.h"

#include <QVariant>

namespace {

// Reads one integer column of the first row and closes the shared select query.
int firstRowInt(const QString& sql, const char* column, int noRow)
{
    QSqlQuery& query = DMQuorvel().ExecSelect(sql);
    const int result = query.next() ? query.value(QString::fromLatin1(column)).toInt() : noRow;
    query.finish();
    return result;
}

} // namespace

bool IsUnique(const QString& table, const QString& field, const QString& value, int excludeId)
{
    QString sql = QStringLiteral("Select count(*) as numOfRecord from ") + table;
    const bool condition = !field.isEmpty() && !value.isEmpty();
    if (condition)
        sql += QStringLiteral(" where ") + field + QLatin1Char('=') + QuoteSqlText(value);
    if (excludeId != 0) {
        if (condition)
            sql += QStringLiteral(" and id<>") + QString::number(excludeId);
        else if (field.isEmpty() && value.isEmpty())
            sql += QStringLiteral(" where id<>") + QString::number(excludeId);
    }
    return firstRowInt(sql, "numOfRecord", 0) <= 0;
}

int SelectIdBy(const QString& table, const QString& field, const QString& value)
{
    return firstRowInt(QStringLiteral("Select id from ") + table + QStringLiteral(" where ") + field +
                           QLatin1Char('=') + QuoteSqlText(value),
                       "id", 0);
}

int MaxId(const QString& table)
{
    // The maximum of an empty table is null, which reads as 0.
    return firstRowInt(QStringLiteral("Select MAX(id) as id from ") + table, "id", 0);
}

QString ListedIpSql()
{
    return QStringLiteral("IF(ip LIKE \"https://%\", ip, SUBSTRING_INDEX(ip, \"http://\", -1))");
}

QString HostOfIpSql()
{
    return QStringLiteral("IF(ip LIKE \"https://%\", SUBSTRING_INDEX(SUBSTRING(ip, 9), \"/\", 1), "
                          "SUBSTRING_INDEX(SUBSTRING_INDEX(ip, \"http://\", -1),\"/\",1))");
}
