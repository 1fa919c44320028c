#pragma once

class QUrl;

// Hands a web address to the desktop's browser.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void abre(const QUrl& endereco) = 0;
};

class DesktopUrlOpener final : public UrlOpener {
public:
    void abre(const QUrl& endereco) override;
};
