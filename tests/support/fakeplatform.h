#pragma once

#include "beeper.h"
#include "filechooser.h"
#include "plataforma.h"
#include "printer.h"
#include "trayicon.h"
#include "urlopener.h"
#include "windowmover.h"

#include <QIcon>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

// Records what the windows asked of the desktop instead of doing it.
class RecordingBeeper final : public Beeper {
public:
    void beep() override { ++beeps; }
    int beeps = 0;
};

class RecordingTray final : public TrayIcon {
public:
    bool disponivel() const override { return temBandeja; }
    void adiciona(const QIcon&, const QString& dica) override
    {
        chamadas << u"adiciona"_qs;
        this->dica = dica;
    }
    void remove() override { chamadas << u"remove"_qs; }
    void defineDica(const QString& dica) override { this->dica = dica; }

    bool temBandeja = true;
    QStringList chamadas;
    QString dica;
};

class RecordingPrinter final : public Printer {
public:
    Resultado imprime(const QString& texto) override
    {
        textos << texto;
        if (enquantoImprime)
            enquantoImprime();
        return resultado;
    }

    Resultado resultado = Resultado::Impresso;
    std::function<void()> enquantoImprime; // the user's input while the job runs
    QStringList textos;
};

class RecordingOpener final : public UrlOpener {
public:
    void abre(const QUrl& endereco) override { enderecos << endereco; }
    QList<QUrl> enderecos;
};

class RecordingMover final : public WindowMover {
public:
    bool iniciaMovimento(QWidget*) override
    {
        ++pedidos;
        return aceita;
    }
    bool aceita = false; // false: the window follows the pointer itself
    int pedidos = 0;
};

// Answers for the user in the file dialogs, and records what was offered.
class FakeChooser final : public FileChooser {
public:
    QStringList escolheParaLer(QWidget*) override
    {
        ++leituras;
        return paraLer;
    }
    QString escolheParaGravar(QWidget*, const QString& sugestao) override
    {
        sugestoes << sugestao;
        return paraGravar;
    }
    QStringList paraLer; // empty: the user cancels
    QString paraGravar;
    int leituras = 0;
    QStringList sugestoes;
};

struct FakePlatform {
    RecordingBeeper beeper;
    RecordingTray bandeja;
    RecordingPrinter impressora;
    RecordingOpener navegador;
    RecordingMover movedor;
    FakeChooser arquivos;

    Plataforma plataforma() { return { beeper, bandeja, impressora, navegador, movedor, arquivos }; }
};
