// The search page: finding by name as before, ignoring case in several
// scripts, finding words of the notes' pages, searching within the results,
// the drop-down history, the count, opening by double-click and the sort.
#include "support/GuiTestSupport.h"

#include "app/AppOptions.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "platform/CommandIds.h"
#include "platform/StringIds.h"
#include "platform/gui/CommandActions.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/QtText.h"
#include "platform/gui/TemplateDialog.h"
#include "views/QueryForm.h"
#include "views/TabView.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>

namespace {

class CFakeFrame : public INoteFrame {
public:
    explicit CFakeFrame(const CLanguageModule& lang) : m_actions(&m_owner, lang, [](unsigned, CCmdUI*) { return false; }) {}
    void ShowNote(CNote* pNote, bool bNew, int nMode, bool bSource) override {
        m_shown.push_back(pNote);
        m_args.push_back({bNew, nMode, bSource});
    }
    void ListCategory(CNoteCata*) override {}
    void ListGroup(int) override {}
    CNote* CurrentNote() const override { return nullptr; }
    void ClearCurrentNote() override {}
    void ForgetNote(CNote*) override {}
    void RemoveFromList(CNoteBase*) override {}
    void GoToNoteNumber(uint32_t) override {}
    void OpenImport() override {}
    void ImportNotes(const std::vector<CNote*>&) override {}
    CCommandActions& Actions() const override { return m_actions; }
    CCmdTarget* ActiveView() const override { return nullptr; }
    void SetActiveView(CCmdTarget*) override {}

    struct CArgs {
        bool m_bNew;
        int m_nMode;
        bool m_bSource;
    };
    QWidget m_owner;
    mutable CCommandActions m_actions;
    std::vector<CNote*> m_shown;
    std::vector<CArgs> m_args;
};

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

}  // namespace

class QueryFormTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void nameSearchKeepsCaseAndFindsSubstrings();
    void emptyTextAsksForOneAndChangesNothing();
    void countIsShownAfterEverySearch();
    void dropDownListGrowsOnlyByNewTexts();
    void historyFillsTheDropDownList();
    void enterKeepsTheTypedSpellingOfAHistoryEntry();
    void withinResultsNarrowsTheRows();
    void ignoreCaseFoldsSeveralScripts();
    void textSearchReadsVisibleTextOnly();
    void textSearchFollowsEditedContent();
    void rowToolTipShowsThePassage();
    void doubleClickOpensOnlyASingleSelection();
    void deletedNotesAreNotOpened();
    void headerClickSortsByteWise();
    void f1OpensTheHelpAtTheFormsContext();
    void layoutFollowsTheFormSize();
    void controlsHaveAccessibleNames();
    void picturesOfTheSearchTab();

private:
    CNote* Add(CNoteCata* pCata, const std::string& name, const std::string& html = std::string(),
               const char* ext = "htm") {
        CNote* p = pCata->AddNewNote(name);
        p->m_strExt = ext;
        p->SetContent(Bytes(html));
        // As the program does after every change.
        if (p->m_pDocument) p->m_pDocument->SetModifiedFlag();
        return p;
    }
    // Types into the box, sets the options, clicks Search.
    void Search(const QString& text, bool bWithin = false, bool bIgnoreCase = false, bool bText = false) {
        m_pForm->SearchBox()->setEditText(text);
        m_pForm->Control<QCheckBox>(CQueryForm::kWithinResults)->setChecked(bWithin);
        m_pForm->Control<QCheckBox>(CQueryForm::kIgnoreCase)->setChecked(bIgnoreCase);
        m_pForm->Control<QCheckBox>(CQueryForm::kSearchNoteText)->setChecked(bText);
        QTest::mouseClick(m_pForm->Control<QPushButton>(CQueryForm::kSearchButton), Qt::LeftButton);
        // The search runs on a worker; its rows come when it is done.
        QTRY_VERIFY(!m_pForm->IsSearching());
    }
    QStringList Rows() const {
        QStringList out;
        for (int i = 0; i < m_pForm->RowCount(); ++i) out << m_pForm->Results()->topLevelItem(i)->text(0);
        return out;
    }
    QString CountText() const { return m_pForm->Control<QLabel>(CQueryForm::kCount)->text(); }
    QString Expected(int n) const { return FormatMessageText(m_lang.String(33057), {std::to_string(n)}); }
    QStringList DropDown() const {
        QStringList out;
        for (int i = 0; i < m_pForm->SearchBox()->count(); ++i) out << m_pForm->SearchBox()->itemText(i);
        return out;
    }

    std::unique_ptr<CGuiTestFixture> m_pFx;
    CLanguageModule m_lang;
    std::unique_ptr<CGuiHost> m_pHost;
    std::unique_ptr<CFakeFrame> m_pFrame;
    std::unique_ptr<CClipVaultDoc> m_pDoc;
    std::unique_ptr<QWidget> m_pWindow;
    CQueryForm* m_pForm = nullptr;
};

