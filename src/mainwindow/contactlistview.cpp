#include "contactlistview.h"

#include <QPalette>

ContactListView::ContactListView(QWidget* parent)
    : QListView(parent)
{
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Every row has the same height: the view then never measures all names of a large store.
    setUniformItemSizes(true);
    setTextElideMode(Qt::ElideRight);
}

void ContactListView::setTile(const QPixmap& tile)
{
    // Black names over the light tiles whatever the desktop's text colour; a selected name
    // takes the window's selection colours.
    QPalette pal = palette();
    pal.setBrush(QPalette::Base, QBrush(tile));
    pal.setColor(QPalette::Text, Qt::black);
    setPalette(pal);
    viewport()->setAutoFillBackground(true);
}

void ContactListView::scrollContentsBy(int dx, int dy)
{
    QListView::scrollContentsBy(dx, dy);
    viewport()->update();
}
