#include "app/ClipVaultApp.h"

#include "app/AboutDlg.h"
#include "platform/gui/TemplateDialog.h"
#include "platform/gui/AppGlobals.h"
#include "app/AppOptions.h"
#include "app/AutomationService.h"
#include "app/DesktopEntry.h"
#include "app/DocTemplate.h"
#include "app/HelpWindow.h"
#include "app/SingleInstance.h"
#include "app/StartupTiming.h"
#include "app/StartDlg.h"
#include "app/UiStrings.h"
#include "capture/LinkHelpers.h"
#include "capture/gui/ReaderView.h"
#include "document/ClipVaultDoc.h"
#include "document/NoteMail.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/Charset.h"
#include "platform/StringIds.h"
#include "platform/TempFiles.h"
#include "platform/CommandIds.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/ExposeRepaint.h"
#include "platform/gui/QtText.h"
#include "views/ColorMenu.h"
#include "views/PassphraseDlgs.h"
#include "views/NoteEditView.h"
#include "views/SplashWnd.h"
#include "views/TipDlg.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <unistd.h>
#include <utility>

CClipVaultApp* CClipVaultApp::s_pApp = nullptr;

namespace {

// A temporary root of the instance's own: the clean-up at exit removes every
// "vlt" entry in it, which in the shared temporary folder would take another
// running instance's working files too.
const QLatin1String kOwnerFile(".owner");

// The roots of instances that ended without cleaning up (a crash, a kill):
// their process is gone, so nobody will ever read those working copies.
// A root whose process still runs, or that another user owns, stays.
void SweepAbandonedTempRoots(const QString& strBase) {
    const QDir base(strBase);
    for (const QFileInfo& fi : base.entryInfoList({QStringLiteral("clipvault-*")}, QDir::Dirs | QDir::NoSymLinks | QDir::Hidden)) {
        if (fi.ownerId() != ::getuid()) continue;
        QFile owner(fi.absoluteFilePath() + QLatin1Char('/') + kOwnerFile);
        if (!owner.open(QIODevice::ReadOnly)) continue;
        bool ok = false;
        const qint64 pid = owner.readAll().trimmed().toLongLong(&ok);
        owner.close();
        if (!ok || pid <= 0) continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        DeleteTempFiles(FromQ(fi.absoluteFilePath() + QLatin1Char('/')));
        owner.remove();
        QDir().rmdir(fi.absoluteFilePath());
    }
}

// Empty when no root can be made: the shared folder is never used instead
// (its "vlt" entries may be anybody's, and anybody may have planted links
// there). `nErrno` then tells why.
QString MakePrivateTempRoot(int& nErrno) {
    const QString base = QString::fromLocal8Bit(tempfiles::SystemTempFolder());
    SweepAbandonedTempRoots(base);
    const std::string made = tempfiles::MakePrivateFolder(base.toLocal8Bit().toStdString(), &nErrno);
    if (made.empty()) return QString();
    const QString root = QString::fromLocal8Bit(made.c_str());
    QFile owner(root + kOwnerFile);
    if (owner.open(QIODevice::WriteOnly)) owner.write(QByteArray::number(static_cast<qint64>(::getpid())));
    return root;
}

}  // namespace

