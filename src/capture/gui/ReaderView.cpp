#include "capture/gui/ReaderView.h"

#include "app/AppOptions.h"
#include "capture/LinkHelpers.h"
#include "capture/PageHighlights.h"
#include "capture/gui/NoteBrowserView.h"
#include "document/Records.h"
#include "platform/CommandIds.h"
#include "platform/StringIds.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/QtText.h"

#include <QAction>
#include <QActionGroup>
#include <QFile>
#include <QMenu>
#include <QPointer>
#include <QVariantMap>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <algorithm>

namespace {

QString g_strScriptFolder;

// Readability's two parts, then the program's own, which uses them.
const char* const kScriptFiles[] = {
    "node_modules/@mozilla/readability/Readability-readerable.js",
    "node_modules/@mozilla/readability/Readability.js",
    "src/reader.js",
};

constexpr unsigned kThemes = 3;
constexpr int kTextSizes = 5;
constexpr unsigned kLineWidths = 3;

}  // namespace

void SetReaderScriptFolder(const QString& strFolder) { g_strScriptFolder = strFolder; }

QString ReaderScriptFolder() {
    if (!g_strScriptFolder.isEmpty()) return g_strScriptFolder;
    return ToQ(GetProgramFolder()) + QStringLiteral("/js");
}

QString ReaderScripts() {
    // Read once per folder: the same text serves every page shown.
    static QString s_strFolder;
    static QString s_strText;
    const QString folder = ReaderScriptFolder();
    if (folder == s_strFolder && !s_strText.isEmpty()) return s_strText;
    QString text;
    for (const char* name : kScriptFiles) {
        QFile file(folder + QLatin1Char('/') + QLatin1String(name));
        if (!file.open(QIODevice::ReadOnly)) return QString();
        text += QString::fromUtf8(file.readAll());
        text += QStringLiteral("\n;\n");
    }
    s_strFolder = folder;
    s_strText = text;
    return text;
}

CReaderMode::CReaderMode(CNoteBrowserView& view, INoteFrame& frame) : QObject(&view), m_view(view), m_frame(frame) {
    connect(&m_view, &QWebEngineView::loadStarted, this, &CReaderMode::OnLoadStarted);
    connect(&m_view, &QWebEngineView::loadFinished, this, &CReaderMode::OnLoadFinished);
    RegisterCommands();
}

bool CReaderMode::ShowsPageNote() const {
    CNote* pNote = m_view.ShownNote();
    if (!pNote || !m_view.ShowingKeptPage()) return false;
    for (const char* type : {"htm", "html", "xhtml", "shtml", "mht", "mhtml"})
        if (SameType(pNote->m_strExt, type)) return true;
    return false;
}

CReaderMode::State CReaderMode::GetState() const {
    return m_view.ShownNote() == m_pStateNote ? m_state : kNoPage;
}

void CReaderMode::SetState(State state, const QString& strReason) {
    m_strReason = strReason;
    m_pStateNote = m_view.ShownNote();
    QString status;
    if (state == kNoArticle) status = strReason;
    else if (state == kOn) status = CurrentLanguage().String(ids::IDS_READER_SHOWN);
    // Only what this view said goes: the status bar may say more.
    if (!status.isEmpty()) {
        m_frame.SetStatusText(FromQ(status));
        m_bSaidStatus = true;
    } else if (m_bSaidStatus) {
        m_frame.SetStatusText(std::string());
        m_bSaidStatus = false;
    }
    SayWhyOnHover(state);
    if (m_state == state) return;
    m_state = state;
    emit StateChanged(state);
}

void CReaderMode::SayWhyOnHover(State state) {
    // The greyed command's own prompt says why, wherever it is hovered: on
    // the menu or the toolbar button.
    if (!m_view.isVisible()) return;
    const QString tip = state == kNoArticle ? m_strReason : CurrentLanguage().StringPart(cmd::kCmdReaderView, 0);
    for (QAction* action : m_view.window()->findChildren<QAction*>())
        if (action->data().toUInt() == cmd::kCmdReaderView) action->setStatusTip(tip);
}

void CReaderMode::OnLoadStarted() {
    ++m_nGeneration;
    // The article loaded anew (refreshed, or changed by a highlight) comes
    // back where the reader was, not at its top.
    m_keptScroll = m_state == kOn ? m_view.page()->scrollPosition() : QPointF();
    // Until the page is read again; a link to a place within the article
    // keeps the document, and the reading finds the article still on show.
    SetState(kNoPage);
}

