// What a URL service expects in the body of its answer, judged on plain bytes: each mode, JSON
// pointers with their escapes, missing members and type differences, bodies that are not JSON,
// and the texts refused before they are stored.
#include "checks/UrlExpectation.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string judge(UrlExpectMode mode, const QString& text, const QByteArray& body)
{
    return JudgeUrlBody({mode, text}, body).toStdString();
}

const QByteArray kStatusJson = R"({
  "status": "up",
  "count": 3,
  "ok": true,
  "ratio": 0.5,
  "none": null,
  "items": [{"name": "a"}, {"name": "b", "tags": ["x", "y"]}],
  "a/b": "slash",
  "m~n": "tilde",
  "": "empty key",
  "nested": {"deep": {"value": [1, 2, 3]}}
})";

TEST(UrlExpectation, EachModeJudgesTheBody)
{
    struct Case
    {
        const char* name;
        UrlExpectMode mode;
        QString text;
        QByteArray body;
        std::string detail; // empty: the body meets the expectation
    };
    const std::vector<Case> cases = {
        {"contains", UrlExpectMode::Contains, "Welcome", "<h1>Welcome home</h1>", ""},
        {"contains is case-sensitive", UrlExpectMode::Contains, "welcome", "<h1>Welcome</h1>",
         "expected \"welcome\" in the body, found \"<h1>Welcome</h1>\""},
        {"contains in an empty body", UrlExpectMode::Contains, "ok", "",
         "expected \"ok\" in the body, found an empty body"},
        {"contains utf-8 text", UrlExpectMode::Contains, QString::fromUtf8("Grüße"),
         "<p>Gr\xc3\xbc\xc3\x9f"
         "e</p>",
         ""},
        {"not contains, absent", UrlExpectMode::NotContains, "Maintenance", "<p>All fine</p>", ""},
        {"not contains, present: quoted from the match", UrlExpectMode::NotContains, "Maintenance",
         "<html>\r\n<p>Maintenance until 06:00</p>",
         "expected no \"Maintenance\" in the body, found \"Maintenance until 06:00</p>\" at character 12"},
        {"matches", UrlExpectMode::Matches, "Version \\d+\\.\\d+", "Build: Version 12.4 (x)", ""},
        {"matches across lines with (?s)", UrlExpectMode::Matches, "(?s)<head>.*</head>", "<head>\n\n</head>",
         ""},
        {"no match", UrlExpectMode::Matches, "^OK$", "NOT OK",
         "expected a match for \"^OK$\" in the body, found \"NOT OK\""},
        {"json string", UrlExpectMode::JsonValue, "/status=\"up\"", kStatusJson, ""},
        {"json number", UrlExpectMode::JsonValue, "/count=3", kStatusJson, ""},
        {"json number written otherwise", UrlExpectMode::JsonValue, "/count=3.0", kStatusJson, ""},
        {"json boolean", UrlExpectMode::JsonValue, "/ok=true", kStatusJson, ""},
        {"json null", UrlExpectMode::JsonValue, "/none=null", kStatusJson, ""},
        {"json blanks around", UrlExpectMode::JsonValue, " /ratio = 0.5 ", kStatusJson, ""},
        {"json array index", UrlExpectMode::JsonValue, "/items/1/name=\"b\"", kStatusJson, ""},
        {"json deep array", UrlExpectMode::JsonValue, "/nested/deep/value/2=3", kStatusJson, ""},
        {"json escape ~1", UrlExpectMode::JsonValue, "/a~1b=\"slash\"", kStatusJson, ""},
        {"json escape ~0", UrlExpectMode::JsonValue, "/m~0n=\"tilde\"", kStatusJson, ""},
        {"json empty key", UrlExpectMode::JsonValue, "/=\"empty key\"", kStatusJson, ""},
        {"json object compared whole", UrlExpectMode::JsonValue, "/items/0={\"name\":\"a\"}", kStatusJson,
         ""},
        {"json whole document", UrlExpectMode::JsonValue, "=[1,2]", "[1, 2]", ""},
        {"json scalar document", UrlExpectMode::JsonValue, "=\"up\"", "\"up\"\n", ""},
        {"json text is not a boolean", UrlExpectMode::JsonValue, "/ok=\"true\"", kStatusJson,
         "expected /ok = \"true\", found a boolean true"},
        {"json number is not a text", UrlExpectMode::JsonValue, "/count=\"3\"", kStatusJson,
         "expected /count = \"3\", found a number 3"},
        {"json text is not a number", UrlExpectMode::JsonValue, "/status=3", kStatusJson,
         "expected /status = 3, found a text \"up\""},
        {"json other value", UrlExpectMode::JsonValue, "/status=\"down\"", kStatusJson,
         "expected /status = \"down\", found a text \"up\""},
        {"json missing member", UrlExpectMode::JsonValue, "/state=\"up\"", kStatusJson,
         "expected /state = \"up\", found no member \"state\""},
        {"json ~01 is ~1 not /", UrlExpectMode::JsonValue, "/a~01b=\"slash\"", kStatusJson,
         "expected /a~01b = \"slash\", found no member \"a~1b\""},
        {"json index past the end", UrlExpectMode::JsonValue, "/items/2/name=\"c\"", kStatusJson,
         "expected /items/2/name = \"c\", found no element \"2\" in an array of 2"},
        {"json index with leading zero", UrlExpectMode::JsonValue, "/items/01/name=\"b\"", kStatusJson,
         "expected /items/01/name = \"b\", found no element \"01\" in an array of 2"},
        {"json index -", UrlExpectMode::JsonValue, "/items/-=1", kStatusJson,
         "expected /items/- = 1, found no element \"-\" in an array of 2"},
        {"json member of a scalar", UrlExpectMode::JsonValue, "/status/x=1", kStatusJson,
         "expected /status/x = 1, found a text \"up\" where \"x\" was to be looked up"},
        {"json body that is html", UrlExpectMode::JsonValue, "/status=\"up\"", "<html>down</html>",
         "expected /status = \"up\", found no JSON (illegal number at byte 0): \"<html>down</html>\""},
        {"json body cut short", UrlExpectMode::JsonValue, "/status=\"up\"", "{\"status\": \"up\"",
         "expected /status = \"up\", found no JSON (unterminated object at byte 16): \"{\"status\": "
         "\"up\"\""},
        {"json empty body", UrlExpectMode::JsonValue, "/status=\"up\"", "",
         "expected /status = \"up\", found no JSON (no value at byte 0): an empty body"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(judge(c.mode, c.text, c.body), c.detail);
    }
}

TEST(UrlExpectation, FailureDetailQuotesAtMostSixtyCharactersWithoutControls)
{
    QByteArray body = "line one\r\n\tline two\x01";
    body += QByteArray(200, 'z');
    const std::string detail = judge(UrlExpectMode::Contains, "absent", body);
    EXPECT_EQ(detail, "expected \"absent\" in the body, found \"line one   line two " + std::string(40, 'z') +
                          "\"...");
    // A long found value of a JSON document is cut the same way.
    const std::string json =
        judge(UrlExpectMode::JsonValue, "/v=1", "{\"v\": \"" + QByteArray(100, 'q') + "\\n\"}");
    EXPECT_EQ(json, "expected /v = 1, found a text \"" + std::string(59, 'q') + "...");
}

TEST(UrlExpectation, TextsThatCannotRunAreRefusedWithAReason)
{
    struct Case
    {
        const char* name;
        UrlExpectMode mode;
        QString text;
        std::string problemStart; // empty: accepted
    };
    const std::vector<Case> cases = {
        {"none needs nothing", UrlExpectMode::None, "", ""},
        {"contains", UrlExpectMode::Contains, "ok", ""},
        {"empty text", UrlExpectMode::Contains, "", "Please enter the text expected in the answer."},
        {"empty not-contains text", UrlExpectMode::NotContains, "",
         "Please enter the text expected in the answer."},
        {"pattern", UrlExpectMode::Matches, "a(b|c)+", ""},
        {"empty pattern", UrlExpectMode::Matches, "", "Please enter the regular expression"},
        {"unbalanced pattern", UrlExpectMode::Matches, "up(",
         "The regular expression \"up(\" does not compile: "},
        {"bad repeat", UrlExpectMode::Matches, "*up", "The regular expression \"*up\" does not compile: "},
        {"json", UrlExpectMode::JsonValue, "/a/0=\"x\"", ""},
        {"json whole document", UrlExpectMode::JsonValue, "={}", ""},
        {"json without =", UrlExpectMode::JsonValue, "/status", "A JSON value check needs POINTER=VALUE"},
        {"json pointer without /", UrlExpectMode::JsonValue, "status=\"up\"",
         "\"status\" is not a JSON pointer"},
        {"json bad escape", UrlExpectMode::JsonValue, "/a~2b=1", "\"/a~2b\" is not a JSON pointer"},
        {"json trailing ~", UrlExpectMode::JsonValue, "/a~=1", "\"/a~\" is not a JSON pointer"},
        {"json bare word value", UrlExpectMode::JsonValue, "/status=up",
         "The expected value \"up\" is not JSON text"},
        {"json empty value", UrlExpectMode::JsonValue,
         "/status=", "The expected value \"\" is not JSON text"},
        {"json two values", UrlExpectMode::JsonValue, "/status=1,2",
         "The expected value \"1,2\" is not JSON"},
        {"json value breaking out of its array", UrlExpectMode::JsonValue, "/s=1],[2",
         "The expected value \"1],[2\" is not JSON"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string problem = UrlExpectationProblem({c.mode, c.text}).toStdString();
        if (c.problemStart.empty())
            EXPECT_EQ(problem, "");
        else
            EXPECT_EQ(problem.substr(0, c.problemStart.size()), c.problemStart) << problem;
    }
}

TEST(UrlExpectation, StoredKeysAndCaptionsMapToModes)
{
    const std::vector<std::pair<UrlExpectMode, QString>> keys = {
        {UrlExpectMode::None, ""},
        {UrlExpectMode::Contains, "contains"},
        {UrlExpectMode::NotContains, "not-contains"},
        {UrlExpectMode::Matches, "matches"},
        {UrlExpectMode::JsonValue, "json"},
    };
    for (const auto& [mode, key] : keys) {
        EXPECT_EQ(UrlExpectModeKey(mode), key);
        EXPECT_EQ(UrlExpectModeFromKey(key), mode);
    }
    EXPECT_EQ(UrlExpectModeFromKey("Contains"), UrlExpectMode::None) << "keys are exact";
    EXPECT_EQ(UrlExpectModeFromKey("regex"), UrlExpectMode::None);
    EXPECT_EQ(UrlExpectModeCaptions(),
              QStringList({"None", "Contains", "Does not contain", "Matches", "JSON value"}));
}

} // namespace
