#pragma once

class QString;

// Prints one page of text on the default printer.
class Printer {
public:
    enum class Resultado { Impresso, SemImpressora, Falhou };

    virtual ~Printer() = default;
    virtual Resultado imprime(const QString& texto) = 0;
};

class SystemPrinter final : public Printer {
public:
    Resultado imprime(const QString& texto) override;
};
