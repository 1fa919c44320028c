#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One running copy per contacts file. The first copy listens on a local socket named after the
// file's path; a later start on the same file reaches it, which asks it to bring its window up,
// and then ends. Copies on different files (portable folders) never meet, nor do two users'.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& contactsPath, QObject* parent = nullptr);

    // True when a copy running on the same file as the same user was reached and asked to show
    // its window. Needs no QCoreApplication, so a start that only hands over can end before it
    // does anything else.
    bool avisaOutraCopia() const;

    // True when this process is now the running copy; false when another copy runs on the
    // same file and has been asked to show its window.
    bool registra();

    // The socket's path, in a folder only this user can enter; the same for every copy started
    // on the same file by the same user. Empty when no such folder can be had: the copy then
    // runs unguarded, the store's own lock still keeping two copies from losing each other's
    // changes.
    QString nome() const { return m_nome; }

Q_SIGNALS:
    void reaberto(); // the program was started again on the same file

private:
    QString m_nome;
    QLocalServer* m_servidor = nullptr;
};
