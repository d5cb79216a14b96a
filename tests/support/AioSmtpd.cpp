#include "support/AioSmtpd.h"

#include <QFile>

namespace {

const char* const kSystemPython = "/usr/bin/python3";

const char* const kScript = R"PY(
import os, sys, time
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

port, out, mode = int(sys.argv[1]), sys.argv[2], sys.argv[3]

class Keep:
    async def handle_DATA(self, server, session, envelope):
        with open(out + ".part", "wb") as f:
            f.write(("authenticated=%s\nfrom=%s\nto=%s\n\n" % (
                bool(session.authenticated), envelope.mail_from, ",".join(envelope.rcpt_tos))).encode())
            f.write(envelope.original_content)
        os.replace(out + ".part", out)
        return "250 2.0.0 kept"

def login(server, session, envelope, mechanism, data):
    ok = isinstance(data, LoginPassword) and data.login == b"alice" and data.password == b"s3cret"
    return AuthResult(success=ok, handled=False)

kwargs = {}
if mode == "auth":
    kwargs = dict(authenticator=login, auth_required=True, auth_require_tls=False)
controller = Controller(Keep(), hostname="127.0.0.1", port=port, **kwargs)
controller.start()
try:
    while True:
        time.sleep(1)
finally:
    controller.stop()
)PY";

} // namespace

bool AioSmtpdServer::Available()
{
    return QFile::exists(kSystemPython) && DaemonProcess::Run(kSystemPython, {"-c", "import aiosmtpd"});
}

bool AioSmtpdServer::start(int port, const std::string& mode)
{
    if (!m_dir.isValid())
        return false;
    QFile script(m_dir.filePath("server.py"));
    if (!script.open(QIODevice::WriteOnly) || script.write(kScript) < 0)
        return false;
    script.close();
    return m_server.start(kSystemPython,
                          {m_dir.filePath("server.py").toStdString(), std::to_string(port),
                           m_dir.filePath("mail.txt").toStdString(), mode},
                          {port}, 15000);
}

std::string AioSmtpdServer::kept() const
{
    QFile file(m_dir.filePath("mail.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

void AioSmtpdServer::forget()
{
    QFile::remove(m_dir.filePath("mail.txt"));
}
