#include "accessiblebutton.h"

#include <QMetaObject>
#include <QWidget>

AccessibleButton::AccessibleButton(
    QWidget* widget, std::function<QAccessible::Role()> role, std::function<void()> click)
    : QAccessibleWidget(widget)
    , m_role(std::move(role))
    , m_click(std::move(click))
{
}

QAccessible::Role AccessibleButton::role() const
{
    return m_role();
}

bool AccessibleButton::pressable() const
{
    const QAccessible::Role r = role();
    return r == QAccessible::PushButton || r == QAccessible::Link;
}

QStringList AccessibleButton::actionNames() const
{
    QStringList names = QAccessibleWidget::actionNames();
    if (pressable())
        names.prepend(pressAction());
    return names;
}

void AccessibleButton::doAction(const QString& actionName)
{
    if (!pressable() || actionName != pressAction()) {
        QAccessibleWidget::doAction(actionName);
        return;
    }
    // Queued: the action may open a modal window, and the screen reader's request must not
    // wait inside its event loop until that window closes.
    QMetaObject::invokeMethod(
        widget(), [click = m_click] { click(); }, Qt::QueuedConnection);
}
