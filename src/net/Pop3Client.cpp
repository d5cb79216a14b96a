#include "net/Pop3Client.h"

void RequirePop3Ok(const LineReply& reply)
{
    if (reply.status == "+OK")
        return;
    if (reply.status == "-ERR")
        throw ProtocolError(Printable(reply.lastLine()));
    throw ProtocolError("Unrecognized POP3 Response Header:\n\"" + Printable(reply.lastLine()) + "\"");
}

void Pop3Client::connect()
{
    open();
    RequirePop3Ok(m_line.readReply(m_parser));
}

void Pop3Client::startTls(const TlsOptions& options)
{
    command("STLS");
    upgrade(options);
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