void QueryFormTest::initTestCase() {
    m_pFx = std::make_unique<CGuiTestFixture>();
    QVERIFY(m_lang.Load(CLanguageModule::ModulePath(m_pFx->ProgramFolder(), QStringLiteral("Eng"))));
    SetCurrentLanguage(&m_lang);
    SetStringSource([this](unsigned nID) { return m_lang.String(nID); });
    SetTemplateSource([this](unsigned nID) { return m_lang.DialogTemplate(nID); });
    m_pHost = std::make_unique<CGuiHost>();
}

void QueryFormTest::cleanupTestCase() {
    m_pHost.reset();
    SetTemplateSource(nullptr);
    SetStringSource(nullptr);
    SetCurrentLanguage(nullptr);
    m_pFx.reset();
}

void QueryFormTest::init() {
    m_pFx->Clear();
    m_pFrame = std::make_unique<CFakeFrame>(m_lang);
    m_pDoc = std::make_unique<CClipVaultDoc>();
    m_pDoc->OnNewDocument();
    m_pWindow = std::make_unique<QWidget>();
    m_pForm = new CQueryForm(*m_pFrame, *m_pDoc, m_pWindow.get());
    QVERIFY(m_pForm->IsCreated());
    m_pWindow->resize(300, 500);
    m_pForm->resize(300, 500);
    m_pWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pWindow.get()));
}

void QueryFormTest::cleanup() {
    m_pWindow.reset();
    m_pForm = nullptr;
    m_pDoc.reset();
    m_pFrame.reset();
    AppOptions().m_searchHistory.clear();
}

void QueryFormTest::nameSearchKeepsCaseAndFindsSubstrings() {
    CNoteCata* sub = m_pDoc->m_rootCata.AddNewSubCata("sub");
    Add(&m_pDoc->m_rootCata, "my notes", "<p>Note</p>");
    Add(sub, "Notebook");
    Add(sub, "a, Note, b");
    Search(QStringLiteral("Note"));
    QCOMPARE(Rows(), (QStringList{"Notebook", "a, Note, b"}));
    // A comma is part of the text, not a separator.
    Search(QStringLiteral("a, N"));
    QCOMPARE(Rows(), QStringList{"a, Note, b"});
    // Text search off: words of the pages count for nothing.
    Search(QStringLiteral("notes"));
    QCOMPARE(Rows(), QStringList{"my notes"});
    QCOMPARE(m_pForm->m_bIgnoreCase, 0);
}

void QueryFormTest::emptyTextAsksForOneAndChangesNothing() {
    Add(&m_pDoc->m_rootCata, "alpha");
    Search(QStringLiteral("alpha"));
    QCOMPARE(Rows(), QStringList{"alpha"});
    const QString count = CountText();
    m_pFx->Clear();
    Search(QString());
    QVERIFY(m_pFx->Shown(ids::IDS_QUERY_EMPTY));
    QCOMPARE(Rows(), QStringList{"alpha"});
    QCOMPARE(CountText(), count);
    QCOMPARE(DropDown(), QStringList{"alpha"});
}