void CReaderMode::OnLoadFinished(bool bOk) {
    const int nGeneration = ++m_nGeneration;
    if (m_view.ShownNote() != m_pWantedNote) m_pWantedNote = nullptr;
    if (!bOk || !ShowsPageNote()) {
        SetState(kNoPage);
        return;
    }
    const QString scripts = ReaderScripts();
    if (scripts.isEmpty()) {
        SetState(kNoArticle, FormatMessageText(CurrentLanguage().String(ids::IDS_READER_NO_SCRIPTS),
                                               {FromQ(ReaderScriptFolder())}));
        return;
    }
    SetState(kProbing);
    QPointer<CReaderMode> self(this);
    // In the program's own world: it runs whether or not the page's
    // scripts do, and the page's scripts cannot reach it.
    m_view.page()->runJavaScript(scripts + QStringLiteral("clipvaultReader.probe();"),
                                 QWebEngineScript::ApplicationWorld, [self, nGeneration](const QVariant& result) {
                                     if (self) self->OnProbed(nGeneration, result);
                                 });
}

void CReaderMode::OnProbed(int nGeneration, const QVariant& result) {
    if (nGeneration != m_nGeneration) return;
    const QVariantMap answer = result.toMap();
    const CLanguageModule& lang = CurrentLanguage();
    if (answer.value(QStringLiteral("ok")).toBool()) {
        const bool bOn = answer.value(QStringLiteral("on")).toBool();
        SetState(bOn ? kOn : kAvailable);
        if (!bOn && m_pWantedNote && m_pWantedNote == m_view.ShownNote()) Show(m_keptScroll);
        return;
    }
    const QString reason = answer.value(QStringLiteral("reason")).toString();
    if (reason == QLatin1String("unreadable"))
        SetState(kNoArticle, lang.String(ids::IDS_READER_NOT_READABLE));
    else if (reason == QLatin1String("failed") || answer.isEmpty())
        SetState(kNoArticle, FormatMessageText(lang.String(ids::IDS_READER_FAILED),
                                               {FromQ(answer.value(QStringLiteral("error")).toString())}));
    else
        SetState(kNoArticle, lang.String(ids::IDS_READER_NO_ARTICLE));
}

QString CReaderMode::StyleArguments() const {
    const CReaderOptions& o = AppOptions().m_reader;
    // The options file may hold any number: out of range reads as the default.
    const CReaderOptions defaults;
    const unsigned theme = o.m_nTheme < kThemes ? o.m_nTheme : defaults.m_nTheme;
    const unsigned size = o.m_nTextSize < unsigned(kTextSizes) ? o.m_nTextSize : defaults.m_nTextSize;
    const unsigned width = o.m_nLineWidth < kLineWidths ? o.m_nLineWidth : defaults.m_nLineWidth;
    // The cleaner takes the marks' own colour away with every style of the
    // page; the sheet paints them again by the colour each one names.
    QString marks = QStringLiteral("mark{background:%1;}").arg(QLatin1String(HighlightColors().front().m_pszCss));
    for (const CHighlightColor& c : HighlightColors())
        marks += QStringLiteral("mark[data-cv-color=%1]{background:%2;}")
                     .arg(QLatin1String(c.m_pszName), QLatin1String(c.m_pszCss));
    return QStringLiteral("%1,%2,%3,\"%4\"").arg(theme).arg(size).arg(width).arg(marks);
}

void CReaderMode::Show(QPointF at) {
    const int nGeneration = m_nGeneration;
    QPointer<CReaderMode> self(this);
    const QString scroll = QStringLiteral("window.scrollTo(%1,%2);").arg(at.x()).arg(at.y());
    m_view.page()->runJavaScript(QStringLiteral("(function(){var shown=clipvaultReader.show(%1);%2return shown;})();")
                                     .arg(StyleArguments(), at.isNull() ? QString() : scroll),
                                 QWebEngineScript::ApplicationWorld, [self, nGeneration](const QVariant& shown) {
                                     if (!self || nGeneration != self->m_nGeneration || !shown.toBool()) return;
                                     self->m_pWantedNote = self->m_view.ShownNote();
                                     self->SetState(kOn);
                                 });
}

void CReaderMode::Toggle() {
    const State state = GetState();
    if (state == kAvailable) {
        Show();
    } else if (state == kOn) {
        // The page as the note keeps it, loaded anew.
        m_pWantedNote = nullptr;
        SetState(kNoPage);
        m_view.ShowNote(m_view.ShownNote());
    }
}

void CReaderMode::ApplyStyle() {
    if (m_state != kOn) return;
    m_view.page()->runJavaScript(QStringLiteral("clipvaultReader.setStyle(%1);").arg(StyleArguments()),
                                 QWebEngineScript::ApplicationWorld);
}

