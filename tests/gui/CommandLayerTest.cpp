// What the views need of the command layer: single ids inside ranges,
// context menus with their own rules and target, the states an update
// handler can set, entries replaced at run time, drop-down buttons, the
// format bar's boxes, the active view, and failures inside update handlers.
#include "GuiTestSupport.h"

#include "platform/StringIds.h"
#include "platform/gui/CmdTarget.h"
#include "platform/gui/CommandIds.h"

#include <QRegularExpression>
#include <QTest>
#include <stdexcept>

using namespace cmd;

namespace {

// A target whose message map the test writes.
class CMapProbe : public CCmdTarget {
public:
    using CCmdTarget::OnCommand;
    using CCmdTarget::OnCommandRange;
    using CCmdTarget::OnUpdate;
    using CCmdTarget::OnUpdateRange;
    QStringList m_log;
};

}  // namespace

class CommandLayerTest : public QObject {
    Q_OBJECT
private slots:
    void singleIdsInsideRangesWin();
    void registeringTwiceIsRefused();
};

void CommandLayerTest::singleIdsInsideRangesWin() {
    CMapProbe t;
    // The single id before its range, and after it: the order must not matter.
    t.OnCommand(kCmdBackColorDialog, [&] { t.m_log << QStringLiteral("dialog"); });
    t.OnCommandRange(kCmdFirstBackColor, kCmdLastBackColor, [&](unsigned n) { t.m_log << QString::number(n); });
    t.OnCommandRange(kCmdFirstEditTable, kCmdLastEditTable, [&](unsigned n) { t.m_log << QString::number(n); });
    t.OnCommand(kCmdInsertDateTime, [&] { t.m_log << QStringLiteral("date"); });
    t.OnUpdateRange(kCmdFirstBackColor, kCmdLastBackColor, [](CCmdUI* p) { p->Enable(false); });
    t.OnUpdate(kCmdBackColorDialog, [](CCmdUI* p) { p->SetText(QStringLiteral("More")); });
    for (unsigned id : {117u, 120u, 121u, 122u, 133u, 32800u, 32867u, 32868u, 32869u, 32887u}) QVERIFY(t.OnCmdMsg(id, nullptr));
    QCOMPARE(t.m_log, (QStringList{"117", "120", "dialog", "122", "133", "32800", "32867", "date", "32869", "32887"}));
    QVERIFY(!t.OnCmdMsg(134, nullptr));
    QVERIFY(!t.OnCmdMsg(32888, nullptr));
    // Updates likewise: the swatches around the dialog's id keep the range's rule.
    for (unsigned id : {120u, 122u}) {
        CCmdUI ui(id);
        QVERIFY(t.OnCmdMsg(id, &ui));
        QVERIFY(!ui.m_bEnabled);
    }
    CCmdUI more(kCmdBackColorDialog);
    QVERIFY(t.OnCmdMsg(kCmdBackColorDialog, &more));
    QVERIFY(more.m_bEnabled);
    QCOMPARE(more.m_strText, QStringLiteral("More"));
}

void CommandLayerTest::registeringTwiceIsRefused() {
    CMapProbe t;
    QVERIFY(t.OnCommand(kCmdBackColorDialog, [&] { t.m_log << QStringLiteral("first"); }));
    QVERIFY(t.OnCommandRange(kCmdFirstBackColor, kCmdLastBackColor, [&](unsigned) { t.m_log << QStringLiteral("range"); }));
    QVERIFY(t.OnUpdate(kCmdBackColorDialog, [](CCmdUI*) {}));
    const std::function<bool()> mistakes[] = {
        [&] { return t.OnCommand(kCmdBackColorDialog, [&] { t.m_log << QStringLiteral("second"); }); },
        [&] { return t.OnCommandRange(kCmdBackColorDialog, kCmdBackColorDialog, [](unsigned) {}); },
        [&] { return t.OnCommandRange(kCmdFirstBackColor, kCmdLastBackColor, [](unsigned) {}); },
        // Ranges that overlap without one holding the other leave no
        // narrowest entry for the ids they share.
        [&] { return t.OnCommandRange(130, 140, [](unsigned) {}); },
        [&] { return t.OnUpdate(kCmdBackColorDialog, [](CCmdUI*) {}); },
    };
    for (const auto& mistake : mistakes) {
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("registered twice|overlaps")));
#ifdef NDEBUG
        QVERIFY(!mistake());
#else
        QVERIFY_THROWS_EXCEPTION(std::logic_error, mistake());
#endif
    }
    // What was there first stays in force.
    QVERIFY(t.OnCmdMsg(kCmdBackColorDialog, nullptr));
    QVERIFY(t.OnCmdMsg(135, nullptr) == false);
    QVERIFY(t.OnCmdMsg(125, nullptr));
    QCOMPARE(t.m_log, (QStringList{"first", "range"}));
    // Disjoint ranges and ranges inside ranges are no mistake.
    QVERIFY(t.OnCommandRange(200, 210, [](unsigned) {}));
    QVERIFY(t.OnCommandRange(118, 119, [](unsigned) {}));
}

CLIPVAULT_GUI_TEST_MAIN(CommandLayerTest)
#include "CommandLayerTest.moc"
