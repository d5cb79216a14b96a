#pragma once

#include "core/Clock.h"
#include "database/DataModuleQuorvel.h"
#include "monitor/MonitorEngine.h"
#include "support/DatabaseFixture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <functional>
#include <memory>

// A database with the program's tables, the clock standing at a chosen time, and an engine whose
// handlers the tests call directly.
class EngineFixture : public DatabaseFixture
{
protected:
    void SetUp() override
    {
        REQUIRE_TEST_DATABASE();
        DatabaseFixture::SetUp();
        startWithDatabase();
        standAt("2026-12-12 10:15:00"); // a Saturday
        engine = std::make_unique<MonitorEngine>();
    }
    void TearDown() override
    {
        engine.reset();
        DatabaseFixture::TearDown();
    }

    void standAt(const char* text)
    {
        const QDateTime t = QDateTime::fromString(QString::fromLatin1(text), "yyyy-MM-dd HH:mm:ss");
        SetClockSource([t] { return t; });
    }

    struct Service
    {
        QString kind = "Ping";
        QString ip = "127.0.0.1";
        int port = 0;
        QString by = "Hourly";
        QString hour = "00";
        QString minute = "15";
        QString status = "Start";
        QString alarms = "\"n\",\"n\",\"n\",\"n\"";
    };

    int addService(const Service& s)
    {
        m_dm->ExecUpdate(
            QString("insert into service (service,ip,port,schedule_by,schedule_hour,schedule_minute,"
                    "status,alarm_email,alarm_smpp,alarm_httpsms,alarm_syslog) values (%1,%2,%3,%4,%5,"
                    "%6,%7,%8)")
                .arg(QuoteSqlText(s.kind), QuoteSqlText(s.ip), QString::number(s.port), QuoteSqlText(s.by),
                     QuoteSqlText(s.hour), QuoteSqlText(s.minute), QuoteSqlText(s.status), s.alarms));
        return scalar("select max(id) from quorvel.service").toInt();
    }

    QString cellOf(int id, int column) const
    {
        TextTableModel* list = engine->ServiceList();
        return list->cell(list->findRow(QString::number(id)), column);
    }

    // Runs the event loop until `done` holds or `ms` have passed; returns whether it holds.
    static bool waitFor(const std::function<bool()>& done, int ms = 15000)
    {
        QDeadlineTimer deadline(ms);
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    // The cycle as TimerInit starts it, with scheduling on.
    void startCycle()
    {
        engine->TimerInitTimer();
        ASSERT_NE(engine->Pool(), nullptr);
    }

    std::unique_ptr<MonitorEngine> engine;
};
