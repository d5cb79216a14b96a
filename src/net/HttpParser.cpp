#include "net/HttpParser.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

const QByteArray kHttpPrefix = QByteArrayLiteral("HTTP/");

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Control bytes other than horizontal tab; these never belong in a status line or header.
bool isControl(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && u != '\t') || u == 0x7F;
}

// Removes bytes with codes 32 or less at both ends.
QByteArray trimmed(const QByteArray& bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && static_cast<unsigned char>(bytes[begin]) <= 32)
        ++begin;
    while (end > begin && static_cast<unsigned char>(bytes[end - 1]) <= 32)
        --end;
    return bytes.mid(begin, end - begin);
}

// Removes spaces and tabs at both ends (the optional white space around a header value).
QByteArray trimmedBlanks(const QByteArray& bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && (bytes[begin] == ' ' || bytes[begin] == '\t'))
        ++begin;
    while (end > begin && (bytes[end - 1] == ' ' || bytes[end - 1] == '\t'))
        --end;
    return bytes.mid(begin, end - begin);
}

[[noreturn]] void fail(const QByteArray& message)
{
    throw HttpError(message.toStdString());
}

// A decimal Content-Length value; -1 when it is not one.
qint64 parseLength(const QByteArray& text)
{
    if (text.isEmpty())
        return -1;
    qint64 value = 0;
    for (char c : text) {
        if (!isDigit(c))
            return -1;
        const int digit = c - '0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
            return -1;
        value = value * 10 + digit;
    }
    return value;
}

} // namespace

QByteArray PrintableExcerpt(const QByteArray& bytes, qsizetype maxLength)
{
    QByteArray out;
    const qsizetype n = std::min(bytes.size(), maxLength);
    for (qsizetype i = 0; i < n; ++i) {
        const auto u = static_cast<unsigned char>(bytes[i]);
        if (u < 0x20 || u >= 0x7F) {
            static const char digits[] = "0123456789ABCDEF";
            out += "\\x";
            out += digits[u >> 4];
            out += digits[u & 0x0F];
        } else {
            out += static_cast<char>(u);
        }
    }
    if (bytes.size() > maxLength)
        out += "...";
    return out;
}

HttpResponseParser::HttpResponseParser(bool headRequest) : m_headRequest(headRequest) {}

bool HttpResponseParser::hasHeader(const QByteArray& name) const
{
    return std::any_of(m_headers.begin(), m_headers.end(), [&](const QPair<QByteArray, QByteArray>& h) {
        return h.first.compare(name, Qt::CaseInsensitive) == 0;
    });
}

