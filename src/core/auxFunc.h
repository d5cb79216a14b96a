#pragma once

#include <QString>

// Text helpers shared by the settings loader, the dialogs and the monitoring cycle.

// Converts the whole text to a signed 32-bit integer: optional leading blanks, an optional sign,
// then decimal digits, or hexadecimal digits after a leading "$". Anything else (the empty text,
// trailing blanks, other characters, a value out of range) fails.
bool ParseInteger(const QString& text, int* value);
bool IsInteger(const QString& text);
// ParseInteger with a fallback for text that does not convert.
int IntegerOr(const QString& text, int fallback);

// Removes leading and trailing characters whose codes are 32 or less.
QString TrimControl(const QString& text);
// `text` on one line: every control character (C0 with CR and LF, DEL, C1) and the Unicode line
// and paragraph separators become blanks, so a peer's text cannot start a line of its own.
QString BlankControls(const QString& text);

QString CheckBoxToFlag(bool checked);
QString EditTextOrZero(const QString& text);
QString ZeroToEmpty(const QString& text);
QString StripHttpPrefix(const QString& text);
QString EnsureHttpPrefix(const QString& text);
QString FillSmsTemplate(const QString& templ, const QString& msisdn, const QString& message);
QString SysLogSafeText(const QString& text);
