// An add and a refresh at full size, through the main window as a user does them: from the
// click to the name list painted again.
//
//   bench_add STORE [RUNS]
//
// STORE is a contacts file (bench_store --generate N PATH); it is copied into a folder of its
// own and put back before every run, so every add appends to the same file. The notice an add
// shows is closed as soon as it is up, and the time it stood on screen is not counted: what is
// timed is the click to the notice (the duplicate check and the append) plus the notice closing
// to the list painted (the list rebuilt from the file). Each run also times the floors, on the
// same file in the same state: for the add, the file read and rewritten atomically as durably as
// a save (bench_store's Floor: QSaveFile, then its folder flushed); for the refresh, the file
// read. Prints the median of each in ms: add, refresh, add floor, refresh floor.

#include "contactlistview.h"
#include "fakeplatform.h"
#include "imagebutton.h"
#include "lb_principal.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Closes every modal window at once, noting when it came up and when it was closed.
class NoticeCloser : public QObject {
public:
    QElapsedTimer* clock = nullptr;
    double shownAt = -1;
    double closedAt = -1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            if (w->isWindow() && w->isModal()) {
                shownAt = clock->nsecsElapsed() / 1e6;
                QTimer::singleShot(0, w, [this, w] {
                    closedAt = clock->nsecsElapsed() / 1e6;
                    static_cast<QDialog*>(w)->done(QDialog::Accepted);
                });
            }
        }
        return false;
    }
};

bool putBack(const QString& path, const QByteArray& bytes)
{
    QSaveFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.commit();
}

// The least an add can cost: the file read, and its bytes written back atomically, flushed,
// with the folder flushed after the rename.
bool floorAdd(const QString& path)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = in.readAll();
    in.close();
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        return false;
    const int folder = ::open(QFile::encodeName(QFileInfo(path).path()).constData(), O_RDONLY | O_DIRECTORY);
    const bool synced = folder >= 0 && ::fsync(folder) == 0;
    if (folder >= 0)
        ::close(folder);
    return synced;
}

// The least a refresh can cost: the file read.
qsizetype floorRefresh(const QString& path)
{
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? in.readAll().size() : -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_add STORE [RUNS]\n");
        return 2;
    }
    QApplication app(argc, argv);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
    QFile source(QString::fromLocal8Bit(argv[1]));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "bench_add: cannot read %s\n", argv[1]);
        return 1;
    }
    const QByteArray bytes = source.readAll();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("LBcontatos.txt"));
    if (!putBack(path, bytes)) {
        std::fprintf(stderr, "bench_add: cannot write the store\n");
        return 1;
    }

    FakePlatform fakes;
    QElapsedTimer clock;
    clock.start();
    NoticeCloser closer;
    closer.clock = &clock;
    app.installEventFilter(&closer);
    LB_Principal w(dir.path(), fakes.plataforma());
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 1;
    const int before = w.lstContatos->model()->rowCount();

    std::vector<double> adds;
    std::vector<double> refreshes;
    std::vector<double> addFloors;
    std::vector<double> refreshFloors;
    // One warm-up run of each, not counted.
    for (int run = -1; run < runs; ++run) {
        if (!putBack(path, bytes))
            return 1;
        QTest::mouseClick(w.imgRefresh, Qt::LeftButton);
        QApplication::processEvents();

        w.txtNome->setText(QStringLiteral("Zé Ninguém da Silva"));
        closer.shownAt = closer.closedAt = -1;
        const double start = clock.nsecsElapsed() / 1e6;
        QTest::mouseClick(w.imgAdiciona, Qt::LeftButton);
        w.lstContatos->viewport()->repaint();
        const double end = clock.nsecsElapsed() / 1e6;
        if (closer.shownAt < 0 || w.lstContatos->model()->rowCount() != before + 1) {
            std::fprintf(stderr, "bench_add: the add did not list one more name\n");
            return 1;
        }

        const double refreshStart = clock.nsecsElapsed() / 1e6;
        QTest::mouseClick(w.imgRefresh, Qt::LeftButton);
        w.lstContatos->viewport()->repaint();
        const double refreshEnd = clock.nsecsElapsed() / 1e6;

        // The floors on the file as the add left it, the refresh's first, as the refresh came
        // right after the add.
        const double readStart = clock.nsecsElapsed() / 1e6;
        if (floorRefresh(path) <= bytes.size())
            return 1;
        const double readEnd = clock.nsecsElapsed() / 1e6;
        if (!floorAdd(path))
            return 1;
        const double floorEnd = clock.nsecsElapsed() / 1e6;
        if (run >= 0) {
            adds.push_back((closer.shownAt - start) + (end - closer.closedAt));
            refreshes.push_back(refreshEnd - refreshStart);
            refreshFloors.push_back(readEnd - readStart);
            addFloors.push_back(floorEnd - readEnd);
        }
    }
    putBack(path, bytes);
    std::printf(
        "%.1f %.1f %.1f %.1f\n", median(adds), median(refreshes), median(addFloors), median(refreshFloors));
    return 0;
}