void QueryFormTest::countIsShownAfterEverySearch() {
    Add(&m_pDoc->m_rootCata, "one");
    Add(&m_pDoc->m_rootCata, "two");
    Search(QStringLiteral("o"));
    QCOMPARE(CountText(), Expected(2));
    Search(QStringLiteral("zzz"));
    QCOMPARE(Rows(), QStringList());
    QCOMPARE(CountText(), Expected(0));
    // Within results on an empty list: still 0, still written.
    m_pForm->Control<QLabel>(CQueryForm::kCount)->clear();
    Search(QStringLiteral("o"), true);
    QCOMPARE(CountText(), Expected(0));
}

void QueryFormTest::dropDownListGrowsOnlyByNewTexts() {
    Search(QStringLiteral("Notebook"));
    Search(QStringLiteral("Notebook"));
    QCOMPARE(DropDown(), QStringList{"Notebook"});
    // Begins like an entry, in any case: not added.
    Search(QStringLiteral("note"));
    QCOMPARE(DropDown(), QStringList{"Notebook"});
    // Longer than an entry: that is new.
    Search(QStringLiteral("Notebooks"));
    QCOMPARE(DropDown(), (QStringList{"Notebook", "Notebooks"}));
    // The option store's own list is left alone.
    QVERIFY(AppOptions().m_searchHistory.empty());
}

void QueryFormTest::historyFillsTheDropDownList() {
    AppOptions().m_searchHistory = {"first", "", "second"};
    CQueryForm form(*m_pFrame, *m_pDoc, nullptr);
    form.resize(300, 400);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QStringList entries;
    for (int i = 0; i < form.SearchBox()->count(); ++i) entries << form.SearchBox()->itemText(i);
    QCOMPARE(entries, (QStringList{"first", "second"}));
    QCOMPARE(form.SearchBox()->currentText(), QString());
    QCOMPARE(form.Results()->headerItem()->text(0), m_lang.String(33058));
    // A second showing does not add them again.
    form.hide();
    form.show();
    QCOMPARE(form.SearchBox()->count(), 2);
}

void QueryFormTest::enterKeepsTheTypedSpellingOfAHistoryEntry() {
    Add(&m_pDoc->m_rootCata, "Apple");
    Add(&m_pDoc->m_rootCata, "apple tree");
    Search(QStringLiteral("Apple"));
    // Typed key by key in another case than the entry, then Enter: the box,
    // the search and the results agree on what was typed.
    QComboBox* box = m_pForm->SearchBox();
    box->setEditText(QString());
    QTest::keyClicks(box->lineEdit(), QStringLiteral("apple"));
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    QTRY_VERIFY(!m_pForm->IsSearching());
    QCOMPARE(box->currentText(), QStringLiteral("apple"));
    QCOMPARE(Rows(), QStringList{"apple tree"});
    QCOMPARE(DropDown(), QStringList{"Apple"});
}

void QueryFormTest::withinResultsNarrowsTheRows() {
    Add(&m_pDoc->m_rootCata, "red apple", "<p>fruit</p>");
    Add(&m_pDoc->m_rootCata, "green apple", "<p>sour fruit</p>");
    Add(&m_pDoc->m_rootCata, "red car", "<p>fast</p>");
    Search(QStringLiteral("apple"));
    QCOMPARE(Rows().size(), 2);
    const QStringList before = Rows();
    Search(QStringLiteral("red"), true);
    QCOMPARE(Rows(), QStringList{"red apple"});
    QCOMPARE(CountText(), Expected(1));
    // With text search on: the page's words narrow as well, in row order.
    Search(QStringLiteral("apple"));
    Search(QStringLiteral("SOUR"), true, true, true);
    QCOMPARE(Rows(), QStringList{"green apple"});
    QVERIFY(before.contains("green apple"));
    // A row whose note was deleted meanwhile is dropped, not read.
    Search(QStringLiteral("apple"));
    QVERIFY(m_pDoc->m_rootCata.GetNote("green apple")->Delete());
    Search(QStringLiteral("fruit"), true, false, true);
    QCOMPARE(Rows(), QStringList{"red apple"});
}

