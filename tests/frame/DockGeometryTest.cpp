// The docking arithmetic: docked and slide rectangles, the edge a drag
// proposes, and the slide's steps.
#include "frame/DockGeometry.h"

#include <QTest>

namespace {
const QRect kScreen(0, 0, 1280, 860);
// A work area with a 30-pixel bar reserved at the bottom.
const QRect kWork(0, 0, 1280, 830);
const QSize kScroll(17, 17);
}  // namespace

class DockGeometryTest : public QObject {
    Q_OBJECT
private slots:
    void dockedRectLiesAgainstEachEdgeAndKeepsItsSize();
    void snapToCornerPicksTheNearerEnd();
    void hiddenWindowsKeepTwoBorderWidthsOnScreen();
    void slideHalvesAreJudgedAgainstTheScreenLessTen();
    void screensThatDoNotStartAtTheOrigin();
    void dragProposals_data();
    void dragProposals();
    void slideMovesEachSideLinearlyAndEndsExactly();
};

void DockGeometryTest::dockedRectLiesAgainstEachEdgeAndKeepsItsSize() {
    const QRect win(300, 200, 500, 400);
    QCOMPARE(GetDockedRect(kDockLeft, win, kScreen, false), QRect(0, 200, 500, 400));
    QCOMPARE(GetDockedRect(kDockTop, win, kScreen, false), QRect(300, 0, 500, 400));
    QCOMPARE(GetDockedRect(kDockRight, win, kScreen, false), QRect(780, 200, 500, 400));
    QCOMPARE(GetDockedRect(kDockBottom, win, kScreen, false), QRect(300, 460, 500, 400));
    // Floating and not docked leave the window where it is.
    QCOMPARE(GetDockedRect(kDockFloating, win, kScreen, true), win);
    QCOMPARE(GetDockedRect(kDockNone, win, kScreen, true), win);
}

void DockGeometryTest::snapToCornerPicksTheNearerEnd() {
    // Centre x = 300 + 250 = 550 < 640: the start of the top edge.
    QCOMPARE(GetDockedRect(kDockTop, QRect(300, 200, 500, 400), kScreen, true), QRect(0, 0, 500, 400));
    // Centre x = 640: not left of the middle any more, the end.
    QCOMPARE(GetDockedRect(kDockTop, QRect(390, 200, 500, 400), kScreen, true), QRect(780, 0, 500, 400));
    // Along a side edge it is the vertical centre that counts.
    QCOMPARE(GetDockedRect(kDockRight, QRect(300, 500, 500, 300), kScreen, true), QRect(780, 560, 500, 300));
    QCOMPARE(GetDockedRect(kDockLeft, QRect(300, 100, 500, 300), kScreen, true), QRect(0, 0, 500, 300));
}

void DockGeometryTest::hiddenWindowsKeepTwoBorderWidthsOnScreen() {
    const QRect win(300, 200, 500, 400);
    struct {
        int edge;
        QRect hidden;
    } const cases[] = {
        {kDockLeft, QRect(2 - 500, 200, 500, 400)},
        {kDockTop, QRect(300, 2 - 400, 500, 400)},
        {kDockRight, QRect(1280 - 2, 200, 500, 400)},
        {kDockBottom, QRect(300, 860 - 2, 500, 400)},
    };
    for (const auto& c : cases) {
        const QRect hidden = GetSlideRect(c.edge, false, win, kScreen, false);
        QCOMPARE(hidden, c.hidden);
        // What is left on the screen is a strip exactly two borders thick.
        const QRect visible = hidden & kScreen;
        QCOMPARE(c.edge == kDockLeft || c.edge == kDockRight ? visible.width() : visible.height(), 2);
        QCOMPARE(hidden.size(), win.size());
    }
    // Wider borders widen the strip with them.
    QCOMPARE((GetSlideRect(kDockTop, false, win, kScreen, false, 3, 4) & kScreen).height(), 8);
    // Shown again, it lies against its edge.
    QCOMPARE(GetSlideRect(kDockBottom, true, QRect(300, 858, 500, 400), kScreen, false), QRect(300, 460, 500, 400));
    // Not at an edge: nothing moves.
    QCOMPARE(GetSlideRect(kDockFloating, false, win, kScreen, false), win);
}

