#include "database/ContactStore.h"

#include "database/DataModuleQuorvel.h"

#include <QSqlQuery>
#include <QVariant>

namespace {

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

} // namespace ContactStore
