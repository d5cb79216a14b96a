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

// A change to the database beyond the tables above: new tables, columns or keys. Steps carry a
// number, are applied in ascending order, each once per database, and recorded in schema_step,
// so an older database is brought forward at start and keeps every row. A step's statements
// must keep existing rows (create, add, widen; never drop a column that holds data).
struct SchemaStep
{
    int number = 0;
    QString name;
    // Optional: a select that returns a row when the change is already in place (made by hand or
    // by a build that had it before it was recorded); the step is then only recorded.
    QString inPlace;
    QStringList statements;
};

// The steps in ascending order of their numbers. Numbers are never reused or renumbered.
const std::vector<SchemaStep>& SchemaSteps();
// The table that records the steps applied to a database.
QString SchemaStepTableStatement();
