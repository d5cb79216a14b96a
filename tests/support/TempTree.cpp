#include "support/TempTree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

TempTree::TempTree()
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
}

QByteArray TempTree::read(const QString& relative) const
{
    QFile f(file(relative));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void TempTree::write(const QString& relative, const QByteArray& content) const
{
    const QString full = file(relative);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile f(full);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size())
        throw std::runtime_error("cannot write " + full.toStdString());
}
