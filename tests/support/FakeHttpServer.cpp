#include "support/FakeHttpServer.h"

#include <cctype>
#include <cstdio>

namespace {

// The Content-Length value of a request head; 0 when there is none.
std::size_t contentLength(const std::string& head)
{
    std::size_t at = 0;
    while ((at = head.find("\r\n", at)) != std::string::npos) {
        at += 2;
        static const std::string name = "content-length:";
        if (head.size() - at < name.size())
            break;
        bool match = true;
        for (std::size_t i = 0; i < name.size() && match; ++i)
            match = std::tolower(static_cast<unsigned char>(head[at + i])) == name[i];
        if (match)
            return static_cast<std::size_t>(std::stoull(head.substr(at + name.size())));
    }
    return 0;
}

} // namespace

ScriptedServer& ExpectHttpRequest(ScriptedServer& server)
{
    return server.run([&server](ScriptedConnection& c) {
        std::string head;
        if (!c.readUntil("\r\n\r\n", head)) {
            server.fail("expected an HTTP request, but none came");
            return false;
        }
        std::string body;
        const std::size_t length = contentLength(head);
        if (length > 0 && !c.readBytes(length, body)) {
            server.record(head);
            server.fail("the request body of " + std::to_string(length) + " bytes did not come");
            return false;
        }
        server.record(head + body);
        return true;
    });
}

std::string HttpAnswer(const std::string& statusLine, const std::vector<std::string>& headers,
                       const std::string& body)
{
    std::string answer = statusLine + "\r\n";
    for (const std::string& h : headers)
        answer += h + "\r\n";
    answer += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    return answer;
}

std::string ChunkedHttpAnswer(const std::string& statusLine, const std::vector<std::string>& chunks)
{
    std::string answer = statusLine + "\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (const std::string& chunk : chunks) {
        char size[32];
        std::snprintf(size, sizeof size, "%zx", chunk.size());
        answer += std::string(size) + "\r\n" + chunk + "\r\n";
    }
    return answer + "0\r\n\r\n";
}

std::string UntilCloseHttpAnswer(const std::string& statusLine, const std::string& body)
{
    return statusLine + "\r\nConnection: close\r\n\r\n" + body;
}

std::string RedirectAnswer(const std::string& location, const std::string& statusLine)
{
    return HttpAnswer(statusLine, {"Location: " + location});
}
