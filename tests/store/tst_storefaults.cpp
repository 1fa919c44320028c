// What the store does when the world misbehaves: something else stands at the file's path,
// the disk fills up mid-write, the program is killed mid-save, two copies save at once.
// Those that need a process to kill, limit or run twice drive ContactStore through storetool.

#include "contactrecord.h"
#include "contactstore.h"
#include "cp1252.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/resource.h>

namespace {

const QString StoreTool = QStringLiteral(LB_STORETOOL);

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString contact(int i)
{
    return formatRecord(QStringLiteral("Contato %1").arg(i),
        QStringLiteral("(11) 5555-%1").arg(i, 4, 10, QChar(u'0')),
        QStringLiteral("contato%1@exemplo.com.br").arg(i), QStringLiteral("Rua das Ac\u00e1cias, 10\nSala 2"),
        QStringLiteral("Fecha \u00e0s 18h \u2013 \u20ac"), QStringLiteral("05/12/2026"));
}

// The layout every save writes, spelled out: '"', each record line and CR LF, CR LF, '"', CR LF.
QByteArray canonical(const QStringList& lines)
{
    QByteArray bytes("\"");
    for (const QString& line : lines)
        bytes += Cp1252::encode(line) + "\r\n";
    return bytes + "\r\n\"\r\n";
}

// out: what the test already read of the child's output.
QString childReport(QProcess& child, const QByteArray& out = {})
{
    return QStringLiteral("exit %1, stdout: %2, stderr: %3")
        .arg(child.exitCode())
        .arg(QString::fromLocal8Bit(out + child.readAllStandardOutput()),
            QString::fromLocal8Bit(child.readAllStandardError()));
}

} // namespace

