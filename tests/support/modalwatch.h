#pragma once

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPoint>
#include <QTimer>
#include <QWidget>

#include <functional>

// Records every modal window as it comes up while an action runs (a modal window blocks the
// test's own call, so it is watched from the event stream).
class ModalWatch : public QObject {
public:
    struct Seen {
        QString objectName;
        QString label1;
        QPoint pos;
        int beepsWhenSeen;
        QString state; // what state() returned when the window came up
    };

    explicit ModalWatch(const int* beeps = nullptr)
        : m_beeps(beeps)
    {
        qApp->installEventFilter(this);
    }

    QList<Seen> seen;
    // Tells what the window under test shows at the moment a modal window comes up.
    std::function<QString()> state;
    // Acts on each modal window once it is up and running its own event loop: closes a
    // notice early, answers a question.
    std::function<void(QWidget*)> onShown;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            if (w->isWindow() && w->isModal()) {
                auto* label = w->findChild<QLabel*>(QStringLiteral("Label1"));
                seen.append({ w->objectName(), label ? label->text() : QString(), w->pos(),
                    m_beeps ? *m_beeps : 0, state ? state() : QString() });
                if (onShown)
                    QTimer::singleShot(0, w, [this, w] { onShown(w); });
            }
        }
        return false;
    }

private:
    const int* m_beeps;
};
