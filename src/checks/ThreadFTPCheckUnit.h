#pragma once

#include "checks/ThreadCheck.h"
#include "net/FtpClient.h"

#include <memory>

// The FTP check's own values, as the creator takes them from the service row.
struct FtpCheckArgs
{
    QString UserName;      // service.username
    QString Password;      // service.password
    QString ProxyHost;     // service.proxy_ip
    int ProxyPort = 0;     // service.proxy_port
    QString ProxyType;     // service.ftp_proxytype ("fpcmNone", "fpcmUserSite", ...)
    QString ProxyUser;     // service.proxy_username
    QString ProxyPassword; // service.proxy_password
};

// Check of an "FTP" service: greeting 220, login (directly or through the proxy kind), TYPE I
// answered 200 and SYST answered 200, 215 or 500. Closed without QUIT. The detail names Host and
// Port also when a proxy is used. On port 990 the whole dialogue runs inside TLS.
class ThreadFTPCheck : public ThreadCheck
{
public:
    ThreadFTPCheck(const ThreadCheckArgs& args, const FtpCheckArgs& ftp,
                   std::unique_ptr<FtpClient> client = nullptr);
    ~ThreadFTPCheck() override;

    QString Kind() const override;

    // Set only when the proxy host is non-empty and the proxy port is not 0; otherwise
    // ProxyType is None and the others are empty.
    QString ProxyHost;
    int ProxyPort = 0;
    FtpProxyType ProxyType = FtpProxyType::None;
    QString ProxyUser;
    QString ProxyPassword;

    std::unique_ptr<FtpClient> Client;

protected:
    bool Probe() override;
    void CloseClient() override;
    std::optional<TlsPeerCertificate> PeerCertificate() const override;
};
