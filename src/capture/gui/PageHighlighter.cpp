#include "capture/gui/PageHighlighter.h"

#include "capture/NotebookHighlights.h"
#include "capture/gui/HighlightCommentDlg.h"
#include "capture/gui/HighlightScripts.h"
#include "capture/gui/NoteBrowserView.h"
#include "capture/gui/StoredPageScheme.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/CommandIds.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/CmdTarget.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/QtText.h"
#include "platform/gui/ReadOnlyNotice.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWebEngineContextMenuRequest>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace {

// How long a highlight asked for waits for its page to load, and how long
// it stands out once shown.
constexpr int kRevealWaitMs = 5000;
constexpr int kFlashMs = 1500;

QString g_strLastColor = QStringLiteral("yellow");

std::string Utf8(const QString& s) { return s.toStdString(); }

CPageHighlighter::CProbe ParseProbe(const QVariant& value) {
    CPageHighlighter::CProbe probe;
    const QJsonObject o = QJsonDocument::fromJson(value.toString().toUtf8()).object();
    probe.m_x = o.value(QLatin1String("x")).toDouble();
    probe.m_y = o.value(QLatin1String("y")).toDouble();
    const QJsonObject q = o.value(QLatin1String("quote")).toObject();
    if (!q.isEmpty()) {
        probe.m_bQuote = true;
        probe.m_quote.m_strExact = Utf8(q.value(QLatin1String("exact")).toString());
        probe.m_quote.m_strPrefix = Utf8(q.value(QLatin1String("prefix")).toString());
        probe.m_quote.m_strSuffix = Utf8(q.value(QLatin1String("suffix")).toString());
        const double pos = q.value(QLatin1String("pos")).toDouble(-1);
        if (pos >= 0) probe.m_quote.m_nTextPos = static_cast<size_t>(pos);
    }
    const QJsonObject m = o.value(QLatin1String("mark")).toObject();
    probe.m_mark.m_strId = Utf8(m.value(QLatin1String("id")).toString());
    probe.m_mark.m_strColor = Utf8(m.value(QLatin1String("color")).toString());
    probe.m_mark.m_strComment = Utf8(m.value(QLatin1String("comment")).toString());
    return probe;
}

QString CommandText(unsigned nID) { return CurrentLanguage().StringPart(nID, 1); }

}  // namespace

CPageHighlighter::CPageHighlighter(CNoteBrowserView& view, CClipVaultDoc& doc)
    : QObject(&view), m_view(view), m_doc(doc) {
    // The engine's own menu, with the highlight's entries after it.
    m_view.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&m_view, &QWidget::customContextMenuRequested, this, &CPageHighlighter::ShowContextMenu);
    connect(&m_view, &QWebEngineView::loadFinished, this, &CPageHighlighter::OnLoadFinished);
}

QString CPageHighlighter::LastColor() { return g_strLastColor; }

bool CPageHighlighter::CanHighlight() const {
    const CNote* pNote = m_view.ShownNote();
    return pNote && m_view.ShownStatusKind() < 0 && !m_view.ShowingSource() && !m_view.LeftNote() &&
           pNote->m_nContentType == kContentHeld && CanHoldHighlights(pNote->m_strExt) &&
           m_view.url().scheme() == StoredPageScheme();
}

void CPageHighlighter::OnUpdate(CCmdUI* pUI) const {
    // A read-only notebook keeps them: trying one says why it is refused.
    pUI->Enable(CanHighlight());
    if (pUI->m_nID >= cmd::kCmdHighlightYellow && pUI->m_nID <= cmd::kCmdHighlightPink)
        pUI->SetRadio(CHighlightCommentDlg::Colors().indexOf(g_strLastColor) ==
                      static_cast<int>(pUI->m_nID - cmd::kCmdHighlightYellow));
}

void CPageHighlighter::OnCommand(unsigned nID) {
    if (!CanHighlight() || RefuseChange(m_doc)) {
        emit CommandEnded();
        return;
    }
    Probe(false, QPoint(), [this, nID](const CProbe& probe) { RunOn(nID, probe); });
}

void CPageHighlighter::Probe(bool bAtPoint, QPoint at, std::function<void(const CProbe&)> fn) {
    m_pProbed = m_view.ShownNote();
    const double zoom = m_view.zoomFactor() > 0 ? m_view.zoomFactor() : 1.0;
    QPointer<CPageHighlighter> self(this);
    CNote* pNote = m_pProbed;
    // In the program's own world: the page's scripts may be off, and cannot
    // tell this one lies.
    m_view.page()->runJavaScript(HighlightProbeScript(at.x() / zoom, at.y() / zoom, bAtPoint),
                                 QWebEngineScript::ApplicationWorld, [self, pNote, fn](const QVariant& value) {
                                     if (!self) return;
                                     if (self->m_view.ShownNote() != pNote || !self->CanHighlight()) {
                                         emit self->CommandEnded();
                                         return;
                                     }
                                     RunGuarded([&] { fn(ParseProbe(value)); });
                                 });
}

