#pragma once

#include <QFile>
#include <QString>

#include <sys/fsuid.h>
#include <unistd.h>

// This thread's file operations run as nobody while it lives, where the test runs as root.
class AsNobody {
public:
    AsNobody()
    {
        if (m_root)
            ::setfsuid(65534);
    }
    ~AsNobody()
    {
        if (m_root)
            ::setfsuid(0);
    }
    AsNobody(const AsNobody&) = delete;
    AsNobody& operator=(const AsNobody&) = delete;

private:
    bool m_root = ::geteuid() == 0;
};

// Makes a folder read-only for this test's file operations while it lives. Tests run as root in
// CI, where permission bits alone stop nothing: there this thread's file-system user becomes
// nobody for as long, which also drops root's right to write anywhere.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(QString folder)
        : m_folder(std::move(folder))
    {
        QFile::setPermissions(m_folder,
            QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                | QFile::ExeOther);
        if (m_root)
            ::setfsuid(65534);
    }
    ~ReadOnlyFolder()
    {
        if (m_root)
            ::setfsuid(0);
        QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    // A file in the folder that stays writable for whoever the test runs as.
    static bool makeWritableByAll(const QString& path)
    {
        return QFile::setPermissions(path,
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther
                | QFile::WriteOther);
    }

private:
    QString m_folder;
    bool m_root = ::geteuid() == 0;
};
