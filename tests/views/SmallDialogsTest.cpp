// The note-properties and import-settings dialogs from both language
// modules: the note's lines by their formats, and the import choice kept
// for the run from its start at 0/0.
#include "support/GuiTestSupport.h"

#include "document/Records.h"
#include "platform/MessageHost.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/QtText.h"
#include "platform/gui/TemplateDialog.h"
#include "views/ImportSettingsDlg.h"
#include "views/NotePropertiesDlg.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <ctime>

namespace {

struct CLanguageCase {
    QLocale locale;
    QString noteTitle;
    QString settingsTitle;
    QString date;  // 2024-03-05 14:07 local, by string 33084
};

const CLanguageCase kLanguages[] = {
    {QLocale(QLocale::English, QLocale::UnitedStates), QStringLiteral("Note Properties"),
     QStringLiteral("Direct Import Settings"), QStringLiteral("2024-03-05 14:07")},
    {QLocale(QLocale::Chinese, QLocale::China), QString::fromUtf8("笔记属性"), QString::fromUtf8("直接导入设置"),
     QString::fromUtf8("2024年03月05日 14:07")},
};

int64_t LocalTime(int y, int mon, int d, int h, int min) {
    struct tm t = {};
    t.tm_year = y - 1900;
    t.tm_mon = mon - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = min;
    t.tm_isdst = -1;
    return static_cast<int64_t>(mktime(&t));
}

QStringList Lines(CTemplateDialog& d) {
    QStringList out;
    for (unsigned id : {1060u, 1061u, 1039u, 1062u}) {
        auto* e = d.Control<QLineEdit>(id);
        out << (e ? e->text() : QStringLiteral("<missing>"));
    }
    return out;
}

}  // namespace

class SmallDialogsTest : public QObject {
    Q_OBJECT
private slots:
    // Runs first: the import choice starts at 0/0 in a fresh run.
    void importSettingsStartAtZeroAndLastTheRun();
    void notePropertiesShowTheNoteByTheModulesFormats();
};

void SmallDialogsTest::importSettingsStartAtZeroAndLastTheRun() {
    QCOMPARE(CImportSettingsDlg::ContentSetting(), 0);
    QCOMPARE(CImportSettingsDlg::StartSetting(), 0);
    QCOMPARE(CImportSettingsDlg::ImportContentType(), 2u);
    QVERIFY(CImportSettingsDlg::ImportStartsNow());
    for (const CLanguageCase& c : kLanguages) {
        CGuiTestFixture fx;
        auto app = fx.MakeApp(c.locale);
        QVERIFY(app->InitInstance({QStringLiteral("clipvault"), QStringLiteral("--automation")}));
        const bool bEnglish = c.locale.language() == QLocale::English;
        // English picks the other choice in both groups; Chinese, reopening
        // it, sees that, cancels a change and then goes back to 0/0.
        int shown = 0;
        auto prev = SetDialogHook([&](CTemplateDialog& d) {
            ++shown;
            QCOMPARE(d.TemplateID(), 189u);
            QCOMPARE(d.windowTitle(), c.settingsTitle);
            QVERIFY(!g_bAutoHideAllowed);
            auto* held = d.Control<QRadioButton>(1085);
            auto* linked = d.Control<QRadioButton>(1086);
            auto* now = d.Control<QRadioButton>(1083);
            auto* later = d.Control<QRadioButton>(1084);
            QVERIFY(held && linked && now && later);
            for (QRadioButton* b : {held, linked, now, later}) QVERIFY(!b->text().isEmpty());
            const int content = CImportSettingsDlg::ContentSetting(), start = CImportSettingsDlg::StartSetting();
            QCOMPARE(held->isChecked(), content == 0);
            QCOMPARE(linked->isChecked(), content == 1);
            QCOMPARE(now->isChecked(), start == 0);
            QCOMPARE(later->isChecked(), start == 1);
            if (shown == 1) {
                // The groups are apart: choosing in one leaves the other.
                QTest::mouseClick(bEnglish ? linked : held, Qt::LeftButton);
                QCOMPARE(now->isChecked(), start == 0);
                QTest::mouseClick(bEnglish ? later : now, Qt::LeftButton);
                QVERIFY(bEnglish ? linked->isChecked() : held->isChecked());
                d.Control<QPushButton>(bEnglish ? 1 : 2)->click();
            } else {
                QTest::mouseClick(held, Qt::LeftButton);
                QTest::mouseClick(now, Qt::LeftButton);
                d.Control<QPushButton>(1)->click();
            }
        });
        if (bEnglish) {
            QVERIFY(EditImportSettings(nullptr));
            QCOMPARE(CImportSettingsDlg::ContentSetting(), 1);
            QCOMPARE(CImportSettingsDlg::StartSetting(), 1);
            QCOMPARE(CImportSettingsDlg::ImportContentType(), 1u);
            QVERIFY(!CImportSettingsDlg::ImportStartsNow());
        } else {
            // Cancelled: still 1/1.
            QVERIFY(!EditImportSettings(nullptr));
            QCOMPARE(CImportSettingsDlg::ContentSetting(), 1);
            QCOMPARE(CImportSettingsDlg::StartSetting(), 1);
            QVERIFY(EditImportSettings(nullptr));
            QCOMPARE(CImportSettingsDlg::ContentSetting(), 0);
            QCOMPARE(CImportSettingsDlg::StartSetting(), 0);
            QCOMPARE(CImportSettingsDlg::ImportContentType(), 2u);
        }
        SetDialogHook(prev);
        QCOMPARE(shown, bEnglish ? 1 : 2);
        app->ExitInstance();
    }
}