CCommandLineInfo CCommandLineInfo::Parse(const QStringList& args) {
    CCommandLineInfo info;
    bool bPrinterFollows = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool isFlag = a.startsWith(QLatin1Char('-')) || (a.startsWith(QLatin1Char('/')) && !QFileInfo::exists(a) &&
                                                              a.indexOf(QLatin1Char('/'), 1) < 0);
        if (!isFlag) {
            if (info.m_strFileName.isEmpty()) {
                info.m_strFileName = a;
                if (info.m_nShellCommand == FileNew) info.m_nShellCommand = FileOpen;
                // "/pt file printer driver port": the last three are not files.
                if (bPrinterFollows) i += 3;
            }
            continue;
        }
        QString flag = a;
        while (flag.startsWith(QLatin1Char('-')) || flag.startsWith(QLatin1Char('/'))) flag.remove(0, 1);
        const QString f = flag.toLower();
        if (f.startsWith(QLatin1String("codepage="))) {
            info.m_strCodePage = flag.mid(9);
        } else if (f == QLatin1String("codepage")) {
            if (i + 1 < args.size()) info.m_strCodePage = args[++i];
        } else if (f == QLatin1String("embedding")) {
            info.m_bRunEmbedded = true;
            info.m_bShowSplash = false;
        } else if (f == QLatin1String("automation")) {
            info.m_bRunAutomated = true;
            info.m_bShowSplash = false;
        } else if (f == QLatin1String("new-notebook") || f == QLatin1String("open-notebook")) {
            info.m_strDesktopAction = f;
        } else if (f == QLatin1String("p") || f == QLatin1String("print")) {
            info.m_nShellCommand = FilePrint;
        } else if (f == QLatin1String("pt") || f == QLatin1String("printto")) {
            info.m_nShellCommand = FilePrintTo;
            bPrinterFollows = true;
        } else if (f == QLatin1String("dde")) {
            info.m_nShellCommand = FileDDE;
        } else if (f == QLatin1String("unregister") || f == QLatin1String("unregserver")) {
            info.m_nShellCommand = AppUnregister;
        } else if (info.m_strUnknown.isEmpty()) {
            info.m_strUnknown = a;
        }
    }
    return info;
}

CClipVaultApp::CClipVaultApp(const CAppEnvironment& env) : m_env(env) {
    s_pApp = this;
    g_bAutoHideAllowed = false;
    m_pBackColorMenu = std::make_unique<CColorMenu>(cmd::kCmdFirstBackColor);
    CNoteEditView::SetBackgroundMenu(m_pBackColorMenu.get());
    m_strProgramFolder = env.m_strProgramFolder.isEmpty() ? ToQ(GetProgramFolder()) : env.m_strProgramFolder;
    while (m_strProgramFolder.size() > 1 && m_strProgramFolder.endsWith(QLatin1Char('/'))) m_strProgramFolder.chop(1);
    m_pPassphraseQuestions = env.m_pPassphraseQuestions ? env.m_pPassphraseQuestions
                                                        : std::make_shared<CPassphraseDialogs>();
    m_strTempRoot = MakePrivateTempRoot(m_nTempRootErrno);
    tempfiles::SetTempRoot(FromQ(m_strTempRoot));
    // The files of mails sent in earlier runs, once their mail programs
    // have long had them.
    SweepMailFolders(MailFolderRoot());
    m_strHelpFolder = m_strProgramFolder + QStringLiteral("/help");
    // Readability and the reader view's own script lie beside the program.
    SetReaderScriptFolder(m_strProgramFolder + QStringLiteral("/js"));
    if (!env.m_strOptionsPath.isEmpty()) m_strOptionsPath = env.m_strOptionsPath;
    else if (!env.m_strProgramFolder.isEmpty()) m_strOptionsPath = m_strProgramFolder + QStringLiteral("/AppOption.data");
    else m_strOptionsPath = ToQ(CAppOptions::DefaultOptionsPath());
    RegisterCommands();
    m_fnShowTip = [this](bool bAtStartup) {
        // Not even made when unwanted: a dialog that goes keeps its place in
        // the file, which would pass over a tip nobody saw.
        if (bAtStartup && Profile().value(QLatin1String(CTipDlg::kStartUp), 0).toInt() != 0) return;
        CTipDlg dlg(Profile(), TipsFilePath(), m_pMainWnd);
        dlg.DoModal();
    };
}

QString CClipVaultApp::TipsFilePath() const {
    if (m_nLanguageFlag == 0) {
        const QString chn = m_strProgramFolder + QStringLiteral("/tips-chn.txt");
        if (QFileInfo::exists(chn)) return chn;
    }
    return m_strProgramFolder + QStringLiteral("/tips.txt");
}

