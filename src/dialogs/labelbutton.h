#pragma once

#include <QLabel>

// A label that the small windows use as a button or a web link: a pointing hand over it, and
// a left-button click on it runs it. It takes no keyboard focus, so only the mouse runs it.
class LabelButton : public QLabel {
    Q_OBJECT
public:
    LabelButton(const QString& nome, const QString& legenda, const QString& dica, const QRect& twips,
        QWidget* parent);

    // A button: the white caption, bold and centred, over a shape of its own (named nomeForma)
    // in the windows' frame colour.
    static LabelButton* comForma(const QString& nome, const QString& legenda, const QString& dica,
        const QRect& twips, const QString& nomeForma, QWidget* parent);

Q_SIGNALS:
    // Left button pressed on the label and released over it.
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};
