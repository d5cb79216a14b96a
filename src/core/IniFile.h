#pragma once

#include <QString>
#include <QStringList>

// An INI text file edited the way the settings file has always been edited: lines ending in
// CR LF, section and key names compared without regard to letter case, values trimmed of
// surrounding blanks. Writing a key that exists replaces its value in place, a new key goes to
// the end of its section, a new section to the end of the file; every other line (comments,
// unknown keys and sections, blank lines) is kept as it was.
class IniFile
{
public:
    // Reads `path`. A missing file gives an empty document and true; a file that exists but
    // cannot be read gives false with the reason in `error`.
    bool load(const QString& path, QString* error);
    // Writes the document to `path` (replacing it as a whole), readable by its owner only.
    bool save(const QString& path, QString* error) const;

    bool contains(const QString& section, const QString& key) const;
    QString value(const QString& section, const QString& key, const QString& fallback) const;
    void setValue(const QString& section, const QString& key, const QString& value);

    QByteArray toBytes() const;

private:
    int findSection(const QString& section) const;
    int sectionEnd(int sectionLine) const;
    int findKey(const QString& section, const QString& key, QString* value) const;

    QStringList m_lines;
};