CClipVaultApp::~CClipVaultApp() {
    if (m_pMainWnd) {
        m_pMainWnd->hide();
        delete m_pMainWnd;
        m_pMainWnd = nullptr;
    }
    CNoteEditView::SetBackgroundMenu(nullptr);
    delete m_pHelp;
    m_pDocTemplate.reset();
    SetStringSource(nullptr);
    SetTemplateSource(nullptr);
    SetHelpHandler(nullptr);
    if (&CurrentLanguage() == &m_lang) SetCurrentLanguage(nullptr);
    SetMessageBoxOwner(nullptr);
    m_pHost.reset();
    // Whatever is left of the working copies goes with the private root.
    if (!m_strTempRoot.isEmpty()) {
        DeleteTempFiles(FromQ(m_strTempRoot));
        QFile::remove(m_strTempRoot + kOwnerFile);
        QDir().rmdir(m_strTempRoot);
    }
    if (s_pApp == this) s_pApp = nullptr;
}

QSettings& CClipVaultApp::Profile() {
    if (!m_pProfile) m_pProfile = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                              QStringLiteral("Clipvault"), QStringLiteral("Clipvault"));
    return *m_pProfile;
}

bool CClipVaultApp::LoadLanguageModule() {
    const QString langId = CLanguageModule::LocaleLanguageId(m_env.m_locale);
    if (!langId.isEmpty()) {
        const QString path = CLanguageModule::ChooseModulePath(m_strProgramFolder, langId, m_nLanguageFlag);
        if (m_lang.Load(path)) return true;
    }
    m_nLanguageFlag = 1;
    return m_lang.Load(CLanguageModule::ModulePath(m_strProgramFolder, QStringLiteral("Eng")));
}

