#pragma once

#include <QString>

// Held for a whole sync of one contacts file, so that the window and the command line never
// sync it at the same time. flock: the system releases it when its holder dies, so a killed
// sync leaves nothing that blocks the next one.
class SyncLock {
public:
    enum class Result { Locked, Busy, Failed };

    SyncLock() = default;
    ~SyncLock();
    SyncLock(const SyncLock&) = delete;
    SyncLock& operator=(const SyncLock&) = delete;

    // Tries once: a sync already running is told, not waited for.
    Result tryLock(const QString& path);
    void unlock();

private:
    int m_fd = -1;
};
