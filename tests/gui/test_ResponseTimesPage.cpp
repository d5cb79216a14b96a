// The history window's Response Times page against the real database: choosing a host, a
// service and a range shows that service's uptime, failures, chart and state changes; answers to
// an earlier choice are dropped; a refresh keeps the choice.
#include "GuiFixture.h"

#include "core/Clock.h"
#include "core/comFunc.h"
#include "database/ResultStore.h"
#include "gui/dialogs/ResponseTimesPage.h"
#include "gui/dialogs/chartings.h"
#include "support/PythonCsv.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>

namespace {

const QDateTime kNow(QDate(2026, 3, 2), QTime(10, 17, 30));

class ResponseTimesPageTest : public GuiFixture
{
protected:
    void TearDown() override
    {
        SetClockSource({});
        GuiFixture::TearDown();
    }

    // Three services, two on one host. The shop's last 24 hours: 8 results a minute apart ending
    // now, the 3rd and 4th failed; 5 results two days before; and a year of daily summaries of
    // 1,000 checks with 990 passes (today's too).
    void prepare()
    {
        SetClockSource([] { return kNow; });
        m_shop = addService({"URL", "http://shop.example.com/health", 80, "Start"});
        m_mail = addService({"SMTP", "mail.example.com", 25, "Start"});
        m_imap = addService({"IMAP", "mail.example.com", 143, "Start"});
        std::vector<CheckResultRow> rows;
        for (int i = 0; i < 8; ++i)
            rows.push_back({m_shop, kNow.addSecs(-60 * (8 - i)), i != 2 && i != 3, 100 + 10 * i, "r"});
        for (int i = 0; i < 5; ++i)
            rows.push_back({m_shop, kNow.addDays(-2).addSecs(60 * i), true, 500, QString()});
        for (int i = 0; i < 4; ++i)
            rows.push_back({m_mail, kNow.addSecs(-600 + 60 * i), i > 0, 20, QString()});
        ResultStore::Append(rows);
        QStringList days;
        for (int d = 0; d < 400; ++d) {
            days << QString("(%1,\"%2\",1000,990,10,%3,900,1)")
                        .arg(m_shop)
                        .arg(kNow.date().addDays(-d).toString(Qt::ISODate))
                        .arg(40 + d % 30);
        }
        m_dm->ExecUpdate(
            "replace into service_day (service_id,day,checks,passes,min_ms,avg_ms,max_ms,closed) "
            "values " +
            days.join(','));
    }

    ResponseTimesPage* open()
    {
        openWindow();
        showWindow();
        window->OpenDialog(DialogKind::Chart);
        m_form = FormChartings();
        if (!m_form)
            return nullptr;
        ResponseTimesPage* page = m_form->ResponsePage();
        m_form->PageControl->setCurrentWidget(page);
        settle(page);
        return page;
    }
    void settle(ResponseTimesPage* page)
    {
        ASSERT_TRUE(waitFor([page] { return !page->IsLoading(); })) << "the page did not finish reading";
        QTest::qWait(20);
    }
    static QStringList items(QComboBox* box)
    {
        QStringList texts;
        for (int i = 0; i < box->count(); ++i)
            texts << box->itemText(i);
        return texts;
    }
    static bool hasBand(ResponseTimesPage* page)
    {
        for (QAbstractSeries* s : page->ChartResponse->chart()->series()) {
            if (qobject_cast<QAreaSeries*>(s))
                return true;
        }
        return false;
    }
    static int linePoints(ResponseTimesPage* page)
    {
        for (QAbstractSeries* s : page->ChartResponse->chart()->series()) {
            if (auto* line = qobject_cast<QLineSeries*>(s))
                return int(line->count());
        }
        return -1;
    }

    int m_shop = 0, m_mail = 0, m_imap = 0;
    TFormChartings* m_form = nullptr;
};

} // namespace