bool CClipVaultApp::InitInstance(const QStringList& args) {
    m_cmdInfo = CCommandLineInfo::Parse(args);
    if (!m_cmdInfo.m_strCodePage.isEmpty() && !charset::SetProcessCodePage(FromQ(m_cmdInfo.m_strCodePage))) {
        // Before the language module: the message cannot come from it.
        AfxMessageBoxText(QStringLiteral("Clipvault does not know the code page \"%1\".").arg(m_cmdInfo.m_strCodePage),
                          host::MB_OK | host::MB_ICONERROR, QStringLiteral("Clipvault"));
        m_nExitCode = 2;
        return false;
    }

    // Core messages and worker posts reach this thread from here on.
    m_pHost = std::make_unique<CGuiHost>();
    SetStringSource([this](unsigned nID) { return m_lang.String(nID); });
    SetTemplateSource([this](unsigned nID) { return m_lang.DialogTemplate(nID); });
    SetHelpHandler([this](int nContext) { ShowHelp(nContext); });
    SetCurrentLanguage(&m_lang);

    // One instance: a second start brings the first forward and ends.
    if (m_env.m_bSingleInstance) {
        m_pInstance = std::make_unique<CInstanceGuard>();
        m_pAutomation = std::make_unique<CAutomationServer>();
        m_pAutomation->m_fnMainWindow = [this]() -> QObject* { return m_pMainWnd; };
        m_pInstance->m_fnExport = [this](QObject* pObject) { new CAutomationAdaptor(pObject, *m_pAutomation); };
        QStringList files;
        if (m_cmdInfo.m_nShellCommand == CCommandLineInfo::FileOpen) files << m_cmdInfo.m_strFileName;
        if (m_pInstance->ActivateRunningInstance(m_cmdInfo.m_strDesktopAction, files)) {
            m_nExitCode = 0;
            return false;
        }
        m_pInstance->m_fnActivate = [this] {
            if (m_pMainWnd) m_pMainWnd->ExecuteCommand(cmd::kCmdShowWindow);
        };
        m_pInstance->m_fnAction = [this](const QString& strAction) { RunDesktopAction(strAction); };
        m_pInstance->m_fnOpen = [this](const QStringList& paths) { OpenFromOutside(paths); };
        // The session bus starts this program for callers who find it not
        // running; it has to know where the program is.
        if (m_pInstance->OwnsName()) automation::InstallActivationFile(QCoreApplication::applicationFilePath());
    }

    // The profile (recent files, first run) lives in QSettings.
    Profile();

    // The language module carries every text; without one nothing can
    // be shown, not even why.
    if (!LoadLanguageModule()) {
        AfxMessageBoxText(QStringLiteral("Clipvault cannot start: no language module was found in %1/Language "
                                         "(VLTEng.rcc).")
                              .arg(m_strProgramFolder),
                          host::MB_OK | host::MB_ICONERROR, QStringLiteral("Clipvault"));
        m_nExitCode = 1;
        return false;
    }
    m_startTime.start();
    m_qtTexts.Install(m_lang.Locale());
    QApplication::setWindowIcon(m_lang.Icon(233));

    // Notes are shown from working copies below the private temporary root;
    // without one nothing could be shown, and the shared folder is no place
    // for them.
    if (m_strTempRoot.isEmpty()) {
        AfxMessageBox(uistr::kNoTempRoot, host::MB_OK | host::MB_ICONERROR,
                      {tempfiles::SystemTempFolder(), std::strerror(m_nTempRootErrno)});
        m_nExitCode = 1;
        return false;
    }

    // Options.
    AppOptions().LoadOptions(FromQ(m_strOptionsPath));

    // The notebook document type.
    m_pDocTemplate = std::make_unique<CDocTemplate>(*this);

    // What a closed dialog, menu or picture uncovers is painted again.
    CExposeRepaint::Install();

    // The main window.
    m_pMainWnd = new CMainFrame(*this);
    m_pMainWnd->SetShowSplash(m_cmdInfo.m_bShowSplash);
    if (!m_pMainWnd->Create()) {
        delete m_pMainWnd;
        m_pMainWnd = nullptr;
        m_nExitCode = 1;
        return false;
    }
    SetMessageBoxOwner(m_pMainWnd);

    // The stored window rectangle, when it has a size.
    const CWindowRect& rc = AppOptions().m_rcMainWindow;
    if (rc.m_nRight - rc.m_nLeft > 0 && rc.m_nBottom - rc.m_nTop > 0)
        m_pMainWnd->setGeometry(rc.m_nLeft, rc.m_nTop, rc.m_nRight - rc.m_nLeft, rc.m_nBottom - rc.m_nTop);

    // Show; a plain start asks for no notebook at all.
    m_pMainWnd->show();
    if (m_cmdInfo.m_nShellCommand == CCommandLineInfo::FileNew) m_cmdInfo.m_nShellCommand = CCommandLineInfo::FileNothing;

    // What the command line asked for.
    if (!ProcessShellCommand()) {
        CSplashWnd::CloseSplash();
        m_nExitCode = 1;
        return false;
    }

    // The start-up picture has its moment even when start-up was quick;
    // the window comes alive under it meanwhile.
    while (CSplashWnd::IsUp() && m_startTime.elapsed() < m_nSplashMinMs) {
        QEventLoop wait;
        QTimer::singleShot(10, &wait, &QEventLoop::quit);
        wait.exec();
    }
    CSplashWnd::CloseSplash();

    const bool bNormal = !m_cmdInfo.m_bRunEmbedded && !m_cmdInfo.m_bRunAutomated;
    const bool bFile = !m_cmdInfo.m_strFileName.isEmpty();
    if (bNormal) {
        // The start dialog and the tip, unless a file was named. A
        // launcher's action is the choice the start dialog would offer.
        if (!bFile) {
            const unsigned nAction = DesktopActionCommand(m_cmdInfo.m_strDesktopAction);
            if (nAction != 0) {
                if (m_pMainWnd) m_pMainWnd->ExecuteCommand(nAction);
            } else {
                CAutoHideBlock block;
                m_bStartDialogShown = true;
                if (m_fnStartDialog) m_fnStartDialog();
                else DefaultStartDialog();
            }
            m_bStartupDone = true;
            if (m_cmdInfo.m_bShowSplash && m_fnShowTip) {
                CAutoHideBlock block;
                m_bTipShownAtStartup = true;
                m_fnShowTip(true);
            }
        } else {
            m_bStartupDone = true;
        }
    } else {
        // Started to serve automation: no start dialog; the tip only
        // when the splash was asked for, which such a start never does.
        if (!bFile && m_cmdInfo.m_bShowSplash && m_fnShowTip) {
            CAutoHideBlock block;
            m_bTipShownAtStartup = true;
            m_fnShowTip(true);
        }
        m_bStartupDone = true;
    }

    // A docked window hides on its first deactivation after start-up.
    m_pMainWnd->m_bRevealPending = AppOptions().m_bDockEnabled;
    g_bAutoHideAllowed = true;
    // What outside callers handed over while the program was starting.
    if (m_pAutomation) m_pAutomation->MainWindowReady();
    m_bTakesFiles = true;
    if (!m_heldFiles.isEmpty()) QTimer::singleShot(0, m_pMainWnd, [this] { OpenHeldFiles(); });
    return true;
}

