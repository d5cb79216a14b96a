// The CSV export job: what it writes reads back whole with Python's csv module, it streams batch
// after batch with the named file untouched until the end, and a cancel or any failure (a folder
// that is missing, a full disk, a target that is no plain file, a source that fails) leaves no file
// of its own under the name and an existing file as it was.
#include "monitor/CsvExport.h"
#include "support/PythonCsv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

using Outcome = CsvExport::Outcome;

// A source of `count` rows of three fields in batches of `batch`.
CsvExport::RowSource countingSource(qint64 count, int batch)
{
    auto next = std::make_shared<qint64>(0);
    return [next, count, batch](QVector<QStringList>& rows) {
        for (int i = 0; i < batch && *next < count; ++i, ++*next)
            rows.append(
                {QString::number(*next), QStringLiteral("host %1").arg(*next % 7), QStringLiteral("ok")});
        return *next < count;
    };
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class CsvExportTest : public ::testing::Test
{
protected:
    QString path(const char* name = "export.csv") const { return m_dir.filePath(QString::fromLatin1(name)); }
    // The names in the folder: a file left beside the target would show here.
    QStringList folder() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden); }

    static CsvExport::Result writeNow(const QString& path, const QStringList& header,
                                      const CsvExport::RowSource& source)
    {
        std::atomic<bool> cancelled{false};
        return CsvExport::Write(path, header, source, {}, cancelled);
    }

    QTemporaryDir m_dir;
};

TEST_F(CsvExportTest, AnExportOfAwkwardFieldsReadsBackWholeWithPythonsCsvModule)
{
    const QStringList header = {"Date Time", "Service, kind", "Message \"text\""};
    const QVector<QStringList> rows = {
        {"2024-03-10T12:00:00", "URL", "HTTP/1.1 500 \"Internal\" error, retry"},
        {"2024-03-10T12:00:01", "SMTP", "line one\nline two\r\nline three\rend"},
        {"2024-03-10T12:00:02", " padded ", ""},
        {"2024-03-10T12:00:03", "Grüße", "東京 ,\"\""},
        {"", "", ""},
        {"2024-03-10T12:00:04", "\"", ","},
    };
    // Two rows a batch, so the rows cross batch boundaries.
    auto next = std::make_shared<int>(0);
    const CsvExport::RowSource source = [next, rows](QVector<QStringList>& out) {
        for (int i = 0; i < 2 && *next < rows.size(); ++i)
            out.append(rows[(*next)++]);
        return *next < rows.size();
    };
    const CsvExport::Result result = writeNow(path(), header, source);
    ASSERT_EQ(result.outcome, Outcome::Written) << result.error.toStdString();
    EXPECT_EQ(result.rows, rows.size());

    const QByteArray bytes = readAll(path());
    EXPECT_FALSE(bytes.startsWith("\xef\xbb\xbf")) << "no byte order mark";
    EXPECT_TRUE(bytes.startsWith("Date Time,\"Service, kind\",\"Message \"\"text\"\"\"\r\n"));
    EXPECT_TRUE(bytes.endsWith("\"\"\"\",\",\"\r\n"));

    QString error;
    const QVector<QStringList> read = ReadCsvWithPython(path(), &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();

    QVector<QStringList> expected = {header};
    expected += rows;
    ASSERT_EQ(read.size(), expected.size());
    for (int r = 0; r < expected.size(); ++r)
        EXPECT_EQ(read[r], expected[r]) << "row " << r;
}

TEST_F(CsvExportTest, RowsStreamInBatchesAndTheNamedFileChangesOnlyAtTheEnd)
{
    QFile old(path());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old content\r\n");
    old.close();

    // While batches are read, the name still holds the old file.
    auto batches = std::make_shared<int>(0);
    const CsvExport::RowSource inner = countingSource(50000, 1000);
    const QString target = path();
    bool untouched = true;
    const CsvExport::RowSource source = [&, inner](QVector<QStringList>& rows) {
        ++*batches;
        untouched = untouched && readAll(target) == "old content\r\n";
        return inner(rows);
    };
    const CsvExport::Result result = writeNow(target, {"n", "host", "state"}, source);
    ASSERT_EQ(result.outcome, Outcome::Written) << result.error.toStdString();
    EXPECT_EQ(result.rows, 50000);
    EXPECT_EQ(*batches, 50);
    EXPECT_TRUE(untouched);
    const QList<QByteArray> lines = readAll(target).split('\n');
    ASSERT_EQ(lines.size(), 50002); // header, rows and the empty text after the last CR LF
    EXPECT_EQ(lines[1], "0,host 0,ok\r");
    EXPECT_EQ(lines[50000], "49999,host 5,ok\r");
    EXPECT_EQ(folder(), QStringList{"export.csv"});
}

TEST_F(CsvExportTest, TheJobRunsOnItsOwnThreadReportsProgressAndFinishesOnce)
{
    QThread* sourceThread = nullptr;
    const CsvExport::RowSource inner = countingSource(20000, 500);
    CsvExport job(path(), {"n", "host", "state"}, [&, inner](QVector<QStringList>& rows) {
        sourceThread = QThread::currentThread();
        return inner(rows);
    });
    job.setRowCounter([] { return qint64(20000); });
    QSignalSpy progress(&job, &CsvExport::progress);
    QSignalSpy finished(&job, &CsvExport::finished);
    job.start();
    EXPECT_TRUE(job.isRunning());
    ASSERT_TRUE(finished.wait(20000));
    QCoreApplication::processEvents(); // progress posted before the end
    ASSERT_EQ(finished.size(), 1);
    const auto result = finished[0][0].value<CsvExport::Result>();
    EXPECT_EQ(result.outcome, Outcome::Written);
    EXPECT_EQ(result.rows, 20000);
    EXPECT_FALSE(job.isRunning());
    EXPECT_NE(sourceThread, QThread::currentThread());
    ASSERT_GE(progress.size(), 1);
    EXPECT_EQ(progress.first()[1].toLongLong(), 20000) << "the total is told";
    for (const QList<QVariant>& p : progress)
        EXPECT_LE(p[0].toLongLong(), 20000);
    EXPECT_EQ(readAll(path()).count('\n'), 20001);
}

TEST_F(CsvExportTest, ACancelLeavesNoFileAndAnExistingFileAsItWas)
{
    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "over an existing file" : "new file");
        const QString target = path(existing ? "existing.csv" : "new.csv");
        if (existing) {
            QFile file(target);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("keep me\r\n");
        }
        const QStringList before = folder();
        // An endless source: only a cancel ends this export.
        CsvExport job(target, {"n", "host", "state"},
                      countingSource(std::numeric_limits<qint64>::max(), 200));
        QSignalSpy progress(&job, &CsvExport::progress);
        QSignalSpy finished(&job, &CsvExport::finished);
        job.start();
        ASSERT_TRUE(progress.wait(10000));
        job.cancel();
        ASSERT_TRUE(finished.wait(10000));
        EXPECT_EQ(finished[0][0].value<CsvExport::Result>().outcome, Outcome::Cancelled);
        EXPECT_EQ(folder(), before);
        if (existing)
            EXPECT_EQ(readAll(target), "keep me\r\n");
        else
            EXPECT_FALSE(QFileInfo::exists(target));
    }
}

