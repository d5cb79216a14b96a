#include "checks/UrlExpectation.h"

#include "checks/ThreadCheck.h"
#include "core/auxFunc.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>

#include <array>

namespace {

struct ModeName
{
    UrlExpectMode mode;
    const char* key;
    const char* caption;
};

const std::array<ModeName, 5> kModes = {{
    {UrlExpectMode::None, "", "None"},
    {UrlExpectMode::Contains, "contains", "Contains"},
    {UrlExpectMode::NotContains, "not-contains", "Does not contain"},
    {UrlExpectMode::Matches, "matches", "Matches"},
    {UrlExpectMode::JsonValue, "json", "JSON value"},
}};

// A JSON pointer and the value expected there, taken from "POINTER=VALUE".
struct JsonAssertion
{
    QString pointer;
    QJsonValue value;
    QString valueText; // as written, for the failure detail
};

// One JSON value from its text (a scalar as well as an object or array). Returns false and the
// parser's complaint in `error` when the text is not exactly one JSON value.
bool parseJsonValue(const QByteArray& text, QJsonValue* value, QString* error, int* offset = nullptr)
{
    // QJsonDocument reads objects and arrays only: the text goes inside an array of its own.
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson('[' + text + ']', &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = parseError.errorString();
        if (offset)
            *offset = std::max(0, parseError.offset - 1);
        return false;
    }
    const QJsonArray array = doc.array();
    if (array.size() != 1) {
        *error = array.isEmpty() ? QStringLiteral("no value") : QStringLiteral("more than one value");
        if (offset)
            *offset = 0;
        return false;
    }
    *value = array.first();
    return true;
}

// The reference tokens of a pointer with "~1" and "~0" undone; false for a pointer that does not
// begin with "/" (and is not empty) or holds a "~" not followed by "0" or "1".
bool pointerTokens(const QString& pointer, QStringList* tokens)
{
    tokens->clear();
    if (pointer.isEmpty())
        return true;
    if (!pointer.startsWith(QLatin1Char('/')))
        return false;
    for (QString token : pointer.mid(1).split(QLatin1Char('/'))) {
        for (qsizetype i = 0; i < token.size(); ++i) {
            if (token.at(i) == QLatin1Char('~') &&
                (i + 1 >= token.size() ||
                 (token.at(i + 1) != QLatin1Char('0') && token.at(i + 1) != QLatin1Char('1'))))
                return false;
        }
        // "~01" stands for "~1": "~1" is undone first, then "~0".
        token.replace(QStringLiteral("~1"), QStringLiteral("/"));
        token.replace(QStringLiteral("~0"), QStringLiteral("~"));
        tokens->append(token);
    }
    return true;
}

bool splitJsonAssertion(const QString& text, JsonAssertion* assertion, QString* problem)
{
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    if (eq < 0) {
        *problem = QStringLiteral("A JSON value check needs POINTER=VALUE, e.g. /status=\"up\".");
        return false;
    }
    assertion->pointer = text.left(eq).trimmed();
    assertion->valueText = text.mid(eq + 1).trimmed();
    QStringList tokens;
    if (!pointerTokens(assertion->pointer, &tokens)) {
        *problem = QStringLiteral("\"%1\" is not a JSON pointer: it begins with \"/\" (or is empty for the "
                                  "whole document), and \"~\" is written \"~0\", \"/\" inside a name \"~1\".")
                       .arg(assertion->pointer);
        return false;
    }
    QString error;
    if (!parseJsonValue(assertion->valueText.toUtf8(), &assertion->value, &error)) {
        *problem = QStringLiteral("The expected value \"%1\" is not JSON text (%2): write a text in double "
                                  "quotes (\"up\"), a number (3), true, false or null.")
                       .arg(assertion->valueText, error);
        return false;
    }
    return true;
}

// At most kQuoteLength characters of `text`, control characters made blanks, "..." when cut.
QString excerpt(const QString& text)
{
    const QString blank = BlankControls(text);
    qsizetype length = std::min<qsizetype>(blank.size(), ThreadCheck::kQuoteLength);
    if (length < blank.size() && length > 0 && blank.at(length - 1).isHighSurrogate())
        --length;
    return blank.left(length) + (length < blank.size() ? QStringLiteral("...") : QString());
}

QString foundText(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("an empty body") : ThreadCheck::QuoteReceived(text);
}

QString compactJson(const QJsonValue& value)
{
    QJsonDocument doc(QJsonArray{value});
    QByteArray text = doc.toJson(QJsonDocument::Compact);
    return QString::fromUtf8(text.mid(1, text.size() - 2)); // without the surrounding array
}

QString typeName(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("a boolean");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a text");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("nothing");
}

// Whether `token` is an array index as RFC 6901 writes it: "0", or digits without a leading zero.
bool arrayIndex(const QString& token, qsizetype* index)
{
    if (token.isEmpty() || token.size() > 9 || (token.size() > 1 && token.startsWith(QLatin1Char('0'))))
        return false;
    for (QChar c : token) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    *index = token.toLongLong();
    return true;
}

QString judgeJson(const QString& text, const QByteArray& body)
{
    JsonAssertion assertion;
    QString problem;
    if (!splitJsonAssertion(text, &assertion, &problem))
        return problem;
    const QString expected =
        QStringLiteral("expected %1 = %2")
            .arg(assertion.pointer.isEmpty() ? QStringLiteral("the document") : excerpt(assertion.pointer),
                 excerpt(assertion.valueText));
    QJsonValue document;
    QString error;
    int offset = 0;
    if (!parseJsonValue(body, &document, &error, &offset))
        return expected + QStringLiteral(", found no JSON (%1 at byte %2): %3")
                              .arg(error)
                              .arg(offset)
                              .arg(foundText(QString::fromUtf8(body)));
    QJsonValue found;
    QString missing;
    if (!ResolveJsonPointer(document, assertion.pointer, &found, &missing))
        return expected + QStringLiteral(", found ") + missing;
    if (found == assertion.value)
        return QString();
    return expected + QStringLiteral(", found ") + typeName(found) + QLatin1Char(' ') +
           excerpt(compactJson(found));
}

} // namespace