bool CClipVaultApp::ProcessShellCommand() {
    switch (m_cmdInfo.m_nShellCommand) {
    case CCommandLineInfo::FileNothing:
    case CCommandLineInfo::FileNew:
        return true;
    case CCommandLineInfo::FileOpen: {
        CClipVaultDoc* pDoc = OpenDocumentFile(m_cmdInfo.m_strFileName);
        if (pDoc && startup_timing::Wanted() && m_pMainWnd && m_pMainWnd->ActiveChildFrame())
            startup_timing::ReportWhenShown(m_pMainWnd->ActiveChildFrame()->TreeView(), m_env.m_sinceMain);
        return pDoc != nullptr;
    }
    case CCommandLineInfo::FilePrint:
    case CCommandLineInfo::FilePrintTo:
        AfxMessageBox(uistr::kNoCommandLinePrint, host::MB_OK | host::MB_ICONINFORMATION);
        return false;
    case CCommandLineInfo::FileDDE:
    case CCommandLineInfo::AppUnregister:
        AfxMessageBox(uistr::kUnknownSwitch, host::MB_OK | host::MB_ICONINFORMATION,
                      {FromQ(m_cmdInfo.m_nShellCommand == CCommandLineInfo::FileDDE ? QStringLiteral("/dde")
                                                                                     : QStringLiteral("/unregister"))});
        return false;
    }
    return true;
}

int CClipVaultApp::ExitInstance() {
    // On a fresh account nothing may have made the configuration folder yet.
    AppOptions().SaveOptions(FromQ(m_strOptionsPath), true);
    return m_nExitCode;
}

CClipVaultDoc* CClipVaultApp::OpenDocumentFile(const QString& strPath) {
    if (!m_pDocTemplate) return nullptr;
    return m_pDocTemplate->OpenDocumentFile(strPath);
}

unsigned CClipVaultApp::DesktopActionCommand(const QString& strAction) {
    if (strAction == QLatin1String("new-notebook")) return cmd::kCmdNew;
    if (strAction == QLatin1String("open-notebook")) return cmd::kCmdOpen;
    return 0;
}

void CClipVaultApp::RunDesktopAction(const QString& strAction) {
    if (!m_pMainWnd) return;
    m_pMainWnd->ExecuteCommand(cmd::kCmdShowWindow);
    const unsigned nCommand = DesktopActionCommand(strAction);
    if (nCommand == 0) return;
    // The caller's bus call is answered first: the file dialog that follows
    // may stay up far longer than the caller waits.
    QTimer::singleShot(0, m_pMainWnd, [this, nCommand] {
        if (m_pMainWnd) m_pMainWnd->ExecuteCommand(nCommand);
    });
}

void CClipVaultApp::OpenFromOutside(const QStringList& paths) {
    m_heldFiles += paths;
    if (!m_bTakesFiles || !m_pMainWnd) return;
    // A password or an error box may wait for the user far longer than the
    // caller waits for its answer.
    QTimer::singleShot(0, m_pMainWnd, [this] { OpenHeldFiles(); });
}