void SmallDialogsTest::notePropertiesShowTheNoteByTheModulesFormats() {
    for (const CLanguageCase& c : kLanguages) {
        CGuiTestFixture fx;
        auto app = fx.MakeApp(c.locale);
        QVERIFY(app->InitInstance({QStringLiteral("clipvault"), QStringLiteral("--automation")}));
        CNote note;
        // Percent signs in the note's own texts are not formats.
        note.m_strName = "Rezept 100% %s 甜点";
        note.m_strSource = "http://example.com/a?q=%d&x=1";
        note.m_tmDate = LocalTime(2024, 3, 5, 14, 7);
        const auto line = [&](unsigned nID, const QString& value) {
            return app->LoadString(nID).replace(QStringLiteral("%s"), value);
        };
        struct CContentCase {
            uint32_t nType;
            unsigned nString;
        };
        for (const CContentCase& cc : {CContentCase{kContentHeld, 33081}, CContentCase{1, 33082}}) {
            note.m_nContentType = cc.nType;
            int shown = 0;
            auto prev = SetDialogHook([&](CTemplateDialog& d) {
                ++shown;
                QCOMPARE(d.TemplateID(), 171u);
                QCOMPARE(d.windowTitle(), c.noteTitle);
                QVERIFY(!g_bAutoHideAllowed);
                const QStringList expected = {line(33078, ToQ(note.m_strName)), line(33079, ToQ(note.m_strSource)),
                                              line(33080, c.date), app->LoadString(cc.nString)};
                QCOMPARE(Lines(d), expected);
                for (unsigned id : {1060u, 1061u, 1039u, 1062u}) {
                    QVERIFY(d.Control<QLineEdit>(id)->isReadOnly());
                    QVERIFY(!d.Control<QLineEdit>(id)->accessibleName().isEmpty());
                }
                d.Control<QPushButton>(1)->click();
            });
            QCOMPARE(ShowNoteProperties(&note, nullptr), int(host::IDOK));
            SetDialogHook(prev);
            QCOMPARE(shown, 1);
        }
        QCOMPARE(note.m_strName, std::string("Rezept 100% %s 甜点"));
        // Without a note the lines stay empty.
        auto prev = SetDialogHook([&](CTemplateDialog& d) {
            QCOMPARE(Lines(d), QStringList({QString(), QString(), QString(), QString()}));
            d.Control<QPushButton>(1)->click();
        });
        QCOMPARE(ShowNoteProperties(nullptr, nullptr), int(host::IDOK));
        SetDialogHook(prev);
        app->ExitInstance();
    }
}

CLIPVAULT_GUI_TEST_MAIN(SmallDialogsTest)
#include "SmallDialogsTest.moc"