// The lists, the figures of each choice, and the raw or daily source by the range.
TEST_F(ResponseTimesPageTest, ChoosingAServiceAndARangeShowsItsFigures)
{
    prepare();
    ResponseTimesPage* page = open();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(m_form->PageControl->tabText(m_form->PageControl->indexOf(page)), "Response Times");
    EXPECT_EQ(page->ComboHost->accessibleName(), "Host");
    EXPECT_EQ(page->ComboService->accessibleName(), "Service");
    EXPECT_EQ(page->ComboRange->accessibleName(), "Range");
    EXPECT_EQ(items(page->ComboHost), QStringList({"mail.example.com", "shop.example.com/health"}));
    EXPECT_EQ(items(page->ComboRange), QStringList({"24 hours", "7 days", "30 days", "365 days"}));
    // The first host's services, and the first of them read.
    EXPECT_EQ(items(page->ComboService), QStringList({"IMAP : 143", "SMTP : 25"}));
    EXPECT_EQ(page->ShownServiceId(), m_imap);
    EXPECT_EQ(page->LabelUptime->text(), "Uptime: ---");
    EXPECT_FALSE(m_form->ButtonExport->isEnabled());    // no bar chart to save here
    EXPECT_FALSE(m_form->ButtonExportCsv->isVisible()); // the page exports its own rows

    const struct
    {
        const char* host;
        const char* service;
        ResponseRange range;
        const char* uptime;
        const char* failures;
        int changes;
        bool band;
    } cases[] = {
        {"mail.example.com", "SMTP : 25", ResponseRange::Day, "Uptime: 75.00 %", "Failures: 1 of 4 checks", 1,
         false},
        {"shop.example.com/health", "URL : 80", ResponseRange::Day, "Uptime: 75.00 %",
         "Failures: 2 of 8 checks", 2, false},
        {"shop.example.com/health", "URL : 80", ResponseRange::Week, "Uptime: 84.62 %",
         "Failures: 2 of 13 checks", 2, false},
        // Beyond the 31 days kept: 365 summaries of 1,000 checks.
        {"shop.example.com/health", "URL : 80", ResponseRange::Year, "Uptime: 99.00 %",
         "Failures: 3650 of 365000 checks", 2, true},
    };
    for (const auto& c : cases) {
        page->ComboHost->setCurrentText(c.host);
        page->ComboService->setCurrentText(c.service);
        page->ChooseRange(c.range);
        settle(page);
        const std::string where = std::string(c.service) + " " + std::to_string(int(c.range));
        EXPECT_EQ(page->LabelUptime->text(), c.uptime) << where;
        EXPECT_EQ(page->LabelFailures->text(), c.failures) << where;
        EXPECT_EQ(page->ListChanges->model()->rowCount(), c.changes) << where;
        EXPECT_EQ(hasBand(page), c.band) << where;
    }
    EXPECT_EQ(linePoints(page), 365);
    EXPECT_EQ(column(page->ListChanges, 1), QStringList({"Failed -> Passed", "Passed -> Failed"}));
    EXPECT_EQ(column(page->ListChanges, 0)[1], kNow.addSecs(-6 * 60).toString("yyyy-MM-dd HH:mm:ss"));
    EXPECT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('\n').toStdString();
}

// Answers to a choice the user has left meanwhile never reach the page; the refresh reads the
// chosen service again and keeps it chosen.
TEST_F(ResponseTimesPageTest, StaleAnswersAreDroppedAndRefreshKeepsTheChoice)
{
    prepare();
    ResponseTimesPage* page = open();
    ASSERT_NE(page, nullptr);
    QList<int> shown;
    QObject::connect(page, &ResponseTimesPage::resultsLoaded, page, [&] { shown << page->ShownServiceId(); });
    // Three choices in one turn of the event loop: only the last one's answer is shown.
    ASSERT_TRUE(page->ChooseService(m_shop));
    page->ChooseRange(ResponseRange::Year);
    ASSERT_TRUE(page->ChooseService(m_mail));
    settle(page);
    EXPECT_EQ(shown, QList<int>({m_mail}));
    EXPECT_EQ(page->LabelFailures->text(), "Failures: 1 of 4 checks");

    ResultStore::Append({{m_mail, kNow.addSecs(-5), false, 0, "down"}});
    shown.clear();
    QTest::mouseClick(m_form->ButtonRefresh, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return !shown.isEmpty() && !page->IsLoading(); }));
    EXPECT_EQ(page->ServiceId(), m_mail);
    EXPECT_EQ(page->LabelFailures->text(), "Failures: 2 of 5 checks");
    EXPECT_EQ(page->ListChanges->model()->rowCount(), 2);
}