void CClipVaultApp::OpenHeldFiles() {
    // Taken before the first box: another request may come in while it is up.
    const QStringList paths = std::exchange(m_heldFiles, QStringList());
    for (const QString& path : paths) OpenDocumentFile(path);
    if (m_pMainWnd) m_pMainWnd->ExecuteCommand(cmd::kCmdShowWindow);
}

CClipVaultDoc* CClipVaultApp::NewDocument() { return OpenDocumentFile(QString()); }

QStringList CClipVaultApp::ReadRecentFileList(QSettings& profile, int nMax) {
    QStringList files;
    profile.beginGroup(QStringLiteral("Recent File List"));
    for (int i = 1; i <= nMax; ++i) {
        const QString f = profile.value(QStringLiteral("File%1").arg(i)).toString();
        if (!f.isEmpty()) files << f;
    }
    profile.endGroup();
    return files;
}

QStringList CClipVaultApp::RecentFiles() const {
    return ReadRecentFileList(const_cast<CClipVaultApp*>(this)->Profile(), kRecentFileCount);
}

void CClipVaultApp::WriteRecentFileList(const QStringList& files) {
    QSettings& profile = Profile();
    profile.beginGroup(QStringLiteral("Recent File List"));
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString key = QStringLiteral("File%1").arg(i);
        if (i <= files.size()) profile.setValue(key, files[i - 1]);
        else profile.remove(key);
    }
    profile.endGroup();
    profile.sync();
}

void CClipVaultApp::AddToRecentFileList(const QString& strPath) {
    if (strPath.isEmpty()) return;
    const QString full = QFileInfo(strPath).absoluteFilePath();
    QStringList files = RecentFiles();
    files.removeAll(full);
    files.prepend(full);
    while (files.size() > kRecentFileCount) files.removeLast();
    WriteRecentFileList(files);
}

void CClipVaultApp::RemoveFromRecentFileList(const QString& strPath) {
    QStringList files = RecentFiles();
    files.removeAll(strPath);
    WriteRecentFileList(files);
}

void CClipVaultApp::ShowHelp(int nContext) {
    if (!m_pHelp) m_pHelp = new CHelpWindow(m_strHelpFolder, m_lang.String(233));
    m_pHelp->ShowTopic(nContext);
}

void CClipVaultApp::DefaultStartDialog() {
    CStartDlg dlg(*this, m_pMainWnd);
    dlg.exec();
}

void CClipVaultApp::OnFileOpen() {
    QString path;
    {
        CAutoHideBlock block;
        path = QFileDialog::getOpenFileName(m_pMainWnd, QString(), QString(),
                                            m_pDocTemplate ? m_pDocTemplate->FileDialogFilter() : QString());
    }
    if (!path.isEmpty()) OpenDocumentFile(path);
}

void CClipVaultApp::OnAppAbout() {
    CAboutDlg dlg(*this, m_pMainWnd);
    dlg.DoModal();
}

void CClipVaultApp::OnFilePrintSetup() {
    CAutoHideBlock block;
    // Kept for the next page setup, and gone with the application object:
    // a printer outliving QApplication crashes at exit.
    if (!m_pPrinter) m_pPrinter = std::make_unique<QPrinter>();
    QPageSetupDialog dlg(m_pPrinter.get(), m_pMainWnd);
    dlg.exec();
}

void CClipVaultApp::MakeShortcut(bool bStartup) {
    const QString folder = bStartup ? DesktopEntry::AutostartFolder() : DesktopEntry::DesktopFolder();
    const QString name = m_lang.StringPart(233, 0).isEmpty() ? QStringLiteral("Clipvault") : m_lang.StringPart(233, 0);
    // The entry names an icon file; the module's icon is written where the
    // desktop looks for the user's own icons.
    QString iconPath;
    const QString iconFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/icons/hicolor/64x64/apps");
    if (QDir().mkpath(iconFolder)) {
        iconPath = iconFolder + QStringLiteral("/clipvault.png");
        if (!m_lang.Icon(233).pixmap(64, 64).save(iconPath, "PNG")) iconPath.clear();
    }
    const bool ok = DesktopEntry::Make(folder, name, QApplication::applicationFilePath(), m_strProgramFolder, iconPath);
    AfxMessageBox(bStartup ? (ok ? ids::IDS_STARTUP_LINK_MADE : ids::IDS_STARTUP_LINK_FAILED)
                           : (ok ? ids::IDS_DESKTOP_LINK_MADE : ids::IDS_DESKTOP_LINK_FAILED),
                  host::MB_OK | host::MB_ICONINFORMATION);
}