void CPageHighlighter::RunOn(unsigned nID, const CProbe& probe) {
    const bool bMark = !probe.m_mark.m_strId.empty();
    if (nID == cmd::kCmdHighlightComment) {
        if (probe.m_bQuote || bMark) {
            AskComment(probe);
            return;
        }
    } else if (nID == cmd::kCmdRemoveHighlight) {
        if (bMark) {
            const std::string id = probe.m_mark.m_strId;
            Change(probe, [id](const std::vector<uint8_t>& page, std::vector<uint8_t>& out) {
                return RemoveHighlight(page, id, out);
            });
            return;
        }
    } else {
        QString color = g_strLastColor;
        if (nID >= cmd::kCmdHighlightYellow && nID <= cmd::kCmdHighlightPink)
            color = g_strLastColor = CHighlightCommentDlg::Colors().at(static_cast<int>(nID - cmd::kCmdHighlightYellow));
        if (probe.m_bQuote && !bMark) {
            Add(probe, color, QString());
            return;
        }
        // A colour for the highlight the selection is in: it takes that one.
        if (bMark) {
            const CHighlight mark = probe.m_mark;
            const std::string c = Utf8(color);
            Change(probe, [mark, c](const std::vector<uint8_t>& page, std::vector<uint8_t>& out) {
                return ChangeHighlight(page, mark.m_strId, mark.m_strComment, c, out);
            });
            return;
        }
    }
    AfxMessageBox(ids::IDS_HL_NO_SELECTION, host::MB_OK | host::MB_ICONINFORMATION);
    emit CommandEnded();
}