class TestStoreFaults : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void directoryAtTheFilePathIsNeverTouched()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const ContactStore store(dir.path());
        QVERIFY(QDir(dir.path()).mkdir(QString::fromLatin1(ContactStore::FileName)));
        const QString inside = store.path() + QStringLiteral("/keep.txt");
        QVERIFY(writeBytes(inside, "not a contact\r\n"));

        // Whatever ensure() answers, it must not put a file in the directory's place.
        store.ensure();

        QStringList lines { QStringLiteral("stale") };
        QCOMPARE(store.readRecordLines(&lines), StoreStatus::ReadError);
        QVERIFY(lines.isEmpty());
        NameList names;
        QCOMPARE(store.readNames(&names), StoreStatus::ReadError);
        QCOMPARE(names.size(), 0);
        std::optional<ContactRecord> found = ContactRecord {};
        QCOMPARE(store.findRecord(QStringLiteral("Contato 1"), &found), StoreStatus::ReadError);
        QVERIFY(!found);

        const auto failed
            = [](StoreStatus s) { return s == StoreStatus::ReadError || s == StoreStatus::WriteError; };
        QVERIFY(failed(store.append(contact(1))));
        int count = -1;
        QVERIFY(failed(store.replaceRecords(QStringLiteral("Contato 1"), contact(2), &count)));
        QCOMPARE(count, 0);
        count = -1;
        QVERIFY(failed(store.removeRecords(QStringLiteral("Contato 1"), &count)));
        QCOMPARE(count, 0);

        QVERIFY(QFileInfo(store.path()).isDir());
        QCOMPARE(QDir(store.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList { QStringLiteral("keep.txt") });
        QCOMPARE(readBytes(inside), QByteArray("not a contact\r\n"));
        QStringList beside
            = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        beside.removeAll(QString::fromLatin1(ContactStore::FileName) + QStringLiteral(".lock"));
        QCOMPARE(beside, QStringList { QString::fromLatin1(ContactStore::FileName) });
    }

    void fullDiskKeepsTheOldFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const ContactStore store(dir.path());
        QCOMPARE(store.append(contact(1)), StoreStatus::Ok);
        QCOMPARE(store.append(contact(2)), StoreStatus::Ok);
        const QByteArray before = readBytes(store.path());

        // Every new file the child writes stops at 64 KiB with EFBIG, as on a full disk; the
        // records it appends are 128 KiB each, so its first save already fails half-written.
        QProcess child;
        child.setChildProcessModifier([] {
            const rlimit limit { 64 * 1024, 64 * 1024 };
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::signal(SIGXFSZ, SIG_IGN);
        });
        child.start(StoreTool, { QStringLiteral("bigwrite"), dir.path(), QStringLiteral("3") });
        QVERIFY2(child.waitForFinished(120000), "storetool bigwrite did not finish");
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        if (child.exitCode() != 3)
            QFAIL(qPrintable(childReport(child)));

        QCOMPARE(readBytes(store.path()), before);
        // Neither the lock nor a cut-off temporary file is left beside it.
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList { QString::fromLatin1(ContactStore::FileName) });
    }

    void lockLeftEmptyByACrashDoesNotBlockSaving()
    {
        // A copy killed after creating the lock file but before writing its process id into it
        // leaves it empty: no process can be asked about it, and the next save must still work.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const ContactStore store(dir.path());
        QVERIFY(writeBytes(store.path() + QStringLiteral(".lock"), QByteArray()));
        QCOMPARE(store.append(contact(1)), StoreStatus::Ok);
        QStringList lines;
        QCOMPARE(store.readRecordLines(&lines), StoreStatus::Ok);
        QCOMPARE(lines, QStringList { contact(1) });
    }

    void killedMidSaveLeavesOneWholeFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString folder = dir.filePath(QStringLiteral("store"));
        QVERIFY(QDir().mkpath(folder));
        const ContactStore store(folder);

        // A few hundred KiB each, so that a save takes long enough for kills to land inside it.
        QStringList lines;
        for (int i = 0; i < 3000; ++i)
            lines.append(contact(i));
        const QByteArray contentA = canonical(lines);
        lines.append(formatRecord(QStringLiteral("Extra"), QString(), QString(), QString(40000, u'\u00e7'),
            QString(), QStringLiteral("06/12/2026")));
        const QByteArray contentB = canonical(lines);
        const QString sampleA = dir.filePath(QStringLiteral("a.txt"));
        const QString sampleB = dir.filePath(QStringLiteral("b.txt"));
        QVERIFY(writeBytes(sampleA, contentA) && writeBytes(sampleB, contentB));
        QVERIFY(writeBytes(store.path(), contentA));

        const quint32 seed = qEnvironmentVariableIsSet("LB_FAULT_SEED")
            ? quint32(qEnvironmentVariableIntValue("LB_FAULT_SEED"))
            : QRandomGenerator::system()->generate();
        qInfo("seed %u (set LB_FAULT_SEED to repeat)", seed);
        QRandomGenerator rng(seed);

        int saves = 0;
        int kills = 0;
        QString lockLeft = QStringLiteral("none");
        qint64 saveNs = 5'000'000; // how long one save takes here; a sanitizer build is much slower
        QElapsedTimer clock;
        clock.start();
        while (saves < 200 || kills < 50) {
            QProcess child;
            child.start(StoreTool, { QStringLiteral("alternate"), folder, sampleA, sampleB });
            QVERIFY2(child.waitForStarted(), "storetool did not start");

            // Whatever the killed copy left, lock file included, the next one saves at its first
            // try: a user who restarts the program after a crash must not be told it cannot save.
            // Let it complete one to three saves, timing them, then kill it at a random moment of
            // the next one.
            const int wanted = 1 + int(rng.bounded(3));
            QByteArray out;
            qint64 firstSaveNs = 0;
            while (out.count("saved\n") < wanted) {
                if (child.state() != QProcess::Running)
                    QFAIL(qPrintable(QStringLiteral("seed %1, after kill %2 (lock file left: %3): %4")
                                         .arg(seed)
                                         .arg(kills)
                                         .arg(lockLeft)
                                         .arg(childReport(child, out))));
                child.waitForReadyRead(100);
                out += child.readAllStandardOutput();
                if (firstSaveNs == 0 && out.contains("saved\n"))
                    firstSaveNs = clock.nsecsElapsed();
            }
            const qsizetype done = out.count("saved\n");
            if (done > 1)
                saveNs = (clock.nsecsElapsed() - firstSaveNs) / (done - 1);
            QThread::usleep(rng.bounded(quint64(saveNs / 1000) + 1));
            child.kill();
            QVERIFY(child.waitForFinished());
            if (child.exitStatus() != QProcess::CrashExit)
                QFAIL(qPrintable(childReport(child)));
            out += child.readAllStandardOutput();
            saves += int(out.count("saved\n"));
            ++kills;

            const QByteArray now = readBytes(store.path());
            QVERIFY2(now == contentA || now == contentB,
                qPrintable(QStringLiteral("seed %1, after kill %2: %3 bytes, neither sample")
                               .arg(seed)
                               .arg(kills)
                               .arg(now.size())));
            const QFileInfo lock(store.path() + QStringLiteral(".lock"));
            lockLeft = lock.exists() ? QStringLiteral("%1 bytes").arg(lock.size()) : QStringLiteral("none");
        }
        qInfo("%d saves, %d kills, %lld ms", saves, kills, clock.elapsed());
    }

    void twoCopiesAppendingAtOnceLoseNothing()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const ContactStore store(dir.path());
        QProcess first;
        QProcess second;
        first.start(
            StoreTool, { QStringLiteral("append"), dir.path(), QStringLiteral("A"), QStringLiteral("200") });
        second.start(
            StoreTool, { QStringLiteral("append"), dir.path(), QStringLiteral("B"), QStringLiteral("200") });
        for (QProcess* child : { &first, &second }) {
            QVERIFY2(child->waitForFinished(120000), "storetool append did not finish");
            QCOMPARE(child->exitStatus(), QProcess::NormalExit);
            if (child->exitCode() != 0)
                QFAIL(qPrintable(childReport(*child)));
        }

        QStringList lines;
        QCOMPARE(store.readRecordLines(&lines), StoreStatus::Ok);
        QCOMPARE(readBytes(store.path()), canonical(lines));
        // Each copy's contacts, once each and in the order it appended them.
        for (const QString& prefix : { QStringLiteral("A-"), QStringLiteral("B-") }) {
            QStringList names;
            for (const QString& line : std::as_const(lines)) {
                if (line.startsWith(prefix))
                    names.append(recordName(line).toString());
            }
            QStringList expected;
            for (int i = 0; i < 200; ++i)
                expected.append(prefix + QString::number(i));
            QCOMPARE(names, expected);
        }
        QCOMPARE(lines.size(), 400);
    }
};

QTEST_GUILESS_MAIN(TestStoreFaults)
#include "tst_storefaults.moc"
