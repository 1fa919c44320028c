#pragma once

#include <QAccessible>
#include <QLabel>

// A label that the small windows use as a button or a web link: a pointing hand over it, and
// a left-button click on it runs it. Tab gives it the focus (a click does not), a dotted frame
// shows it, and Space or Enter runs it; screen readers know it as a link, or as a push button
// when it stands on a shape, and can press it.
class LabelButton : public QLabel {
    Q_OBJECT
public:
    LabelButton(const QString& nome, const QString& legenda, const QString& dica, const QRect& twips,
        QWidget* parent);

    // A button: the white caption, bold and centred, over a shape of its own (named nomeForma)
    // in the windows' frame colour.
    static LabelButton* comForma(const QString& nome, const QString& legenda, const QString& dica,
        const QRect& twips, const QString& nomeForma, QWidget* parent);

    QAccessible::Role accessibleRole() const { return m_role; }
    // Enter no longer runs it, only Space: for an answer that must not come from a key struck
    // for something else.
    void recusaEnter() { m_aceitaEnter = false; }

public Q_SLOTS:
    // What a left click on it does.
    void click() { Q_EMIT clicked(); }

Q_SIGNALS:
    // Left button pressed on the label and released over it.
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QAccessible::Role m_role = QAccessible::Link;
    // The press is a double click's second one: a double click is one click.
    bool m_doubleClick = false;
    bool m_aceitaEnter = true;
    // The key whose press began while it had the focus; 0 when none.
    int m_tecla = 0;
};
