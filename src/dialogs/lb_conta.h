#pragma once

#include <QDialog>

// The sync account of this contacts file: the server's address, the user and the password, a
// connection test that finds the address book, and the way to forget the account. A small
// frameless window in the style of the others.
class LB_Conta : public QDialog {
    Q_OBJECT

public:
    // storePath: the contacts file the account belongs to.
    explicit LB_Conta(const QString& storePath, QWidget* parent = nullptr);

    // Opened because the server refused the saved password: says why and asks for it again.
    void pedeSenha(const QString& motivo);

Q_SIGNALS:
    // The account was saved or removed; the main window enables "Sincronizar agora" by it.
    void contaMudou();

private:
    QString m_storePath;
};
