#include "lb_principal.h"

#include "lb_about.h"
#include "lb_print.h"

void LB_Principal::abreImpressao()
{
    LB_Print::mostra(textoContato(), pos(), m_plataforma.impressora, m_plataforma.beeper, this);
}

void LB_Principal::abreSobre()
{
    LB_About::mostra(pos(), m_plataforma.navegador, this);
}
