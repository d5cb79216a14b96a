// The HTTP answer parser on plain byte strings: framing of every kind of body, whatever the
// size of the pieces it is fed in, and refusal of malformed or oversized answers with bounded
// memory.
#include "net/HttpParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using BodyKind = HttpResponseParser::BodyKind;

// Feeds `bytes` in pieces of `piece` bytes (0: all at once) and returns the bytes used.
qsizetype feedInPieces(HttpResponseParser& parser, const QByteArray& bytes, qsizetype piece)
{
    if (piece <= 0)
        return parser.feed(bytes);
    qsizetype used = 0;
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        const QByteArray part = bytes.mid(at, piece);
        const qsizetype n = parser.feed(part);
        used += n;
        if (n < part.size())
            break;
    }
    return used;
}

struct FramingCase
{
    const char* name;
    QByteArray answer;
    bool headRequest;
    bool needsClose; // complete only once the peer closes
    int code;
    QByteArray statusLine;
    BodyKind kind;
    qint64 bodyBytes;
    qsizetype leftOver; // bytes after the end of the answer
};

std::vector<FramingCase> framingCases()
{
    return {
        {"content_length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloXYZ", false, false, 200,
         "HTTP/1.1 200 OK", BodyKind::Length, 5, 3},
        {"content_length_zero", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false, false, 200,
         "HTTP/1.1 200 OK", BodyKind::Length, 0, 0},
        {"repeated_equal_lengths", "HTTP/1.1 200 OK\r\nContent-Length: 3, 3\r\ncontent-length: 3\r\n\r\nabc",
         false, false, 200, "HTTP/1.1 200 OK", BodyKind::Length, 3, 0},
        {"chunked_with_extension_and_trailer",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4;name=v\r\nWiki\r\n5\r\npedia\r\nA "
         "\r\n0123456789"
         "\r\n0\r\nX-Trailer: 1\r\n\r\nNEXT",
         false, false, 200, "HTTP/1.1 200 OK", BodyKind::Chunked, 19, 4},
        {"chunked_bare_lf", "HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n3\nabc\n0\n\n", false, false, 200,
         "HTTP/1.1 200 OK", BodyKind::Chunked, 3, 0},
        {"chunked_upper_hex_and_leading_zeros",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: CHUNKED\r\n\r\n000B\r\nhello world\r\n0\r\n\r\n", false,
         false, 200, "HTTP/1.1 200 OK", BodyKind::Chunked, 11, 0},
        {"chunked_beats_content_length",
         "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nTransfer-Encoding: gzip, "
         "chunked\r\n\r\n2\r\nab\r\n0\r\n\r\n",
         false, false, 200, "HTTP/1.1 200 OK", BodyKind::Chunked, 2, 0},
        {"until_close", "HTTP/1.0 200 OK\r\nServer: x\r\n\r\nsome body bytes", false, true, 200,
         "HTTP/1.0 200 OK", BodyKind::UntilClose, 15, 0},
        {"other_coding_until_close", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\n\x1f\x8b\x08", false,
         true, 200, "HTTP/1.1 200 OK", BodyKind::UntilClose, 3, 0},
        {"head_ignores_length", "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", true, false, 200,
         "HTTP/1.1 200 OK", BodyKind::None, 0, 0},
        {"no_content", "HTTP/1.1 204 No Content\r\nContent-Length: 10\r\n\r\nX", false, false, 204,
         "HTTP/1.1 204 No Content", BodyKind::None, 0, 1},
        {"not_modified", "HTTP/1.1 304 Not Modified\r\nTransfer-Encoding: chunked\r\n\r\n", false, false, 304,
         "HTTP/1.1 304 Not Modified", BodyKind::None, 0, 0},
        // Interim answers are dropped; the answer after them is the one read.
        {"interim_answers_before_the_answer",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\nX-Step: 1\r\n\r\n"
         "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokZ",
         false, false, 200, "HTTP/1.1 200 OK", BodyKind::Length, 2, 1},
        {"interim_answer_before_head_answer",
         "HTTP/1.1 103 Early Hints\r\nLink: </s.css>\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n",
         true, false, 200, "HTTP/1.1 200 OK", BodyKind::None, 0, 0},
        // 101 is no interim answer: it ends the answer, without a body.
        {"switching_protocols", "HTTP/1.1 101 Switching Protocols\r\nUpgrade: h2c\r\n\r\nh2c!", false, false,
         101, "HTTP/1.1 101 Switching Protocols", BodyKind::None, 0, 4},
        {"no_reason_phrase", "HTTP/1.1 404\r\nContent-Length: 1\r\n\r\nx", false, false, 404, "HTTP/1.1 404",
         BodyKind::Length, 1, 0},
        {"status_line_trimmed", "HTTP/1.1  503 Service Unavailable \t \r\nContent-Length: 0\r\n\r\n", false,
         false, 503, "HTTP/1.1  503 Service Unavailable", BodyKind::Length, 0, 0},
    };
}

