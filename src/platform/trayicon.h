#pragma once

#include <QObject>

class QIcon;
class QSystemTrayIcon;

// The program's one icon in the desktop's notification area.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Whether the desktop has a notification area right now; it can come and go.
    virtual bool disponivel() const = 0;
    // Shows the icon; no effect when it is already shown.
    virtual void adiciona(const QIcon& icone, const QString& dica) = 0;
    // Removes the icon; no effect when it is not shown.
    virtual void remove() = 0;
    // The icon's tooltip from now on, shown or not.
    virtual void defineDica(const QString& dica) = 0;

Q_SIGNALS:
    void botaoEsquerdo(); // left button pressed on the icon
    void botaoDireito(); // right button released on the icon
};

class SystemTrayIcon final : public TrayIcon {
    Q_OBJECT
public:
    explicit SystemTrayIcon(QObject* parent = nullptr);

    bool disponivel() const override;
    void adiciona(const QIcon& icone, const QString& dica) override;
    void remove() override;
    void defineDica(const QString& dica) override;

private:
    QSystemTrayIcon* m_icone = nullptr;
};