void CClipVaultApp::RegisterCommands() {
    OnCommand(cmd::kCmdNew, [this] { NewDocument(); });
    OnCommand(cmd::kCmdOpen, [this] { OnFileOpen(); });
    OnCommand(cmd::kCmdPrintSetup, [this] { OnFilePrintSetup(); });
    OnCommand(cmd::kCmdAbout, [this] { OnAppAbout(); });
    OnCommand(cmd::kCmdHelp, [this] { ShowHelp(0); });
    OnCommand(cmd::kCmdExit, [this] {
        if (m_pMainWnd) m_pMainWnd->close();
    });
    OnCommand(cmd::kCmdStartupShortcut, [this] { MakeShortcut(true); });
    OnCommand(cmd::kCmdDesktopShortcut, [this] { MakeShortcut(false); });
    OnCommand(cmd::kCmdTipOfTheDay, [this] {
        if (!m_fnShowTip) return;
        CAutoHideBlock block;
        m_fnShowTip(false);
    });
    OnUpdate(cmd::kCmdTipOfTheDay, [this](CCmdUI* pUI) { pUI->Enable(static_cast<bool>(m_fnShowTip)); });
    // The recent notebooks stand where the File menu's first one does,
    // listed afresh each time it opens.
    OnUpdate(cmd::kCmdRecentFile, [this](CCmdUI* pUI) {
        const QString entry = pUI->EntryText();
        pUI->SetItems([this, entry](QMenu* pMenu) { FillRecentFiles(pMenu, entry); });
    });
    OnCommandRange(cmd::kCmdRecentFile, cmd::kCmdRecentFile + kRecentFileCount - 1, [this](unsigned nID) {
        const QStringList files = RecentFiles();
        const int n = static_cast<int>(nID - cmd::kCmdRecentFile);
        if (n >= files.size()) return;
        // A notebook that is gone leaves the list, as it can never open again.
        if (!OpenDocumentFile(files[n]) && !QFileInfo::exists(files[n])) RemoveFromRecentFileList(files[n]);
    });
}

void CClipVaultApp::FillRecentFiles(QMenu* pMenu, const QString& strEmpty) {
    const QStringList files = RecentFiles();
    // With no recent notebooks the module's entry stands there greyed, so
    // the menu does not look as if something were missing.
    if (files.isEmpty()) {
        QAction* a = pMenu->addAction(strEmpty);
        a->setEnabled(false);
        a->setProperty("recentFile", true);
        return;
    }
    for (int i = 0; i < files.size(); ++i) {
        QString shown = files[i];
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* a = pMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
        a->setData(cmd::kCmdRecentFile + static_cast<unsigned>(i));
        a->setProperty("recentFile", true);
    }
}

bool CClipVaultApp::CloseAllDocuments() { return !m_pDocTemplate || m_pDocTemplate->CloseAllDocuments(); }

void CClipVaultApp::DocumentClosed(CClipVaultDoc* pDoc) {
    if (m_pDocTemplate) m_pDocTemplate->DocumentClosed(pDoc);
}

QString CClipVaultApp::FileDialogFilter() const { return m_pDocTemplate ? m_pDocTemplate->FileDialogFilter() : QString(); }

std::vector<CClipVaultDoc*> CClipVaultApp::OpenDocuments() const {
    std::vector<CClipVaultDoc*> out;
    if (m_pDocTemplate)
        for (const auto& doc : m_pDocTemplate->Documents()) out.push_back(doc.get());
    return out;
}

void CClipVaultApp::SaveAllModified() {
    if (m_pDocTemplate) m_pDocTemplate->SaveAllModified();
}
