#include "net/LineReply.h"

#include <cctype>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The word that starts at `from` (up to a space or the end of the line), in upper case.
std::string wordAt(const std::string& line, std::size_t from)
{
    if (from >= line.size())
        return {};
    const std::size_t end = line.find(' ', from);
    return upper(line.substr(from, end == std::string::npos ? std::string::npos : end - from));
}

} // namespace

const std::string& LineReply::lastLine() const
{
    static const std::string empty;
    return lines.empty() ? empty : lines.back();
}

std::string LineReply::text() const
{
    std::string joined;
    for (const std::string& line : lines) {
        if (!joined.empty())
            joined += ' ';
        joined += line;
        if (joined.size() > 4096)
            break;
    }
    return Printable(joined);
}

std::string Printable(std::string_view text, std::size_t maxLength)
{
    std::string result;
    const bool cut = text.size() > maxLength;
    result.reserve(cut ? maxLength + 3 : text.size());
    for (std::size_t i = 0; i < text.size() && i < maxLength; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        result += (c < 32 || c == 127) ? ' ' : static_cast<char>(c);
    }
    if (cut)
        result += "...";
    return result;
}

// ---------------------------------------------------------------------------------------------

std::size_t ReplyParser::feed(std::string_view bytes)
{
    std::size_t used = 0;
    while (used < bytes.size() && !m_complete) {
        const std::size_t newline = bytes.find('\n', used);
        const std::size_t end = newline == std::string_view::npos ? bytes.size() : newline;
        m_partial.append(bytes.substr(used, end - used));
        m_replyBytes += end - used + (newline == std::string_view::npos ? 0 : 1);
        // One byte of room for a CR whose LF has not arrived yet.
        if (m_partial.size() > kMaxLineLength + 1)
            throw ProtocolError("reply line longer than " + std::to_string(kMaxLineLength) + " bytes");
        if (m_replyBytes > kMaxReplyBytes)
            throw ProtocolError("reply longer than " + std::to_string(kMaxReplyBytes) + " bytes");
        if (newline == std::string_view::npos)
            return bytes.size();
        used = newline + 1;

        std::string line;
        line.swap(m_partial);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > kMaxLineLength)
            throw ProtocolError("reply line longer than " + std::to_string(kMaxLineLength) + " bytes");
        m_reply.lines.push_back(std::move(line));
        if (takeLine(m_reply.lines.back(), m_reply))
            m_complete = true;
    }
    return used;
}

void ReplyParser::reset()
{
    m_partial.clear();
    m_replyBytes = 0;
    m_complete = false;
    m_reply = LineReply();
    resetRule();
}

bool NumericReplyParser::takeLine(const std::string& line, LineReply& reply)
{
    if (reply.lines.size() == 1) {
        const bool hasCode = line.size() >= 3 && isDigit(line[0]) && isDigit(line[1]) && isDigit(line[2]);
        if (!hasCode || (line.size() > 3 && line[3] != ' ' && line[3] != '-'))
            throw ProtocolError("malformed reply \"" + Printable(line, 200) + "\"");
        reply.code = std::stoi(line.substr(0, 3));
        m_multiLine = line.size() > 3 && line[3] == '-';
        return !m_multiLine;
    }
    const std::string& first = reply.lines.front();
    return line.compare(0, 3, first, 0, 3) == 0 && (line.size() == 3 || line[3] == ' ');
}

bool Pop3ReplyParser::takeLine(const std::string& line, LineReply& reply)
{
    if (line.compare(0, 3, "+OK") == 0)
        reply.status = "+OK";
    else if (line.compare(0, 4, "-ERR") == 0)
        reply.status = "-ERR";
    return true;
}

bool ImapReplyParser::takeLine(const std::string& line, LineReply& reply)
{
    if (m_tag.empty()) {
        reply.status = line.compare(0, 2, "* ") == 0 ? wordAt(line, 2) : std::string();
        return true;
    }
    if (line.size() > m_tag.size() && line.compare(0, m_tag.size(), m_tag) == 0 &&
        line[m_tag.size()] == ' ') {
        reply.status = wordAt(line, m_tag.size() + 1);
        return true;
    }
    return false;
}
