#pragma once

#include <QString>
#include <QTemporaryDir>

// A throw-away installation root for tests: `path()` plays the part of AppPath.
class TempTree
{
public:
    TempTree();
    QString path() const { return m_dir.path(); }
    QString file(const QString& relative) const { return m_dir.path() + "/" + relative; }
    QByteArray read(const QString& relative) const;
    void write(const QString& relative, const QByteArray& content) const;

private:
    QTemporaryDir m_dir;
};
