#include "printer.h"

#include <QString>

Printer::Resultado SystemPrinter::imprime(const QString& texto)
{
    Q_UNUSED(texto);
    return Resultado::Falhou;
}
