#pragma once

#include "net/LineSession.h"

#include <initializer_list>
#include <optional>
#include <string>

// How an FTP proxy is asked to reach the server (the stored texts "fpcmNone" ... ).
enum class FtpProxyType
{
    None = 0,             // "fpcmNone"
    UserSite = 1,         // "fpcmUserSite": USER user@site
    Site = 2,             // "fpcmSite": SITE site
    Open = 3,             // "fpcmOpen": OPEN site
    UserPass = 4,         // "fpcmUserPass": USER user@proxyuser@site
    Transparent = 5,      // "fpcmTransparent"
    HttpProxyWithFtp = 6, // "fpcmHttpProxyWithFtp": not supported
};

// The kind for a stored text, compared exactly (letter case included); any other text is None.
FtpProxyType FtpProxyTypeFromText(const std::string& text);

struct FtpSettings
{
    std::string host; // the FTP server probed ("site")
    int port = 21;
    int timeoutMs = 5000;
    std::string userName;
    std::string password;
    FtpProxyType proxyType = FtpProxyType::None;
    std::string proxyHost;
    int proxyPort = 0;
    std::string proxyUser;
    std::string proxyPassword;
};

// FTP control connection client (RFC 959) on the line engine: greeting, login directly or
// through one of the proxy kinds, TYPE and SYST. No data connection is ever opened. Every wait
// is bounded by the settings' time-out. With setImplicitTls (FTP on port 990) the handshake names
// the host connected to (the proxy when one is used); only the control connection exists, so
// nothing else needs protecting.
class FtpClient : public LineSession
{
public:
    void configure(const FtpSettings& settings) { m_settings = settings; }
    const FtpSettings& settings() const { return m_settings; }

    // Connects (to the proxy when a proxy kind and a proxy host are set, otherwise to the server)
    // and reads the greeting, whose code must be 220.
    void connect();
    // "AUTH TLS" (RFC 4217), which must be answered 234, then the TLS handshake on the control
    // connection, naming the host connected to. A refusal or a failed handshake is an error.
    void startTls(const TlsOptions& options);
    // Logs in as the proxy kind asks (see the .cpp for the commands of each kind).
    void login();
    // "TYPE I", which must be answered 200.
    void setImageType();
    // "SYST"; 200, 215 and 500 are accepted.
    void system();
    // Sends `line` and reads the reply; a code not in `accepted` is an error with the reply's
    // text (an empty list takes any code).
    LineReply command(const std::string& line, std::initializer_list<int> accepted);

private:
    // USER u; 230 ends it, 331 is followed by PASS p which must give 230.
    void loginAs(const std::string& user, const std::string& password);
    void proxyLogin();

    FtpSettings m_settings;
    NumericReplyParser m_parser;
};
