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
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>

using namespace Qt::StringLiterals;

namespace {

const QString StoreTool = QStringLiteral(LB_STORETOOL);
const QString FileName = QString::fromLatin1(ContactStore::FileName);

// Everything in a folder, so that a lock or temporary file left behind shows too.
QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
}

QString contact(int i)
{
    return formatRecord(u"Contato %1"_s.arg(i), u"5555-%1"_s.arg(i), u"c%1@exemplo.com.br"_s.arg(i),
        u"Rua das Acácias, 10\nSala 2"_s, u"Fecha às 18h – €"_s, u"05/12/2026"_s);
}

// Runs a child as nobody where the test runs as root, whom no folder's permissions stop. The
// build may sit in a folder nobody cannot enter (root's home), so nobody runs a copy of the tool
// from a folder of its own; returns the program to start.
QString childAsNobody(QProcess& child)
{
    if (::geteuid() != 0)
        return StoreTool;
    static QTemporaryDir folder;
    const QString copy = folder.filePath(u"storetool"_s);
    if (!QFileInfo::exists(copy)) {
        QFile::setPermissions(folder.path(),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                | QFile::ReadOther | QFile::ExeOther);
        QFile::copy(StoreTool, copy);
    }
    child.setChildProcessModifier([] {
        ::setgroups(0, nullptr);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(70);
    });
    return copy;
}

