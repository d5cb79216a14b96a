#include "net/SmtpClient.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace {

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

void requireCode(const LineReply& reply, std::initializer_list<int> accepted)
{
    if (accepted.size() == 0 || std::find(accepted.begin(), accepted.end(), reply.code) != accepted.end())
        return;
    throw ProtocolError(reply.text());
}

} // namespace

std::vector<std::string> SmtpAuthMechanisms(const LineReply& ehloReply)
{
    std::vector<std::string> mechanisms;
    for (const std::string& line : ehloReply.lines) {
        if (line.size() < 4)
            continue;
        const std::string text = upper(line.substr(4));
        if (text.compare(0, 5, "AUTH ") != 0 && text.compare(0, 5, "AUTH=") != 0)
            continue;
        std::istringstream words(text.substr(5));
        std::string word;
        while (words >> word) {
            if (std::find(mechanisms.begin(), mechanisms.end(), word) == mechanisms.end())
                mechanisms.push_back(word);
        }
    }
    return mechanisms;
}

bool SmtpOffersStartTls(const LineReply& ehloReply)
{
    for (const std::string& line : ehloReply.lines) {
        if (line.size() < 4)
            continue;
        std::string text = upper(line.substr(4));
        while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
            text.pop_back();
        if (text == "STARTTLS")
            return true;
    }
    return false;
}

void SmtpClient::connect()
{
    open();
    requireCode(m_line.readReply(m_parser), {220});
}

void SmtpClient::startTls(const TlsOptions& options)
{
    command("STARTTLS", {220});
    upgrade(options);
}

SmtpClient::Hello SmtpClient::hello(const std::string& name)
{
    Hello result;
    result.reply = m_line.command("EHLO " + name, m_parser);
    if (result.reply.code == 250) {
        result.extended = true;
        result.authMechanisms = SmtpAuthMechanisms(result.reply);
        result.startTls = SmtpOffersStartTls(result.reply);
        return result;
    }
    result.reply = command("HELO " + name, {250});
    return result;
}

LineReply SmtpClient::command(const std::string& line, std::initializer_list<int> accepted)
{
    LineReply reply = m_line.command(line, m_parser);
    requireCode(reply, accepted);
    return reply;
}

void SmtpClient::sendOnly(const std::string& line)
{
    m_line.sendLine(line);
}

void SmtpClient::quit()
{
    try {
        if (m_line.isConnected())
            m_line.sendLine("QUIT");
    } catch (...) {
    }
    m_line.close();
}
