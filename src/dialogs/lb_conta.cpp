#include "lb_conta.h"

LB_Conta::LB_Conta(const QString& storePath, QWidget* parent)
    : QDialog(parent)
    , m_storePath(storePath)
{
    setObjectName(QStringLiteral("LB_Conta"));
}

void LB_Conta::pedeSenha(const QString& motivo)
{
    Q_UNUSED(motivo);
}
