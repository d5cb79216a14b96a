#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

#include <stdexcept>

// An HTTP answer that cannot be accepted: malformed, too large, cut short, a status that fails.
class HttpError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Reads one HTTP/1.x answer (RFC 7230) from bytes handed over in pieces of any size. It does no
// I/O: the caller feeds what the connection brings and calls finish() when the peer closes.
//
// The status line and the headers are kept; the body is counted and discarded, whatever its
// framing (Content-Length, chunked or until the connection closes), except for its first bytes
// when the caller asks for them (keepBody). Every line has a size limit, so a hostile peer cannot
// make the parser hold more than about kMaxHead bytes plus the kept part of the body.
//
// Interim answers (RFC 9110, section 15.2: a 1xx status other than 101 Switching Protocols, such
// as 100 Continue or 102 Processing) that come before the answer are read and dropped; only the
// last one's status line is kept (interimStatusLine()). Their heads count towards kMaxHead
// together with the answer's own, so an endless run of them is refused like an endless head.
// 101 ends the answer like any other status without a body.
class HttpResponseParser
{
public:
    static constexpr qsizetype kMaxStatusLine = 8 * 1024;
    static constexpr qsizetype kMaxHeaderLine = 64 * 1024;
    static constexpr qsizetype kMaxHead = 256 * 1024;
    static constexpr qsizetype kMaxChunkLine = 4 * 1024;

    enum class BodyKind
    {
        None,
        Length,
        Chunked,
        UntilClose
    };

    // `headRequest`: the answer belongs to a HEAD request and has no body whatever its headers say.
    explicit HttpResponseParser(bool headRequest = false);

    // Takes bytes of the answer and returns how many of them it used; bytes after the end of the
    // answer are left over. Throws HttpError when the answer is malformed or exceeds a limit.
    qsizetype feed(const char* data, qsizetype size);
    qsizetype feed(const QByteArray& data) { return feed(data.constData(), data.size()); }

    // The peer closed the connection in order: ends a body that runs until the close, and throws
    // HttpError when the answer is not complete yet.
    void finish();

    bool headComplete() const { return m_stage > Stage::Headers; }
    bool complete() const { return m_stage == Stage::Done; }

    // Valid once the status line of the answer has been read (0 and empty before, also while
    // interim answers are read): the code and the line trimmed at both ends.
    int statusCode() const { return m_statusCode; }
    const QByteArray& statusLine() const { return m_statusLine; }
    // The trimmed status line of the last interim answer dropped; empty when none came.
    const QByteArray& interimStatusLine() const { return m_interimStatusLine; }

    // Headers in the order received; names as sent, values without surrounding blanks.
    const QList<QPair<QByteArray, QByteArray>>& headers() const { return m_headers; }
    bool hasHeader(const QByteArray& name) const;
    // The first value of `name` (case-insensitive), empty when absent.
    QByteArray header(const QByteArray& name) const;

    BodyKind bodyKind() const { return m_bodyKind; }
    // Body bytes read so far (chunk framing not counted).
    qint64 bodyBytes() const { return m_bodyBytes; }

    // Keeps the first `maxBytes` bytes of the body (chunk framing removed); 0, the default, keeps
    // none. Call it before feeding the body.
    void keepBody(qsizetype maxBytes) { m_keepBody = maxBytes > 0 ? maxBytes : 0; }
    const QByteArray& body() const { return m_body; }

private:
    enum class Stage
    {
        StatusLine,
        Headers,
        LengthBody,
        ChunkSize,
        ChunkData,
        ChunkDataEnd,
        Trailers,
        UntilCloseBody,
        Done
    };

    // Collects bytes up to the next LF; returns true when `m_line` holds a whole line (without
    // CR LF). `limit` bounds the line; `what` names it in the error.
    bool takeLine(const char* data, qsizetype size, qsizetype& pos, qsizetype limit, const char* what);
    void parseStatusLine();
    void dropInterimAnswer();
    void parseHeaderLine();
    void startBody();
    void parseChunkSize();
    void takeBody(const char* data, qint64 size);

    const bool m_headRequest;
    Stage m_stage = Stage::StatusLine;
    QByteArray m_line;
    bool m_lineDone = false;
    bool m_sawCR = false;
    qsizetype m_headBytes = 0;
    int m_statusCode = 0;
    QByteArray m_statusLine;
    bool m_interim = false; // the head being read belongs to an interim answer
    QByteArray m_interimStatusLine;
    QList<QPair<QByteArray, QByteArray>> m_headers;
    BodyKind m_bodyKind = BodyKind::None;
    qint64 m_remaining = 0;
    qint64 m_bodyBytes = 0;
    qint64 m_contentLength = -1;
    qsizetype m_keepBody = 0;
    QByteArray m_body;
};

// A short, printable excerpt of bytes received from a peer, for error messages: at most
// `maxLength` bytes, control and non-ASCII bytes shown as "\xNN".
QByteArray PrintableExcerpt(const QByteArray& bytes, qsizetype maxLength = 80);
