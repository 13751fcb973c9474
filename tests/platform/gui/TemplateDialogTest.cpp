// Dialogs from the language module's templates: controls by id, the
// exchange of values in both directions with its checks, and the about box
// in both languages.
#include "support/GuiTestSupport.h"

#include "platform/gui/AppGlobals.h"
#include "platform/MessageHost.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/TemplateDialog.h"
#include "platform/CommandIds.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

// A template as a module would carry it: two number edits with labels, a
// name edit, a three-state box, a radio group and a list to pick from.
const char kForm[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
 <widget class="QWidget" name="900">
  <property name="windowTitle"><string>Nudge</string></property>
  <layout class="QFormLayout">
   <item row="0" column="0"><widget class="QLabel" name="1100">
    <property name="text"><string>&amp;Across:</string></property>
    <property name="buddy"><cstring>1011</cstring></property></widget></item>
   <item row="0" column="1"><widget class="QLineEdit" name="1011"/></item>
   <item row="1" column="0"><widget class="QLabel" name="1101">
    <property name="text"><string>&amp;Down:</string></property>
    <property name="buddy"><cstring>1012</cstring></property></widget></item>
   <item row="1" column="1"><widget class="QLineEdit" name="1012"/></item>
   <item row="2" column="1"><widget class="QLineEdit" name="1013">
    <property name="accessibleName"><string>Name</string></property></widget></item>
   <item row="3" column="1"><widget class="QCheckBox" name="1020">
    <property name="text"><string>Snap</string></property>
    <property name="tristate"><bool>true</bool></property></widget></item>
   <item row="4" column="1"><widget class="QWidget" name="1099"><layout class="QHBoxLayout">
    <item><widget class="QRadioButton" name="1030"><property name="text"><string>One</string></property></widget></item>
    <item><widget class="QRadioButton" name="1031"><property name="text"><string>Two</string></property></widget></item>
    <item><widget class="QRadioButton" name="1032"><property name="text"><string>Three</string></property></widget></item>
   </layout></widget></item>
   <item row="5" column="1"><widget class="QComboBox" name="1040">
    <property name="accessibleName"><string>Kind</string></property>
    <item><property name="text"><string>a</string></property></item>
    <item><property name="text"><string>b</string></property></item></widget></item>
   <item row="6" column="0"><widget class="QPushButton" name="1"><property name="text"><string>OK</string></property></widget></item>
   <item row="6" column="1"><widget class="QPushButton" name="2"><property name="text"><string>Cancel</string></property></widget></item>
  </layout>
 </widget>
</ui>
)";

class CNudgeLike : public CTemplateDialog {
public:
    explicit CNudgeLike(QWidget* pParent = nullptr) : CTemplateDialog(900, pParent) {}
    int m_x = 3, m_y = 4, m_nSnap = 2, m_nChoice = 1, m_nKind = 1;
    std::string m_strName = "abc";

protected:
    void DoDataExchange(CDataExchange& dx) override {
        DDX_Text(dx, 1011, m_x);
        DDV_MinMaxInt(dx, m_x, 0, 512);
        DDX_Text(dx, 1012, m_y);
        DDV_MinMaxInt(dx, m_y, 0, 512);
        DDX_Text(dx, 1013, m_strName);
        DDV_MaxChars(dx, m_strName, 5);
        DDX_Check(dx, 1020, m_nSnap);
        DDX_Radio(dx, 1030, m_nChoice);
        DDX_CBIndex(dx, 1040, m_nKind);
    }
};

struct CTemplates {
    CTemplates() {
        SetTemplateSource([](unsigned nID) { return nID == 900 ? QByteArray(kForm) : QByteArray(); });
        SetStringSource([](unsigned nID) {
            switch (nID) {
            case kIdsParseInt: return QStringLiteral("Please enter an integer.");
            case kIdsParseIntRange: return QStringLiteral("Please enter an integer between %1 and %2.");
            case kIdsParseStringSize: return QStringLiteral("Please enter no more than %1 characters.");
            default: return QString();
            }
        });
    }
    ~CTemplates() {
        SetTemplateSource(nullptr);
        SetStringSource(nullptr);
    }
};

struct CBoxes {
    CBoxes() {
        prev = SetMessageBoxHook([this](unsigned nID, unsigned, const QString& text) {
            shown.push_back({nID, 0, text});
            return host::IDOK;
        });
    }
    ~CBoxes() { SetMessageBoxHook(prev); }
    MessageBoxHook prev;
    std::vector<CShownMessage> shown;
};

QStringList Args(const QStringList& rest) { return QStringList{QStringLiteral("clipvault")} + rest; }

}  // namespace