void QueryFormTest::ignoreCaseFoldsSeveralScripts() {
    Add(&m_pDoc->m_rootCata, "\xC3\x9C" "ber alles");                        // Über
    Add(&m_pDoc->m_rootCata, "\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x99\xCE\x91");    // ΣΟΦΙΑ
    Add(&m_pDoc->m_rootCata, "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0");  // Москва
    Add(&m_pDoc->m_rootCata, "Gro\xC3\x9F" "e Stra\xC3\x9F" "e");           // Große Straße
    Add(&m_pDoc->m_rootCata, "\xE4\xB8\xAD\xE6\x96\x87 Notes");              // 中文 Notes

    Search(QString::fromUtf8("über"));
    QCOMPARE(Rows(), QStringList());
    Search(QString::fromUtf8("über"), false, true);
    QCOMPARE(Rows(), QStringList{QString::fromUtf8("Über alles")});
    Search(QString::fromUtf8("σοφια"), false, true);
    QCOMPARE(Rows(), QStringList{QString::fromUtf8("ΣΟΦΙΑ")});
    Search(QString::fromUtf8("МОСКВА"), false, true);
    QCOMPARE(Rows(), QStringList{QString::fromUtf8("Москва")});
    Search(QString::fromUtf8("STRASSE"), false, true);
    QCOMPARE(Rows(), QStringList{QString::fromUtf8("Große Straße")});
    Search(QString::fromUtf8("中文 notes"), false, true);
    QCOMPARE(Rows(), QStringList{QString::fromUtf8("中文 Notes")});
}

void QueryFormTest::textSearchReadsVisibleTextOnly() {
    Add(&m_pDoc->m_rootCata, "page",
        "<html><head><style>.tablecell { color: red }</style><script>var secretword = 1;</script></head>"
        "<body><div class=\"tablecell\" data-x=\"hiddenvalue\">A giraffe &amp; an <b>Okapi</b></div></body></html>");
    Add(&m_pDoc->m_rootCata, "text", "plain words about a zebra", "txt");
    // A UTF-16 page, as the editor writes them: "Zürich".
    CNote* wide = Add(&m_pDoc->m_rootCata, "wide");
    wide->SetContent({0xFF, 0xFE, '<', 0, 'p', 0, '>', 0, 'Z', 0, 0xFC, 0, 'r', 0, 'i', 0, 'c', 0, 'h', 0});

    Search(QStringLiteral("giraffe & an Okapi"), false, false, true);
    QCOMPARE(Rows(), QStringList{"page"});
    Search(QStringLiteral("zebra"), false, false, true);
    QCOMPARE(Rows(), QStringList{"text"});
    Search(QString::fromUtf8("ZÜRICH"), false, true, true);
    QCOMPARE(Rows(), QStringList{"wide"});
    for (const char* markup : {"tablecell", "hiddenvalue", "secretword", "div", "class", "body"}) {
        Search(QString::fromLatin1(markup), false, true, true);
        QVERIFY2(Rows().isEmpty(), markup);
    }
    // Case still counts unless told otherwise.
    Search(QStringLiteral("okapi"), false, false, true);
    QCOMPARE(Rows(), QStringList());
}

void QueryFormTest::textSearchFollowsEditedContent() {
    CNote* note = Add(&m_pDoc->m_rootCata, "n", "<p>before</p>");
    Search(QStringLiteral("before"), false, true, true);
    QCOMPARE(Rows(), QStringList{"n"});
    note->SetContent(Bytes("<p>after the edit</p>"));
    Search(QStringLiteral("before"), false, true, true);
    QCOMPARE(Rows(), QStringList());
    Search(QStringLiteral("after"), false, true, true);
    QCOMPARE(Rows(), QStringList{"n"});
}

