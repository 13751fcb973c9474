// What the editor's tests share: a notebook window that records what the
// editor tells it, and answers for the dialogs the editor opens.
#pragma once

#include "support/GuiTestSupport.h"

#include "platform/TempFiles.h"
#include "platform/gui/CmdTarget.h"
#include "platform/gui/CommandActions.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/QtText.h"
#include "platform/gui/TemplateDialog.h"
#include "platform/MessageHost.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class CFakeFrame : public INoteFrame {
public:
    explicit CFakeFrame(const CLanguageModule& lang) : m_actions(&m_owner, lang, [](unsigned, CCmdUI*) { return false; }) {}
    void ShowNote(CNote*, bool, int, bool) override {}
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
    CCmdTarget* ActiveView() const override { return m_pActive; }
    void SetActiveView(CCmdTarget* p) override { m_pActive = p; }
    void SetStatusText(const std::string& s) override { m_status << ToQ(s); }
    void EditorMouseDown(int x, int y) override { m_mouseDown = QPoint(x, y); }

    QWidget m_owner;
    mutable CCommandActions m_actions;
    CCmdTarget* m_pActive = nullptr;
    QStringList m_status;
    QPoint m_mouseDown;
};

// Answers every template dialog the view opens with `fn`, then OK or Cancel.
class CAnswer {
public:
    CAnswer(std::function<void(CTemplateDialog&)> fn, bool bOk = true) {
        m_old = SetDialogHook([this, fn, bOk](CTemplateDialog& dlg) {
            ++m_nShown;
            m_ids << dlg.TemplateID();
            if (fn) fn(dlg);
            if (auto* b = dlg.Control<QPushButton>(bOk ? host::IDOK : host::IDCANCEL)) b->click();
        });
    }
    ~CAnswer() { SetDialogHook(m_old); }
    int m_nShown = 0;
    QList<unsigned> m_ids;

private:
    DialogHook m_old;
};

inline QString Text(CTemplateDialog& dlg, unsigned nID) {
    if (auto* e = dlg.Control<QLineEdit>(nID)) return e->text();
    if (auto* c = dlg.Control<QComboBox>(nID)) return c->currentText();
    return QStringLiteral("<missing %1>").arg(nID);
}
inline void SetText(CTemplateDialog& dlg, unsigned nID, const QString& text) {
    if (auto* e = dlg.Control<QLineEdit>(nID)) e->setText(text);
    if (auto* c = dlg.Control<QComboBox>(nID)) c->setEditText(text);
}

// What every editor test runs in: the English module's texts and dialogs, a
// message host that answers the boxes, and working copies in a folder of
// the test's own.
class CEditorTestEnvironment {
public:
    CEditorTestEnvironment() : m_strOldTempRoot(tempfiles::TempRoot()) {
        tempfiles::SetTempRoot(FromQ(m_fx.WorkFolder()) + "/");
        m_bLoaded = m_lang.Load(CLanguageModule::ModulePath(m_fx.ProgramFolder(), QStringLiteral("Eng")));
        SetCurrentLanguage(&m_lang);
        SetStringSource([this](unsigned nID) { return m_lang.String(nID); });
        SetTemplateSource([this](unsigned nID) { return m_lang.DialogTemplate(nID); });
        m_pHost = std::make_unique<CGuiHost>();
    }
    ~CEditorTestEnvironment() {
        m_pHost.reset();
        SetTemplateSource(nullptr);
        SetStringSource(nullptr);
        SetCurrentLanguage(nullptr);
        tempfiles::SetTempRoot(m_strOldTempRoot);
    }

    CGuiTestFixture m_fx;
    CLanguageModule m_lang;
    bool m_bLoaded = false;

private:
    std::string m_strOldTempRoot;
    std::unique_ptr<CGuiHost> m_pHost;
};