QString UrlExpectModeKey(UrlExpectMode mode)
{
    for (const ModeName& m : kModes) {
        if (m.mode == mode)
            return QString::fromLatin1(m.key);
    }
    return QString();
}

UrlExpectMode UrlExpectModeFromKey(const QString& key)
{
    for (const ModeName& m : kModes) {
        if (!key.isEmpty() && key == QLatin1String(m.key))
            return m.mode;
    }
    return UrlExpectMode::None;
}

QStringList UrlExpectModeCaptions()
{
    QStringList captions;
    for (const ModeName& m : kModes)
        captions << QString::fromLatin1(m.caption);
    return captions;
}

QString UrlExpectModeCaption(UrlExpectMode mode)
{
    for (const ModeName& m : kModes) {
        if (m.mode == mode)
            return QString::fromLatin1(m.caption);
    }
    return QString();
}

QString UrlExpectationProblem(const UrlExpectation& expectation)
{
    switch (expectation.Mode) {
    case UrlExpectMode::None:
        return QString();
    case UrlExpectMode::Contains:
    case UrlExpectMode::NotContains:
        if (expectation.Text.isEmpty())
            return QStringLiteral("Please enter the text expected in the answer.");
        return QString();
    case UrlExpectMode::Matches: {
        if (expectation.Text.isEmpty())
            return QStringLiteral("Please enter the regular expression the answer must match.");
        const QRegularExpression pattern(expectation.Text);
        if (!pattern.isValid())
            return QStringLiteral("The regular expression \"%1\" does not compile: %2 at character %3.")
                .arg(expectation.Text, pattern.errorString())
                .arg(pattern.patternErrorOffset() + 1);
        return QString();
    }
    case UrlExpectMode::JsonValue: {
        JsonAssertion assertion;
        QString problem;
        splitJsonAssertion(expectation.Text, &assertion, &problem);
        return problem;
    }
    }
    return QString();
}

bool ResolveJsonPointer(const QJsonValue& document, const QString& pointer, QJsonValue* found,
                        QString* missing)
{
    QStringList tokens;
    if (!pointerTokens(pointer, &tokens)) {
        *missing = QStringLiteral("an invalid pointer");
        return false;
    }
    QJsonValue current = document;
    for (const QString& token : tokens) {
        if (current.isObject()) {
            const QJsonObject object = current.toObject();
            const auto it = object.constFind(token);
            if (it == object.constEnd()) {
                *missing = QStringLiteral("no member \"%1\"").arg(excerpt(token));
                return false;
            }
            current = it.value();
        } else if (current.isArray()) {
            const QJsonArray array = current.toArray();
            qsizetype index = -1;
            if (!arrayIndex(token, &index) || index >= array.size()) {
                *missing = QStringLiteral("no element \"%1\" in an array of %2")
                               .arg(excerpt(token))
                               .arg(array.size());
                return false;
            }
            current = array.at(index);
        } else {
            *missing = QStringLiteral("%1 where \"%2\" was to be looked up")
                           .arg(typeName(current) + QLatin1Char(' ') + excerpt(compactJson(current)),
                                excerpt(token));
            return false;
        }
    }
    *found = current;
    return true;
}

QString JudgeUrlBody(const UrlExpectation& expectation, const QByteArray& body)
{
    switch (expectation.Mode) {
    case UrlExpectMode::None:
        return QString();
    case UrlExpectMode::Contains: {
        const QString text = QString::fromUtf8(body);
        if (!expectation.Text.isEmpty() && text.contains(expectation.Text))
            return QString();
        return QStringLiteral("expected %1 in the body, found %2")
            .arg(ThreadCheck::QuoteReceived(expectation.Text), foundText(text));
    }
    case UrlExpectMode::NotContains: {
        const QString text = QString::fromUtf8(body);
        const qsizetype at = expectation.Text.isEmpty() ? -1 : text.indexOf(expectation.Text);
        if (at < 0)
            return QString();
        return QStringLiteral("expected no %1 in the body, found %2 at character %3")
            .arg(ThreadCheck::QuoteReceived(expectation.Text), ThreadCheck::QuoteReceived(text.mid(at)))
            .arg(at + 1);
    }
    case UrlExpectMode::Matches: {
        const QRegularExpression pattern(expectation.Text);
        if (!pattern.isValid())
            return UrlExpectationProblem(expectation);
        const QString text = QString::fromUtf8(body);
        if (pattern.match(text).hasMatch())
            return QString();
        return QStringLiteral("expected a match for %1 in the body, found %2")
            .arg(ThreadCheck::QuoteReceived(expectation.Text), foundText(text));
    }
    case UrlExpectMode::JsonValue:
        return judgeJson(expectation.Text, body);
    }
    return QString();
}
