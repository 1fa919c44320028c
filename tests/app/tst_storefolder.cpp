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
        QTest::addColumn<bool>("beside");
        QTest::newRow("existing file") << true << true << true << true;
        QTest::newRow("writable folder, no file") << true << false << false << true;
        QTest::newRow("read-only folder, no file") << false << false << false << false;
        QTest::newRow("writable file in read-only folder") << false << true << true << true;
        QTest::newRow("read-only file in read-only folder") << false << true << false << true;
    }

    void choice()
    {
        QFETCH(bool, folderWritable);
        QFETCH(bool, fileThere);
        QFETCH(bool, fileWritable);
        QFETCH(bool, beside);
        QTemporaryDir exe;
        const QString userFolder = m_dataHome.filePath(u"Lurvane Brevicard"_s);
        QDir(userFolder).removeRecursively();
        QFile f(exe.filePath(u"LBcontatos.txt"_s));
        if (fileThere)
            QVERIFY(f.open(QIODevice::WriteOnly) && (fileWritable || f.setPermissions(QFile::ReadOwner)));
        f.close();
        if (!folderWritable)
            QVERIFY(QFile::setPermissions(exe.path(), QFile::ReadOwner | QFile::ExeOwner));
        const QString chosen = storeFolder(exe.path());
        QFile::setPermissions(exe.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(chosen, beside ? exe.path() : userFolder);
        // The user's folder is made only when it is used, and then at once.
        QCOMPARE(QFileInfo(userFolder).isDir(), !beside);
    }
};

QTEST_GUILESS_MAIN(TestStoreFolder)
#include "tst_storefolder.moc"
