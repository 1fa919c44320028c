#include "beeper.h"
#include "lb_principal.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QSvgRenderer>

using namespace Qt::StringLiterals;

namespace {

QIcon programIcon()
{
    // Drawn at each size the desktop asks for most, so the small ones stay sharp.
    QSvgRenderer renderer(u":/images/lurvane.svg"_s);
    QIcon icon;
    for (const int size : { 16, 24, 32, 48, 64, 128 }) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Lurvane Brevicard"_s);
    QApplication::setApplicationVersion(u"1.1"_s);

    SystemBeeper beeper;
    // The contacts file lives beside the executable.
    LB_Principal janela(QCoreApplication::applicationDirPath(), beeper);
    QApplication::setWindowIcon(programIcon());
    janela.show();
    return QApplication::exec();
}
