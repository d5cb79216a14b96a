#include "core/auxFunc.h"

#include <gtest/gtest.h>

namespace {

TEST(TextHelpers, IsIntegerAcceptsWhatConvertsToA32BitInteger)
{
    struct Case
    {
        const char* text;
        bool ok;
        int value;
    } cases[] = {
        {"0", true, 0},
        {"3306", true, 3306},
        {"  42", true, 42},
        {"-17", true, -17},
        {"+5", true, 5},
        {"$1F", true, 31},
        {"$FFFFFFFF", true, -1},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483647 - 1},
        {"2147483648", false, 0},
        {"", false, 0},
        {"42 ", false, 0},
        {"8a", false, 0},
        {"-", false, 0},
        {"$", false, 0},
        {"1.5", false, 0},
        {"$1G", false, 0},
        {"\t1", false, 0},
    };
    for (const Case& c : cases) {
        int v = 12345;
        EXPECT_EQ(ParseInteger(c.text, &v), c.ok) << c.text;
        EXPECT_EQ(IsInteger(c.text), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

TEST(TextHelpers, HttpPrefixes)
{
    struct Case
    {
        const char* text;
        const char* stripped;
        const char* ensured;
    } cases[] = {
        {"", "", ""},
        {"mail.example", "mail.example", "http://mail.example"},
        {"http://mail.example", "mail.example", "http://mail.example"},
        {"HtTp://Gateway/send", "Gateway/send", "HtTp://Gateway/send"},
        {"abc", "abc", "http://abc"},
        {"https://secure", "https://secure", "https://secure"},
        {"HtTpS://Secure/x", "HtTpS://Secure/x", "HtTpS://Secure/x"},
        {"https:/x", "https:/x", "http://https:/x"},
        {"x http://y", "x y", "http://x http://y"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StripHttpPrefix(c.text), c.stripped) << c.text;
        EXPECT_EQ(EnsureHttpPrefix(c.text), c.ensured) << c.text;
    }
}

TEST(TextHelpers, SmsTemplateAndSyslogText)
{
    EXPECT_EQ(FillSmsTemplate("", "123", "x"), "");
    EXPECT_EQ(FillSmsTemplate("to=$MSISDN&text=$MESSAGE&again=$MSISDN", "  0123 \t", "\r\nDown $MSISDN "),
              "to=0123&text=Down $MSISDN&again=0123");
    EXPECT_EQ(FillSmsTemplate("$msisdn", "1", "2"), "$msisdn");

    EXPECT_EQ(SysLogSafeText("Disk: full"), ":Disk: full");
    EXPECT_EQ(SysLogSafeText(":already"), ":already");
    EXPECT_EQ(SysLogSafeText("no colon"), "no colon");
    EXPECT_EQ(SysLogSafeText(""), "");
}

TEST(TextHelpers, FieldConversions)
{
    EXPECT_EQ(CheckBoxToFlag(true), "1");
    EXPECT_EQ(CheckBoxToFlag(false), "0");
    EXPECT_EQ(EditTextOrZero(""), "0");
    EXPECT_EQ(EditTextOrZero("25"), "25");
    EXPECT_EQ(ZeroToEmpty("0"), "");
    EXPECT_EQ(ZeroToEmpty("00"), "00");
    EXPECT_EQ(ZeroToEmpty(EditTextOrZero("")), "");
    EXPECT_EQ(TrimControl(QString("\x01 \tvalue\r\n ")), "value");
}

} // namespace
