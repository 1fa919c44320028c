#include "lb_principal.h"

void LB_Principal::abreImpressao() { }

void LB_Principal::abreSobre() { }
