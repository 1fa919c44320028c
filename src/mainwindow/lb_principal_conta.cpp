#include "lb_conta.h"
#include "lb_principal.h"
#include "syncaccount.h"
#include "syncrunner.h"

#include <QStandardPaths>

using namespace Qt::StringLiterals;

const QString LB_Principal::MenuConta = u"Conta de sincronização (CardDAV)..."_s;

bool LB_Principal::temConta() const
{
    SyncAccount conta;
    const QString pasta = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return conta.load(SyncAccount::pathFor(pasta, m_store.path())) && conta.isValid();
}

void LB_Principal::mnuConta_Click()
{
    abreConta();
}

void LB_Principal::abreConta(const QString& motivo)
{
    LB_Conta janela(m_store.path(), this);
    connect(&janela, &LB_Conta::contaMudou, m_sync, &SyncRunner::contaMudou);
    if (!motivo.isEmpty())
        janela.pedeSenha(motivo);
    janela.exec();
}