// Export CSV writes the rows behind the figures shown: the raw results of a range within the
// days kept, oldest first, with ISO 8601 times and the detail quoted where it must be; the days
// of a longer range. Python's csv module reads both back whole.
TEST_F(ResponseTimesPageTest, ExportCsvWritesTheRowsOfTheRangeShown)
{
    prepare();
    ResultStore::Append({{m_mail, kNow.addSecs(-30), false, 0, "421 busy, \"try later\"\nbye"}});
    ResponseTimesPage* page = open();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->ButtonExportCsv->accessibleName(), "Export CSV");
    ASSERT_TRUE(page->ChooseService(m_mail));
    settle(page);
    ASSERT_TRUE(page->ButtonExportCsv->isEnabled());

    const struct
    {
        ResponseRange range;
        int rows;
        QStringList header;
    } cases[] = {
        {ResponseRange::Day, 5, {"Time", "Host", "Service", "Status", "Response ms", "Detail"}},
        {ResponseRange::Year,
         1,
         {"Day", "Host", "Service", "Checks", "Passes", "Min ms", "Avg ms", "Max ms", "P95 ms"}},
    };
    for (const auto& c : cases) {
        page->ChooseRange(c.range);
        settle(page);
        const QString path = AppSettings.LogDir + QString("range-%1.csv").arg(int(c.range));
        QList<bool> outcomes;
        QObject::connect(page, &ResponseTimesPage::csvExported, page,
                         [&](bool written) { outcomes << written; });
        ASSERT_TRUE(page->ExportCsv(path));
        ASSERT_TRUE(waitFor([&] { return !outcomes.isEmpty(); }));
        EXPECT_EQ(outcomes, QList<bool>({true}));
        QString error;
        const QVector<QStringList> rows = ReadCsvWithPython(path, &error);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        ASSERT_EQ(rows.size(), c.rows + 1) << int(c.range);
        EXPECT_EQ(rows[0], c.header);
        if (c.range == ResponseRange::Day) {
            EXPECT_EQ(rows[1], QStringList({kNow.addSecs(-600).toString("yyyy-MM-ddTHH:mm:ss"),
                                            "mail.example.com", "SMTP", "Failed", "20", ""}));
            EXPECT_EQ(rows[5][5], "421 busy, \"try later\"\nbye");
        } else {
            EXPECT_EQ(rows[1].mid(0, 5),
                      QStringList({kNow.date().toString(Qt::ISODate), "mail.example.com", "SMTP", "5", "3"}));
        }
        QObject::disconnect(page, &ResponseTimesPage::csvExported, page, nullptr);
    }
    EXPECT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('\n').toStdString();
}

// Pictures of the page for a look by eye: QUORVEL_SCREENSHOTS names the folder.
TEST_F(ResponseTimesPageTest, Screenshots)
{
    const QString folder = qEnvironmentVariable("QUORVEL_SCREENSHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "QUORVEL_SCREENSHOTS is not set";
    prepare();
    std::vector<CheckResultRow> rows;
    for (int i = 0; i < 1440; ++i) {
        const bool down = (i > 300 && i < 320) || i == 900;
        rows.push_back({m_imap, kNow.addSecs(-60 * (1440 - i)), !down,
                        40 + (i * 37) % 25 + (i > 700 && i < 760 ? 120 : 0),
                        down ? "Connection refused" : ""});
    }
    ResultStore::Append(rows);
    ResponseTimesPage* page = open();
    ASSERT_NE(page, nullptr);
    m_form->resize(900, 600);
    QDir().mkpath(folder);
    const struct
    {
        int service;
        ResponseRange range;
        const char* name;
    } shots[] = {{m_imap, ResponseRange::Day, "response-24h"},
                 {m_shop, ResponseRange::Year, "response-365d"}};
    for (const auto& s : shots) {
        ASSERT_TRUE(page->ChooseService(s.service));
        page->ChooseRange(s.range);
        settle(page);
        ASSERT_TRUE(m_form->grab().save(folder + "/" + s.name + ".png"));
    }
}
