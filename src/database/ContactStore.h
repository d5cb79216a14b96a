#pragma once

// The contact store: persons (`contact_person`), groups (`contact_group`), the group members
// (`contact_person_group`) and, when a person goes, the services' links to it
// (`service_contact_person`). Every statement about these tables is made here; texts go through
// QuoteSqlText. Failures throw DatabaseError.

#include <QList>
#include <QString>
#include <QStringList>

// A person or a group as the contact lists show it.
struct ContactName
{
    int Id = 0;
    QString Name;
};

// One contact_person row (Id 0 for a person that is not stored).
struct ContactPerson
{
    int Id = 0;
    QString Name;
    QString Details;
    QString Email;
    QString Sms;
};

namespace ContactStore {

// Every person, or every group, by ascending id.
QList<ContactName> Persons();
QList<ContactName> Groups();

// Every person with all its columns, by ascending id.
QList<ContactPerson> PersonRows();
// The persons attached to service `serviceId` (name, e-mail and SMS number), in the order the
// database returns them. Throws DatabaseError.
QList<ContactPerson> PersonsOfService(int serviceId);
// The names of all persons in alphabetical order.
QStringList PersonNamesByName();
// The names of the members of group `groupId`, in the order the database returns them.
QStringList GroupMemberNames(int groupId);

// True when no other person (other group) than `excludeId` bears `name`; 0 excludes none.
bool PersonNameIsFree(const QString& name, int excludeId);
bool GroupNameIsFree(const QString& name, int excludeId);

// Stores a new person (person.Id is ignored), or changes the stored person `person.Id`.
void InsertPerson(const ContactPerson& person);
void UpdatePerson(const ContactPerson& person);
// The services, as "kind [address:port]" by ascending id, that person `id` is linked to and that
// would keep an alarm flag (e-mail, SMS or SMS by HTTP) without anyone left to receive it once
// the person is gone: no other linked person with an address for that method.
QStringList ServicesLeftWithoutRecipient(int id);
// Deletes person `id` with its group memberships and the services' links to it, in one
// transaction.
void DeletePerson(int id);

// Stores group `groupId` (0: a new group) under `name` with exactly the persons named in
// `memberNames` as its members, in one transaction; returns the group's id. A name that no longer
// finds its group or person throws DatabaseError with the catalogue's text, and nothing is
// stored.
int SaveGroup(int groupId, const QString& name, const QStringList& memberNames);
// Deletes group `id` with its member rows, in one transaction.
void DeleteGroup(int id);

} // namespace ContactStore
