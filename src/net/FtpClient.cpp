#include "net/FtpClient.h"

#include <algorithm>

FtpProxyType FtpProxyTypeFromText(const std::string& text)
{
    static const struct
    {
        const char* text;
        FtpProxyType type;
    } kinds[] = {
        {"fpcmNone", FtpProxyType::None},
        {"fpcmUserSite", FtpProxyType::UserSite},
        {"fpcmSite", FtpProxyType::Site},
        {"fpcmOpen", FtpProxyType::Open},
        {"fpcmUserPass", FtpProxyType::UserPass},
        {"fpcmTransparent", FtpProxyType::Transparent},
        {"fpcmHttpProxyWithFtp", FtpProxyType::HttpProxyWithFtp},
    };
    for (const auto& kind : kinds) {
        if (text == kind.text)
            return kind.type;
    }
    return FtpProxyType::None;
}

LineReply FtpClient::command(const std::string& line, std::initializer_list<int> accepted)
{
    LineReply reply = m_line.command(line, m_parser);
    if (accepted.size() != 0 && std::find(accepted.begin(), accepted.end(), reply.code) == accepted.end())
        throw ProtocolError(reply.text());
    return reply;
}

void FtpClient::connect()
{
    const bool viaProxy = m_settings.proxyType != FtpProxyType::None && !m_settings.proxyHost.empty();
    const std::string& host = viaProxy ? m_settings.proxyHost : m_settings.host;
    open(host, viaProxy ? m_settings.proxyPort : m_settings.port, m_settings.timeoutMs);
    const LineReply greeting = m_line.readReply(m_parser);
    if (greeting.code != 220)
        throw ProtocolError(greeting.text());
}

void FtpClient::startTls(const TlsOptions& options)
{
    const bool viaProxy = m_settings.proxyType != FtpProxyType::None && !m_settings.proxyHost.empty();
    command("AUTH TLS", {234});
    m_line.startTls(options, viaProxy ? m_settings.proxyHost : m_settings.host);
}

void FtpClient::loginAs(const std::string& user, const std::string& password)
{
    const LineReply reply = command("USER " + user, {230, 331});
    if (reply.code == 331)
        command("PASS " + password, {230});
}

void FtpClient::proxyLogin()
{
    if (!m_settings.proxyUser.empty())
        loginAs(m_settings.proxyUser, m_settings.proxyPassword);
}

void FtpClient::login()
{
    const FtpSettings& s = m_settings;
    switch (s.proxyType) {
    case FtpProxyType::None:
        loginAs(s.userName, s.password);
        break;
    case FtpProxyType::UserSite:
        proxyLogin();
        loginAs(s.userName + "@" + s.host, s.password);
        break;
    case FtpProxyType::Site:
        proxyLogin();
        command("SITE " + s.host, {});
        loginAs(s.userName, s.password);
        break;
    case FtpProxyType::Open:
        proxyLogin();
        command("OPEN " + s.host, {});
        loginAs(s.userName, s.password);
        break;
    case FtpProxyType::UserPass: {
        const LineReply reply = command("USER " + s.userName + "@" + s.proxyUser + "@" + s.host, {230, 331});
        if (reply.code == 331)
            command("PASS " + s.password + (s.proxyPassword.empty() ? "" : "@" + s.proxyPassword), {230});
        break;
    }
    case FtpProxyType::Transparent:
        proxyLogin();
        loginAs(s.userName, s.password);
        break;
    case FtpProxyType::HttpProxyWithFtp:
        throw ProtocolError("Command not supported.");
    }
}

void FtpClient::setImageType()
{
    command("TYPE I", {200});
}

void FtpClient::system()
{
    command("SYST", {200, 215, 500});
}
