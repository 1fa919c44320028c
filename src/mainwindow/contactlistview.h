#pragma once

#include <QListView>

// The name list: no border, names drawn transparently over a tiled picture. Scrolling
// repaints the whole view instead of moving pixels, so the tiles stay put under the names.
class ContactListView : public QListView {
    Q_OBJECT
public:
    explicit ContactListView(QWidget* parent = nullptr);

    void setTile(const QPixmap& tile);

protected:
    void scrollContentsBy(int dx, int dy) override;
};