class TemplateDialogTest : public QObject {
    Q_OBJECT
private slots:
    void controlsFoundByIdAndNamedForScreenReaders();
    void loadingFillsTheControlsAndOkReadsThemBack();
    void aValueOutsideItsRangeKeepsTheDialogOpenWithTheFieldSelected();
    void cancelLeavesTheFields();
    void aMissingTemplateShowsNothing();
    void aboutBoxComesFromTemplate100InBothLanguages();
};

void TemplateDialogTest::controlsFoundByIdAndNamedForScreenReaders() {
    CTemplates templates;
    CNudgeLike dlg;
    QVERIFY(dlg.IsCreated());
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Nudge"));
    QVERIFY(dlg.Control<QLineEdit>(1011));
    QVERIFY(!dlg.Control<QCheckBox>(1011));  // another type
    QVERIFY(!dlg.Item(4711));
    QCOMPARE(dlg.Control<QLineEdit>(1011)->accessibleName(), QStringLiteral("Across:"));
    QCOMPARE(dlg.Control<QLineEdit>(1012)->accessibleName(), QStringLiteral("Down:"));
    QCOMPARE(dlg.Control<QLineEdit>(1013)->accessibleName(), QStringLiteral("Name"));  // its own stays
    QCOMPARE(dlg.Control<QPushButton>(1)->accessibleName(), QStringLiteral("OK"));
}

void TemplateDialogTest::loadingFillsTheControlsAndOkReadsThemBack() {
    CTemplates templates;
    CBoxes boxes;
    CNudgeLike dlg;
    int result = 0;
    auto prev = SetDialogHook([&](CTemplateDialog& d) {
        QCOMPARE(d.Control<QLineEdit>(1011)->text(), QStringLiteral("3"));
        QCOMPARE(d.Control<QLineEdit>(1012)->text(), QStringLiteral("4"));
        QCOMPARE(d.Control<QLineEdit>(1013)->text(), QStringLiteral("abc"));
        QCOMPARE(d.Control<QLineEdit>(1013)->maxLength(), 5);
        QCOMPARE(d.Control<QCheckBox>(1020)->checkState(), Qt::PartiallyChecked);
        QVERIFY(!d.Control<QRadioButton>(1030)->isChecked());
        QVERIFY(d.Control<QRadioButton>(1031)->isChecked());
        QCOMPARE(d.Control<QComboBox>(1040)->currentIndex(), 1);
        // While a dialog is up the docked window must not slide away.
        QVERIFY(!g_bAutoHideAllowed);
        d.Control<QLineEdit>(1011)->setText(QStringLiteral(" 512 "));
        d.Control<QLineEdit>(1012)->setText(QStringLiteral("0"));
        d.Control<QLineEdit>(1013)->setText(QString::fromUtf8("日本"));
        d.Control<QCheckBox>(1020)->setCheckState(Qt::Checked);
        d.Control<QRadioButton>(1032)->setChecked(true);
        d.Control<QComboBox>(1040)->setCurrentIndex(0);
        d.Control<QPushButton>(1)->click();
    });
    g_bAutoHideAllowed = true;
    result = dlg.DoModal();
    SetDialogHook(prev);
    QVERIFY(g_bAutoHideAllowed);
    QCOMPARE(result, int(host::IDOK));
    QVERIFY(boxes.shown.empty());
    QCOMPARE(dlg.m_x, 512);
    QCOMPARE(dlg.m_y, 0);
    QCOMPARE(dlg.m_strName, std::string("日本"));
    QCOMPARE(dlg.m_nSnap, 1);
    QCOMPARE(dlg.m_nChoice, 2);
    QCOMPARE(dlg.m_nKind, 0);

    // No button of the group chosen reads back as -1, and loading -1 clears them.
    dlg.m_nChoice = -1;
    QVERIFY(dlg.UpdateData(false));
    for (unsigned id : {1030u, 1031u, 1032u}) QVERIFY(!dlg.Control<QRadioButton>(id)->isChecked());
    dlg.m_nChoice = 7;
    QVERIFY(dlg.UpdateData(true));
    QCOMPARE(dlg.m_nChoice, -1);
}

