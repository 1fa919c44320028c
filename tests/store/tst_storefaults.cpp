// What the store does when the world misbehaves: a directory stands at the file's path, the disk
// fills up mid-write, the program is killed mid-save, two copies save at once. The cases that
// need a process to limit, kill or run twice drive the store through storetool.

#include "contactstore.h"
#include "filebytes.h"
#include "readonlyfolder.h"
#include "storetext.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

const QString StoreTool = QStringLiteral(LB_STORETOOL);
const QString FileName = QString::fromLatin1(ContactStore::FileName);

// Everything in a folder, so that a lock or temporary file left behind shows too.
QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

QString contact(int i)
{
    return formatRecord(u"Contato %1"_s.arg(i), u"5555-%1"_s.arg(i), u"c%1@exemplo.com.br"_s.arg(i),
        u"Rua das Acácias, 10\nSala 2"_s, u"Fecha às 18h – €"_s, u"05/12/2026"_s);
}

QString report(QProcess& child, const QByteArray& out = {})
{
    return u"exit %1, stdout: %2, stderr: %3"_s.arg(child.exitCode())
        .arg(QString::fromLocal8Bit(out + child.readAllStandardOutput()),
            QString::fromLocal8Bit(child.readAllStandardError()));
}

} // namespace

class TestStoreFaults : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> m_dir; // a fresh folder for each case

