#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// Acts on a modal window once it is up: the call that shows it blocks the test until it
// closes, so the action is started beforehand and waits for the window by its name.
inline void noModal(const QString& nome, std::function<void(QWidget*)> acao)
{
    auto* vigia = new QTimer;
    QObject::connect(vigia, &QTimer::timeout, [vigia, nome, acao] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w->objectName() != nome || !w->isVisible())
            return;
        vigia->deleteLater();
        vigia->stop();
        acao(w);
    });
    vigia->start(10);
}
