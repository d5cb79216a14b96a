#pragma once

#include "support/ScriptedServer.h"

#include <string>
#include <vector>

// HTTP pieces for ScriptedServer scripts.
//
//     ScriptedServer server;
//     ExpectHttpRequest(server).send(HttpAnswer("HTTP/1.1 200 OK", {}, "hi")).silence(5000);
//     server.start();
//     ... run the client against server.port() ...
//     EXPECT_EQ(server.received()[0], "GET / HTTP/1.1\r\nHost: ...\r\n\r\n");

// Adds a step that reads one request, its head through the blank line and then as many body
// bytes as its Content-Length says, and records it whole (exact bytes) in received().
ScriptedServer& ExpectHttpRequest(ScriptedServer& server);

// An answer with Content-Length: the status line, the header lines, a blank line, the body.
std::string HttpAnswer(const std::string& statusLine, const std::vector<std::string>& headers = {},
                       const std::string& body = {});
// An answer whose body is sent in the given chunks, with Transfer-Encoding: chunked.
std::string ChunkedHttpAnswer(const std::string& statusLine, const std::vector<std::string>& chunks);
// An answer without length (the body ends when the server closes the connection).
std::string UntilCloseHttpAnswer(const std::string& statusLine, const std::string& body);
// "HTTP/1.1 302 Found" with the given Location and an empty body.
std::string RedirectAnswer(const std::string& location, const std::string& statusLine = "HTTP/1.1 302 Found");