void DockGeometryTest::slideHalvesAreJudgedAgainstTheScreenLessTen() {
    // (1280 - 10) / 2 = 635: a centre at 636 is past it, one at 634 is not,
    // although both are left of 640.
    QCOMPARE(GetSlideRect(kDockTop, true, QRect(386, 0, 500, 400), kScreen, true).x(), 780);
    QCOMPARE(GetSlideRect(kDockTop, true, QRect(384, 0, 500, 400), kScreen, true).x(), 0);
    // Snap off: the horizontal place is kept.
    QCOMPARE(GetSlideRect(kDockTop, false, QRect(386, 0, 500, 400), kScreen, false).x(), 386);
    // Vertically on a side edge: (860 - 10) / 2 = 425.
    QCOMPARE(GetSlideRect(kDockLeft, false, QRect(0, 276, 300, 300), kScreen, true).y(), 560);
    QCOMPARE(GetSlideRect(kDockLeft, false, QRect(0, 274, 300, 300), kScreen, true).y(), 0);
}

void DockGeometryTest::screensThatDoNotStartAtTheOrigin() {
    const QRect second(1280, 100, 1000, 800);
    QCOMPARE(GetDockedRect(kDockRight, QRect(1500, 300, 400, 300), second, false), QRect(1880, 300, 400, 300));
    QCOMPARE(GetSlideRect(kDockTop, false, QRect(1500, 300, 400, 300), second, true), QRect(1280, 100 + 2 - 300, 400, 300));
    QCOMPARE(ProposeDockEdge(QPoint(1285, 500), false, second, second, kScroll), kDockLeft);
}

void DockGeometryTest::dragProposals_data() {
    QTest::addColumn<QPoint>("pt");
    QTest::addColumn<bool>("ctrl");
    QTest::addColumn<int>("edge");
    QTest::newRow("middle floats") << QPoint(640, 430) << false << kDockFloating;
    QTest::newRow("just inside the shrunk work area floats") << QPoint(17, 17) << false << kDockFloating;
    QTest::newRow("ctrl floats even at an edge") << QPoint(0, 430) << true << kDockFloating;
    QTest::newRow("left edge") << QPoint(3, 430) << false << kDockLeft;
    QTest::newRow("right edge") << QPoint(1279, 300) << false << kDockRight;
    QTest::newRow("top edge") << QPoint(640, 2) << false << kDockTop;
    // Over the reserved bar at the bottom, outside the work area.
    QTest::newRow("bottom, over a reserved bar") << QPoint(600, 840) << false << kDockBottom;
    // The top-left corner: dx = -640, dy = -430, cy*|dx| = cx*|dy|.
    QTest::newRow("diagonal is left, not top") << QPoint(0, 0) << false << kDockLeft;
    QTest::newRow("diagonal is right, not bottom") << QPoint(1280, 860) << false << kDockRight;
    // One pixel off the diagonal towards the top edge.
    QTest::newRow("just above the diagonal is top") << QPoint(2, 0) << false << kDockTop;
}

void DockGeometryTest::dragProposals() {
    QFETCH(QPoint, pt);
    QFETCH(bool, ctrl);
    QFETCH(int, edge);
    QCOMPARE(ProposeDockEdge(pt, ctrl, kWork, kScreen, kScroll), edge);
}

void DockGeometryTest::slideMovesEachSideLinearlyAndEndsExactly() {
    const QRect from(300, 0, 500, 400);
    const QRect to(300, -398, 500, 400);
    QCOMPARE(SlideRectAt(from, to, 0), from);
    QCOMPARE(SlideRectAt(from, to, 100), QRect(300, -99, 500, 400));
    QCOMPARE(SlideRectAt(from, to, 200), QRect(300, -199, 500, 400));
    QCOMPARE(SlideRectAt(from, to, 399).size(), from.size());
    QCOMPARE(SlideRectAt(from, to, 400), to);
    // A late last step lands exactly too.
    QCOMPARE(SlideRectAt(from, to, 5000), to);
    // Sides travel on their own, so a change of size is spread as well.
    QCOMPARE(SlideRectAt(QRect(0, 0, 100, 100), QRect(100, 0, 300, 100), 200), QRect(50, 0, 200, 100));
}

QTEST_GUILESS_MAIN(DockGeometryTest)
#include "DockGeometryTest.moc"
