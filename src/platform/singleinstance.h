#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One running copy per contacts file. The first copy listens on a local socket named after the
// file's path; a later start on the same file reaches it, which asks it to bring its window up,
// and then ends. Copies on different files (portable folders) never meet.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& contactsPath, QObject* parent = nullptr);

    // True when this process is now the running copy; false when another copy runs on the
    // same file and has been asked to show its window.
    bool registra();

    // The socket's path; the same for every copy started on the same file by the same user.
    QString nome() const { return m_nome; }

Q_SIGNALS:
    void reaberto(); // the program was started again on the same file

private:
    bool avisaOutraCopia() const;

    QString m_nome;
    QLocalServer* m_servidor = nullptr;
};
