#pragma once

#include "support/ScriptedServer.h"

#include <string>

// dnsmasq (Debian package dnsmasq-base) answering for the test zone "example.test" on
// 127.0.0.1, UDP and TCP, on a port of its own, until the object goes. The zone:
//   www.example.test     A 192.0.2.10, AAAA 2001:db8::10
//   example.test         MX 10 mail.example.test, MX 20 backup.example.test, TXT "v=spf1 -all",
//                        NS ns1.example.test, SOA ns1.example.test hostmaster.example.test 2024010101
//   multi.example.test   TXT "part one" "part two"
//   alias.example.test   CNAME www.example.test
// Any other name in example.test is NXDOMAIN; names outside it are REFUSED.
class DnsZoneServer
{
public:
    // False (with the reason in error()) when dnsmasq is not installed or did not start.
    bool start();
    static bool Installed();
    int port() const { return m_port; }
    const std::string& error() const { return m_error; }

private:
    DaemonProcess m_process;
    int m_port = 0;
    std::string m_error;
};
