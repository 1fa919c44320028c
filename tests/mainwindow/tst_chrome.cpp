#include "imagebutton.h"
#include "labelbutton.h"
#include "windowtest.h"

#include <QAccessible>
#include <QClipboard>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QWindow>

using namespace Qt::StringLiterals;

// The window chrome: press feedback, the notification-area icon, dragging, closing, the
// secondary windows.
class TestChrome : public WindowTest {
    Q_OBJECT

    void open(bool tray = true)
    {
        fresh();
        m_fakes->bandeja.temBandeja = tray;
        WindowTest::open(); // the windows the buttons open close at once
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }
    void minimize() { QTest::mouseClick(w->imgMinimiza, Qt::LeftButton); }

private Q_SLOTS:
    void pressedImagesShiftAndReturn_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* n : { "imgAdiciona", "imgAtualiza", "imgDeleta", "imgRefresh", "imgLimpar",
                 "imgCopiar", "imgImprimir", "imgMarca" })
            QTest::newRow(n) << QString::fromLatin1(n);
    }

    void pressedImagesShiftAndReturn()
    {
        QFETCH(QString, name);
        open();
        auto* b = w->findChild<ImageButton*>(name);
        QVERIFY(b->toolTip().startsWith(b->accessibleName() + u" ("_s)); // what a screen reader says
        const QPoint design = b->pos(), in(3, 3), off(-40, -40);
        QSignalSpy released(b, &ImageButton::released);
        QList<QPoint> atClick;
        connect(b, &ImageButton::clicked, this, [&] { atClick << b->pos(); });
        // Any button shifts it by ten or fifteen twips, a pixel each way at the usual density;
        // only the left one released over it clicks, once it is back in place.
        for (const auto& [button, at] : { std::pair { Qt::LeftButton, in }, { Qt::RightButton, in },
                 { Qt::MiddleButton, in }, { Qt::LeftButton, off } }) {
            QTest::mousePress(b, button, {}, in);
            QCOMPARE(b->pos(), design + QPoint(1, 1));
            QTest::mouseRelease(b, button, {}, at);
            QCOMPARE(b->pos(), design);
        }
        QCOMPARE(released.size(), 4);
        QCOMPARE(atClick, QList<QPoint> { design });
        // A second button meanwhile changes nothing; the first one's release ends the press.
        QTest::mousePress(b, Qt::LeftButton, {}, in);
        QTest::mousePress(b, Qt::RightButton, {}, in);
        QTest::mouseRelease(b, Qt::RightButton, {}, in);
        QCOMPARE(b->pos(), design + QPoint(1, 1));
        QTest::mouseRelease(b, Qt::LeftButton, {}, in);
        QCOMPARE(atClick.size(), 2);
        // A window hidden while the button is held gets no release: the image goes back anyway.
        QTest::mousePress(b, Qt::LeftButton, {}, in);
        w->hide();
        QCOMPARE(b->pos(), design);
    }

    // Each image's key, with the focus in a one-line field, a multi-line field or the list, or
    // Space and Enter on the focused image, does what a click does, and the focus stays.
    void keysDoWhatClicksDo_data()
    {
        QTest::addColumn<QString>("image");
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("focus");
        for (const auto& [image, key] : { std::pair { "imgAdiciona", "Ctrl+Shift+N" },
                 { "imgAtualiza", "Ctrl+Shift+T" }, { "imgDeleta", "Ctrl+Shift+D" },
                 { "imgRefresh", "Ctrl+Shift+R" }, { "imgLimpar", "Ctrl+Shift+L" },
                 { "imgCopiar", "Ctrl+Shift+O" }, { "imgImprimir", "Ctrl+Shift+P" }, { "imgMarca", "F1" },
                 { "imgMinimiza", "Ctrl+Shift+M" }, { "imgFecha", "Ctrl+Shift+Q" },
                 { "imgCtrlc", "Ctrl+Shift+C" }, { "imgCtrlv", "Ctrl+Shift+V" } })
            for (const char* focus : { "txtNome", "txtEnd", "lstContatos", "Space", "Return" })
                QTest::addRow("%s %s", image, focus)
                    << QString::fromLatin1(image) << QKeySequence(QString::fromLatin1(key))
                    << QString::fromLatin1(focus);
    }

    void keysDoWhatClicksDo()
    {
        QFETCH(QString, image);
        QFETCH(QKeySequence, key);
        QFETCH(QString, focus);
        const bool onImage = !focus.startsWith(u"txt"_s) && focus != u"lstContatos"_s;
        // A field's copy and paste images act on the field with the focus, on none from the list.
        if (image.startsWith(u"imgCtrl"_s))
            image += onImage ? u"Fone"_s : focus == u"lstContatos"_s ? QString() : focus.mid(3);
        const auto run = [&](bool byKey) {
            fresh();
            put(Tres);
            WindowTest::open();
            select(u"Bob"_s);
            put(QString(Tres).replace(u"Ana§"_s, u"Dora§"_s)); // what a refresh would show
            QGuiApplication::clipboard()->setText(u"colado"_s);
            auto* b = w->findChild<ImageButton*>(image);
            QWidget* alvo = onImage ? b : w->findChild<QWidget*>(focus);
            alvo->setFocus();
            if (!byKey && b)
                QTest::mouseClick(b, Qt::LeftButton);
            else if (onImage)
                QTest::keyClick(alvo, focus == u"Space"_s ? Qt::Key_Space : Qt::Key_Return);
            else if (byKey)
                QTest::keySequence(alvo, key);
            // Where the window stays, the focus comes back to where it was.
            (void)QTest::qWaitFor([&] { return !w->isVisible() || QApplication::focusWidget() == alvo; });
            const QWidget* foco = QApplication::focusWidget();
            return QStringList { file(), QGuiApplication::clipboard()->text(), seen(w->pos()).join(u'|'),
                w->textoContato(), w->nomesListados().join(u','), m_fakes->bandeja.chamadas.join(u','),
                foco ? foco->objectName() : u"-"_s, w->isVisible() ? alvo->objectName() : u"-"_s };
        };
        const QStringList byKey = run(true);
        QCOMPARE(byKey, run(false));
        QCOMPARE(byKey.value(6), byKey.value(7));
        if (auto* b = w->findChild<ImageButton*>(image)) {
            QVERIFY(b->toolTip().contains(u'(' + key.toString() + u')'));
            // Focused, the image has a ring around it in the highlight colour.
            b->setFocus();
            if (w->isVisible())
                QCOMPARE(w->grab().toImage().pixelColor(b->geometry().topLeft() - QPoint(1, 1)),
                    w->palette().color(QPalette::Highlight));
        }
    }

    // The notification area is asked for at every minimize: without one the window only
    // minimizes, with one it hides behind the icon until a click on it. tray.sh follows the
    // icon on a real panel.
    void trayIconFromStartToClose()
    {
        open(false);
        RecordingTray& tray = m_fakes->bandeja;
        minimize();
        QVERIFY(w->isVisible() && w->isMinimized());
        w->showNormal();
        tray.temBandeja = true;
        minimize();
        QVERIFY(!w->isVisible());
        QCOMPARE(tray.chamadas, QStringList { u"adiciona"_s });
        QCOMPARE(tray.dica, u"Lurvane Brevicard"_s);
        w->lblNovoNome->setText(u"Digite o novo nome do contato"_s);
        Q_EMIT tray.botaoEsquerdo(); // the icon stays
        QVERIFY(w->isVisible() && !w->isMinimized());
        QVERIFY(w->lblNovoNome->text().isEmpty()); // as for pointer movement over the window
        minimize();
        Q_EMIT tray.botaoDireito();
        QVERIFY(w->isVisible());
        QCOMPARE(tray.chamadas, (QStringList { u"adiciona"_s, u"adiciona"_s, u"remove"_s }));
        tray.chamadas.clear();
        QTest::mouseClick(w->imgFecha, Qt::LeftButton);
        QVERIFY(!w->isVisible());
        QCOMPARE(tray.chamadas, QStringList { u"remove"_s });
    }

    void stripMovesTheWindow()
    {
        open();
        RecordingMover& mover = m_fakes->movedor;
        const QPoint start = w->pos(), press(600, 500);
        const auto send = [&](QEvent::Type type, QPoint by, Qt::MouseButton b, Qt::MouseButtons held) {
            QMouseEvent e(type, QPointF(40, 10), QPointF(40, 10), QPointF(press + by), b, held, {});
            QApplication::sendEvent(w->imgMove, &e);
        };
        // The desktop takes the move over: the window leaves it alone.
        mover.aceita = true;
        send(QEvent::MouseButtonPress, {}, Qt::LeftButton, Qt::LeftButton);
        send(QEvent::MouseMove, QPoint(30, 20), Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, QPoint(30, 20), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(w->pos(), start);
        // It cannot: the window follows the pointer until the button, any button, is released.
        mover.aceita = false;
        send(QEvent::MouseButtonPress, {}, Qt::RightButton, Qt::RightButton);
        send(QEvent::MouseMove, QPoint(-30, -20), Qt::NoButton, Qt::RightButton);
        QCOMPARE(w->pos(), start + QPoint(-30, -20));
        send(QEvent::MouseMove, QPoint(-50, 7), Qt::NoButton, Qt::RightButton);
        send(QEvent::MouseButtonRelease, QPoint(-50, 7), Qt::RightButton, Qt::NoButton);
        send(QEvent::MouseMove, {}, Qt::NoButton, Qt::NoButton);
        QCOMPARE(w->pos(), start + QPoint(-50, 7));
        QCOMPARE(mover.pedidos, 2);
        QCOMPARE(w->imgMove->pos(), QPoint(0, 0)); // the strip itself never shifts

        // A drag whose release went elsewhere: the next one starts where the pointer now is,
        // and after deactivation nothing follows it.
        const QPoint moved = w->pos();
        send(QEvent::MouseButtonPress, {}, Qt::LeftButton, Qt::LeftButton);
        send(QEvent::MouseMove, QPoint(10, 5), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(w->pos(), moved + QPoint(10, 5));
        send(QEvent::MouseButtonPress, QPoint(-400, -300), Qt::LeftButton, Qt::LeftButton);
        send(QEvent::MouseMove, QPoint(-397, -299), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(w->pos(), moved + QPoint(13, 6));
        QEvent deactivate(QEvent::WindowDeactivate);
        QApplication::sendEvent(w->imgMove, &deactivate);
        send(QEvent::MouseMove, QPoint(-300, -200), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(w->pos(), moved + QPoint(13, 6));
    }

    void doubleClickIsOneClick_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QStringList>("windows");
        QTest::newRow("paste") << u"imgCtrlvNome"_s << Qt::LeftButton << u"Dup"_s << QStringList();
        QTest::newRow("notice") << u"imgAdiciona"_s << Qt::LeftButton << QString()
                                << QStringList { u"LB_ContAd"_s };
        QTest::newRow("on release, right button")
            << u"imgImprimir"_s << Qt::RightButton << QString() << QStringList { u"LB_Print"_s };
    }

    void doubleClickIsOneClick()
    {
        QFETCH(QString, name);
        QFETCH(Qt::MouseButton, button);
        QFETCH(QString, field);
        QFETCH(QStringList, windows);
        open();
        QGuiApplication::clipboard()->setText(u"Dup"_s);
        auto* b = w->findChild<ImageButton*>(name);
        QSignalSpy shifted(b, &ImageButton::pressed);
        // Through the window, as the desktop delivers it: press, release, then the second
        // press followed by the double click, and its release.
        QTest::mouseDClick(w->windowHandle(), button, {}, b->mapTo(w.get(), QPoint(3, 3)));
        QCOMPARE(w->txtNome->text(), field);
        QStringList seen;
        for (const auto& s : watch->seen)
            seen << s.objectName;
        QCOMPARE(seen, windows);
        QVERIFY(!shifted.isEmpty());
        QCOMPARE(b->pos(), b->designRect().topLeft());
        QTest::mouseClick(b, button, {}, QPoint(3, 3)); // the next click runs again
        QCOMPARE(w->txtNome->text(), field + field);
        QCOMPARE(watch->seen.size(), windows.size() * 2);
    }

    void lostReleaseFreesTheImage_data()
    {
        QTest::addColumn<QEvent::Type>("loss");
        QTest::newRow("window deactivated") << QEvent::WindowDeactivate;
        QTest::newRow("grab taken") << QEvent::UngrabMouse;
        QTest::newRow("release never came") << QEvent::None;
    }

    void lostReleaseFreesTheImage()
    {
        QFETCH(QEvent::Type, loss);
        open();
        ImageButton* b = w->imgImprimir;
        const QPoint design = b->pos();
        QSignalSpy released(b, &ImageButton::released);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(3, 3), b->mapToGlobal(QPointF(3, 3)),
            Qt::RightButton, Qt::RightButton, {});
        QApplication::sendEvent(b, &press);
        QCOMPARE(b->pos(), design + QPoint(1, 1));
        QWidget other;
        if (loss == QEvent::WindowDeactivate) {
            other.show();
            QApplication::setActiveWindow(&other); // another program takes the focus
        } else if (loss == QEvent::UngrabMouse) {
            QEvent ungrab(loss);
            QApplication::sendEvent(b, &ungrab);
        }
        if (loss != QEvent::None)
            QCOMPARE(b->pos(), design);
        QApplication::setActiveWindow(w.get());
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(3, 3));
        QCOMPARE(watch->seen.size(), 1); // left clicks work again; a release that never came
        QCOMPARE(released.size(), 1); // opens nothing
        QCOMPARE(b->pos(), design);
    }

    void trayClickDuringASmallWindow_data()
    {
        QTest::addColumn<QString>("image");
        QTest::addColumn<bool>("rightButton");
        QTest::newRow("about, left") << u"imgMarca"_s << false;
        QTest::newRow("print, right") << u"imgImprimir"_s << true;
        QTest::newRow("notice, right") << u"imgAdiciona"_s << true;
        QTest::newRow("question, left") << u"imgDeleta"_s << false;
    }

    void trayClickDuringASmallWindow()
    {
        QFETCH(QString, image);
        QFETCH(bool, rightButton);
        fresh();
        put(u"\"Ana§§§§§01/01/2026\r\n\r\n\"\r\n"_s);
        WindowTest::open();
        select(u"Ana"_s);
        RecordingTray& tray = m_fakes->bandeja;
        tray.chamadas.clear();
        QWidget other; // another program's window, in front
        QString seen;
        watch->onShown = [&](QWidget* janela) {
            other.show();
            QApplication::setActiveWindow(&other);
            rightButton ? Q_EMIT tray.botaoDireito() : Q_EMIT tray.botaoEsquerdo();
            QCoreApplication::processEvents();
            // Above the main window, owned by nobody.
            if (janela->isActiveWindow() && !janela->parentWidget()
                && janela->windowHandle()->transientParent() == w->windowHandle())
                seen = janela->objectName();
            if (auto* nao = janela->findChild<QWidget*>(u"lblNao"_s))
                QTest::mouseClick(nao, Qt::LeftButton);
            else
                static_cast<QDialog*>(janela)->done(QDialog::Accepted);
        };
        QTest::mouseClick(w->findChild<ImageButton*>(image), Qt::LeftButton);
        QVERIFY(!watch->seen.isEmpty());
        QCOMPARE(seen, watch->seen.first().objectName);
        QVERIFY(tray.chamadas.isEmpty()); // the icon stays
        QVERIFY(w->isVisible());
    }

    void screenReadersKnowTheControls()
    {
        open();
        QGuiApplication::clipboard()->setText(u"x"_s);
        for (const auto& [name, spoken] : { std::pair { u"imgCtrlvNome"_s, u"Colar"_s },
                 { u"imgImprimir"_s, u"Imprimir contato"_s }, { u"imgFecha"_s, u"Fechar"_s } }) {
            auto* b = w->findChild<ImageButton*>(name);
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b);
            QVERIFY(a && a->actionInterface());
            QCOMPARE(a->role(), QAccessible::PushButton);
            QCOMPARE(a->text(QAccessible::Name), spoken);
            QCOMPARE(a->actionInterface()->actionNames().value(0), QAccessibleActionInterface::pressAction());
            QSignalSpy clicked(b, &ImageButton::clicked), released(b, &ImageButton::released);
            a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            QTRY_COMPARE(clicked.size(), 1);
            QCOMPARE(released.size(), 1); // what opens the print window
        }
        // The list and the fields are named as their labels read.
        for (const auto& [control, spoken] : { std::pair<QWidget*, QString> { w->lstContatos, u"Contatos"_s },
                 { w->txtNome, u"Nome"_s }, { w->txtFone, u"Telefone"_s }, { w->txtMail, u"E-mail"_s },
                 { w->txtEnd, u"Endereço"_s }, { w->txtComp, u"Complemento"_s } })
            QCOMPARE(QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name), spoken);
        // The drag strip is the window's title bar, not a button.
        QCOMPARE(QAccessible::queryAccessibleInterface(w->imgMove)->role(), QAccessible::TitleBar);
        QVERIFY(
            QAccessible::queryAccessibleInterface(w->imgMove)->actionInterface()->actionNames().isEmpty());
    }

    // The print and about windows stand beside the main window wherever it is.
    void openedBesideTheMainWindowWithTheFieldsAsTheyStand()
    {
        open();
        watch->onShown = [](QWidget* janela) {
            if (auto* txt = janela->findChild<QPlainTextEdit*>(u"txtPrint"_s)) {
                QTest::keyClicks(txt, u"!"_s);
                QTest::mouseClick(janela->findChild<LabelButton*>(u"lblSim"_s), Qt::LeftButton);
            } else {
                janela->close();
            }
        };
        w->txtNome->setText(u" Ana "_s);
        w->txtMail->setText(u"ana@x.br"_s);
        LB_Principal::defineTexto(w->txtEnd, u"Rua A\r\nfundos"_s);
        LB_Principal::defineTexto(w->txtComp, u"sala\u00a02\r\n"_s);
        for (const QPoint onde : { QPoint(40, 30), QPoint(300, 210) }) {
            w->move(onde); // wherever it has been dragged
            QTest::mouseClick(w->imgImprimir, Qt::LeftButton);
            QCOMPARE(seen(onde).last(), u"LB_Print @208,29"_s);
        }
        // Composed anew each time: the first window's edit went with it, the fields are untouched.
        const QString texto
            = u" Ana \r\n\r\n\r\n\r\nana@x.br\r\n\r\nRua A\r\nfundos\r\n\r\nsala\u00a02\r\n"_s;
        QCOMPARE(m_fakes->impressora.textos, QStringList({ u"!"_s + texto, u"!"_s + texto }));
        QCOMPARE(w->textoContato(), texto);

        QTest::mouseClick(w->imgMarca, Qt::LeftButton);
        QCOMPARE(seen(QPoint(300, 210)).last(), u"LB_About @208,29"_s);
    }
};

QTEST_MAIN(TestChrome)
#include "tst_chrome.moc"
