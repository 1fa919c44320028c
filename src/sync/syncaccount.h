#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QObject;

// The account a contacts file syncs with. It belongs to that file: two portable copies with two
// files can sync with two accounts. It lives in the user's configuration folder, one file per
// contacts file; the password is never part of it.
struct SyncAccount {
    QUrl server; // as the user gave it
    QString user;
    QUrl addressBook;
    QString fingerprint; // a certificate the user trusted by its SHA-256; empty for none

    bool isValid() const { return addressBook.isValid() && !addressBook.isEmpty(); }

    // folder: the configuration folder; storePath: the contacts file.
    static QString pathFor(const QString& folder, const QString& storePath);
    bool load(const QString& path);
    bool save(const QString& path) const;
};

// The account's password: in the desktop's keyring where there is one, else only in memory for
// as long as the program runs. Never in a file or a log.
namespace SyncPassword {

// The key under which the keyring keeps it.
QString keyFor(const SyncAccount& account);

// Blocks on a local event loop for the keyring's answer: for the command line, never the window.
QString read(const QString& key);
// Asks the keyring without waiting: done gets the password (empty when there is none) on
// context's thread, from its event loop, never before the caller's own code has returned. For
// the window, whose thread never waits. Nothing is called once context is gone.
void readAsync(const QString& key, QObject* context, std::function<void(const QString&)> done);
// False when no keyring took it: it is then kept for this run only.
bool write(const QString& key, const QString& password);
// The same without waiting: done learns whether the keyring took it. Kept for this run at once.
void writeAsync(
    const QString& key, const QString& password, QObject* context, std::function<void(bool)> done = {});
// Forgets it, in memory at once and in the keyring without waiting: done learns whether the keyring
// holds it no more (true also where it never held it).
void removeAsync(const QString& key, QObject* context, std::function<void(bool)> done = {});

} // namespace SyncPassword
