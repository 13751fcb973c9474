// Where the main window goes when it docks to a screen edge, slides into
// view or out of it, and which edge a drag proposes: plain arithmetic on
// rectangles, so that it can be checked without a window.
//
// Rectangles are window rectangles (decorations included) in screen
// coordinates; the screen need not start at (0, 0).
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QtGlobal>

// Dock states: the four edges in the shell's order, not docked, floating
// (docking is on but the window sits anywhere).
constexpr int kDockNone = -1;
constexpr int kDockFloating = -2;
constexpr int kDockLeft = 0;
constexpr int kDockTop = 1;
constexpr int kDockRight = 2;
constexpr int kDockBottom = 3;
inline bool IsDockEdge(int nEdge) { return nEdge >= kDockLeft && nEdge <= kDockBottom; }

// How long a slide into or out of view takes.
constexpr qint64 kSlideMs = 400;

// The window against `nEdge`, keeping its size. Along the edge it keeps its
// place, or with `bSnapToCorner` goes to the nearer end of the edge (judged
// by its centre against the screen's middle). Anything but an edge leaves
// the rectangle as it is. The caller proposes the result to the
// application-bar service when it reserves space.
QRect GetDockedRect(int nEdge, const QRect& rcWindow, const QRect& rcScreen, bool bSnapToCorner);

// The auto-hidden window's place at `nEdge`: shown, it lies against the
// edge; hidden, all of it but a strip of two border widths lies off the
// screen. Along the edge the snap rule holds, the halves judged against the
// screen's size less 10. The size never changes; anything but an edge
// leaves the rectangle as it is.
QRect GetSlideRect(int nEdge, bool bShown, const QRect& rcWindow, const QRect& rcScreen, bool bSnapToCorner,
                   int nBorderX = 1, int nBorderY = 1);

// The dock state a drag proposes for the cursor at `pt`: floating with Ctrl
// held or anywhere inside the work area less a scroll bar's width and
// height; otherwise the edge of the screen's quarter (cut along its
// diagonals) that holds the point, left or right on a diagonal itself.
int ProposeDockEdge(const QPoint& pt, bool bCtrl, const QRect& rcWorkArea, const QRect& rcScreen,
                    const QSize& scrollBar);

// Where a slide from `rcFrom` to `rcTo` stands after `nElapsedMs`: each
// side moves linearly; at and after `nDurationMs` it is `rcTo` exactly.
QRect SlideRectAt(const QRect& rcFrom, const QRect& rcTo, qint64 nElapsedMs, qint64 nDurationMs = kSlideMs);