void TemplateDialogTest::aValueOutsideItsRangeKeepsTheDialogOpenWithTheFieldSelected() {
    CTemplates templates;
    CBoxes boxes;
    CNudgeLike dlg;
    dlg.show();
    QVERIFY(dlg.UpdateData(false));
    QLineEdit* down = dlg.Control<QLineEdit>(1012);
    down->setText(QStringLiteral("600"));
    dlg.Control<QPushButton>(1)->click();
    QCOMPARE(dlg.Result(), -1);  // still open
    QVERIFY(dlg.isVisible());
    QCOMPARE(boxes.shown.size(), size_t(1));
    QCOMPARE(boxes.shown[0].m_nID, kIdsParseIntRange);
    QCOMPARE(boxes.shown[0].m_strText, QStringLiteral("Please enter an integer between 0 and 512."));
    QCOMPARE(dlg.focusWidget(), down);
    QCOMPARE(down->selectedText(), QStringLiteral("600"));

    // Not a number at all: its own message, and the first bad field is the one selected.
    boxes.shown.clear();
    dlg.Control<QLineEdit>(1011)->setText(QStringLiteral("12x"));
    dlg.Control<QPushButton>(1)->click();
    QCOMPARE(dlg.Result(), -1);
    QCOMPARE(boxes.shown.size(), size_t(1));
    QCOMPARE(boxes.shown[0].m_nID, kIdsParseInt);
    QCOMPARE(dlg.focusWidget(), dlg.Control<QLineEdit>(1011));

    // Too long a text.
    boxes.shown.clear();
    dlg.Control<QLineEdit>(1011)->setText(QStringLiteral("-0"));
    down->setText(QStringLiteral("1"));
    dlg.Control<QLineEdit>(1013)->setMaxLength(100);
    dlg.Control<QLineEdit>(1013)->setText(QStringLiteral("abcdef"));
    dlg.Control<QPushButton>(1)->click();
    QCOMPARE(dlg.Result(), -1);
    QCOMPARE(boxes.shown.size(), size_t(1));
    QCOMPARE(boxes.shown[0].m_strText, QStringLiteral("Please enter no more than 5 characters."));

    // Mended, the same press ends the dialog.
    boxes.shown.clear();
    dlg.Control<QLineEdit>(1013)->setText(QStringLiteral("abcde"));
    dlg.Control<QPushButton>(1)->click();
    QCOMPARE(dlg.Result(), int(host::IDOK));
    QVERIFY(boxes.shown.empty());
    QCOMPARE(dlg.m_x, 0);
    QCOMPARE(dlg.m_y, 1);
}

void TemplateDialogTest::cancelLeavesTheFields() {
    CTemplates templates;
    CNudgeLike dlg;
    auto prev = SetDialogHook([](CTemplateDialog& d) {
        d.Control<QLineEdit>(1011)->setText(QStringLiteral("99"));
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    const int result = dlg.DoModal();
    SetDialogHook(prev);
    QCOMPARE(result, int(host::IDCANCEL));
    QCOMPARE(dlg.m_x, 3);
}

void TemplateDialogTest::aMissingTemplateShowsNothing() {
    CTemplates templates;
    CTemplateDialog dlg(901, nullptr);
    QVERIFY(!dlg.IsCreated());
    QVERIFY(!dlg.UpdateData(true));
    QCOMPARE(dlg.DoModal(), int(host::IDCANCEL));

    // A form that is not a form.
    SetTemplateSource([](unsigned) { return QByteArray("<ui version=\"4.0\"><widget class=\"NoSuchThing\""); });
    CTemplateDialog broken(900, nullptr);
    QVERIFY(!broken.IsCreated());
    QCOMPARE(broken.DoModal(), int(host::IDCANCEL));
}

void TemplateDialogTest::aboutBoxComesFromTemplate100InBothLanguages() {
    struct CCase {
        QLocale locale;
        QString title;
        QString ok;
    };
    const CCase cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), QStringLiteral("About Clipvault"), QStringLiteral("OK")},
        {QLocale(QLocale::Chinese, QLocale::China), QString::fromUtf8("关于 Clipvault"), QString::fromUtf8("确定")},
    };
    for (const CCase& c : cases) {
        CGuiTestFixture fx;
        auto app = fx.MakeApp(c.locale);
        QVERIFY(app->InitInstance(Args({QStringLiteral("--automation")})));
        int shown = 0;
        auto prev = SetDialogHook([&](CTemplateDialog& d) {
            ++shown;
            QCOMPARE(d.TemplateID(), 100u);
            QCOMPARE(d.windowTitle(), c.title);
            QCOMPARE(d.Control<QLabel>(1003)->text(), app->LoadString(33113));
            QCOMPARE(d.Control<QLabel>(1004)->text(), app->LoadString(33072));
            QVERIFY(!app->LoadString(33113).isEmpty());
            QVERIFY(d.Control<QLabel>(1002)->text().contains(QStringLiteral("0.")));
            QVERIFY(!d.Control<QLabel>(1001)->pixmap().isNull());
            QVERIFY(!d.Control<QLabel>(1001)->accessibleName().isEmpty());
            QCOMPARE(d.Control<QPushButton>(1)->text(), c.ok);
            QVERIFY(!g_bAutoHideAllowed);
            d.Control<QPushButton>(1)->click();
        });
        QVERIFY(app->OnCmdMsg(cmd::kCmdAbout, nullptr));
        SetDialogHook(prev);
        QCOMPARE(shown, 1);
        app->ExitInstance();
    }
}

CLIPVAULT_GUI_TEST_MAIN(TemplateDialogTest)
#include "TemplateDialogTest.moc"
