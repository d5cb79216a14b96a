#pragma once

// The contact store: persons (`contact_person`), groups (`contact_group`) and the group members
// (`contact_person_group`).

#include <QList>
#include <QString>

// A person or a group as the contact lists show it.
struct ContactName
{
    int Id = 0;
    QString Name;
};

namespace ContactStore {

// Every person, or every group, by ascending id. Throws DatabaseError.
QList<ContactName> Persons();
QList<ContactName> Groups();

} // namespace ContactStore
