#include "core/auxFunc.h"

#include <limits>

namespace {
const QString kHttpPrefix = QStringLiteral("HTTP://");
}

bool ParseInteger(const QString& text, int* value)
{
    const auto digitValue = [](QChar c) {
        const char16_t u = c.unicode();
        if (u >= '0' && u <= '9')
            return u - '0';
        if (u >= 'a' && u <= 'f')
            return u - 'a' + 10;
        if (u >= 'A' && u <= 'F')
            return u - 'A' + 10;
        return 99;
    };
    int i = 0;
    const int n = text.size();
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    const bool hex = i < n && text[i] == QLatin1Char('$');
    if (hex)
        ++i;
    if (i >= n)
        return false;
    const int base = hex ? 16 : 10;
    // Decimal is bounded by the signed range; hexadecimal names a 32-bit pattern ("$FFFFFFFF" is -1).
    const qint64 limit = hex ? 0xFFFFFFFFLL : (negative ? 0x80000000LL : 0x7FFFFFFFLL);
    qint64 magnitude = 0;
    for (; i < n; ++i) {
        const int digit = digitValue(text[i]);
        if (digit >= base)
            return false;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return false;
    }
    qint64 result = hex ? qint64(static_cast<qint32>(static_cast<quint32>(magnitude))) : magnitude;
    if (negative)
        result = -result;
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min())
        return false;
    if (value)
        *value = static_cast<int>(result);
    return true;
}

bool IsInteger(const QString& text)
{
    return ParseInteger(text, nullptr);
}

int IntegerOr(const QString& text, int fallback)
{
    int v = 0;
    return ParseInteger(text, &v) ? v : fallback;
}

QString TrimControl(const QString& text)
{
    int begin = 0;
    int end = text.size();
    while (begin < end && text[begin].unicode() <= 32)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

QString BlankControls(const QString& text)
{
    QString result = text;
    for (QChar& c : result) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029)
            c = QLatin1Char(' ');
    }
    return result;
}

QString CheckBoxToFlag(bool checked)
{
    return checked ? QStringLiteral("1") : QStringLiteral("0");
}

QString EditTextOrZero(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("0") : text;
}

QString ZeroToEmpty(const QString& text)
{
    return text == QLatin1String("0") ? QString() : text;
}

QString StripHttpPrefix(const QString& text)
{
    QString result = text;
    const int at = result.indexOf(kHttpPrefix, 0, Qt::CaseInsensitive);
    if (at >= 0)
        result.remove(at, kHttpPrefix.size());
    return result;
}

QString EnsureHttpPrefix(const QString& text)
{
    if (text.isEmpty() || text.startsWith(kHttpPrefix, Qt::CaseInsensitive))
        return text;
    return QStringLiteral("http://") + text;
}

QString FillSmsTemplate(const QString& templ, const QString& msisdn, const QString& message)
{
    if (templ.isEmpty())
        return QString();
    QString result = templ;
    result.replace(QStringLiteral("$MSISDN"), TrimControl(msisdn));
    result.replace(QStringLiteral("$MESSAGE"), TrimControl(message));
    return result;
}

QString SysLogSafeText(const QString& text)
{
    const int colon = text.indexOf(QLatin1Char(':'));
    return colon > 0 ? QStringLiteral(":") + text : text;
}
