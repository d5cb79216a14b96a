#pragma once

#include "net/ProtocolError.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Replies of the line protocols (SMTP, POP3, IMAP, FTP) and the rules that decide where a reply
// ends. The parsers do no I/O: bytes are fed in pieces of any size, so they are tested with plain
// strings; LineClient (LineClient.h) feeds them from a socket.

struct LineReply
{
    // SMTP/FTP: the three-digit code; 0 for POP3 and IMAP.
    int code = 0;
    // POP3: "+OK" or "-ERR" (empty for anything else); IMAP: the status word of the last line
    // in upper case ("OK", "NO", "BAD", "PREAUTH", "BYE"), empty when it has none.
    std::string status;
    // Every line of the reply in order, without CR LF.
    std::vector<std::string> lines;

    const std::string& lastLine() const;
    // The lines joined by a space, made fit for a message (see Printable).
    std::string text() const;
};

// `text` with control characters replaced by spaces and cut to `maxLength` bytes ("..." added), so
// whatever a server sends can go into a message, a log line or a result detail.
std::string Printable(std::string_view text, std::size_t maxLength = 512);

// Splits the incoming bytes into lines and hands each to the protocol's rule until the rule says
// the reply is complete. Bounds: one line at most kMaxLineLength bytes, one reply at most
// kMaxReplyBytes bytes; beyond them feed() throws ProtocolError.
class ReplyParser
{
public:
    static constexpr std::size_t kMaxLineLength = 64 * 1024;
    static constexpr std::size_t kMaxReplyBytes = 1024 * 1024;

    virtual ~ReplyParser() = default;

    // Takes bytes up to the end of the reply and returns how many it took; bytes after the end of
    // the reply are left to the caller for the next reply. Throws ProtocolError on a malformed
    // reply.
    std::size_t feed(std::string_view bytes);
    bool complete() const { return m_complete; }
    // Bytes of an unfinished line held back (to tell a reply cut off mid-line).
    bool hasPartialLine() const { return !m_partial.empty(); }
    const LineReply& reply() const { return m_reply; }
    // Forgets the reply and gets ready for the next one.
    void reset();
    // Whether a reply names the command it answers (IMAP tags). Without that, a reply is known to
    // answer a command only by coming after it, so bytes the server sends before a command are
    // out of turn (see LineClient::command).
    virtual bool repliesAreTagged() const { return false; }

protected:
    // Takes the next complete line into `reply`; returns true when it ends the reply.
    virtual bool takeLine(const std::string& line, LineReply& reply) = 0;
    // Called by reset() for the rule's own state.
    virtual void resetRule() {}

private:
    std::string m_partial;
    std::size_t m_replyBytes = 0;
    bool m_complete = false;
    LineReply m_reply;
};

// SMTP and FTP: "250 text", or a multi-line reply that starts with "250-" and ends with the first
// line that starts with the same code followed by a space (or that is the bare code). Lines in
// between may be anything (FTP). A first line without a three-digit code is malformed.
class NumericReplyParser : public ReplyParser
{
protected:
    bool takeLine(const std::string& line, LineReply& reply) override;
    void resetRule() override { m_multiLine = false; }

private:
    bool m_multiLine = false;
};

// POP3 single-line replies: one line, "+OK ..." or "-ERR ..." (anything else is left for the
// caller to judge: status stays empty).
class Pop3ReplyParser : public ReplyParser
{
protected:
    bool takeLine(const std::string& line, LineReply& reply) override;
};

// IMAP: without a tag, one line (the greeting); with a tag, untagged lines up to and including
// the first line that begins with the tag and a space. `status` is the status word of the last
// line ("* OK ..." gives "OK", "C1 NO ..." gives "NO").
class ImapReplyParser : public ReplyParser
{
public:
    void setTag(const std::string& tag) { m_tag = tag; }
    // Untagged lines may come at any time; the tagged line ends the reply to its command.
    bool repliesAreTagged() const override { return true; }

protected:
    bool takeLine(const std::string& line, LineReply& reply) override;

private:
    std::string m_tag;
};