class ParserFraming : public ::testing::TestWithParam<qsizetype>
{
};

TEST_P(ParserFraming, EveryBodyKindEndsWhereItShould)
{
    const qsizetype piece = GetParam();
    for (const FramingCase& c : framingCases()) {
        SCOPED_TRACE(c.name);
        HttpResponseParser parser(c.headRequest);
        const qsizetype used = feedInPieces(parser, c.answer, piece);
        EXPECT_TRUE(parser.headComplete());
        EXPECT_EQ(parser.complete(), !c.needsClose);
        if (c.needsClose) {
            parser.finish();
            EXPECT_TRUE(parser.complete());
        }
        EXPECT_EQ(c.answer.size() - used, c.leftOver);
        EXPECT_EQ(parser.statusCode(), c.code);
        EXPECT_EQ(parser.statusLine(), c.statusLine);
        EXPECT_EQ(parser.bodyKind(), c.kind);
        EXPECT_EQ(parser.bodyBytes(), c.bodyBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(Pieces, ParserFraming, ::testing::Values(0, 1, 2, 7),
                         [](const ::testing::TestParamInfo<qsizetype>& p) {
                             return p.param == 0 ? std::string("whole")
                                                 : "pieces_of_" + std::to_string(p.param);
                         });

TEST(HttpParser, KeptBodyIsTheFirstBytesWithoutChunkFraming)
{
    struct Case
    {
        const char* name;
        QByteArray answer;
        qsizetype keep;
        QByteArray body;
    };
    const std::vector<Case> cases = {
        {"length_all", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", 100, "hello"},
        {"length_cut", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", 3, "hel"},
        {"chunked_across_chunks",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n3\r\ndef\r\n0\r\n\r\n", 5,
         "abcde"},
        {"until_close", "HTTP/1.0 200 OK\r\n\r\nsome body", 4, "some"},
        {"none_kept", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", 0, ""},
    };
    for (qsizetype piece : {0, 1, 4}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " in pieces of " + std::to_string(piece));
            HttpResponseParser parser;
            parser.keepBody(c.keep);
            feedInPieces(parser, c.answer, piece);
            if (!parser.complete())
                parser.finish();
            EXPECT_EQ(parser.body(), c.body);
        }
    }
}

// Until the answer's own status line arrives there is no status; an interim answer's header
// fields never stand for the answer's.
TEST(HttpParser, InterimAnswersLeaveNoStatusOrHeaders)
{
    HttpResponseParser parser;
    parser.feed(QByteArray("HTTP/1.1 100 Continue\r\nLocation: /elsewhere\r\n\r\nHTTP/1.1 2"));
    EXPECT_EQ(parser.statusCode(), 0);
    EXPECT_EQ(parser.statusLine(), QByteArray());
    EXPECT_FALSE(parser.headComplete());
    EXPECT_EQ(parser.interimStatusLine(), "HTTP/1.1 100 Continue");
    parser.feed(QByteArray("04 No Content\r\nContent-Length: 0\r\n\r\n"));
    ASSERT_TRUE(parser.complete());
    EXPECT_EQ(parser.statusCode(), 204);
    EXPECT_FALSE(parser.hasHeader("Location"));
    EXPECT_EQ(parser.headers().size(), 1);
}

TEST(HttpParser, HeadersKeepOrderAndAreFoundIgnoringCase)
{
    HttpResponseParser parser;
    parser.feed(QByteArray("HTTP/1.1 302 Found\r\nLocation:  /next \r\nX-Multi: a\r\n  b\r\n"
                           "location: /second\r\nContent-Length: 0\r\n\r\n"));
    ASSERT_TRUE(parser.complete());
    EXPECT_EQ(parser.header("LOCATION"), "/next");
    EXPECT_EQ(parser.header("x-multi"), "a b");
    EXPECT_TRUE(parser.hasHeader("content-length"));
    EXPECT_FALSE(parser.hasHeader("Set-Cookie"));
    EXPECT_EQ(parser.header("Set-Cookie"), QByteArray());
    ASSERT_EQ(parser.headers().size(), 4);
    EXPECT_EQ(parser.headers()[2].first, "location");
}

struct ErrorCase
{
    const char* name;
    QByteArray answer;
    bool atFinish; // the fault shows only when the peer closes
    const char* message;
};

TEST(HttpParser, MalformedOrCutOffAnswersAreRefusedWithAClearMessage)
{
    const std::vector<ErrorCase> cases = {
        {"binary_garbage_without_line_end", QByteArray("\x16\x03\x01\x02\x00", 5), false,
         "malformed status line: \"\\x16"},
        {"text_instead_of_status", "<html>hello</html>\r\n", false, "malformed status line: \"<"},
        {"four_digit_code", "HTTP/1.1 2000 OK\r\n", false, "malformed status line"},
        {"two_digit_code", "HTTP/1.1 20 OK\r\n", false, "malformed status line"},
        {"no_code", "HTTP/1.1 OK\r\n", false, "malformed status line"},
        {"bad_version", "HTTP/x.1 200 OK\r\n", false, "malformed status line"},
        {"code_below_100", "HTTP/1.1 099 Odd\r\n", false, "malformed status line"},
        {"control_byte_in_reason", "HTTP/1.1 200 O\x01K\r\n", false, "malformed status line"},
        {"header_without_colon", "HTTP/1.1 200 OK\r\nno colon here\r\n", false, "malformed header line"},
        {"header_with_empty_name", "HTTP/1.1 200 OK\r\n: value\r\n", false, "malformed header line"},
        {"space_in_header_name", "HTTP/1.1 200 OK\r\nBad Name: v\r\n", false, "malformed header line"},
        {"fold_before_any_header", "HTTP/1.1 200 OK\r\n folded\r\n", false, "malformed header line"},
        {"letters_in_length", "HTTP/1.1 200 OK\r\nContent-Length: 12a\r\n\r\n", false,
         "invalid Content-Length"},
        {"negative_length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", false, "invalid Content-Length"},
        {"conflicting_lengths", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n", false,
         "invalid Content-Length"},
        {"overflowing_length", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n", false,
         "invalid Content-Length"},
        {"chunk_size_two_to_the_63",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n8000000000000000\r\n", false,
         "chunk size too large"},
        {"chunk_size_many_digits",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1000000000000000000\r\n", false,
         "chunk size too large"},
        {"chunk_size_not_hex", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", false,
         "malformed chunk size line"},
        {"chunk_size_empty", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n\r\n", false,
         "malformed chunk size line"},
        {"chunk_data_too_long", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabc\r\n", false,
         "chunk data not followed by CR LF"},
        {"closed_before_anything", "", true, "connection closed before an answer arrived"},
        {"closed_in_status_line", "HTTP/1.1 2", true, "connection closed in the middle of the status line"},
        {"closed_in_headers", "HTTP/1.1 200 OK\r\nServer: x\r\n", true,
         "connection closed in the middle of the answer headers"},
        {"closed_after_interim_answer", "HTTP/1.1 100 Continue\r\n\r\n", true,
         "connection closed after \"HTTP/1.1 100 Continue\" before the answer arrived"},
        {"closed_in_interim_headers", "HTTP/1.1 102 Processing\r\nX: 1\r\n", true,
         "connection closed in the middle of the headers of \"HTTP/1.1 102 Processing\""},
        {"malformed_after_interim_answer", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 2x0 OK\r\n", false,
         "malformed status line"},
        {"closed_in_length_body", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nab", true,
         "connection closed after 2 of 5 body bytes"},
        {"closed_in_chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab", true,
         "connection closed in the middle of a chunked body"},
        {"closed_before_last_chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n", true,
         "connection closed in the middle of a chunked body"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (qsizetype piece : {0, 1}) {
            HttpResponseParser parser;
            std::string message;
            bool thrownAtFeed = false;
            try {
                feedInPieces(parser, c.answer, piece);
            } catch (const HttpError& e) {
                message = e.what();
                thrownAtFeed = true;
            }
            if (!thrownAtFeed) {
                try {
                    parser.finish();
                } catch (const HttpError& e) {
                    message = e.what();
                }
            }
            // Faults in the bytes are found while feeding; a cut-off answer only at the close.
            EXPECT_EQ(thrownAtFeed, !c.atFinish);
            EXPECT_NE(message.find(c.message), std::string::npos) << "message: " << message;
        }
    }
}

TEST(HttpParser, LargestChunkSizeIsAcceptedAndItsDataCounted)
{
    HttpResponseParser parser;
    parser.feed(QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7fffffffffffffff\r\nabc"));
    EXPECT_FALSE(parser.complete());
    EXPECT_EQ(parser.bodyBytes(), 3);
}

// Endless or huge lines are refused once they pass their limit; the parser never needs the rest.
TEST(HttpParser, OversizedLinesAreRefusedWithoutHoldingThem)
{
    struct Case
    {
        const char* name;
        QByteArray head;
        char filler;
        const char* message;
        qsizetype limit;
    };
    const std::vector<Case> cases = {
        {"endless_status_line", "HTTP/1.1 200 ", 'a', "status line longer than 8192 bytes",
         HttpResponseParser::kMaxStatusLine},
        {"ten_megabyte_header", "HTTP/1.1 200 OK\r\nX-Big: ", 'b', "header line longer than 65536 bytes",
         HttpResponseParser::kMaxHeaderLine},
        {"endless_chunk_line", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1;", 'c',
         "chunk size line longer than 4096 bytes", HttpResponseParser::kMaxChunkLine},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpResponseParser parser;
        parser.feed(c.head);
        const QByteArray piece(16 * 1024, c.filler);
        qsizetype fed = 0;
        std::string message;
        try {
            while (fed < 10 * 1024 * 1024) {
                parser.feed(piece);
                fed += piece.size();
            }
        } catch (const HttpError& e) {
            message = e.what();
        }
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        EXPECT_LE(fed, c.limit + piece.size());
    }
}

TEST(HttpParser, ManyHeadersAreBoundedAsAWhole)
{
    HttpResponseParser parser;
    parser.feed(QByteArray("HTTP/1.1 200 OK\r\n"));
    const QByteArray line = "X-Filler: " + QByteArray(1000, 'x') + "\r\n";
    std::string message;
    int lines = 0;
    try {
        for (; lines < 10000; ++lines)
            parser.feed(line);
    } catch (const HttpError& e) {
        message = e.what();
    }
    EXPECT_NE(message.find("answer headers longer than"), std::string::npos) << message;
    EXPECT_LE(lines * line.size(), HttpResponseParser::kMaxHead + line.size());
}

// A peer that sends interim answers without end is refused like an endless head.
TEST(HttpParser, EndlessInterimAnswersAreBoundedAsOneHead)
{
    HttpResponseParser parser;
    const QByteArray interim = "HTTP/1.1 100 Continue\r\n\r\n";
    std::string message;
    int answers = 0;
    try {
        for (; answers < 100000; ++answers)
            parser.feed(interim);
    } catch (const HttpError& e) {
        message = e.what();
    }
    EXPECT_NE(message.find("answer headers longer than"), std::string::npos) << message;
    EXPECT_LE(answers * interim.size(), HttpResponseParser::kMaxHead + interim.size());
}

TEST(HttpParser, PrintableExcerptEscapesAndShortens)
{
    EXPECT_EQ(PrintableExcerpt(QByteArray("ok\r\n\xff", 5)), "ok\\x0D\\x0A\\xFF");
    EXPECT_EQ(PrintableExcerpt(QByteArray(100, 'z'), 4), "zzzz...");
}

} // namespace
