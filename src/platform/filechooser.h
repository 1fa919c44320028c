#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Asks the user which vCard files to read, or where to write one.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    // The files chosen; none when the user cancelled.
    virtual QStringList escolheParaLer(QWidget* janela) = 0;
    // The file to write, offered under the name suggested; empty when the user cancelled.
    virtual QString escolheParaGravar(QWidget* janela, const QString& sugestao) = 0;
};

class DialogFileChooser final : public FileChooser {
public:
    QStringList escolheParaLer(QWidget* janela) override;
    QString escolheParaGravar(QWidget* janela, const QString& sugestao) override;
};