private Q_SLOTS:
    void init() { QVERIFY(m_dir.emplace().isValid()); }

    void directoryAtTheFilePathIsNeverTouched()
    {
        const ContactStore store(m_dir->path());
        QVERIFY(QDir(m_dir->path()).mkdir(FileName));
        QVERIFY(writeBytes(store.path() + u"/keep.txt"_s, "not a contact\r\n"));

        store.ensure(); // whatever it answers, it must not put a file in the directory's place
        QStringList lines { u"stale"_s };
        QCOMPARE(store.readRecordLines(&lines), StoreStatus::ReadError);
        QVERIFY(lines.isEmpty());
        NameList names;
        QCOMPARE(store.readNames(&names), StoreStatus::ReadError);
        std::optional<ContactRecord> found = ContactRecord {};
        QCOMPARE(store.findRecord(u"Contato 1"_s, &found), StoreStatus::ReadError);
        QVERIFY(!found);

        int replaced = -1, removed = -1;
        QVERIFY(store.append(contact(1)) != StoreStatus::Ok);
        QVERIFY(store.replaceRecords(u"Contato 1"_s, contact(2), &replaced) != StoreStatus::Ok);
        QVERIFY(store.removeRecords(u"Contato 1"_s, &removed) != StoreStatus::Ok);
        QVERIFY(replaced == 0 && removed == 0);

        QCOMPARE(entries(store.path()), QStringList { u"keep.txt"_s });
        QCOMPARE(readBytes(store.path() + u"/keep.txt"_s), QByteArray("not a contact\r\n"));
        QCOMPARE(entries(m_dir->path()), QStringList { FileName });
    }

    void fullDiskKeepsTheOldFile_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<QStringList>("args");
        // Records of 128 KiB: the first save fails half-written, past Qt's write buffer.
        QTest::newRow("large save") << 64 * 1024 << QStringList { u"bigwrite"_s, u"3"_s };
        // A save smaller than Qt's write buffer is written only when the file is committed: a
        // short write there must fail the save too, not rename a cut-off file over the store.
        QTest::newRow("small save") << 150 << QStringList { u"append"_s, u"P"_s, u"3"_s };
    }

    void fullDiskKeepsTheOldFile()
    {
        QFETCH(int, limit);
        QFETCH(QStringList, args);
        const ContactStore store(m_dir->path());
        QCOMPARE(store.append(contact(1)), StoreStatus::Ok);
        const QByteArray before = readBytes(store.path());

        // Every file the child writes stops at the limit with EFBIG, as on a full disk.
        QProcess child;
        child.setChildProcessModifier([limit] {
            const rlimit fsize { rlim_t(limit), rlim_t(limit) };
            ::setrlimit(RLIMIT_FSIZE, &fsize);
            ::signal(SIGXFSZ, SIG_IGN);
        });
        args.insert(1, m_dir->path());
        child.start(StoreTool, args);
        QVERIFY2(child.waitForFinished(120000), "storetool did not finish");
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != int(StoreStatus::WriteError))
            QFAIL(qPrintable(report(child)));
        QCOMPARE(readBytes(store.path()), before);
        QCOMPARE(entries(m_dir->path()), QStringList { FileName });
    }

    void lockLeftEmptyByACrashDoesNotBlockSaving()
    {
        // A copy killed between creating the lock file and writing its process id into it leaves
        // it empty: no process can be asked about it, and saving must still work.
        const ContactStore store(m_dir->path());
        QVERIFY(writeBytes(store.path() + u".lock"_s, QByteArray()));
        QCOMPARE(store.append(contact(1)), StoreStatus::Ok);
        QStringList lines;
        QCOMPARE(store.readRecordLines(&lines), StoreStatus::Ok);
        QCOMPARE(lines, QStringList { contact(1) });
    }

    void readOnlyFolder_data()
    {
        QTest::addColumn<bool>("withFile");
        QTest::newRow("no file: nothing can be saved") << false;
        QTest::newRow("writable file: saved in place") << true;
    }

    void readOnlyFolder()
    {
        QFETCH(bool, withFile);
        const ContactStore store(m_dir->path());
        if (withFile) {
            QCOMPARE(store.append(contact(1)), StoreStatus::Ok);
            QVERIFY(ReadOnlyFolder::makeWritableByAll(store.path()));
        }
        QElapsedTimer waited;
        waited.start();
        StoreStatus ensured, appended;
        {
            const ReadOnlyFolder readOnly(m_dir->path());
            ensured = store.ensure();
            appended = store.append(contact(2));
        }
        // No other copy holds the lock, so there is nothing to wait for.
        QVERIFY2(waited.elapsed() < 2500, qPrintable(u"waited %1 ms"_s.arg(waited.elapsed())));
        const StoreStatus expected = withFile ? StoreStatus::Ok : StoreStatus::WriteError;
        QCOMPARE(ensured, expected);
        QCOMPARE(appended, expected);
        QCOMPARE(readBytes(store.path()),
            withFile ? StoreText::encodeStore({ contact(1), contact(2) }) : QByteArray("<missing>"));
        QCOMPARE(entries(m_dir->path()), withFile ? QStringList { FileName } : QStringList());
    }

    void killedMidSaveLeavesOneWholeFile()
    {
        const ContactStore store(m_dir->path());
        // A few hundred KiB, so that a save lasts long enough for kills to land inside it.
        QStringList lines;
        for (int i = 0; i < 3000; ++i)
            lines.append(contact(i));
        const QByteArray contentA = StoreText::encodeStore(lines);
        // With the record storetool alternate appends and removes.
        const QByteArray contentB
            = StoreText::encodeStore(lines << u"Extra§§§Praça da Sé, 1¤Fundos§§06/12/2026"_s);
        QVERIFY(writeBytes(store.path(), contentA));

        const quint32 seed = qEnvironmentVariableIsSet("LB_FAULT_SEED")
            ? quint32(qEnvironmentVariableIntValue("LB_FAULT_SEED"))
            : QRandomGenerator::system()->generate();
        qInfo("seed %u (set LB_FAULT_SEED to repeat)", seed);
        QRandomGenerator rng(seed);
        qint64 saveNs = 5'000'000; // one save, measured as we go: a sanitizer build is far slower
        const QStringList leftBehind[] = { { FileName }, { FileName, FileName + u".lock"_s } };
        for (int kills = 0; kills < 300; ++kills) {
            // Whatever the killed child left, lock file included, the next one must save: a user
            // who restarts the program after a crash must not be told it cannot save. Let it
            // complete one to three saves, then kill it at a random moment of the next one.
            QProcess child;
            QByteArray out;
            const auto failure = [&] { return u"seed %1: %2"_s.arg(seed).arg(report(child, out)); };
            child.start(StoreTool, { u"alternate"_s, m_dir->path() });
            const int wanted = 1 + int(rng.bounded(3));
            QElapsedTimer sinceFirstSave;
            while (out.count("saved\n") < wanted) {
                if (!child.waitForReadyRead(100) && child.state() == QProcess::NotRunning)
                    QFAIL(qPrintable(failure()));
                out += child.readAllStandardOutput();
                if (!sinceFirstSave.isValid() && out.contains("saved\n"))
                    sinceFirstSave.start();
            }
            if (const qsizetype done = out.count("saved\n"); done > 1)
                saveNs = sinceFirstSave.nsecsElapsed() / (done - 1);
            QThread::usleep(rng.bounded(quint64(saveNs / 1000) + 1));
            child.kill();
            if (!child.waitForFinished() || child.exitStatus() != QProcess::CrashExit)
                QFAIL(qPrintable(failure())); // it stopped on its own: a save failed
            const QByteArray now = readBytes(store.path());
            QVERIFY2(now == contentA || now == contentB, qPrintable(failure() + u", file neither content"_s));
            // Nothing piles up beside the store, however many saves were cut short.
            const QStringList left = entries(m_dir->path());
            QVERIFY2(left == leftBehind[0] || left == leftBehind[1], qPrintable(left.join(u' ')));
        }
    }

    void twoCopiesAppendingAtOnceLoseNothing()
    {
        QProcess children[2];
        for (int i = 0; i < 2; ++i)
            children[i].start(StoreTool, { u"append"_s, m_dir->path(), QString(QChar(u'A' + i)), u"200"_s });
        for (QProcess& child : children) {
            QVERIFY2(child.waitForFinished(120000), "storetool append did not finish");
            if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
                QFAIL(qPrintable(report(child)));
        }

        const ContactStore store(m_dir->path());
        QStringList lines;
        QCOMPARE(store.readRecordLines(&lines), StoreStatus::Ok);
        QCOMPARE(readBytes(store.path()), StoreText::encodeStore(lines));
        QCOMPARE(lines.size(), 400);
        QStringList names;
        for (const QString& line : std::as_const(lines))
            names.append(recordName(line).toString());
        // Each copy's contacts, once each and in the order it appended them.
        for (const QString& prefix : { u"A-"_s, u"B-"_s }) {
            QStringList expected;
            for (int i = 0; i < 200; ++i)
                expected.append(prefix + QString::number(i));
            QCOMPARE(names.filter(prefix), expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestStoreFaults)
#include "tst_storefaults.moc"
