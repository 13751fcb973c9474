// Filling the category tree of a large notebook: 10,000 notes in 500
// categories (50 at the top, 9 below each), their dates spread over a month
// so that the recent groups hold some of them, a hundred held downloads.
// The tree is shown, as in the program; each run builds it again from
// scratch (the old items go first).
#include "document/ClipVaultDoc.h"
#include "frame/NoteCataView.h"
#include "platform/gui/CommandActions.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/NoteFrame.h"

#include <QApplication>
#include <QDateTime>
#include <benchmark/benchmark.h>

#include <string>

namespace {

CLanguageModule g_lang;

class CQuietFrame : public INoteFrame {
public:
    CQuietFrame() : m_actions(&m_owner, g_lang, [](unsigned, CCmdUI*) { return false; }) {}
    void ShowNote(CNote*, bool, int, bool) override {}
    void ListCategory(CNoteCata*) override {}
    void ListGroup(int) override {}
    CNote* CurrentNote() const override { return nullptr; }
    void ClearCurrentNote() override {}
    void ForgetNote(CNote*) override {}
    void RemoveFromList(CNoteBase*) override {}
    void OpenImport() override {}
    void ImportNotes(const std::vector<CNote*>&) override {}
    void GoToNoteNumber(uint32_t) override {}
    CCommandActions& Actions() const override { return m_actions; }
    CCmdTarget* ActiveView() const override { return nullptr; }
    void SetActiveView(CCmdTarget*) override {}

    QWidget m_owner;
    mutable CCommandActions m_actions;
};

void MakeNotebook(CClipVaultDoc& doc, int nCategories, int nNotes) {
    doc.OnNewDocument();
    const QDate today = QDate::currentDate();
    std::vector<CNoteCata*> catas;
    for (int top = 0; static_cast<int>(catas.size()) < nCategories; ++top) {
        CNoteCata* c = doc.m_rootCata.AddNewSubCata("Category " + std::to_string(top));
        catas.push_back(c);
        for (int sub = 0; sub < 9 && static_cast<int>(catas.size()) < nCategories; ++sub)
            catas.push_back(c->AddNewSubCata("Topic " + std::to_string(sub)));
    }
    for (int i = 0; i < nNotes; ++i) {
        CNoteCata* c = catas[static_cast<size_t>(i) % catas.size()];
        CNote* n = c->AddNewNote("Page about item " + std::to_string(i * 7919 % 100000));
        if (!n) continue;
        n->m_tmDate = QDateTime(today.addDays(-(i % 30)), QTime(0, 0)).toSecsSinceEpoch();
        if (i % 100 == 0) doc.ListForDownload(n, false);
    }
}

void FillTree(benchmark::State& state) {
    CClipVaultDoc doc;
    MakeNotebook(doc, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    CQuietFrame frame;
    QWidget window;
    auto* view = new CNoteCataView(frame, doc, &window);
    view->resize(300, 700);
    window.resize(300, 700);
    window.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        view->Populate();
        // The first paint of the filled tree belongs to the fill.
        view->viewport()->repaint();
    }
    int items = 0;
    for (QTreeWidgetItemIterator it(view); *it; ++it) ++items;
    state.counters["items"] = items;
}

}  // namespace

BENCHMARK(FillTree)->Args({500, 10000})->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    if (!g_lang.Load(QStringLiteral(CLIPVAULT_BIN_DIR) + QStringLiteral("/Language/VLTEng.rcc"))) return 1;
    SetCurrentLanguage(&g_lang);
    SetMessageBoxHook([](unsigned, unsigned, const QString&) { return 2; });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    SetCurrentLanguage(nullptr);
    return 0;
}
