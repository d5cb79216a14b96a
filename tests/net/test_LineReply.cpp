// Where a reply of SMTP/FTP, POP3 and IMAP ends, on plain strings fed in every possible split,
// and the engine that drives the parsers over a real connection to a scripted server.
#include "net/LineClient.h"
#include "net/LineReply.h"

#include "support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

enum class Rule
{
    Numeric,
    Pop3,
    Imap,
    ImapTagC1
};

std::unique_ptr<ReplyParser> makeParser(Rule rule)
{
    switch (rule) {
    case Rule::Numeric:
        return std::make_unique<NumericReplyParser>();
    case Rule::Pop3:
        return std::make_unique<Pop3ReplyParser>();
    case Rule::Imap:
        return std::make_unique<ImapReplyParser>();
    case Rule::ImapTagC1: {
        auto parser = std::make_unique<ImapReplyParser>();
        parser->setTag("C1");
        return parser;
    }
    }
    return nullptr;
}

struct ReplyCase
{
    const char* name;
    Rule rule;
    std::string input;
    bool complete;
    std::size_t used; // bytes taken (the rest belongs to the next reply)
    int code;
    std::string status;
    std::vector<std::string> lines;
};

// Feeds `input` split at the given points and returns the bytes the parser took.
std::size_t feedSplit(ReplyParser& parser, const std::string& input, const std::vector<std::size_t>& cuts)
{
    std::size_t used = 0;
    std::size_t from = 0;
    std::vector<std::size_t> points = cuts;
    points.push_back(input.size());
    for (std::size_t to : points) {
        const std::string piece = input.substr(from, to - from);
        const std::size_t n = parser.feed(piece);
        used += n;
        if (n < piece.size())
            return used;
        from = to;
    }
    return used;
}

class ReplyParsing : public ::testing::TestWithParam<ReplyCase>
{
};

