#include "net/Pop3Client.h"

void RequirePop3Ok(const LineReply& reply)
{
    if (reply.status == "+OK")
        return;
    if (reply.status == "-ERR")
        throw ProtocolError(Printable(reply.lastLine()));
    throw ProtocolError("Unrecognized POP3 Response Header:\n\"" + Printable(reply.lastLine()) + "\"");
}

void Pop3Client::configure(const std::string& host, int port, int timeoutMs, const std::string& userName,
                           const std::string& password)
{
    m_host = host;
    m_port = port;
    m_timeoutMs = timeoutMs;
    m_userName = userName;
    m_password = password;
}

void Pop3Client::connect()
{
    m_line.connect(m_host, m_port, m_timeoutMs);
    if (m_implicitTls)
        m_line.startTls(*m_implicitTls, m_host);
    RequirePop3Ok(m_line.readReply(m_parser));
}

void Pop3Client::startTls(const TlsOptions& options)
{
    command("STLS");
    m_line.startTls(options, m_host);
}

void Pop3Client::login()
{
    command("USER " + m_userName);
    command("PASS " + m_password);
}

LineReply Pop3Client::command(const std::string& line)
{
    LineReply reply = m_line.command(line, m_parser);
    RequirePop3Ok(reply);
    return reply;
}

void Pop3Client::quit()
{
    try {
        if (m_line.isConnected())
            m_line.sendLine("QUIT");
    } catch (...) {
    }
    m_line.close();
}
