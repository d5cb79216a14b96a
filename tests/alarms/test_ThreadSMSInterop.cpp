// The SMS alarm against a third-party SMSC: the SMPP server of the npm package "smpp"
// (node-smpp), run under node on loopback. The tests skip when node or the package is missing
// (install: Debian package nodejs, then `npm install -g smpp@0.5.1`).
#include "alarms/ThreadSMSUnit.h"
#include "core/AlarmMethodSettings.h"
#include "support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

// Binds transmitters that log in as alarm/secret and refuses others with ESME_RINVPASWD; keeps
// the fields of each submit_sm it accepts, with the text as the server decodes it, in a file.
const char* const kSmscScript = R"JS(
function load() {
    for (const name of ['smpp', '/usr/lib/node_modules/smpp', '/usr/local/lib/node_modules/smpp']) {
        try { return require(name); } catch (e) {}
    }
    return null;
}
const smpp = load();
if (!smpp) process.exit(3);
if (process.argv[2] === 'check') process.exit(0);
const fs = require('fs');
const port = Number(process.argv[2]), out = process.argv[3];
const server = smpp.createServer({}, session => {
    session.on('error', () => {});
    session.on('bind_transmitter', pdu => {
        const ok = pdu.system_id === 'alarm' && pdu.password === 'secret';
        session.boundVersion = pdu.interface_version;
        session.send(pdu.response({command_status: ok ? 0 : 0x0E}));
    });
    session.on('submit_sm', pdu => {
        fs.writeFileSync(out + '.part', JSON.stringify({
            source_addr: pdu.source_addr, source_addr_ton: pdu.source_addr_ton,
            destination_addr: pdu.destination_addr, dest_addr_ton: pdu.dest_addr_ton,
            dest_addr_npi: pdu.dest_addr_npi, registered_delivery: pdu.registered_delivery,
            data_coding: pdu.data_coding, message: pdu.short_message.message,
            interface_version: session.boundVersion
        }));
        fs.renameSync(out + '.part', out);
        session.send(pdu.response({message_id: 'sim-1'}));
    });
    session.on('enquire_link', pdu => session.send(pdu.response()));
    session.on('unbind', pdu => { session.send(pdu.response()); session.close(); });
});
server.listen(port, '127.0.0.1');
)JS";

class NodeSmppServer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_node = DaemonProcess::Find("node");
        if (m_node.empty())
            GTEST_SKIP() << "node is not installed (Debian package nodejs)";
        ASSERT_TRUE(m_dir.isValid());
        QFile script(m_dir.filePath("smsc.js"));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(kSmscScript);
        script.close();
        if (!DaemonProcess::Run(m_node, {script.fileName().toStdString(), "check"}))
            GTEST_SKIP() << "the npm package smpp is not installed (npm install -g smpp@0.5.1)";
        m_port = ScriptedServer::UnusedPort();
        m_keptFile = m_dir.filePath("submit.json");
        ASSERT_TRUE(m_server.start(
            m_node, {script.fileName().toStdString(), std::to_string(m_port), m_keptFile.toStdString()},
            {m_port}, 15000))
            << m_server.output();
    }

    SmsMethodSettings Settings() const
    {
        SmsMethodSettings settings;
        settings.ip = "127.0.0.1";
        settings.port = m_port;
        settings.oa = "QUORVEL";
        settings.authenticate = true;
        settings.username = "alarm";
        settings.password = "secret";
        settings.sms_version = 34; // SMPP 3.4, sent as 0x34
        settings.sms_ton = 5;
        settings.sms_dest_ton = 1;
        settings.sms_dest_npi = 1;
        settings.sms_orig_ton = 5;
        settings.timeout = 5000;
        return settings;
    }

    QJsonObject kept() const
    {
        QFile file(m_keptFile);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    std::string m_node;
    QTemporaryDir m_dir;
    QString m_keptFile;
    DaemonProcess m_server;
    int m_port = 0;
};

TEST_F(NodeSmppServer, AcceptsTheAlarmWithItsTextIntact)
{
    const QString text =
        QStringLiteral("[web:80] Failed {5") + QChar(0x20AC) + QStringLiteral("} @ ~home_\\^");
    ThreadSMS sms(Settings(), "+41790000000", text);
    sms.Execute();
    EXPECT_TRUE(sms.Passed) << sms.ResultDetail.toStdString();
    EXPECT_EQ(sms.ResultText, "Sent");
    EXPECT_EQ(sms.ResultDetail, "");

    const QJsonObject submit = kept();
    EXPECT_EQ(submit.value("message").toString(), text);
    EXPECT_EQ(submit.value("source_addr").toString(), "QUORVEL");
    EXPECT_EQ(submit.value("source_addr_ton").toInt(), 5);
    EXPECT_EQ(submit.value("destination_addr").toString(), "+41790000000");
    EXPECT_EQ(submit.value("dest_addr_ton").toInt(), 1);
    EXPECT_EQ(submit.value("dest_addr_npi").toInt(), 1);
    EXPECT_EQ(submit.value("registered_delivery").toInt(), 1);
    EXPECT_EQ(submit.value("data_coding").toInt(), 0);
    EXPECT_EQ(submit.value("interface_version").toInt(), 0x34) << "the bind named SMPP 3.4";
}

TEST_F(NodeSmppServer, WrongPasswordIsReportedAsABindFailure)
{
    SmsMethodSettings settings = Settings();
    settings.password = "wrong";
    ThreadSMS sms(settings, "+41790000000", "down");
    sms.Execute();
    EXPECT_FALSE(sms.Passed);
    EXPECT_EQ(sms.ResultText, "Error");
    EXPECT_EQ(sms.ResultDetail, QString(ThreadSMS::BindFailedText) + " : 14");
    EXPECT_TRUE(kept().isEmpty());
}

} // namespace
