#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// The statements that create the program's tables, in the order they are created.
struct TableDefinition
{
    QString name;
    QString create;
    QStringList indexes;
};

const std::vector<TableDefinition>& SchemaTables();
// The 24 seed rows of the weekly monitoring window, hours 0 to 23.
QStringList SchedulingSeedStatements();

// The row key of the alarm history, added after its table: an auto-increment id, so that the
// history has a complete order (alarm_datetime, then id) to be paged through. A table without it,
// just created or made by an earlier version, gets it when the missing tables are created.
QString AlarmHistoryKeyStatement();