void QueryFormTest::rowToolTipShowsThePassage() {
    Add(&m_pDoc->m_rootCata, "story",
        "<p>Once upon a time there lived a <i>Lighthouse</i> keeper by the sea, far from town.</p>");
    Search(QStringLiteral("lighthouse keeper"), false, true, true);
    QCOMPARE(Rows(), QStringList{"story"});
    const QString tip = m_pForm->RowToolTip(0);
    QVERIFY2(tip.contains(QStringLiteral("<b>Lighthouse keeper</b>")), qPrintable(tip));
    QVERIFY(tip.contains(QStringLiteral("there lived a ")));
    QVERIFY(!tip.contains(QStringLiteral("<i>")));
    // The tool tip comes up over the row.
    QTreeWidget* list = m_pForm->Results();
    const QPoint pos = list->visualItemRect(list->topLevelItem(0)).center();
    QHelpEvent help(QEvent::ToolTip, pos, list->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(list->viewport(), &help);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), tip);
    QToolTip::hideText();
    // A row found by name shows its name.
    Search(QStringLiteral("story"));
    QCOMPARE(m_pForm->RowToolTip(0), QStringLiteral("<p>story</p>"));
    // A name or page that looks like markup is shown as written.
    Add(&m_pDoc->m_rootCata, "<b>bold</b> & co", "<p>x &lt;script&gt; y</p>");
    Search(QStringLiteral("bold"));
    QCOMPARE(m_pForm->RowToolTip(0), QStringLiteral("<p>&lt;b&gt;bold&lt;/b&gt; &amp; co</p>"));
    Search(QStringLiteral("script"), false, false, true);
    QCOMPARE(m_pForm->RowToolTip(0), QStringLiteral("<p>x &lt;<b>script</b>&gt; y</p>"));
}

void QueryFormTest::doubleClickOpensOnlyASingleSelection() {
    CNote* a = Add(&m_pDoc->m_rootCata, "note a");
    Add(&m_pDoc->m_rootCata, "note b");
    Search(QStringLiteral("note"));
    QTreeWidget* list = m_pForm->Results();
    QCOMPARE(list->topLevelItemCount(), 2);
    QTreeWidgetItem* rowA = list->findItems("note a", Qt::MatchExactly).value(0);
    QVERIFY(rowA);
    const QPoint pos = list->visualItemRect(rowA).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, pos);
    QCOMPARE(int(m_pFrame->m_shown.size()), 1);
    QCOMPARE(m_pFrame->m_shown[0], a);
    QCOMPARE(m_pFrame->m_args[0].m_bNew, false);
    QCOMPARE(m_pFrame->m_args[0].m_nMode, -1);
    QCOMPARE(m_pFrame->m_args[0].m_bSource, false);
    // Two rows selected: nothing opens, by double-click or by the button.
    list->selectAll();
    QCOMPARE(list->selectedItems().size(), 2);
    m_pForm->OnOpenSelected();
    QTest::mouseClick(m_pForm->Control<QPushButton>(CQueryForm::kOpenButton), Qt::LeftButton);
    QCOMPARE(int(m_pFrame->m_shown.size()), 1);
    // The button opens a single selection.
    list->clearSelection();
    rowA->setSelected(true);
    QTest::mouseClick(m_pForm->Control<QPushButton>(CQueryForm::kOpenButton), Qt::LeftButton);
    QCOMPARE(int(m_pFrame->m_shown.size()), 2);
}

void QueryFormTest::deletedNotesAreNotOpened() {
    CNote* gone = Add(&m_pDoc->m_rootCata, "gone");
    Search(QStringLiteral("gone"));
    QVERIFY(gone->Delete());
    m_pForm->Results()->topLevelItem(0)->setSelected(true);
    m_pForm->OnOpenSelected();
    QVERIFY(m_pFrame->m_shown.empty());
    QCOMPARE(m_pForm->RowToolTip(0), QString());
}

void QueryFormTest::headerClickSortsByteWise() {
    for (const char* name : {"beta", "Zulu", "alpha", "\xC3\x84rgerlich", "Alpha"}) Add(&m_pDoc->m_rootCata, name);
    Search(QStringLiteral("l"));
    QHeaderView* header = m_pForm->Results()->header();
    const QPoint pos(header->sectionViewportPosition(0) + 5, header->height() / 2);
    // The notebook's own order first; a right click leaves it.
    m_pForm->Results()->addTopLevelItem(new QTreeWidgetItem(QStringList{"0 first row"}));
    m_pForm->Results()->insertTopLevelItem(0, m_pForm->Results()->takeTopLevelItem(m_pForm->RowCount() - 1));
    const QStringList before = Rows();
    QTest::mouseClick(header->viewport(), Qt::RightButton, {}, pos);
    QCOMPARE(Rows(), before);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, pos);
    QCOMPARE(m_pForm->SortColumn(), 0);
    // Byte order: capitals before small letters, UTF-8 after ASCII.
    QCOMPARE(Rows(), (QStringList{"0 first row", "Alpha", "Zulu", "alpha", QString::fromUtf8("Ärgerlich")}));
}

