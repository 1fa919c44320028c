#pragma once

#include "contactlistview.h"
#include "cp1252.h"
#include "fakeplatform.h"
#include "filebytes.h"
#include "lb_principal.h"
#include "modalwatch.h"

#include <QDate>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Where a notice after adding stands, from the main window's top left, in pixels.
inline const QPoint AoAdicionar(208, 167);
// The date the program gives a record saved today.
inline const QString Hoje = QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"));
// Three contacts as the program writes them, Bob with a two-line address.
inline const QString Tres = QStringLiteral(
    "\"Carla§3§c@x§§§01/01/2020\r\nBob§2§§Rua A¤Centro§§02/02/2021\r\nAna§1§§§§03/03/2022\r\n\r\n\"\r\n");

// The base of the main window's tests: a window over a store of its own in a temporary
// folder, recording fakes for the desktop, and a watch on the modal windows it opens, which
// answers the delete question and closes every other window at once (a notice does not run
// its 1.5 seconds).
class WindowTest : public QObject {
protected:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakePlatform> m_fakes = std::make_unique<FakePlatform>();
    std::unique_ptr<ModalWatch> watch;
    std::unique_ptr<LB_Principal> w;
    QString m_resposta = QStringLiteral("lblSim"); // the button a question gets

    void fresh()
    {
        w.reset();
        watch.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        m_fakes = std::make_unique<FakePlatform>();
        m_resposta = QStringLiteral("lblSim");
    }
    QString storePath() const { return m_dir->filePath(QStringLiteral("LBcontatos.txt")); }
    void put(const QByteArray& bytes) const { QVERIFY(writeBytes(storePath(), bytes)); }
    void put(const QString& text) const { put(Cp1252::encode(text)); }
    QByteArray bytes() const { return readBytes(storePath()); }
    // The store as text; a UTF-8 one begins with its mark, U+FEFF.
    QString file() const
    {
        const QByteArray b = bytes();
        return b.startsWith("\xEF\xBB\xBF") ? u'\uFEFF' + QString::fromUtf8(b.mid(3)) : Cp1252::decode(b);
    }

    void open(const QString& folder = {})
    {
        w.reset();
        watch = std::make_unique<ModalWatch>(&m_fakes->beeper.beeps);
        watch->state = [this] { return w ? w->txtNome->text() : QString(); };
        watch->onShown = [this](QWidget* janela) {
            if (janela->objectName() == QStringLiteral("LB_ContDel"))
                QTest::mouseClick(janela->findChild<QWidget*>(m_resposta), Qt::LeftButton);
            else // a notice needs not run its time; another window is just closed
                static_cast<QDialog*>(janela)->done(QDialog::Accepted);
        };
        w = std::make_unique<LB_Principal>(folder.isEmpty() ? m_dir->path() : folder, m_fakes->plataforma());
        w->show();
        QApplication::setActiveWindow(w.get());
    }

    // Each modal window seen: a notice by its message, another window by its name, and where it
    // stood against origin, as "message @x,y".
    QStringList seen(const QPoint& origin) const
    {
        QStringList out;
        for (const auto& s : watch->seen)
            out << (s.objectName == QStringLiteral("LB_ContAd") ? s.label1 : s.objectName)
                    + at(s.pos - origin);
        return out;
    }
    static QString at(const QPoint& p) { return QStringLiteral(" @%1,%2").arg(p.x()).arg(p.y()); }

    // Clicks the name in the list, as a user selects a contact.
    void select(const QString& name)
    {
        const int row = int(w->nomesListados().indexOf(name));
        QVERIFY2(row >= 0, qPrintable(name));
        const QRect r = w->lstContatos->visualRect(w->lstContatos->model()->index(row, 0));
        QTest::mouseClick(w->lstContatos->viewport(), Qt::LeftButton, {}, r.center());
    }

    // Empties the field and types the text key by key, CR LF as the Return key.
    void type(QWidget* field, const QString& text)
    {
        LB_Principal::defineTexto(field, {});
        const QStringList lines = text.split(QStringLiteral("\r\n"));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(field, Qt::Key_Return);
            for (const QChar c : lines[i]) {
                if (c.unicode() < 128)
                    QTest::keyClick(field, c.toLatin1());
                else
                    QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
            }
        }
    }
};
