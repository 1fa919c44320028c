#include "janelas.h"
#include "lb_conta.h"
#include "lb_principal.h"
#include "syncaccount.h"
#include "syncrunner.h"
#include "twips.h"

#include <QPointer>

using namespace Qt::StringLiterals;

const QString LB_Principal::MenuConta = u"Conta de sincronização (CardDAV)..."_s;

bool LB_Principal::temConta() const
{
    SyncAccount conta;
    return conta.load(LB_Conta::caminhoDaConta(m_store.path())) && conta.isValid();
}

void LB_Principal::mnuConta_Click()
{
    abreConta();
}

void LB_Principal::abreConta(const QString& motivo)
{
    // One account window at a time: a refused password while it stands open is said in it.
    static QPointer<LB_Conta> aberta;
    if (aberta) {
        if (!motivo.isEmpty())
            aberta->pedeSenha(motivo);
        aberta->activateWindow();
        return;
    }
    const Janelas::DevolveFoco foco(this);
    LB_Conta janela(m_store.path());
    aberta = &janela;
    connect(&janela, &LB_Conta::contaMudou, m_sync, &SyncRunner::contaMudou);
    Janelas::acimaDe(&janela, this);
    // Over the main window's right part, its right edge where the other small windows' is, its
    // bottom at the main window's.
    janela.move(pos() + Twips::point(2050, 330));
    if (!motivo.isEmpty())
        janela.pedeSenha(motivo);
    janela.exec();
}
