// The FTP check against a scripted server playing the FTP server or the FTP proxy: the exact
// commands of a direct login and of every proxy kind, the replies that pass or fail, and where
// the check connects.
#include "checks/ThreadFTPCheckUnit.h"

#include "support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kTimeoutMs = 800;

// The site behind the proxy: never contacted itself, so it need not resolve.
const char* const kSite = "ftp.site.invalid";

struct FtpCase
{
    const char* name;
    FtpCheckArgs ftp;
    bool viaProxy; // the scripted server plays the proxy; Host is kSite
    std::function<void(ScriptedServer&)> script;
    bool passed;
    std::string detailStatus; // after "] "
    std::vector<std::string> sent;
};

FtpCheckArgs credentials(const char* user, const char* password)
{
    FtpCheckArgs ftp;
    ftp.UserName = user;
    ftp.Password = password;
    return ftp;
}

FtpCheckArgs proxied(const char* type, const char* proxyUser, const char* proxyPassword)
{
    FtpCheckArgs ftp = credentials("bob", "pw");
    ftp.ProxyHost = "127.0.0.1";
    ftp.ProxyType = type;
    ftp.ProxyUser = proxyUser;
    ftp.ProxyPassword = proxyPassword;
    return ftp; // ProxyPort is the scripted server's, set by the test
}

// Greeting, then for each pair: expect the command, send the reply.
std::function<void(ScriptedServer&)> dialogue(std::vector<std::pair<std::string, std::string>> steps,
                                              bool readRest = true)
{
    return [steps, readRest](ScriptedServer& s) {
        s.sendLine("220 FTP ready");
        for (const auto& step : steps)
            s.expectLine(step.first).sendLine(step.second);
        if (readRest)
            s.readRest();
    };
}

const std::vector<std::pair<std::string, std::string>> kTail = {{"TYPE I", "200 Switching to Binary mode."},
                                                                {"SYST", "215 UNIX Type: L8"}};

std::vector<std::pair<std::string, std::string>> plus(std::vector<std::pair<std::string, std::string>> head)
{
    head.insert(head.end(), kTail.begin(), kTail.end());
    return head;
}

std::vector<std::string> commands(const std::vector<std::pair<std::string, std::string>>& steps)
{
    std::vector<std::string> sent;
    for (const auto& step : steps)
        sent.push_back(step.first);
    return sent;
}

const std::string site = kSite;

