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
