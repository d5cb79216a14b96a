#include "core/IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

bool isSectionLine(const QString& line, QString* name)
{
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return false;
    const int close = t.indexOf(QLatin1Char(']'));
    if (close < 0)
        return false;
    if (name)
        *name = t.mid(1, close - 1).trimmed();
    return true;
}

// A key line is "name=value"; comment lines start with ';' or '#'.
bool splitKeyLine(const QString& line, QString* key, QString* value)
{
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#')))
        return false;
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return false;
    *key = line.left(eq).trimmed();
    if (value)
        *value = line.mid(eq + 1).trimmed();
    return !key->isEmpty();
}

// A value is one line of the file: line breaks inside it would split it and could forge keys.
QString singleLine(const QString& value)
{
    QString v = value;
    v.remove(QLatin1Char('\r'));
    v.remove(QLatin1Char('\n'));
    return v;
}

} // namespace

bool IniFile::load(const QString& path, QString* error)
{
    m_lines.clear();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QString text = QString::fromUtf8(data);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_lines = text.split(QLatin1Char('\n'));
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
    return true;
}

QByteArray IniFile::toBytes() const
{
    QByteArray out;
    for (const QString& line : m_lines) {
        out += line.toUtf8();
        out += "\r\n";
    }
    return out;
}

bool IniFile::save(const QString& path, QString* error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    // The file holds the database password in clear text.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QByteArray bytes = toBytes();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

int IniFile::findSection(const QString& section) const
{
    QString name;
    for (int i = 0; i < m_lines.size(); ++i) {
        if (isSectionLine(m_lines[i], &name) && name.compare(section, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

// The index just past the last non-blank line of the section that starts at `sectionLine`.
int IniFile::sectionEnd(int sectionLine) const
{
    int end = sectionLine + 1;
    for (int i = sectionLine + 1; i < m_lines.size(); ++i) {
        if (isSectionLine(m_lines[i], nullptr))
            break;
        if (!m_lines[i].trimmed().isEmpty())
            end = i + 1;
    }
    return end;
}

int IniFile::findKey(const QString& section, const QString& key, QString* value) const
{
    const int start = findSection(section);
    if (start < 0)
        return -1;
    QString name;
    for (int i = start + 1; i < m_lines.size(); ++i) {
        if (isSectionLine(m_lines[i], nullptr))
            break;
        if (splitKeyLine(m_lines[i], &name, value) && name.compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool IniFile::contains(const QString& section, const QString& key) const
{
    return findKey(section, key, nullptr) >= 0;
}

QString IniFile::value(const QString& section, const QString& key, const QString& fallback) const
{
    QString v;
    return findKey(section, key, &v) >= 0 ? v : fallback;
}

void IniFile::setValue(const QString& section, const QString& key, const QString& value)
{
    const QString line = key + QLatin1Char('=') + singleLine(value);
    const int existing = findKey(section, key, nullptr);
    if (existing >= 0) {
        m_lines[existing] = line;
        return;
    }
    const int start = findSection(section);
    if (start >= 0) {
        m_lines.insert(sectionEnd(start), line);
        return;
    }
    m_lines << QLatin1Char('[') + section + QLatin1Char(']') << line;
}
