#include "database/ContactStore.h"

#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"
#include "database/dbcomFunc.h"

#include <QSqlQuery>
#include <QVariant>

namespace {

const QString kPersonTable = QStringLiteral("contact_person");
const QString kGroupTable = QStringLiteral("contact_group");
const QString kNameColumn = QStringLiteral("name");

QList<ContactName> names(const char* table)
{
    QList<ContactName> rows;
    QSqlQuery& query = DMQuorvel().ExecSelect(QStringLiteral("select id,name from ") + QLatin1String(table) +
                                              QStringLiteral(" order by id"));
    while (query.next())
        rows.append(
            {query.value(QStringLiteral("id")).toInt(), query.value(QStringLiteral("name")).toString()});
    return rows;
}

QStringList firstColumn(const QString& sql)
{
    QStringList values;
    QSqlQuery& query = DMQuorvel().ExecSelect(sql);
    while (query.next())
        values << query.value(0).toString();
    query.finish();
    return values;
}

QString withName(const char* text, const QString& name)
{
    return QString::fromLatin1(text).replace(QLatin1String("%s"), name);
}

} // namespace

namespace ContactStore {

QList<ContactName> Persons()
{
    return names("contact_person");
}

QList<ContactName> Groups()
{
    return names("contact_group");
}

QList<ContactPerson> PersonRows()
{
    QList<ContactPerson> rows;
    QSqlQuery query = DMQuorvel().OpenView(
        QStringLiteral("select id,name,details,email,sms from contact_person order by id"));
    while (query.next()) {
        rows.append({query.value(0).toInt(), query.value(1).toString(), query.value(2).toString(),
                     query.value(3).toString(), query.value(4).toString()});
    }
    return rows;
}

QList<ContactPerson> PersonsOfService(int serviceId)
{
    QList<ContactPerson> rows;
    QSqlQuery& query = DMQuorvel().ExecSelect(
        QStringLiteral("Select contact_person.name as name, contact_person.email as "
                       "email,contact_person.sms as "
                       "sms from service_contact_person,contact_person where "
                       "service_contact_person.contact_person_id=contact_person.id and "
                       "service_contact_person.service_id=") +
        QString::number(serviceId));
    while (query.next()) {
        ContactPerson person;
        person.Name = query.value(QStringLiteral("name")).toString();
        person.Email = query.value(QStringLiteral("email")).toString();
        person.Sms = query.value(QStringLiteral("sms")).toString();
        rows.append(person);
    }
    query.finish();
    return rows;
}

QStringList PersonNamesByName()
{
    return firstColumn(QStringLiteral("Select name from contact_person order by name"));
}

QStringList GroupMemberNames(int groupId)
{
    QStringList members;
    QSqlQuery& query = DMQuorvel().ExecSelect(
        QStringLiteral("SELECT a.contact_group_id as contact_group_id,a.contact_person_id as "
                       "contact_person_id,b.name as name FROM contact_person_group as a, contact_person as b "
                       "where a.contact_person_id=b.id and a.contact_group_id= ") +
        QString::number(groupId));
    while (query.next())
        members << query.value(QStringLiteral("name")).toString();
    query.finish();
    return members;
}

bool PersonNameIsFree(const QString& name, int excludeId)
{
    return IsUnique(kPersonTable, kNameColumn, name, excludeId);
}

bool GroupNameIsFree(const QString& name, int excludeId)
{
    return IsUnique(kGroupTable, kNameColumn, name, excludeId);
}

void InsertPerson(const ContactPerson& person)
{
    TDMQuorvel& dm = DMQuorvel();
    SqlTransaction transaction(dm);
    dm.ExecUpdate(QStringLiteral("insert into contact_person (name,details,email,sms) values (") +
                  QuoteSqlText(person.Name) + QLatin1Char(',') + QuoteSqlText(person.Details) +
                  QLatin1Char(',') + QuoteSqlText(person.Email) + QLatin1Char(',') +
                  QuoteSqlText(person.Sms) + QLatin1Char(')'));
    transaction.Commit();
}

void UpdatePerson(const ContactPerson& person)
{
    TDMQuorvel& dm = DMQuorvel();
    SqlTransaction transaction(dm);
    dm.ExecUpdate(QStringLiteral("update contact_person set name=") + QuoteSqlText(person.Name) +
                  QStringLiteral(" , details=") + QuoteSqlText(person.Details) + QStringLiteral(" , email=") +
                  QuoteSqlText(person.Email) + QStringLiteral(" , sms=") + QuoteSqlText(person.Sms) +
                  QStringLiteral(" where id=") + QString::number(person.Id));
    transaction.Commit();
}

QStringList ServicesLeftWithoutRecipient(int id)
{
    const QString key = QString::number(id);
    // Another linked person who can receive alarms of a method through the given column.
    const auto otherWith = [&key](const char* column) {
        return QStringLiteral("exists (select 1 from service_contact_person o, contact_person p where "
                              "o.service_id=s.id and o.contact_person_id=p.id and p.id<>") +
               key + QStringLiteral(" and p.") + QLatin1String(column) + QStringLiteral("<>\"\")");
    };
    QStringList services;
    QSqlQuery query = DMQuorvel().OpenView(
        QStringLiteral("select distinct s.id,s.service,s.ip,s.port from service s, service_contact_person l "
                       "where l.service_id=s.id and l.contact_person_id=") +
        key + QStringLiteral(" and ((s.alarm_email=\"y\" and not ") + otherWith("email") +
        QStringLiteral(") or ((s.alarm_smpp=\"y\" or s.alarm_httpsms=\"y\") and not ") + otherWith("sms") +
        QStringLiteral(")) order by s.id"));
    while (query.next()) {
        services << query.value(1).toString() + QStringLiteral(" [") + query.value(2).toString() +
                        QLatin1Char(':') + query.value(3).toString() + QLatin1Char(']');
    }
    return services;
}

void DeletePerson(int id)
{
    const QString key = QString::number(id);
    TDMQuorvel& dm = DMQuorvel();
    SqlTransaction transaction(dm);
    dm.ExecUpdate(QStringLiteral("delete from contact_person where id=") + key);
    dm.ExecUpdate(QStringLiteral("delete from contact_person_group where contact_person_id=") + key);
    // The services that alarmed this person lose it too, so that no service keeps a link to a
    // person who no longer exists.
    dm.ExecUpdate(QStringLiteral("delete from service_contact_person where contact_person_id=") + key);
    transaction.Commit();
}

int SaveGroup(int groupId, const QString& name, const QStringList& memberNames)
{
    TDMQuorvel& dm = DMQuorvel();
    SqlTransaction transaction(dm);
    if (groupId == 0) {
        dm.ExecUpdate(QStringLiteral("insert into contact_group (name) values (") + QuoteSqlText(name) +
                      QLatin1Char(')'));
    } else {
        dm.ExecUpdate(QStringLiteral("update contact_group set name=") + QuoteSqlText(name) +
                      QStringLiteral(" where id=") + QString::number(groupId));
    }
    dm.ExecUpdate(QStringLiteral("delete from contact_person_group where contact_group_id=") +
                  QString::number(groupId));
    const int storedId = SelectIdBy(kGroupTable, kNameColumn, name);
    if (storedId == 0)
        throw DatabaseError(withName(lang::ContactGroupNotFound, name));
    for (const QString& member : memberNames) {
        const int personId = SelectIdBy(kPersonTable, kNameColumn, member);
        if (personId == 0)
            throw DatabaseError(withName(lang::ContactPersonNotFound, member));
        dm.ExecUpdate(QStringLiteral("insert into contact_person_group (contact_person_id,contact_group_id) "
                                     "values (") +
                      QString::number(personId) + QLatin1Char(',') + QString::number(storedId) +
                      QLatin1Char(')'));
    }
    transaction.Commit();
    return storedId;
}

void DeleteGroup(int id)
{
    const QString key = QString::number(id);
    TDMQuorvel& dm = DMQuorvel();
    SqlTransaction transaction(dm);
    dm.ExecUpdate(QStringLiteral("delete from contact_person_group where contact_group_id=") + key);
    dm.ExecUpdate(QStringLiteral("delete from contact_group where id=") + key);
    transaction.Commit();
}

} // namespace ContactStore
