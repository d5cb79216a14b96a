#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>

// What a "URL" service may expect in the body of a passing answer, beyond its 2xx status. A
// service has at most one such assertion; without one the body is never looked at.
//
// Modes and their text:
//   Contains      TEXT       the body holds TEXT (letter case counts)
//   NotContains   TEXT       the body does not hold TEXT
//   Matches       PATTERN    the regular expression (QRegularExpression, Perl syntax) finds a match
//   JsonValue     POINTER=VALUE  the body is JSON, and the value the pointer (RFC 6901) names equals
//                            VALUE, itself JSON text: true, 3 and "up" are three different values
// The text is split at its first "=" for JsonValue, so the pointer itself holds none.
enum class UrlExpectMode
{
    None,
    Contains,
    NotContains,
    Matches,
    JsonValue
};

struct UrlExpectation
{
    UrlExpectMode Mode = UrlExpectMode::None;
    QString Text;

    bool isSet() const { return Mode != UrlExpectMode::None; }
};

// The body read from an answer when an assertion is set; a longer body fails the check.
constexpr qsizetype kUrlExpectMaxBody = 1024 * 1024;

// The stored form of a mode (table service_url_expect, column mode): "contains", "not-contains",
// "matches", "json"; empty for None.
QString UrlExpectModeKey(UrlExpectMode mode);
// The mode of a stored key; an empty or unknown key gives None.
UrlExpectMode UrlExpectModeFromKey(const QString& key);
// What the windows show for each mode, in the order of UrlExpectMode: "None", "Contains",
// "Does not contain", "Matches", "JSON value".
QStringList UrlExpectModeCaptions();
QString UrlExpectModeCaption(UrlExpectMode mode);

// Why `expectation` cannot be stored or run, or an empty text when it can: an empty text, a
// pattern that does not compile, a pointer that is not RFC 6901 or a value that is not JSON text.
QString UrlExpectationProblem(const UrlExpectation& expectation);

// Judges a whole body against `expectation`. Returns an empty text when the body meets it, and
// otherwise the reason: what was expected, and at most 60 characters of what was found, control
// characters made blanks.
QString JudgeUrlBody(const UrlExpectation& expectation, const QByteArray& body);

// The value an RFC 6901 pointer names in `document` ("" names the whole document). Returns false
// and says why in `missing` when there is none there. `pointer` must be valid (see
// UrlExpectationProblem).
bool ResolveJsonPointer(const QJsonValue& document, const QString& pointer, QJsonValue* found,
                        QString* missing);