ino_t inode(const QString& path)
{
    struct stat st { };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
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
    QTemporaryDir m_data; // the user's data folder, where a save in place keeps the old content
    QString keepFolder() const { return ContactStore::defaultKeepFolder(); }

private Q_SLOTS:
    void initTestCase()
    {
        // Open to all, so that a copy run as nobody can keep its old content there too.
        QCOMPARE(::chmod(QFile::encodeName(m_data.path()).constData(), 0777), 0);
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
    }
    void init() { QVERIFY(m_dir.emplace().isValid()); }
    void cleanup() { QVERIFY2(QDir(keepFolder()).isEmpty(), "a kept copy was left behind"); }

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
        QTest::addColumn<bool>("inPlace");
        // Records of 128 KiB: the first save fails half-written, past Qt's write buffer.
        QTest::newRow("large save") << 64 * 1024 << QStringList { u"bigwrite"_s, u"3"_s } << false;
        // A save smaller than Qt's write buffer is written only when the file is committed: a
        // short write there must fail the save too, not rename a cut-off file over the store.
        QTest::newRow("small save") << 150 << QStringList { u"append"_s, u"P"_s, u"3"_s } << false;
        // In a folder that cannot be written: the new content does not fit, or the store is
        // already past the limit, so that not even its old content can be kept.
        QTest::newRow("in place, large save") << 64 * 1024 << QStringList { u"bigwrite"_s, u"3"_s } << true;
        QTest::newRow("in place, store past the limit")
            << 64 << QStringList { u"append"_s, u"P"_s, u"3"_s } << true;
    }

    void fullDiskKeepsTheOldFile()
    {
        QFETCH(int, limit);
        QFETCH(QStringList, args);
        QFETCH(bool, inPlace);
        const ContactStore store(m_dir->path());
        QCOMPARE(store.append(contact(1)), StoreStatus::Ok);
        const QByteArray before = readBytes(store.path());

        // Every file the child writes stops at the limit with EFBIG, as on a full disk.
        QProcess child;
        QString tool = StoreTool;
        if (inPlace) {
            QVERIFY(ReadOnlyFolder::makeWritableByAll(store.path()));
            tool = childAsNobody(child);
        }
        const auto limited = child.childProcessModifier();
        child.setChildProcessModifier([limit, limited] {
            const rlimit fsize { rlim_t(limit), rlim_t(limit) };
            ::setrlimit(RLIMIT_FSIZE, &fsize);
            ::signal(SIGXFSZ, SIG_IGN);
            if (limited)
                limited();
        });
        args.insert(1, m_dir->path());
        std::optional<ReadOnlyFolder> readOnly;
        if (inPlace)
            readOnly.emplace(m_dir->path());
        child.start(tool, args);
        QVERIFY2(child.waitForFinished(120000), "storetool did not finish");
        readOnly.reset();
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != int(StoreStatus::WriteError))
            QFAIL(qPrintable(report(child)));
        QCOMPARE(readBytes(store.path()), before);
        QCOMPARE(entries(m_dir->path()), QStringList { FileName });
    }

    void lockLeftBehindOrHeld_data()
    {
        QTest::addColumn<QByteArray>("left"); // what the lock file beside the store holds
        QTest::addColumn<bool>("unwritable"); // left by another user (a copy run with sudo)
        QTest::addColumn<QString>("held"); // the file another copy holds locked now
        QTest::addColumn<bool>("noFlock");
        QTest::addColumn<StoreStatus>("expected");
        const QByteArray host = ' ' + QSysInfo::machineHostName().toLatin1();
        QProcess gone; // a copy that has died
        gone.start(u"true"_s);
        QVERIFY(gone.waitForStarted());
        const QByteArray dead = QByteArray::number(gone.processId()) + host;
        QVERIFY(gone.waitForFinished());
        const QByteArray alive = QByteArray::number(QCoreApplication::applicationPid()) + host;
        // A copy killed between making the lock file and writing into it leaves it empty.
        QTest::newRow("empty, left by a crash")
            << QByteArray("") << false << QString() << false << StoreStatus::Ok;
        QTest::newRow("another user's") << QByteArray("") << true << QString() << false << StoreStatus::Ok;
        QTest::newRow("another user's, held")
            << QByteArray("") << true << u".lock"_s << false << StoreStatus::WriteError;
        // A copy saving in place cannot make a lock file: it locks the store itself.
        QTest::newRow("store held in place")
            << QByteArray() << false << u""_s << false << StoreStatus::WriteError;
        QTest::newRow("no flock, a dead copy's") << dead << false << QString() << true << StoreStatus::Ok;
        QTest::newRow("no flock, a running copy's")
            << alive << false << QString() << true << StoreStatus::WriteError;
    }

    void lockLeftBehindOrHeld()
    {
        QFETCH(QByteArray, left);
        QFETCH(bool, unwritable);
        QFETCH(QString, held);
        QFETCH(bool, noFlock);
        QFETCH(StoreStatus, expected);
        const ContactStore store(m_dir->path());
        QCOMPARE(store.append(contact(1)), StoreStatus::Ok);
        const QByteArray before = readBytes(store.path());
        const ino_t old = inode(store.path());
        const QByteArray lockPath = QFile::encodeName(store.path() + u".lock"_s);
        if (!left.isNull())
            QVERIFY(writeBytes(QFile::decodeName(lockPath), left));
        const int fd
            = held.isNull() ? -1 : ::open(QFile::encodeName(store.path() + held).constData(), O_RDONLY);
        QVERIFY(held.isNull() || ::flock(fd, LOCK_EX) == 0);
        // The store and its folder open to nobody, as whom the save runs: the lock file not.
        QVERIFY(ReadOnlyFolder::makeWritableByAll(store.path()));
        QCOMPARE(::chmod(QFile::encodeName(m_dir->path()).constData(), 0777), 0);
        QVERIFY(left.isNull() || ::chmod(lockPath.constData(), unwritable ? 0444 : 0666) == 0);
        StoreLock::setFlockUnsupported(noFlock);
        StoreStatus saved;
        {
            const AsNobody nobody;
            saved = store.append(contact(2));
        }
        StoreLock::setFlockUnsupported(false);
        if (fd >= 0)
            ::close(fd);
        QCOMPARE(saved, expected);
        if (expected != StoreStatus::Ok) {
            QCOMPARE(readBytes(store.path()), before);
            return;
        }
        // Saved through a new file renamed over the store, never in place; the lock file gone.
        QCOMPARE(readBytes(store.path()), StoreText::encodeStore({ contact(1), contact(2) }));
        QVERIFY(inode(store.path()) != old);
        QCOMPARE(entries(m_dir->path()), QStringList { FileName });
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

    void theStoresRightsAreKept_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<StoreStatus>("expected");
        // Saved as nobody, who owns it: its own mode forbids writing.
        QTest::newRow("read-only (0444)") << 0444 << StoreStatus::WriteError;
        // Saved as root: another user's private store, marked by a synced folder.
        QTest::newRow("private (0600), another user's") << 0600 << StoreStatus::Ok;
    }

    void theStoresRightsAreKept()
    {
        QFETCH(int, mode);
        QFETCH(StoreStatus, expected);
        const ContactStore store(m_dir->path());
        QCOMPARE(store.append(contact(1)), StoreStatus::Ok);
        const QByteArray before = readBytes(store.path());
        const QByteArray name = QFile::encodeName(store.path());
        const bool root = ::geteuid() == 0;
        if (root)
            QCOMPARE(::chown(name.constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(name.constData(), mode_t(mode)), 0);
        const bool marked = ::setxattr(name.constData(), "user.lb.origem", "nuvem", 5, 0) == 0;
        QCOMPARE(::chmod(QFile::encodeName(m_dir->path()).constData(), 0777), 0);
        StoreStatus saved;
        {
            std::optional<AsNobody> nobody;
            if (expected != StoreStatus::Ok)
                nobody.emplace();
            saved = store.append(contact(2));
        }
        QCOMPARE(saved, expected);
        QCOMPARE(readBytes(store.path()),
            expected == StoreStatus::Ok ? StoreText::encodeStore({ contact(1), contact(2) }) : before);
        struct stat st { };
        QCOMPARE(::stat(name.constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(mode));
        if (root)
            QVERIFY(st.st_uid == 65534 && st.st_gid == 65534);
        char value[8] = {};
        QVERIFY(!marked || ::getxattr(name.constData(), "user.lb.origem", value, sizeof value) == 5);
        QCOMPARE(entries(m_dir->path()), QStringList { FileName });
    }

    void symbolicLinkIsFollowed_data()
    {
        QTest::addColumn<bool>("dangling");
        QTest::newRow("into a synced folder") << false;
        QTest::newRow("to a disk not mounted") << true;
    }

    void symbolicLinkIsFollowed()
    {
        QFETCH(bool, dangling);
        const ContactStore store(m_dir->path());
        const QString target = m_dir->filePath(u"nuvem/contatos.txt"_s);
        QVERIFY(dangling
            || (QDir(m_dir->path()).mkdir(u"nuvem"_s)
                && writeBytes(target, StoreText::encodeStore({ contact(1) }))));
        QVERIFY(QFile::link(u"nuvem/contatos.txt"_s, store.path()));
        const StoreStatus expected = dangling ? StoreStatus::ReadError : StoreStatus::Ok;
        NameList names;
        QCOMPARE(store.ensure(), expected);
        QCOMPARE(store.readNames(&names), expected);
        QCOMPARE(store.append(contact(2)), expected);
        QVERIFY(QFileInfo(store.path()).isSymLink());
        QCOMPARE(readBytes(target),
            dangling ? QByteArray("<missing>") : StoreText::encodeStore({ contact(1), contact(2) }));
        // Locked and renamed beside the target; nothing made in the link's place.
        QCOMPARE(entries(m_dir->path()),
            dangling ? QStringList { FileName } : (QStringList { FileName, u"nuvem"_s }));
        QVERIFY(dangling || entries(m_dir->filePath(u"nuvem"_s)) == QStringList { u"contatos.txt"_s });
    }

    void killedMidSaveLeavesOneWholeFile_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("kills");
        QTest::addColumn<int>("contacts");
        QTest::newRow("rename") << u"rename"_s << 300 << 3000;
        // Larger, so that the store is written over long enough for kills to land there.
        QTest::newRow("in place") << u"in place"_s << 200 << 20000;
        QTest::newRow("no flock") << u"--no-flock"_s << 100 << 3000;
    }

    void killedMidSaveLeavesOneWholeFile()
    {
        QFETCH(QString, mode);
        QFETCH(int, kills);
        QFETCH(int, contacts);
        const bool inPlace = mode == u"in place";
        const ContactStore store(m_dir->path());
        // A few hundred KiB, so that a save lasts long enough for kills to land inside it.
        QStringList lines;
        for (int i = 0; i < contacts; ++i)
            lines.append(contact(i));
        const QByteArray contentA = StoreText::encodeStore(lines);
        // With the record storetool alternate appends and removes.
        const QByteArray contentB
            = StoreText::encodeStore(lines << u"Extra§§§Praça da Sé, 1¤Fundos§§06/12/2026"_s);
        QVERIFY(writeBytes(store.path(), contentA));
        // A private store: no copy of it may ever be readable by others, even for a moment.
        QVERIFY(QFile::setPermissions(store.path(), QFileDevice::Permissions(inPlace ? 0x6666 : 0x6000)));
        std::optional<ReadOnlyFolder> readOnly;
        if (inPlace)
            readOnly.emplace(m_dir->path());

        const quint32 seed = qEnvironmentVariableIsSet("LB_FAULT_SEED")
            ? quint32(qEnvironmentVariableIntValue("LB_FAULT_SEED"))
            : QRandomGenerator::system()->generate();
        qInfo("seed %u (set LB_FAULT_SEED to repeat)", seed);
        QRandomGenerator rng(seed);
        qint64 saveNs = 5'000'000; // one save, measured as we go: a sanitizer build is far slower
        int checked = 0, found = 0, restored = 0;
        for (int kill = 0; kill < kills; ++kill) {
            // Whatever the killed child left, lock file included, the next one must save: a user
            // who restarts the program after a crash must not be told it cannot save. Let it
            // complete one to three saves, then kill it at a random moment of the next one.
            QProcess child;
            QByteArray out;
            const auto failure = [&] { return u"seed %1: %2"_s.arg(seed).arg(report(child, out)); };
            const QString tool = inPlace ? childAsNobody(child) : StoreTool;
            QStringList args { u"alternate"_s, m_dir->path() };
            if (mode == u"--no-flock")
                args.prepend(mode);
            child.start(tool, args);
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
            // In place, the store is cut only while it is written over, a small part of a save:
            // every other kill lands there, as soon as the store's size or time changes.
            const bool early = inPlace && kill % 2;
            QElapsedTimer waited;
            waited.start();
            for (const QFileInfo before(store.path()); early && waited.elapsed() < 1000;) {
                const QFileInfo now(store.path());
                if (now.size() != before.size() || now.lastModified() != before.lastModified())
                    break;
            }
            if (!early)
                QThread::usleep(rng.bounded(quint64(saveNs / 1000) + 1));
            child.kill();
            if (!child.waitForFinished() || child.exitStatus() != QProcess::CrashExit)
                QFAIL(qPrintable(failure())); // it stopped on its own: a save failed
            // A save in place cut short is put back by the next copy to start.
            bool put = false;
            found += !QDir(keepFolder()).isEmpty();
            QCOMPARE(store.restoreCutSave(&put), StoreStatus::Ok);
            restored += put;
            const QByteArray now = readBytes(store.path());
            QVERIFY2(now == contentA || now == contentB, qPrintable(failure() + u", file neither content"_s));
            // Nothing piles up beside the store, however many saves were cut short, and
            // nothing there is more readable than the store.
            const QStringList left = entries(m_dir->path());
            for (const QString& name : left) {
                const bool known
                    = QStringList { u""_s, u".lock"_s, u".tmp"_s }.contains(name.mid(FileName.size()));
                QVERIFY2(name.startsWith(FileName) && known, qPrintable(left.join(u' ')));
                if (!inPlace)
                    QCOMPARE(
                        QFileInfo(m_dir->filePath(name)).permissions() & 0x0077, QFileDevice::Permissions());
                ++checked;
            }
        }
        qInfo("%d kills, %d files checked, 0 bad; in place, %d kept copies found, %d stores put back", kills,
            checked, found, restored);
    }

    void twoCopiesAppendingAtOnceLoseNothing_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("flock") << QStringList();
        QTest::newRow("no flock") << QStringList { u"--no-flock"_s };
    }

    void twoCopiesAppendingAtOnceLoseNothing()
    {
        QFETCH(QStringList, options);
        QProcess children[2];
        for (int i = 0; i < 2; ++i)
            children[i].start(StoreTool,
                options + QStringList { u"append"_s, m_dir->path(), QString(QChar(u'A' + i)), u"200"_s });
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