const std::vector<FtpCase> kCases = {
    // A reply sent twice would be taken for the reply to the next command.
    {"user_answered_twice",
     credentials("bob", "pw"),
     false,
     [](ScriptedServer& s) {
         s.sendLine("220 FTP ready").expectLine("USER bob").send("331 pw\r\n230 ok\r\n").readRest();
     },
     false,
     "Failed:127.0.0.1:{port} sent \"230 ok  \" when no reply was due; its replies are out of step with the "
     "commands",
     {"USER bob"}},
    {"direct_login",
     credentials("bob", "pw"),
     false,
     dialogue(plus({{"USER bob", "331 Please specify the password."}, {"PASS pw", "230 Login successful."}})),
     true,
     "Passed",
     {"USER bob", "PASS pw", "TYPE I", "SYST"}},
    {"user_230_needs_no_password",
     credentials("anonymous", "x"),
     false,
     dialogue(plus({{"USER anonymous", "230 Welcome"}})),
     true,
     "Passed",
     {"USER anonymous", "TYPE I", "SYST"}},
    {"syst_500_passes",
     credentials("bob", "pw"),
     false,
     dialogue({{"USER bob", "230 ok"}, {"TYPE I", "200 ok"}, {"SYST", "500 SYST not understood"}}),
     true,
     "Passed",
     {"USER bob", "TYPE I", "SYST"}},
    {"syst_200_passes",
     credentials("bob", "pw"),
     false,
     dialogue({{"USER bob", "230 ok"}, {"TYPE I", "200 ok"}, {"SYST", "200 fine"}}),
     true,
     "Passed",
     {"USER bob", "TYPE I", "SYST"}},
    {"syst_502_fails",
     credentials("bob", "pw"),
     false,
     dialogue({{"USER bob", "230 ok"}, {"TYPE I", "200 ok"}, {"SYST", "502 not implemented"}}),
     false,
     "Failed:502 not implemented",
     {"USER bob", "TYPE I", "SYST"}},
    {"type_504_fails",
     credentials("bob", "pw"),
     false,
     dialogue({{"USER bob", "230 ok"}, {"TYPE I", "504 Command not implemented for that parameter"}}),
     false,
     "Failed:504 Command not implemented for that parameter",
     {"USER bob", "TYPE I"}},
    {"wrong_password",
     credentials("bob", "bad"),
     false,
     dialogue({{"USER bob", "331 Password required"}, {"PASS bad", "530 Login incorrect."}}),
     false,
     "Failed:530 Login incorrect.",
     {"USER bob", "PASS bad"}},
    {"user_refused",
     credentials("root", "x"),
     false,
     dialogue({{"USER root", "530 Permission denied."}}),
     false,
     "Failed:530 Permission denied.",
     {"USER root"}},
    {"multiline_greeting_and_reply",
     credentials("bob", "pw"),
     false,
     [](ScriptedServer& s) {
         s.sendLine("220-Welcome").sendLine("   to this server").sendLine("220 ready");
         s.expectLine("USER bob").sendLine("230-Hello").sendLine("230 logged in");
         s.expectLine("TYPE I").sendLine("200 ok").expectLine("SYST").sendLine("215 UNIX").readRest();
     },
     true,
     "Passed",
     {"USER bob", "TYPE I", "SYST"}},
    {"greeting_421",
     credentials("bob", "pw"),
     false,
     [](ScriptedServer& s) { s.sendLine("421 Too many connections").readRest(); },
     false,
     "Failed:421 Too many connections",
     {}},
    {"silent_after_user",
     credentials("bob", "pw"),
     false,
     [](ScriptedServer& s) { s.sendLine("220 hi").expectLine("USER bob").silence(); },
     false,
     "Failed:no complete reply from 127.0.0.1:{port} within 800 ms",
     {"USER bob"}},
    {"closed_after_user",
     credentials("bob", "pw"),
     false,
     [](ScriptedServer& s) { s.sendLine("220 hi").expectLine("USER bob").close(); },
     false,
     "Failed:connection closed by 127.0.0.1:{port} without a reply",
     {"USER bob"}},

    // Proxy kinds: the scripted server is the proxy; the detail still names the site.
    {"user_site_without_proxy_user", proxied("fpcmUserSite", "", ""), true,
     dialogue(plus({{"USER bob@" + site, "331 pw"}, {"PASS pw", "230 ok"}})), true, "Passed",
     commands(plus({{"USER bob@" + site, ""}, {"PASS pw", ""}}))},
    {"user_site_with_proxy_login", proxied("fpcmUserSite", "puser", "ppw"), true,
     dialogue(plus({{"USER puser", "331 proxy password"},
                    {"PASS ppw", "230 proxy ok"},
                    {"USER bob@" + site, "331 pw"},
                    {"PASS pw", "230 ok"}})),
     true, "Passed",
     commands(plus({{"USER puser", ""}, {"PASS ppw", ""}, {"USER bob@" + site, ""}, {"PASS pw", ""}}))},
    {"site_command", proxied("fpcmSite", "puser", "ppw"), true,
     dialogue(plus({{"USER puser", "230 proxy ok"},
                    {"SITE " + site, "500 whatever the proxy says"},
                    {"USER bob", "331 pw"},
                    {"PASS pw", "230 ok"}})),
     true, "Passed",
     commands(plus({{"USER puser", ""}, {"SITE " + site, ""}, {"USER bob", ""}, {"PASS pw", ""}}))},
    {"open_command_without_proxy_user", proxied("fpcmOpen", "", "ppw"), true,
     dialogue(plus({{"OPEN " + site, "220 connected"}, {"USER bob", "331 pw"}, {"PASS pw", "230 ok"}})), true,
     "Passed", commands(plus({{"OPEN " + site, ""}, {"USER bob", ""}, {"PASS pw", ""}}))},
    {"user_pass_with_proxy_password", proxied("fpcmUserPass", "puser", "ppw"), true,
     dialogue(plus({{"USER bob@puser@" + site, "331 pw"}, {"PASS pw@ppw", "230 ok"}})), true, "Passed",
     commands(plus({{"USER bob@puser@" + site, ""}, {"PASS pw@ppw", ""}}))},
    {"user_pass_without_proxy_password", proxied("fpcmUserPass", "puser", ""), true,
     dialogue(plus({{"USER bob@puser@" + site, "331 pw"}, {"PASS pw", "230 ok"}})), true, "Passed",
     commands(plus({{"USER bob@puser@" + site, ""}, {"PASS pw", ""}}))},
    {"user_pass_refused",
     proxied("fpcmUserPass", "puser", "ppw"),
     true,
     dialogue({{"USER bob@puser@" + site, "331 pw"}, {"PASS pw@ppw", "530 denied"}}),
     false,
     "Failed:530 denied",
     {"USER bob@puser@" + site, "PASS pw@ppw"}},
    {"transparent", proxied("fpcmTransparent", "puser", "ppw"), true,
     dialogue(plus({{"USER puser", "331 proxy"},
                    {"PASS ppw", "230 ok"},
                    {"USER bob", "331 pw"},
                    {"PASS pw", "230 ok"}})),
     true, "Passed",
     commands(plus({{"USER puser", ""}, {"PASS ppw", ""}, {"USER bob", ""}, {"PASS pw", ""}}))},
    {"http_proxy_kind_not_supported",
     proxied("fpcmHttpProxyWithFtp", "puser", "ppw"),
     true,
     [](ScriptedServer& s) { s.sendLine("220 hello").readRest(); },
     false,
     "Failed:Command not supported.",
     {}},
};

class FtpDialogue : public ::testing::TestWithParam<FtpCase>
{
};