void QueryFormTest::f1OpensTheHelpAtTheFormsContext() {
    int nContext = 0;
    const HelpHandler old = SetHelpHandler([&](int n) { nContext = n; });
    m_pForm->SearchBox()->setFocus();
    QTest::keyClick(m_pForm->SearchBox(), Qt::Key_F1);
    SetHelpHandler(old);
    QCOMPARE(nContext, 4010);
    // Escape and Enter leave the page where it is; Enter searches.
    Add(&m_pDoc->m_rootCata, "entered");
    m_pForm->SearchBox()->setEditText(QStringLiteral("enter"));
    QTest::keyClick(m_pForm->SearchBox(), Qt::Key_Return);
    QTRY_VERIFY(!m_pForm->IsSearching());
    QTest::keyClick(m_pForm->SearchBox(), Qt::Key_Escape);
    QVERIFY(m_pForm->isVisible());
    QCOMPARE(Rows(), QStringList{"entered"});
}

void QueryFormTest::layoutFollowsTheFormSize() {
    QWidget* form = m_pForm->Item(CQueryForm::IDD);
    m_pForm->resize(320, 600);
    QTRY_COMPARE(form->height(), 600);
    QWidget* last = m_pForm->Item(CQueryForm::kSearchNoteText);
    QWidget* ignore = m_pForm->Item(CQueryForm::kIgnoreCase);
    QWidget* within = m_pForm->Item(CQueryForm::kWithinResults);
    const int h = last->height();
    QCOMPARE(last->y(), 600 - 20);
    QCOMPARE(ignore->y(), 600 - h - 30);
    QCOMPARE(within->y(), 600 - 2 * h - 40);
    QCOMPARE(within->x(), last->x());
    QTreeWidget* list = m_pForm->Results();
    QCOMPARE(list->width(), 320 - last->x() - 10);
    QCOMPARE(list->y() + list->height(), within->y() - 10);
    QCOMPARE(m_pForm->SearchBox()->x() + m_pForm->SearchBox()->width(), 320 - 10);
    // Too small for the list: it keeps its last size instead of turning negative.
    const QSize listSize = list->size();
    m_pForm->resize(320, 120);
    QTRY_COMPARE(form->height(), 120);
    QCOMPARE(list->size(), listSize);
}

void QueryFormTest::controlsHaveAccessibleNames() {
    CLanguageModule chn;
    QVERIFY(chn.Load(CLanguageModule::ModulePath(m_pFx->ProgramFolder(), QStringLiteral("Chn"))));
    for (const CLanguageModule* lang : {static_cast<const CLanguageModule*>(&m_lang), static_cast<const CLanguageModule*>(&chn)}) {
        SetTemplateSource([lang](unsigned nID) { return lang->DialogTemplate(nID); });
        CQueryForm form(*m_pFrame, *m_pDoc, nullptr);
        QVERIFY(form.IsCreated());
        for (unsigned id : {1005u, 1008u, 1009u, 1010u, 1011u, 1012u, 1013u}) {
            QWidget* w = form.Item(id);
            QVERIFY2(w, qPrintable(QString::number(id)));
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(QString::number(id)));
        }
        QVERIFY(!form.Control<QCheckBox>(1012)->text().isEmpty());
        QVERIFY(!form.Control<QCheckBox>(1013)->text().isEmpty());
    }
    SetTemplateSource([this](unsigned nID) { return m_lang.DialogTemplate(nID); });
}

