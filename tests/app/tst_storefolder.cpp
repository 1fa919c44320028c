#include "storefolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestStoreFolder : public QObject {
    Q_OBJECT

    QTemporaryDir m_dataHome;

private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(u"Lurvane Brevicard"_s);
        QVERIFY(m_dataHome.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dataHome.path()));
        // Root ignores permission bits: the read-only cases below would silently pass for the
        // wrong reason. CTest runs this test as an unprivileged user.
        QTemporaryDir probe;
        QVERIFY(QFile::setPermissions(probe.path(), QFile::ReadOwner | QFile::ExeOwner));
        const bool writable = QFile(probe.filePath(u"x"_s)).open(QIODevice::WriteOnly);
        QFile::setPermissions(probe.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (writable)
            QFAIL("running with rights that ignore folder permissions; run as an unprivileged user");
    }

    void choice_data()
    {
        QTest::addColumn<bool>("folderWritable");
        QTest::addColumn<bool>("fileThere");
        QTest::addColumn<bool>("fileWritable");
        QTest::addColumn<bool>("system"); // a system program folder, which root can write
        QTest::addColumn<bool>("beside");
        QTest::newRow("existing file") << true << true << true << false << true;
        QTest::newRow("writable folder, no file") << true << false << false << false << true;
        QTest::newRow("read-only folder, no file") << false << false << false << false << false;
        QTest::newRow("writable file in read-only folder") << false << true << true << false << true;
        QTest::newRow("read-only file in read-only folder") << false << true << false << false << true;
        QTest::newRow("writable system folder, no file") << true << false << false << true << false;
        QTest::newRow("system folder with its file") << true << true << true << true << true;
    }

    void choice()
    {
        QFETCH(bool, folderWritable);
        QFETCH(bool, fileThere);
        QFETCH(bool, fileWritable);
        QFETCH(bool, system);
        QFETCH(bool, beside);
        QTemporaryDir exe, links;
        // Named through a link, as /bin names /usr/bin on a merged /usr.
        const QString systemFolder = links.filePath(u"bin"_s);
        QVERIFY(QFile::link(exe.path(), systemFolder));
        const QString userFolder = m_dataHome.filePath(u"Lurvane Brevicard"_s);
        QDir(userFolder).removeRecursively();
        QFile f(exe.filePath(u"LBcontatos.txt"_s));
        if (fileThere)
            QVERIFY(f.open(QIODevice::WriteOnly) && (fileWritable || f.setPermissions(QFile::ReadOwner)));
        f.close();
        if (!folderWritable)
            QVERIFY(QFile::setPermissions(exe.path(), QFile::ReadOwner | QFile::ExeOwner));
        const QString chosen = storeFolder(exe.path(), system ? QStringList(systemFolder) : QStringList());
        QFile::setPermissions(exe.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(chosen, beside ? exe.path() : userFolder);
        // The user's folder is made only when it is used, and then at once.
        QCOMPARE(QFileInfo(userFolder).isDir(), !beside);
    }
};

QTEST_GUILESS_MAIN(TestStoreFolder)
#include "tst_storefolder.moc"
