#include "lb_principal.h"

#include "imagebutton.h"
#include "lb_about.h"
#include "lb_print.h"

void LB_Principal::abreImpressao()
{
    LB_Print::mostra(textoContato(), pos(), m_plataforma.impressora, m_plataforma.beeper);
}

void LB_Principal::abreSobre()
{
    LB_About::mostra(pos(), m_plataforma.navegador);
}

void LB_Principal::ligaJanelasSecundarias()
{
    connect(imgImprimir, &ImageButton::clicked, this, &LB_Principal::abreImpressao);
    connect(imgMarca, &ImageButton::clicked, this, &LB_Principal::abreSobre);
}
