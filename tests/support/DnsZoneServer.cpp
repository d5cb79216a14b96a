#include "support/DnsZoneServer.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace {

// dnsmasq gives up root for another user unless told to stay the one who runs it.
std::string currentUser()
{
    const passwd* user = ::getpwuid(::geteuid());
    return user && user->pw_name ? user->pw_name : "root";
}

} // namespace

bool DnsZoneServer::Installed()
{
    return !DaemonProcess::Find("dnsmasq").empty();
}

bool DnsZoneServer::start()
{
    const std::string program = DaemonProcess::Find("dnsmasq");
    if (program.empty()) {
        m_error = "dnsmasq is not installed (Debian package dnsmasq-base)";
        return false;
    }
    m_port = ScriptedServer::UnusedPort();
    const std::vector<std::string> arguments = {"--no-daemon",
                                                "--port=" + std::to_string(m_port),
                                                "--listen-address=127.0.0.1",
                                                "--bind-interfaces",
                                                "--no-resolv",
                                                "--no-hosts",
                                                "--conf-file=/dev/null",
                                                "--pid-file",
                                                "--user=" + currentUser(),
                                                "--local=/example.test/",
                                                "--host-record=www.example.test,192.0.2.10,2001:db8::10",
                                                "--mx-host=example.test,mail.example.test,10",
                                                "--mx-host=example.test,backup.example.test,20",
                                                "--txt-record=example.test,v=spf1 -all",
                                                "--txt-record=multi.example.test,part one,part two",
                                                "--cname=alias.example.test,www.example.test",
                                                "--auth-zone=example.test",
                                                "--auth-server=ns1.example.test,127.0.0.1",
                                                "--auth-soa=2024010101,hostmaster.example.test"};
    if (!m_process.start(program, arguments, {m_port})) {
        m_error = "dnsmasq did not start: " + m_process.output();
        return false;
    }
    return true;
}