void CPageHighlighter::Add(const CProbe& probe, const QString& strColor, const QString& strComment) {
    CHighlight hl;
    hl.m_strId = NewHighlightId();
    hl.m_strColor = Utf8(strColor);
    hl.m_strComment = Utf8(strComment);
    hl.m_strDate = Utf8(QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    const CHighlightQuote quote = probe.m_quote;
    Change(probe, [quote, hl](const std::vector<uint8_t>& page, std::vector<uint8_t>& out) {
        return AddHighlight(page, quote, hl, out);
    });
}

void CPageHighlighter::AskComment(const CProbe& probe) {
    const bool bExisting = !probe.m_mark.m_strId.empty();
    CHighlightCommentDlg dlg(bExisting, QString::fromStdString(probe.m_mark.m_strComment),
                             bExisting ? QString::fromStdString(probe.m_mark.m_strColor) : g_strLastColor, &m_view);
    dlg.exec();
    // The dialog ran the event loop: the view may have moved on.
    if (dlg.Result() == CHighlightCommentDlg::kCancelled || m_view.ShownNote() != m_pProbed || !CanHighlight()) {
        emit CommandEnded();
        return;
    }
    if (!bExisting) {
        g_strLastColor = dlg.Color();
        Add(probe, dlg.Color(), dlg.Comment());
        return;
    }
    const std::string id = probe.m_mark.m_strId;
    if (dlg.Result() == CHighlightCommentDlg::kRemove) {
        Change(probe, [id](const std::vector<uint8_t>& page, std::vector<uint8_t>& out) {
            return RemoveHighlight(page, id, out);
        });
        return;
    }
    const std::string comment = Utf8(dlg.Comment());
    const std::string color = Utf8(dlg.Color());
    Change(probe, [id, comment, color](const std::vector<uint8_t>& page, std::vector<uint8_t>& out) {
        return ChangeHighlight(page, id, comment, color, out);
    });
}

HighlightResult CPageHighlighter::ChangeNotePage(
    CClipVaultDoc& doc, CNote& note,
    const std::function<HighlightResult(const std::vector<uint8_t>&, std::vector<uint8_t>&)>& fn) {
    if (RefuseChange(doc)) return HighlightResult::kNotFound;
    std::vector<uint8_t> before;
    {
        std::lock_guard<std::mutex> guard(note.m_dataLock);
        before = note.Content();
    }
    std::vector<uint8_t> after;
    const HighlightResult result = fn(before, after);
    if (result != HighlightResult::kDone) return result;
    {
        // Only the page's bytes change: its attachments stay the note's,
        // and the marks name none.
        CNoteUpdate update(note);
        if (!update) return HighlightResult::kNotFound;
        note.SetContent(std::move(after));
    }
    // A plain notebook's page is shown from its working copy; an encrypted
    // one's from memory, and nothing of it goes to disk.
    if (!doc.IsEncrypted() && !note.WriteWorkingCopy())
        AfxMessageBox(ids::IDS_HL_NOT_WRITTEN, host::MB_OK | host::MB_ICONEXCLAMATION, {note.m_strName});
    doc.SetModifiedFlag();
    return HighlightResult::kDone;
}

void CPageHighlighter::Change(const CProbe& probe, const std::function<HighlightResult(const std::vector<uint8_t>&,
                                                                                        std::vector<uint8_t>&)>& fn) {
    CNote* pNote = m_view.ShownNote();
    if (!pNote || pNote != m_pProbed) {
        emit CommandEnded();
        return;
    }
    const HighlightResult result = ChangeNotePage(m_doc, *pNote, fn);
    if (result != HighlightResult::kDone) {
        if (!m_doc.IsReadOnly()) Report(result, *pNote);
        emit CommandEnded();
        return;
    }
    // Shown anew (what the page may read follows the note), where it was.
    m_bRestoreScroll = true;
    m_x = probe.m_x;
    m_y = probe.m_y;
    m_view.ShowNote(pNote);
    emit PageChanged(pNote);
}

void CPageHighlighter::Report(HighlightResult result, const CNote& note) const {
    switch (result) {
    case HighlightResult::kNotFound:
        AfxMessageBox(ids::IDS_HL_NOT_FOUND);
        break;
    case HighlightResult::kNoText:
        AfxMessageBox(ids::IDS_HL_NO_TEXT);
        break;
    case HighlightResult::kUnknownId:
        AfxMessageBox(ids::IDS_HL_GONE);
        break;
    case HighlightResult::kDone:
        break;
    }
    (void)note;
}

void CPageHighlighter::OnLoadFinished(bool bOk) {
    if (m_bRestoreScroll) {
        m_bRestoreScroll = false;
        QPointer<CPageHighlighter> self(this);
        if (bOk)
            m_view.page()->runJavaScript(ScrollToScript(m_x, m_y), QWebEngineScript::ApplicationWorld,
                                         [self](const QVariant&) {
                                             if (self) emit self->CommandEnded();
                                         });
        else
            emit CommandEnded();
    }
    if (bOk && !m_strReveal.isEmpty()) Reveal(Utf8(m_strReveal));
}

void CPageHighlighter::Reveal(const std::string& strId) {
    const QString id = QString::fromStdString(strId);
    const bool bNew = m_strReveal != id;
    m_strReveal = id;
    QPointer<CPageHighlighter> self(this);
    if (bNew)
        QTimer::singleShot(kRevealWaitMs, this, [self, id] {
            if (self && self->m_strReveal == id) self->m_strReveal.clear();
        });
    // Now, for a page already loaded; once more when a load ends, for the
    // page on its way.
    m_view.page()->runJavaScript(RevealHighlightScript(id), QWebEngineScript::ApplicationWorld,
                                 [self, id](const QVariant& found) {
                                     if (!self || !found.toBool()) return;
                                     QTimer::singleShot(kFlashMs, self, [self, id] {
                                         if (self)
                                             self->m_view.page()->runJavaScript(UnflashHighlightScript(id),
                                                                                QWebEngineScript::ApplicationWorld);
                                     });
                                 });
}

void CPageHighlighter::ShowContextMenu(const QPoint& at) {
    // The engine's entries need its request; a menu asked for otherwise
    // has the highlight's alone.
    QMenu* pMenu = m_view.lastContextMenuRequest() ? m_view.createStandardContextMenu() : new QMenu(&m_view);
    pMenu->setAttribute(Qt::WA_DeleteOnClose);
    const QPoint global = m_view.mapToGlobal(at);
    if (!CanHighlight()) {
        pMenu->popup(global);
        return;
    }
    QPointer<QMenu> menu(pMenu);
    Probe(true, at, [this, menu, global](const CProbe& probe) {
        if (!menu) return;
        FillContextMenu(menu, probe);
        menu->popup(global);
    });
}

void CPageHighlighter::FillContextMenu(QMenu* pMenu, const CProbe& probe) {
    const bool bMark = !probe.m_mark.m_strId.empty();
    if (!probe.m_bQuote && !bMark) return;
    pMenu->addSeparator();
    auto add = [this, probe](QMenu* pTo, const QString& text, unsigned nID) {
        QAction* pAction = pTo->addAction(text);
        pAction->setData(nID);
        connect(pAction, &QAction::triggered, this, [this, probe, nID] {
            if (m_view.ShownNote() != m_pProbed || !CanHighlight() || RefuseChange(m_doc)) {
                emit CommandEnded();
                return;
            }
            RunOn(nID, probe);
        });
        return pAction;
    };
    add(pMenu, CommandText(cmd::kCmdHighlight), cmd::kCmdHighlight);
    QMenu* pColors = pMenu->addMenu(CurrentLanguage().String(ids::IDS_HL_BUTTON));
    for (unsigned nID = cmd::kCmdHighlightYellow; nID <= cmd::kCmdHighlightPink; ++nID) {
        const QString color = CHighlightCommentDlg::Colors().at(static_cast<int>(nID - cmd::kCmdHighlightYellow));
        add(pColors, CommandText(nID), nID)->setIcon(CHighlightCommentDlg::SwatchIcon(color));
    }
    add(pMenu, CommandText(cmd::kCmdHighlightComment) + QStringLiteral("..."), cmd::kCmdHighlightComment);
    if (bMark) add(pMenu, CommandText(cmd::kCmdRemoveHighlight), cmd::kCmdRemoveHighlight);
}
