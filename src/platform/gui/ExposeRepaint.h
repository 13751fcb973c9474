// Repaints what the window system uncovers in a widget window.
//
// Once a window holds a view drawn through textures (any web view does),
// Qt answers the window system's expose by showing its saved picture of the
// textures alone and never puts back the widgets' part of the uncovered
// area: what a closed dialog, menu or splash lay over stays on the screen
// until those widgets happen to paint again. Marking the uncovered area as
// needing paint makes the same expose paint and show it.
#pragma once

#include <QObject>

class CExposeRepaint : public QObject {
    Q_OBJECT
public:
    // Watches every widget window of the application from now on; once.
    static void Install();

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    using QObject::QObject;
};