TEST_P(ReplyParsing, SameResultWhateverThePieces)
{
    const ReplyCase& c = GetParam();
    std::vector<std::vector<std::size_t>> splits = {{}};
    for (std::size_t i = 1; i < c.input.size(); ++i)
        splits.push_back({i});
    std::vector<std::size_t> everyByte;
    for (std::size_t i = 1; i < c.input.size(); ++i)
        everyByte.push_back(i);
    splits.push_back(everyByte);

    for (const auto& cuts : splits) {
        auto parser = makeParser(c.rule);
        const std::size_t used = feedSplit(*parser, c.input, cuts);
        const std::string where = "cut into " + std::to_string(cuts.size() + 1) + " pieces" +
                                  (cuts.size() == 1 ? " at " + std::to_string(cuts[0]) : "");
        ASSERT_EQ(parser->complete(), c.complete) << where;
        EXPECT_EQ(used, c.used) << where;
        EXPECT_EQ(parser->reply().code, c.code) << where;
        EXPECT_EQ(parser->reply().status, c.status) << where;
        EXPECT_EQ(parser->reply().lines, c.lines) << where;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplyParsing,
    ::testing::Values(
        ReplyCase{"smtp_single", Rule::Numeric, "220 mail ready\r\n", true, 16, 220, "", {"220 mail ready"}},
        ReplyCase{"smtp_multi",
                  Rule::Numeric,
                  "250-mx hello\r\n250-AUTH LOGIN PLAIN\r\n250 8BITMIME\r\n",
                  true,
                  50,
                  250,
                  "",
                  {"250-mx hello", "250-AUTH LOGIN PLAIN", "250 8BITMIME"}},
        ReplyCase{"bare_code", Rule::Numeric, "250\r\n", true, 5, 250, "", {"250"}},
        ReplyCase{"lf_only", Rule::Numeric, "220-a\n220 b\n", true, 12, 220, "", {"220-a", "220 b"}},
        ReplyCase{"ftp_free_inner_lines",
                  Rule::Numeric,
                  "230-Welcome\r\n 230 not the end\r\n230-still\r\n230 done\r\n",
                  true,
                  52,
                  230,
                  "",
                  {"230-Welcome", " 230 not the end", "230-still", "230 done"}},
        ReplyCase{"other_code_does_not_end",
                  Rule::Numeric,
                  "250-a\r\n251 b\r\n",
                  false,
                  14,
                  250,
                  "",
                  {"250-a", "251 b"}},
        ReplyCase{
            "next_reply_left_over", Rule::Numeric, "220 hi\r\n250 ok\r\n", true, 8, 220, "", {"220 hi"}},
        ReplyCase{"unfinished_line", Rule::Numeric, "220 hal", false, 7, 0, "", {}},
        ReplyCase{"pop3_ok", Rule::Pop3, "+OK POP3 ready\r\n", true, 16, 0, "+OK", {"+OK POP3 ready"}},
        ReplyCase{"pop3_err", Rule::Pop3, "-ERR denied\r\nrest", true, 13, 0, "-ERR", {"-ERR denied"}},
        ReplyCase{"pop3_other", Rule::Pop3, "HELLO\r\n", true, 7, 0, "", {"HELLO"}},
        ReplyCase{"imap_greeting",
                  Rule::Imap,
                  "* OK [CAPABILITY IMAP4rev1] ready\r\n",
                  true,
                  35,
                  0,
                  "OK",
                  {"* OK [CAPABILITY IMAP4rev1] ready"}},
        ReplyCase{"imap_greeting_lower_case",
                  Rule::Imap,
                  "* preauth hi\r\n",
                  true,
                  14,
                  0,
                  "PREAUTH",
                  {"* preauth hi"}},
        ReplyCase{"imap_tagged",
                  Rule::ImapTagC1,
                  "* CAPABILITY IMAP4rev1\r\n* 3 EXISTS\r\nC1 OK done\r\n",
                  true,
                  48,
                  0,
                  "OK",
                  {"* CAPABILITY IMAP4rev1", "* 3 EXISTS", "C1 OK done"}},
        ReplyCase{"imap_longer_tag_is_not_ours",
                  Rule::ImapTagC1,
                  "C10 OK x\r\nC1 NO bad login\r\n",
                  true,
                  27,
                  0,
                  "NO",
                  {"C10 OK x", "C1 NO bad login"}},
        ReplyCase{"imap_untagged_only",
                  Rule::ImapTagC1,
                  "* BYE going away\r\n",
                  false,
                  18,
                  0,
                  "",
                  {"* BYE going away"}}),
    [](const ::testing::TestParamInfo<ReplyCase>& p) { return std::string(p.param.name); });

struct MalformedCase
{
    const char* name;
    Rule rule;
    std::string input;
    std::string message;
};

class MalformedReplies : public ::testing::TestWithParam<MalformedCase>
{
};

TEST_P(MalformedReplies, AreRefusedWithAClearMessage)
{
    const MalformedCase& c = GetParam();
    auto parser = makeParser(c.rule);
    try {
        parser->feed(c.input);
        FAIL() << "accepted";
    } catch (const ProtocolError& e) {
        EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        EXPECT_LT(std::string(e.what()).size(), 400u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedReplies,
    ::testing::Values(
        MalformedCase{"no_code", Rule::Numeric, "hello there\r\n", "malformed reply \"hello there\""},
        MalformedCase{"letters_in_code", Rule::Numeric, "2x0 ok\r\n", "malformed reply"},
        MalformedCase{"four_digits", Rule::Numeric, "2500 ok\r\n", "malformed reply"},
        MalformedCase{"empty_line", Rule::Numeric, "\r\n", "malformed reply"},
        MalformedCase{"binary_garbage", Rule::Numeric, std::string("\x01\x02\0\xff\n", 5), "malformed reply"},
        MalformedCase{"endless_line", Rule::Numeric, std::string(70000, 'x'), "reply line longer than 65536"},
        MalformedCase{"endless_line_pop3", Rule::Pop3, "+OK " + std::string(70000, 'x'), "longer than 65536"},
        MalformedCase{"endless_multiline", Rule::Numeric,
                      [] {
                          std::string s;
                          while (s.size() < 1100 * 1024)
                              s += "250-" + std::string(100, 'm') + "\r\n";
                          return s;
                      }(),
                      "reply longer than 1048576 bytes"}),
    [](const ::testing::TestParamInfo<MalformedCase>& p) { return std::string(p.param.name); });

TEST(ReplyParser, ResetStartsAFreshReply)
{
    NumericReplyParser parser;
    EXPECT_EQ(parser.feed("250-a\r\n250 b\r\n"), 14u);
    ASSERT_TRUE(parser.complete());
    EXPECT_EQ(parser.feed("354 go\r\n"), 0u) << "a complete reply takes nothing more";
    parser.reset();
    EXPECT_EQ(parser.feed("354 go\r\n"), 8u);
    EXPECT_EQ(parser.reply().code, 354);
    EXPECT_EQ(parser.reply().lines, std::vector<std::string>{"354 go"});
}

TEST(Printable, ControlCharactersBecomeSpacesAndLongTextIsCut)
{
    EXPECT_EQ(Printable(std::string("a\r\nb\0c\x7f", 7)), "a  b c ");
    EXPECT_EQ(Printable(std::string(600, 'x')), std::string(512, 'x') + "...");
    EXPECT_EQ(Printable("caf\xc3\xa9"), "caf\xc3\xa9");
    LineReply reply;
    reply.lines = {"250-first", "250 second"};
    EXPECT_EQ(reply.text(), "250-first 250 second");
}

// ---------------------------------------------------------------------------------------------
// The engine on a real connection.

TEST(LineClient, SendsExactCommandsAndReadsRepliesSplitAcrossSegments)
{
    ScriptedServer server;
    server.send("220-mail.example").pause(30).send(" ESMTP\r\n220 ready\r").pause(30).send("\n");
    server.expectLine("EHLO client").send("250-mail\r\n").pause(30).send("250 SIZE 100\r\n354 extra\r\n");
    server.readRest();
    server.start();

    LineClient client;
    client.connect("127.0.0.1", server.port(), 2000);
    NumericReplyParser parser;
    const LineReply greeting = client.readReply(parser);
    EXPECT_EQ(greeting.code, 220);
    EXPECT_EQ(greeting.lines, (std::vector<std::string>{"220-mail.example ESMTP", "220 ready"}));
    const LineReply hello = client.command("EHLO client", parser);
    EXPECT_EQ(hello.code, 250);
    EXPECT_EQ(hello.lines.size(), 2u);
    // A reply that came in the same segment as the previous one is kept for the next read.
    EXPECT_EQ(client.readReply(parser).code, 354);
    client.sendLine("QUIT");
    client.close();
    ASSERT_TRUE(server.wait());
    EXPECT_EQ(server.received(), (std::vector<std::string>{"EHLO client", "QUIT"}));
    EXPECT_TRUE(server.failures().empty());
}

TEST(LineClient, CommandWithLineBreakIsRefusedBeforeAnythingIsSent)
{
    ScriptedServer server;
    server.readRest();
    server.start();
    LineClient client;
    client.connect("127.0.0.1", server.port(), 2000);
    EXPECT_THROW(client.sendLine("PASS secret\r\nDELE 1"), ProtocolError);
    EXPECT_THROW(client.sendLine("USER a\nb"), ProtocolError);
    client.close();
    ASSERT_TRUE(server.wait());
    EXPECT_TRUE(server.received().empty());
}

struct FaultCase
{
    const char* name;
    std::function<void(ScriptedServer&)> script;
    std::string message; // fragment of the error
};

class LineClientFaults : public ::testing::TestWithParam<FaultCase>
{
};

TEST_P(LineClientFaults, EndInABoundedClearError)
{
    const FaultCase& c = GetParam();
    ScriptedServer server;
    c.script(server);
    server.start();
    LineClient client;
    client.connect("127.0.0.1", server.port(), 400);
    NumericReplyParser parser;
    try {
        client.readReply(parser);
        FAIL() << "a reply was accepted";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    client.close();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LineClientFaults,
    ::testing::Values(
        FaultCase{"silence", [](ScriptedServer& s) { s.silence(10000); },
                  "no complete reply from 127.0.0.1:"},
        FaultCase{"trickle", [](ScriptedServer& s) { s.trickle("220 slowly, slowly\r\n", 60).silence(); },
                  "within 400 ms"},
        FaultCase{"endless_multiline_slowly",
                  [](ScriptedServer& s) {
                      for (int i = 0; i < 40; ++i)
                          s.sendLine("220-more").pause(20);
                      s.silence();
                  },
                  "no complete reply"},
        FaultCase{"closed_without_reply", [](ScriptedServer& s) { s.close(); }, "without a reply"},
        FaultCase{"closed_mid_line", [](ScriptedServer& s) { s.send("220 cut").close(); },
                  "in the middle of a reply"},
        FaultCase{"closed_mid_multiline", [](ScriptedServer& s) { s.send("220-one\r\n").close(); },
                  "in the middle of a reply"},
        FaultCase{"garbage",
                  [](ScriptedServer& s) { s.send(std::string("\x16\x03\x01\x02\0\n", 6)).silence(); },
                  "malformed reply"}),
    [](const ::testing::TestParamInfo<FaultCase>& p) { return std::string(p.param.name); });

} // namespace
