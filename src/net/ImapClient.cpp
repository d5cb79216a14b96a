#include "net/ImapClient.h"

#include <cctype>

namespace {

const char* const kUnrecognized = "Unrecognized IMAP4 Response Header.";

bool startsWithNoCase(const std::string& text, const std::string& prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) !=
            std::toupper(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

// Atom characters may stand bare in an astring; everything else needs a quoted string.
bool isAstringChar(unsigned char c)
{
    if (c <= 0x20 || c >= 0x7F)
        return false;
    switch (c) {
    case '(':
    case ')':
    case '{':
    case '%':
    case '*':
    case '"':
    case '\\':
        return false;
    default:
        return true;
    }
}

} // namespace

std::string ImapAstring(const std::string& value)
{
    bool bare = !value.empty();
    for (const char c : value)
        bare = bare && isAstringChar(static_cast<unsigned char>(c));
    if (bare)
        return value;
    std::string quoted = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

std::string ImapClient::lastTag() const
{
    return m_tagCounter == 0 ? std::string() : "C" + std::to_string(m_tagCounter);
}

ImapClient::Greeting ImapClient::connect()
{
    m_tagCounter = 0;
    open();
    m_parser.setTag(std::string());
    const std::string line = m_line.readReply(m_parser).lastLine();
    if (startsWithNoCase(line, "* OK"))
        return Greeting::Ok;
    if (startsWithNoCase(line, "* PREAUTH"))
        return Greeting::PreAuth;
    if (startsWithNoCase(line, "* NO") || startsWithNoCase(line, "* BAD") || startsWithNoCase(line, "* BYE"))
        throw ProtocolError(Printable(line));
    throw ProtocolError(kUnrecognized);
}

LineReply ImapClient::command(const std::string& command)
{
    ++m_tagCounter;
    const std::string tag = lastTag();
    m_parser.setTag(tag);
    return m_line.command(tag + " " + command, m_parser);
}

void ImapClient::startTls(const TlsOptions& options)
{
    const LineReply reply = command("STARTTLS");
    if (reply.status != "OK")
        throw ProtocolError(reply.status == "NO" || reply.status == "BAD" ? Printable(reply.lastLine())
                                                                          : std::string(kUnrecognized));
    upgrade(options);
}

void ImapClient::login()
{
    const LineReply reply = command("LOGIN " + ImapAstring(m_userName) + " " + ImapAstring(m_password));
    if (reply.status == "OK")
        return;
    if (reply.status == "NO" || reply.status == "BAD")
        throw ProtocolError(Printable(reply.lastLine()));
    throw ProtocolError(kUnrecognized);
}

void ImapClient::logout()
{
    try {
        if (m_line.isConnected())
            command("LOGOUT");
    } catch (...) {
    }
    m_line.close();
}
