#include "lb_principal.h"

using namespace Qt::StringLiterals;

const QString LB_Principal::MenuSincronizar = u"Sincronizar agora"_s;

void LB_Principal::preparaSync()
{
}

void LB_Principal::mnuSincronizar_Click()
{
}