// On request (CLIPVAULT_PICTURES=<folder>, under scripts/with_wm.sh): the
// search tab of a notebook window with a text search's result and its tool
// tip, in English and in Chinese.
void QueryFormTest::picturesOfTheSearchTab() {
    const QString folder = qEnvironmentVariable("CLIPVAULT_PICTURES");
    if (folder.isEmpty()) QSKIP("no picture folder asked for");
    cleanupTestCase();
    const std::pair<QLocale, QString> langs[] = {{QLocale(QLocale::English, QLocale::UnitedStates), "Eng"},
                                                 {QLocale(QLocale::Chinese, QLocale::China), "Chn"}};
    for (const auto& [locale, lang] : langs) {
        CGuiTestFixture fx;
        auto app = fx.MakeApp(locale);
        app->m_fnStartDialog = [] {};
        QVERIFY(app->InitInstance({QStringLiteral("clipvault")}));
        CMainFrame* frame = app->MainFrame();
        frame->showMaximized();
        frame->ExecuteCommand(cmd::kCmdNew);
        CChildFrame* child = frame->ActiveChildFrame();
        QVERIFY(child);
        child->showMaximized();
        CClipVaultDoc& doc = child->Document();
        CNoteCata* cata = doc.m_rootCata.AddNewSubCata(lang == "Eng" ? "Travel" : "\xE6\x97\x85\xE8\xA1\x8C");
        Add(cata, lang == "Eng" ? "Harbour walk" : "\xE6\xB8\xAF\xE5\x8F\xA3\xE6\x95\xA3\xE6\xAD\xA5",
            lang == "Eng" ? "<h1>Day two</h1><p>We walked along the harbour to the old <b>Lighthouse</b>, where "
                            "the keeper showed us the lamp room and the view over the bay.</p>"
                          : "<h1>\xE7\xAC\xAC\xE4\xBA\x8C\xE5\xA4\xA9</h1><p>\xE6\x88\x91\xE4\xBB\xAC\xE6\xB2\xBF\xE7\x9D\x80"
                            "\xE6\xB8\xAF\xE5\x8F\xA3\xE8\xB5\xB0\xE5\x88\xB0\xE8\x80\x81 Lighthouse\xEF\xBC\x8C"
                            "\xE7\x9C\x8B\xE5\x88\xB0\xE4\xBA\x86\xE6\xB5\xB7\xE6\xB9\xBE\xE7\x9A\x84\xE9\xA3\x8E\xE6\x99\xAF\xE3\x80\x82</p>");
        Add(cata, lang == "Eng" ? "Packing list" : "\xE8\xA1\x8C\xE6\x9D\x8E\xE6\xB8\x85\xE5\x8D\x95", "<p>boots, map</p>");
        child->TabView()->SetActivePage(1);
        auto* form = qobject_cast<CQueryForm*>(child->TabView()->GetPage(1));
        QVERIFY(form);
        form->SearchBox()->setEditText(QStringLiteral("lighthouse"));
        form->Control<QCheckBox>(CQueryForm::kIgnoreCase)->setChecked(true);
        form->Control<QCheckBox>(CQueryForm::kSearchNoteText)->setChecked(true);
        QTest::mouseClick(form->Control<QPushButton>(CQueryForm::kSearchButton), Qt::LeftButton);
        QTRY_COMPARE(form->RowCount(), 1);
        QTest::qWait(500);
        QTreeWidget* list = form->Results();
        list->topLevelItem(0)->setSelected(true);
        const QPoint pos = list->visualItemRect(list->topLevelItem(0)).center();
        QTest::mouseMove(list->viewport(), pos);
        QHelpEvent help(QEvent::ToolTip, pos, list->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(list->viewport(), &help);
        QTRY_VERIFY(QToolTip::isVisible());
        QTest::qWait(700);
        QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                     QDir(folder).filePath(QStringLiteral("search-tab-") + lang + QStringLiteral(".png"))});
        QToolTip::hideText();
        doc.SetModifiedFlag(false);
        app->ExitInstance();
    }
    initTestCase();
}

CLIPVAULT_GUI_TEST_MAIN(QueryFormTest)
#include "QueryFormTest.moc"