TEST_P(FtpDialogue, SendsExactlyTheseCommandsAndJudges)
{
    const FtpCase& c = GetParam();
    ScriptedServer server;
    c.script(server);
    server.start();

    ThreadCheckArgs args;
    args.Origin = "Product";
    args.Timeout = kTimeoutMs;
    FtpCheckArgs ftp = c.ftp;
    if (c.viaProxy) {
        args.Host = kSite;
        args.Port = 21;
        ftp.ProxyPort = server.port();
    } else {
        args.Host = "127.0.0.1";
        args.Port = server.port();
    }
    ThreadFTPCheck check(args, ftp);
    check.Execute();
    ASSERT_TRUE(server.wait());

    std::string status = c.detailStatus;
    const std::size_t mark = status.find("{port}");
    if (mark != std::string::npos)
        status.replace(mark, 6, std::to_string(server.port()));
    EXPECT_EQ(check.Passed, c.passed);
    EXPECT_EQ(check.ResultDetail.toStdString(),
              "[" + args.Host.toStdString() + ":" + std::to_string(args.Port) + "] " + status);
    // The client closes without QUIT, so this is everything it sent.
    EXPECT_EQ(server.received(), c.sent);
    EXPECT_TRUE(server.failures().empty()) << server.failures().front();
    EXPECT_EQ(check.Client, nullptr) << "the client is released when Execute ends";
}

INSTANTIATE_TEST_SUITE_P(Cases, FtpDialogue, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FtpCase>& p) {
                             return std::string(p.param.name);
                         });

// Proxy columns only count when both host and port are given and the kind is known: otherwise
// the check goes straight to Host:Port (here the scripted server; the proxy port refuses).
TEST(FtpProxySettings, IncompleteOrUnknownProxyConnectsDirectly)
{
    struct Case
    {
        const char* type;
        bool withPort;
        bool withHost;
    };
    for (const Case& c : {Case{"fpcmusersite", true, true}, Case{"", true, true},
                          Case{"fpcmUserSite", false, true}, Case{"fpcmUserSite", true, false}}) {
        SCOPED_TRACE(std::string("type \"") + c.type + "\" port " + (c.withPort ? "set" : "0") + " host " +
                     (c.withHost ? "set" : "empty"));
        ScriptedServer server;
        dialogue(plus({{"USER bob", "331 pw"}, {"PASS pw", "230 ok"}}))(server);
        server.start();
        ThreadCheckArgs args;
        args.Host = "127.0.0.1";
        args.Port = server.port();
        args.Timeout = kTimeoutMs;
        FtpCheckArgs ftp = credentials("bob", "pw");
        ftp.ProxyHost = c.withHost ? "127.0.0.1" : "";
        ftp.ProxyPort = c.withPort ? ScriptedServer::UnusedPort() : 0;
        ftp.ProxyType = c.type;
        ftp.ProxyUser = "puser";
        ThreadFTPCheck check(args, ftp);
        EXPECT_EQ(check.ProxyType, FtpProxyType::None);
        check.Execute();
        ASSERT_TRUE(server.wait());
        EXPECT_TRUE(check.Passed) << check.ResultDetail.toStdString();
        EXPECT_EQ(server.received(), (std::vector<std::string>{"USER bob", "PASS pw", "TYPE I", "SYST"}));
    }
}

TEST(FtpProxySettings, KindsAreReadFromTheExactTexts)
{
    const std::vector<std::pair<std::string, FtpProxyType>> table = {
        {"fpcmNone", FtpProxyType::None},
        {"fpcmUserSite", FtpProxyType::UserSite},
        {"fpcmSite", FtpProxyType::Site},
        {"fpcmOpen", FtpProxyType::Open},
        {"fpcmUserPass", FtpProxyType::UserPass},
        {"fpcmTransparent", FtpProxyType::Transparent},
        {"fpcmHttpProxyWithFtp", FtpProxyType::HttpProxyWithFtp},
        {"FPCMSITE", FtpProxyType::None},
        {"fpcmSite ", FtpProxyType::None},
        {"", FtpProxyType::None},
    };
    for (const auto& row : table)
        EXPECT_EQ(FtpProxyTypeFromText(row.first), row.second) << "\"" << row.first << "\"";
}

TEST(FtpFaults, RefusedProxyIsReportedWithTheSitesHostAndPort)
{
    ThreadCheckArgs args;
    args.Host = kSite;
    args.Port = 2121;
    args.Timeout = kTimeoutMs;
    FtpCheckArgs ftp = proxied("fpcmUserSite", "", "");
    ftp.ProxyPort = ScriptedServer::UnusedPort();
    ThreadFTPCheck check(args, ftp);
    check.Execute();
    EXPECT_FALSE(check.Passed);
    EXPECT_EQ(check.ResultDetail.toStdString(),
              "[ftp.site.invalid:2121] Failed:cannot connect to 127.0.0.1:" + std::to_string(ftp.ProxyPort) +
                  ": connection refused");
}

} // namespace
