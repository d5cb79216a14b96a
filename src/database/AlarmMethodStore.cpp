#include "database/AlarmMethodStore.h"

#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

namespace {

QString literal(const QVariant& value)
{
    if (value.typeId() == QMetaType::QString)
        return QuoteSqlText(value.toString());
    return QString::number(value.toInt());
}

void writeMethod(TDMQuorvel& dm, const char* typeName, const AlarmMethodValues& row)
{
    const QString type = QString::fromLatin1(typeName);
    const bool exists = dm.ExecPrepared(QStringLiteral("SELECT * from alarm_method where type = :type_param"),
                                        {{QStringLiteral(":type_param"), type}})
                            .next();
    QStringList names;
    QStringList literals;
    QStringList assignments;
    for (const AlarmMethodValue& c : row) {
        const QString text = literal(c.Value);
        names << c.Column;
        literals << text;
        assignments << c.Column + QLatin1Char('=') + text;
    }
    if (exists)
        dm.ExecUpdate(QStringLiteral("update alarm_method set ") + assignments.join(QStringLiteral(" , ")) +
                      QStringLiteral(" where type=") + QuoteSqlText(type));
    else
        dm.ExecUpdate(QStringLiteral("insert into alarm_method (type,") + names.join(QLatin1Char(',')) +
                      QStringLiteral(") values (") + QuoteSqlText(type) + QLatin1Char(',') +
                      literals.join(QLatin1Char(',')) + QLatin1Char(')'));
}

void replaceExtraFields(TDMQuorvel& dm, const QList<AlarmExtraField>& fields)
{
    dm.ExecUpdate(QStringLiteral("delete from alarm_method_extra_fields"));
    for (const auto& [name, value] : fields)
        dm.ExecUpdate(
            QStringLiteral("insert into alarm_method_extra_fields (field_name,field_value) values (") +
            QuoteSqlText(name) + QLatin1Char(',') + QuoteSqlText(value) + QLatin1Char(')'));
}

} // namespace

QVariant AlarmMethodRow::value(const QString& column) const
{
    return Columns.value(column.toLower());
}

namespace AlarmMethodStore {

QList<AlarmMethodRow> Rows()
{
    QList<AlarmMethodRow> rows;
    QSqlQuery table = DMQuorvel().OpenView(QStringLiteral("select * from alarm_method"));
    while (table.next()) {
        const QSqlRecord record = table.record();
        AlarmMethodRow row;
        for (int i = 0; i < record.count(); ++i)
            row.Columns.insert(record.fieldName(i).toLower(), record.value(i));
        row.Type = row.value(QStringLiteral("type")).toString();
        rows.append(std::move(row));
    }
    return rows;
}

QList<AlarmExtraField> ExtraFields()
{
    QList<AlarmExtraField> fields;
    QSqlQuery& query = DMQuorvel().ExecSelect(
        QStringLiteral("select field_name,field_value from alarm_method_extra_fields order by id"));
    while (query.next())
        fields.append({query.value(QStringLiteral("field_name")).toString(),
                       query.value(QStringLiteral("field_value")).toString()});
    query.finish();
    return fields;
}

void Save(const AlarmMethodsSave& save)
{
    TDMQuorvel& dm = DMQuorvel();
    SqlTransaction transaction(dm);
    writeMethod(dm, lang::MethodEmail, save.Email);
    writeMethod(dm, lang::MethodSMS, save.Sms);
    writeMethod(dm, lang::MethodSMSbyHTTP, save.HttpSms);
    if (save.ExtraFields)
        replaceExtraFields(dm, *save.ExtraFields);
    // Looked up as stored, so a case-sensitive collation finds the row instead of adding one.
    writeMethod(dm, lang::MethodSysLog, save.SysLog);
    transaction.Commit();
}

} // namespace AlarmMethodStore