void CReaderMode::SetTheme(unsigned nTheme) {
    AppOptions().m_reader.m_nTheme = std::min(nTheme, kThemes - 1);
    ApplyStyle();
}

void CReaderMode::SetTextSize(int nSize) {
    const CReaderOptions defaults;
    const unsigned now = AppOptions().m_reader.m_nTextSize < unsigned(kTextSizes) ? AppOptions().m_reader.m_nTextSize
                                                                                   : defaults.m_nTextSize;
    AppOptions().m_reader.m_nTextSize = unsigned(std::clamp(int(now) + nSize, 0, kTextSizes - 1));
    ApplyStyle();
}

void CReaderMode::SetLineWidth(unsigned nWidth) {
    AppOptions().m_reader.m_nLineWidth = std::min(nWidth, kLineWidths - 1);
    ApplyStyle();
}

void CReaderMode::DropDownStyleMenu(const QPoint& at) {
    const CLanguageModule& lang = CurrentLanguage();
    QMenu menu(&m_view);
    menu.setTitle(lang.String(ids::IDS_READER_STYLE));
    menu.setAccessibleName(lang.String(ids::IDS_READER_STYLE).remove(QLatin1Char('&')));
    const unsigned groups[][3] = {{cmd::kCmdReaderThemeLight, cmd::kCmdReaderThemeSepia, cmd::kCmdReaderThemeDark},
                                  {cmd::kCmdReaderTextSmaller, cmd::kCmdReaderTextLarger, 0},
                                  {cmd::kCmdReaderWidthNarrow, cmd::kCmdReaderWidthMedium, cmd::kCmdReaderWidthWide}};
    for (const auto& group : groups) {
        if (!menu.isEmpty()) menu.addSeparator();
        auto* choices = new QActionGroup(&menu);
        for (unsigned nID : group) {
            if (!nID) continue;
            QAction* action = menu.addAction(lang.StringPart(nID, 1));
            action->setData(nID);
            action->setStatusTip(lang.StringPart(nID, 0));
            CCmdUI ui(nID);
            OnCmdMsg(nID, &ui);
            action->setEnabled(ui.m_bEnabled);
            action->setCheckable(ui.m_nCheck >= 0);
            action->setChecked(ui.m_nCheck > 0);
            if (ui.m_bRadio) choices->addAction(action);
        }
    }
    QAction* chosen = menu.exec(at);
    if (chosen) OnCmdMsg(chosen->data().toUInt(), nullptr);
}

void CReaderMode::RegisterCommands() {
    using namespace cmd;
    OnCommand(kCmdReaderView, [this] { Toggle(); });
    OnUpdate(kCmdReaderView, [this](CCmdUI* pUI) {
        const State state = GetState();
        pUI->Enable(state == kAvailable || state == kOn);
        pUI->SetCheck(state == kOn);
    });
    OnNotify(kCmdReaderView, CCmdNotify::kDropDown,
             [this](const CCmdNotify& notify) { DropDownStyleMenu(notify.m_rcButton.bottomLeft()); });
    // The style is the user's, chosen before or while reading.
    OnCommandRange(kCmdReaderThemeLight, kCmdReaderThemeDark,
                   [this](unsigned nID) { SetTheme(nID - kCmdReaderThemeLight); });
    OnUpdateRange(kCmdReaderThemeLight, kCmdReaderThemeDark, [](CCmdUI* pUI) {
        pUI->Enable(true);
        pUI->SetRadio(AppOptions().m_reader.m_nTheme == pUI->m_nID - kCmdReaderThemeLight);
    });
    OnCommand(kCmdReaderTextSmaller, [this] { SetTextSize(-1); });
    OnUpdate(kCmdReaderTextSmaller, [](CCmdUI* pUI) { pUI->Enable(AppOptions().m_reader.m_nTextSize > 0); });
    OnCommand(kCmdReaderTextLarger, [this] { SetTextSize(1); });
    OnUpdate(kCmdReaderTextLarger,
             [](CCmdUI* pUI) { pUI->Enable(AppOptions().m_reader.m_nTextSize + 1 < unsigned(kTextSizes)); });
    OnCommandRange(kCmdReaderWidthNarrow, kCmdReaderWidthWide,
                   [this](unsigned nID) { SetLineWidth(nID - kCmdReaderWidthNarrow); });
    OnUpdateRange(kCmdReaderWidthNarrow, kCmdReaderWidthWide, [](CCmdUI* pUI) {
        pUI->Enable(true);
        pUI->SetRadio(AppOptions().m_reader.m_nLineWidth == pUI->m_nID - kCmdReaderWidthNarrow);
    });
}
