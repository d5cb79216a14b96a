// The CSV record format: which fields are quoted and how, line ends, UTF-8, and the ISO 8601 times.
#include "core/CsvWriter.h"

#include <gtest/gtest.h>

namespace {

TEST(CsvWriter, FieldsAreQuotedExactlyWhenAReaderWouldOtherwiseSplitOrTrimThem)
{
    struct Case
    {
        const char* value;
        const char* written;
    } cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"inner blank", "inner blank"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"\"", "\"\"\"\""},
        {"line\nbreak", "\"line\nbreak\""},
        {"carriage\rreturn", "\"carriage\rreturn\""},
        {"crlf\r\n", "\"crlf\r\n\""},
        {" leading", "\" leading\""},
        {"trailing ", "\"trailing \""},
        {"\ttab", "\"\ttab\""},
        {" ", "\" \""},
        {"semi;colon", "semi;colon"},
        {"single'quote", "single'quote"},
        {"Grüße, 東京", "\"Grüße, 東京\""},
        {"Ünïcödé", "Ünïcödé"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CsvField(QString::fromUtf8(c.value)), QString::fromUtf8(c.written)) << c.value;
    }
}

TEST(CsvWriter, ARecordJoinsItsFieldsWithCommasEndsWithCrLfAndIsUtf8)
{
    EXPECT_EQ(CsvRecord({"a", "b c", "d,e"}), QByteArray("a,b c,\"d,e\"\r\n"));
    EXPECT_EQ(CsvRecord({"", "", ""}), QByteArray(",,\r\n"));
    EXPECT_EQ(CsvRecord({}), QByteArray("\r\n"));
    EXPECT_EQ(CsvRecord({QStringLiteral("é")}), QByteArray("\xc3\xa9\r\n"));
    EXPECT_EQ(CsvRecord({QString(QChar(0x20AC))}), QByteArray("\xe2\x82\xac\r\n"));
}

TEST(CsvWriter, TimesAreWrittenInIso8601)
{
    const QDate day(2024, 3, 10);
    struct Case
    {
        QDateTime time;
        const char* written;
    } cases[] = {
        {QDateTime(day, QTime(7, 5, 9)), "2024-03-10T07:05:09"},
        {QDateTime(day, QTime(23, 59, 59, 120)), "2024-03-10T23:59:59.120"},
        {QDateTime(day, QTime(0, 0), Qt::UTC), "2024-03-10T00:00:00Z"},
        {QDateTime(day, QTime(12, 0), Qt::OffsetFromUTC, 2 * 3600), "2024-03-10T12:00:00+02:00"},
        {QDateTime(day, QTime(12, 0), Qt::OffsetFromUTC, -(3 * 3600 + 30 * 60)), "2024-03-10T12:00:00-03:30"},
        {QDateTime(), ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CsvDateTime(c.time), QString::fromLatin1(c.written)) << c.written;

    struct TextCase
    {
        const char* database;
        const char* written;
    } texts[] = {
        {"2024-03-10 12:00:00", "2024-03-10T12:00:00"},
        {"2024-03-10 12:00:00.250", "2024-03-10T12:00:00.250"},
        {"0000-00-00 00:00:00", "0000-00-00T00:00:00"},
        {"", ""},
        {"not a time at all here", "not a time at all here"},
        {"2024-03-10", "2024-03-10"},
    };
    for (const TextCase& c : texts)
        EXPECT_EQ(CsvDateTimeText(QString::fromLatin1(c.database)), QString::fromLatin1(c.written))
            << c.database;
}

} // namespace
