#include "frame/DockGeometry.h"

#include <cstdlib>

namespace {

// The start of the edge when the window's centre lies before `nHalf`,
// else its end; `nPos`, `nSize` and `nSpan` along the edge, relative to the
// screen.
int SnapAlong(int nPos, int nSize, int nSpan, int nHalf) {
    const int nCentre = nPos + nSize / 2;
    return nCentre < nHalf ? 0 : nSpan - nSize;
}

}  // namespace

QRect GetDockedRect(int nEdge, const QRect& rcWindow, const QRect& rcScreen, bool bSnapToCorner) {
    if (!IsDockEdge(nEdge)) return rcWindow;
    const int cx = rcScreen.width();
    const int cy = rcScreen.height();
    const int w = rcWindow.width();
    const int h = rcWindow.height();
    int x = rcWindow.x() - rcScreen.x();
    int y = rcWindow.y() - rcScreen.y();
    switch (nEdge) {
    case kDockLeft: x = 0; break;
    case kDockRight: x = cx - w; break;
    case kDockTop: y = 0; break;
    case kDockBottom: y = cy - h; break;
    }
    if (bSnapToCorner) {
        if (nEdge == kDockLeft || nEdge == kDockRight) y = SnapAlong(y, h, cy, cy / 2);
        else x = SnapAlong(x, w, cx, cx / 2);
    }
    return QRect(rcScreen.x() + x, rcScreen.y() + y, w, h);
}

QRect GetSlideRect(int nEdge, bool bShown, const QRect& rcWindow, const QRect& rcScreen, bool bSnapToCorner,
                   int nBorderX, int nBorderY) {
    if (!IsDockEdge(nEdge)) return rcWindow;
    const int cx = rcScreen.width();
    const int cy = rcScreen.height();
    const int w = rcWindow.width();
    const int h = rcWindow.height();
    int x = rcWindow.x() - rcScreen.x();
    int y = rcWindow.y() - rcScreen.y();
    switch (nEdge) {
    case kDockLeft: x = bShown ? 0 : 2 * nBorderX - w; break;
    case kDockRight: x = bShown ? cx - w : cx - 2 * nBorderX; break;
    case kDockTop: y = bShown ? 0 : 2 * nBorderY - h; break;
    case kDockBottom: y = bShown ? cy - h : cy - 2 * nBorderY; break;
    }
    if (bSnapToCorner) {
        if (nEdge == kDockLeft || nEdge == kDockRight) y = SnapAlong(y, h, cy, (cy - 10) / 2);
        else x = SnapAlong(x, w, cx, (cx - 10) / 2);
    }
    return QRect(rcScreen.x() + x, rcScreen.y() + y, w, h);
}

int ProposeDockEdge(const QPoint& pt, bool bCtrl, const QRect& rcWorkArea, const QRect& rcScreen,
                    const QSize& scrollBar) {
    if (bCtrl) return kDockFloating;
    const QRect inner = rcWorkArea.adjusted(scrollBar.width(), scrollBar.height(), -scrollBar.width(),
                                            -scrollBar.height());
    if (inner.contains(pt)) return kDockFloating;
    const qint64 cx = rcScreen.width();
    const qint64 cy = rcScreen.height();
    const qint64 dx = pt.x() - rcScreen.x() - cx / 2;
    const qint64 dy = pt.y() - rcScreen.y() - cy / 2;
    if (cy * std::llabs(dx) >= cx * std::llabs(dy)) return dx < 0 ? kDockLeft : kDockRight;
    return dy < 0 ? kDockTop : kDockBottom;
}

QRect SlideRectAt(const QRect& rcFrom, const QRect& rcTo, qint64 nElapsedMs, qint64 nDurationMs) {
    if (nDurationMs <= 0 || nElapsedMs >= nDurationMs) return rcTo;
    if (nElapsedMs <= 0) return rcFrom;
    // Sides, not position and size: each one travels on its own line.
    auto lerp = [&](int a, int b) {
        return a + static_cast<int>((static_cast<qint64>(b) - a) * nElapsedMs / nDurationMs);
    };
    const int left = lerp(rcFrom.left(), rcTo.left());
    const int top = lerp(rcFrom.top(), rcTo.top());
    const int right = lerp(rcFrom.x() + rcFrom.width(), rcTo.x() + rcTo.width());
    const int bottom = lerp(rcFrom.y() + rcFrom.height(), rcTo.y() + rcTo.height());
    return QRect(left, top, right - left, bottom - top);
}