TEST_F(CsvExportTest, DestroyingARunningJobCancelsItAndLeavesNoFile)
{
    {
        CsvExport job(path(), {"n"}, countingSource(std::numeric_limits<qint64>::max(), 200));
        QSignalSpy progress(&job, &CsvExport::progress);
        job.start();
        ASSERT_TRUE(progress.wait(10000));
    }
    EXPECT_TRUE(folder().isEmpty());
}

// The soft file size limit makes every write past it fail with EFBIG, as a full disk would, for
// any user (a folder without write permission does not stop root).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

TEST_F(CsvExportTest, AFailureNamesTheFileAndLeavesNoHalfFile)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("folder")));
    struct Case
    {
        const char* what;
        QString target;
        bool existing; // a file of the name is there before
        bool fullDisk;
        bool throwing;
        const char* reason; // part of the error text
    };
    const Case cases[] = {
        {"missing folder", path("missing/export.csv"), false, false, false, ""},
        {"full disk, new file", path("full.csv"), false, true, false, ""},
        {"full disk, existing file", path("kept.csv"), true, true, false, ""},
        {"a folder of the name", path("folder"), false, false, false, "not a regular file"},
        {"a device of the name", QStringLiteral("/dev/full"), false, false, false, "not a regular file"},
        {"the source fails", path("source.csv"), true, false, true, "server has gone away"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.existing) {
            QFile file(c.target);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("previous\r\n");
        }
        const QStringList before = folder();
        const CsvExport::RowSource rows = countingSource(100000, 1000);
        auto calls = std::make_shared<int>(0);
        const CsvExport::RowSource source = [&, rows, calls](QVector<QStringList>& out) -> bool {
            if (c.throwing && ++*calls == 3)
                throw std::runtime_error("MySQL server has gone away");
            return rows(out);
        };
        CsvExport::Result result;
        {
            std::unique_ptr<FileSizeLimit> limit;
            if (c.fullDisk)
                limit = std::make_unique<FileSizeLimit>(256 * 1024);
            result = writeNow(c.target, {"n", "host", "state"}, source);
        }
        EXPECT_EQ(result.outcome, Outcome::Failed);
        EXPECT_TRUE(result.error.contains(c.target)) << result.error.toStdString();
        EXPECT_TRUE(result.error.contains(QString::fromLatin1(c.reason))) << result.error.toStdString();
        EXPECT_EQ(folder(), before) << "nothing is left beside the file";
        if (c.existing) {
            EXPECT_EQ(readAll(c.target), "previous\r\n");
        } else if (c.target.startsWith(m_dir.path())) {
            EXPECT_FALSE(QFileInfo(c.target).isFile());
        }
    }
    EXPECT_TRUE(QFileInfo(QStringLiteral("/dev/full")).exists());
    EXPECT_FALSE(QFileInfo(QStringLiteral("/dev/full")).isFile()) << "the device stays a device";
}

} // namespace