QByteArray HttpResponseParser::header(const QByteArray& name) const
{
    for (const auto& h : m_headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return {};
}

bool HttpResponseParser::takeLine(const char* data, qsizetype size, qsizetype& pos, qsizetype limit,
                                  const char* what)
{
    if (m_lineDone) {
        m_line.clear();
        m_lineDone = false;
    }
    const void* found = std::memchr(data + pos, '\n', static_cast<std::size_t>(size - pos));
    const qsizetype end = found ? static_cast<const char*>(found) - data : size;
    // One byte more than the limit leaves room for the CR of CR LF.
    if (m_line.size() + (end - pos) > limit + 1)
        fail(QByteArray(what) + " longer than " + QByteArray::number(limit) + " bytes");
    m_line.append(data + pos, end - pos);
    if (m_stage == Stage::StatusLine || m_stage == Stage::Headers) {
        m_headBytes += end - pos + (found ? 1 : 0);
        if (m_headBytes > kMaxHead)
            fail("answer headers longer than " + QByteArray::number(kMaxHead) + " bytes");
    }
    if (!found) {
        pos = size;
        return false;
    }
    pos = end + 1;
    if (m_line.endsWith('\r'))
        m_line.chop(1);
    if (m_line.size() > limit)
        fail(QByteArray(what) + " longer than " + QByteArray::number(limit) + " bytes");
    m_lineDone = true;
    return true;
}

qsizetype HttpResponseParser::feed(const char* data, qsizetype size)
{
    qsizetype pos = 0;
    while (pos < size && m_stage != Stage::Done) {
        switch (m_stage) {
        case Stage::StatusLine:
            if (takeLine(data, size, pos, kMaxStatusLine, "status line")) {
                parseStatusLine();
            } else {
                // Refuse what cannot become a status line without waiting for its end.
                const qsizetype n = std::min(m_line.size(), kHttpPrefix.size());
                if (std::memcmp(m_line.constData(), kHttpPrefix.constData(), static_cast<std::size_t>(n)) !=
                    0)
                    fail("malformed status line: \"" + PrintableExcerpt(m_line) + "\"");
            }
            break;
        case Stage::Headers:
        case Stage::Trailers:
            if (takeLine(data, size, pos, kMaxHeaderLine, "header line")) {
                if (m_line.isEmpty()) {
                    if (m_stage == Stage::Trailers)
                        m_stage = Stage::Done;
                    else if (m_interim)
                        dropInterimAnswer();
                    else
                        startBody();
                } else if (m_stage == Stage::Headers) {
                    parseHeaderLine();
                } else {
                    // Trailer fields are read and dropped, within the same overall bound.
                    m_headBytes += m_line.size();
                    if (m_headBytes > kMaxHead)
                        fail("answer trailers longer than " + QByteArray::number(kMaxHead) + " bytes");
                }
            }
            break;
        case Stage::LengthBody:
        case Stage::ChunkData: {
            const qint64 take = std::min<qint64>(m_remaining, size - pos);
            takeBody(data + pos, take);
            pos += static_cast<qsizetype>(take);
            m_remaining -= take;
            m_bodyBytes += take;
            if (m_remaining == 0)
                m_stage = m_stage == Stage::LengthBody ? Stage::Done : Stage::ChunkDataEnd;
            break;
        }
        case Stage::ChunkDataEnd: {
            // CR LF (or a bare LF) closes the chunk data.
            const char c = data[pos];
            if (c == '\r' && !m_sawCR) {
                m_sawCR = true;
                ++pos;
            } else if (c == '\n') {
                m_sawCR = false;
                ++pos;
                m_stage = Stage::ChunkSize;
            } else {
                fail("chunk data not followed by CR LF");
            }
            break;
        }
        case Stage::ChunkSize:
            if (takeLine(data, size, pos, kMaxChunkLine, "chunk size line"))
                parseChunkSize();
            break;
        case Stage::UntilCloseBody:
            takeBody(data + pos, size - pos);
            m_bodyBytes += size - pos;
            pos = size;
            break;
        case Stage::Done:
            break;
        }
    }
    return pos;
}

void HttpResponseParser::takeBody(const char* data, qint64 size)
{
    const qint64 room = m_keepBody - m_body.size();
    if (room > 0)
        m_body.append(data, static_cast<qsizetype>(std::min(room, size)));
}

void HttpResponseParser::finish()
{
    switch (m_stage) {
    case Stage::Done:
        return;
    case Stage::UntilCloseBody:
        m_stage = Stage::Done;
        return;
    case Stage::StatusLine:
        if (m_line.isEmpty() || m_lineDone) {
            if (!m_interimStatusLine.isEmpty())
                fail("connection closed after \"" + PrintableExcerpt(m_interimStatusLine) +
                     "\" before the answer arrived");
            fail("connection closed before an answer arrived");
        }
        fail("connection closed in the middle of the status line");
    case Stage::Headers:
        if (m_interim)
            fail("connection closed in the middle of the headers of \"" +
                 PrintableExcerpt(m_interimStatusLine) + "\"");
        fail("connection closed in the middle of the answer headers");
    case Stage::LengthBody:
        fail("connection closed after " + QByteArray::number(m_bodyBytes) + " of " +
             QByteArray::number(m_contentLength) + " body bytes");
    case Stage::ChunkSize:
    case Stage::ChunkData:
    case Stage::ChunkDataEnd:
    case Stage::Trailers:
        fail("connection closed in the middle of a chunked body");
    }
}

void HttpResponseParser::parseStatusLine()
{
    // HTTP-version SP status-code SP reason-phrase; the reason may be missing.
    const QByteArray& line = m_line;
    auto malformed = [&]() { fail("malformed status line: \"" + PrintableExcerpt(line) + "\""); };
    if (!line.startsWith(kHttpPrefix))
        malformed();
    qsizetype i = kHttpPrefix.size();
    const qsizetype majorStart = i;
    while (i < line.size() && isDigit(line[i]))
        ++i;
    if (i == majorStart || i >= line.size() || line[i] != '.')
        malformed();
    const qsizetype minorStart = ++i;
    while (i < line.size() && isDigit(line[i]))
        ++i;
    if (i == minorStart || i >= line.size() || line[i] != ' ')
        malformed();
    while (i < line.size() && line[i] == ' ')
        ++i;
    if (i + 3 > line.size() || !isDigit(line[i]) || !isDigit(line[i + 1]) || !isDigit(line[i + 2]))
        malformed();
    const int code = (line[i] - '0') * 100 + (line[i + 1] - '0') * 10 + (line[i + 2] - '0');
    i += 3;
    if (i < line.size() && line[i] != ' ')
        malformed();
    if (std::any_of(line.begin(), line.end(), isControl))
        malformed();
    if (code < 100)
        malformed();
    m_stage = Stage::Headers;
    m_interim = code < 200 && code != 101;
    if (m_interim) {
        m_interimStatusLine = trimmed(line);
        return;
    }
    m_statusCode = code;
    m_statusLine = trimmed(line);
}

void HttpResponseParser::dropInterimAnswer()
{
    // Its header fields mean nothing for the answer that follows. m_headBytes goes on counting.
    m_headers.clear();
    m_interim = false;
    m_stage = Stage::StatusLine;
}

void HttpResponseParser::parseHeaderLine()
{
    const QByteArray& line = m_line;
    if (line[0] == ' ' || line[0] == '\t') {
        // Obsolete line folding: the line continues the previous value.
        if (m_headers.isEmpty())
            fail("malformed header line: \"" + PrintableExcerpt(line) + "\"");
        QByteArray& value = m_headers.last().second;
        const QByteArray more = trimmedBlanks(line);
        if (!more.isEmpty())
            value += (value.isEmpty() ? "" : " ") + more;
        return;
    }
    const qsizetype colon = line.indexOf(':');
    const QByteArray name = colon > 0 ? trimmedBlanks(line.left(colon)) : QByteArray();
    if (name.isEmpty() || name.contains(' ') || name.contains('\t') ||
        std::any_of(name.begin(), name.end(), isControl))
        fail("malformed header line: \"" + PrintableExcerpt(line) + "\"");
    m_headers.append({name, trimmedBlanks(line.mid(colon + 1))});
}

void HttpResponseParser::startBody()
{
    const int code = m_statusCode;
    if (m_headRequest || code < 200 || code == 204 || code == 304) {
        m_bodyKind = BodyKind::None;
        m_stage = Stage::Done;
        return;
    }
    bool transferEncoding = false;
    QByteArray lastCoding;
    qint64 length = -1;
    for (const auto& h : m_headers) {
        if (h.first.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
            transferEncoding = true;
            for (const QByteArray& coding : h.second.split(',')) {
                const QByteArray c = trimmedBlanks(coding);
                if (!c.isEmpty())
                    lastCoding = c;
            }
        } else if (h.first.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            // Repeated values (as separate fields or a list) must all agree.
            for (const QByteArray& part : h.second.split(',')) {
                const qint64 value = parseLength(trimmedBlanks(part));
                if (value < 0 || (length >= 0 && value != length))
                    fail("invalid Content-Length: \"" + PrintableExcerpt(h.second) + "\"");
                length = value;
            }
        }
    }
    if (transferEncoding) {
        // Transfer-Encoding overrides Content-Length; without a final "chunked" the body runs
        // until the connection closes.
        if (lastCoding.compare("chunked", Qt::CaseInsensitive) == 0) {
            m_bodyKind = BodyKind::Chunked;
            m_stage = Stage::ChunkSize;
        } else {
            m_bodyKind = BodyKind::UntilClose;
            m_stage = Stage::UntilCloseBody;
        }
        return;
    }
    if (length >= 0) {
        m_bodyKind = BodyKind::Length;
        m_contentLength = length;
        m_remaining = length;
        m_stage = length == 0 ? Stage::Done : Stage::LengthBody;
        return;
    }
    m_bodyKind = BodyKind::UntilClose;
    m_stage = Stage::UntilCloseBody;
}

void HttpResponseParser::parseChunkSize()
{
    // chunk-size [ chunk-ext ]; extensions are ignored.
    const QByteArray& line = m_line;
    qsizetype i = 0;
    qint64 size = 0;
    while (i < line.size() && hexValue(line[i]) >= 0) {
        if (size > (std::numeric_limits<qint64>::max() >> 4))
            fail("chunk size too large: \"" + PrintableExcerpt(line) + "\"");
        size = (size << 4) | hexValue(line[i]);
        ++i;
    }
    qsizetype rest = i;
    while (rest < line.size() && (line[rest] == ' ' || line[rest] == '\t'))
        ++rest;
    if (i == 0 || (rest < line.size() && line[rest] != ';'))
        fail("malformed chunk size line: \"" + PrintableExcerpt(line) + "\"");
    if (size == 0) {
        m_stage = Stage::Trailers;
        m_headBytes = 0;
        return;
    }
    m_remaining = size;
    m_stage = Stage::ChunkData;
}
