#pragma once

#include <QAccessibleWidget>

#include <functional>

// What a screen reader learns of a picture or a label that works as a button or a link: its
// role, its name and tip (the widget's accessible name and tooltip), and, for a button or a
// link, a press action that runs it as a left click does.
class AccessibleButton : public QAccessibleWidget {
public:
    // The role is asked each time: the widget may be told its role after the reader first
    // asked about it (setting a name already announces the widget).
    AccessibleButton(QWidget* widget, std::function<QAccessible::Role()> role, std::function<void()> click);

    QAccessible::Role role() const override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

private:
    bool pressable() const;

    std::function<QAccessible::Role()> m_role;
    std::function<void()> m_click;
};

// Makes every widget of class Button (with accessibleRole() and click()) an AccessibleButton
// to screen readers. Called from each constructor; the factory is installed once per class.
template<typename Button>
void installAccessibleButton()
{
    static const bool installed = [] {
        QAccessible::installFactory([](const QString& className, QObject* object) -> QAccessibleInterface* {
            auto* button = qobject_cast<Button*>(object);
            if (!button || className != QLatin1String(Button::staticMetaObject.className()))
                return nullptr;
            return new AccessibleButton(
                button, [button] { return button->accessibleRole(); }, [button] { button->click(); });
        });
        return true;
    }();
    Q_UNUSED(installed);
}
