// The application object: one instance, made before start-up and kept
// until the program ends. It keeps one instance running, loads the
// language module and the options, creates the main window, carries out the
// command line and offers the start dialog.
#pragma once

#include "frame/FrameHost.h"
#include "platform/gui/CmdTarget.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/QtTranslations.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class CAutomationServer;
class CClipVaultDoc;
class CDocTemplate;
class CGuiHost;
class CHelpWindow;
class CInstanceGuard;
class CMainFrame;
class IPassphraseQuestions;
class QPrinter;
class QMenu;
class QSettings;

// What the command line asked for, in the framework's terms.
struct CCommandLineInfo {
    enum Shell { FileNew, FileOpen, FilePrint, FilePrintTo, FileDDE, AppUnregister, FileNothing };
    Shell m_nShellCommand = FileNew;
    QString m_strFileName;
    bool m_bRunEmbedded = false;
    bool m_bRunAutomated = false;
    bool m_bShowSplash = true;
    QString m_strUnknown;  // an option nobody knows, for the message
    // --new-notebook / --open-notebook, the launchers' actions: the name
    // of the action, carried to a running instance when there is one.
    QString m_strDesktopAction;
    // --codepage NAME: the code page of names and texts in notebooks
    // written on systems that do not use UTF-8 (CP1252, GBK ...).
    QString m_strCodePage;

    static CCommandLineInfo Parse(const QStringList& args);
};

// Where the program finds its files and keeps its settings; the tests point
// these at folders of their own.
struct CAppEnvironment {
    QString m_strProgramFolder;  // empty: the folder of the executable
    QString m_strOptionsPath;    // empty: the options' default place
    QLocale m_locale;            // the system locale the language follows
    bool m_bSingleInstance = true;
    // What the user is asked about encrypted notebooks; null: the dialogs.
    std::shared_ptr<IPassphraseQuestions> m_pPassphraseQuestions;
    QElapsedTimer m_sinceMain;   // started by main(), for the start-up stopwatch
};

class CColorMenu;
class CClipVaultApp : public QObject, public CCmdTarget, public IFrameHost {
    Q_OBJECT
public:
    explicit CClipVaultApp(const CAppEnvironment& env = CAppEnvironment());
    ~CClipVaultApp() override;

    // Start-up; false ends the program (m_nExitCode says with what).
    bool InitInstance(const QStringList& args);
    // Saves the options; the program's exit code.
    int ExitInstance();

    // The one application object while it lives.
    static CClipVaultApp* Instance() { return s_pApp; }

    // ---- what other parts use
    const CLanguageModule& Lang() const { return m_lang; }
    QString LoadString(unsigned nID) const { return m_lang.String(nID); }
    CMainFrame* MainFrame() const { return m_pMainWnd; }
    // What outside callers asked of the program (null without a bus name).
    CAutomationServer* Automation() const { return m_pAutomation.get(); }
    CDocTemplate* DocTemplate() const { return m_pDocTemplate.get(); }
    QSettings& Profile();
    const QString& ProgramFolder() const { return m_strProgramFolder; }
    // The private temporary root, ending with "/"; empty when none could be
    // made (start-up then ends).
    const QString& TempRoot() const override { return m_strTempRoot; }
    const QString& HelpFolder() const { return m_strHelpFolder; }
    // The tips of the day beside the program: "tips-chn.txt" while the
    // Chinese module is in use and that file exists, else "tips.txt".
    QString TipsFilePath() const;

    // Opens a notebook (activating it when it is already open); null on
    // failure, after the message.
    CClipVaultDoc* OpenDocumentFile(const QString& strPath) override;
    CClipVaultDoc* NewDocument();
    // The launchers' actions ("new-notebook", "open-notebook"): the command
    // each stands for (0 for none), and carrying one out from another start.
    static unsigned DesktopActionCommand(const QString& strAction);
    void RunDesktopAction(const QString& strAction);
    // Notebooks another start or the desktop asked to open: each opened (or
    // its error shown) once start-up is through and the caller has had its
    // answer; then the window comes forward.
    void OpenFromOutside(const QStringList& paths);
    void AddToRecentFileList(const QString& strPath) override;
    void RemoveFromRecentFileList(const QString& strPath);
    QStringList RecentFiles() const;
    // The non-empty entries "File1".."File<nMax>" of the profile's list.
    static QStringList ReadRecentFileList(QSettings& profile, int nMax);

    // ---- what the frames ask of the application
    CCmdTarget& AppTarget() override { return *this; }
    bool CloseAllDocuments() override;
    void DocumentClosed(CClipVaultDoc* pDoc) override;
    QString FileDialogFilter() const override;
    std::vector<CClipVaultDoc*> OpenDocuments() const override;
    void SaveAllModified() override;

    // The help window at the default page (context 0) or at a context.
    void ShowHelp(int nContext = 0) override;
    IPassphraseQuestions& PassphraseQuestions() override { return *m_pPassphraseQuestions; }

    // Start-up's record of itself.
    bool m_bStartupDone = false;
    int m_nLanguageFlag = 1;  // 0 when the Chinese module was chosen for Chinese (China)
    int m_nExitCode = 0;
    bool m_bStartDialogShown = false;
    bool m_bTipShownAtStartup = false;
    CCommandLineInfo m_cmdInfo;
    // Running since the language module was loaded: the start-up picture
    // stays at least kSplashMinMs from then.
    QElapsedTimer m_startTime;
    static constexpr int kSplashMinMs = 1500;
    int m_nSplashMinMs = kSplashMinMs;  // tests that do not watch the picture shorten it

    // The tip of the day: by default the tip dialog, shown at start-up only
    // when it is wanted there and has tips to show; tests replace it.
    std::function<void(bool bAtStartup)> m_fnShowTip;
    // Start-up shows the start dialog through this; tests replace it.
    std::function<void()> m_fnStartDialog;

    static constexpr int kRecentFileCount = 6;

private:
    bool LoadLanguageModule();
    void RegisterCommands();
    void DefaultStartDialog();
    bool ProcessShellCommand();
    void OnFileOpen();
    void OnAppAbout();
    void OnFilePrintSetup();
    void MakeShortcut(bool bStartup);
    void WriteRecentFileList(const QStringList& files);
    // The File menu's recent notebooks; `strEmpty` greyed when there are none.
    void FillRecentFiles(QMenu* pMenu, const QString& strEmpty);
    void OpenHeldFiles();

    static CClipVaultApp* s_pApp;

    CAppEnvironment m_env;
    QString m_strProgramFolder;
    QString m_strOptionsPath;
    QString m_strTempRoot;    // empty when none could be made
    int m_nTempRootErrno = 0;  // why not
    QString m_strHelpFolder;
    CLanguageModule m_lang;
    CQtTranslations m_qtTexts;  // Qt's own buttons and dialogs in the module's language
    std::unique_ptr<CGuiHost> m_pHost;
    std::shared_ptr<IPassphraseQuestions> m_pPassphraseQuestions;
    // Before the guard: the guard's adaptor calls it until the guard goes.
    std::unique_ptr<CAutomationServer> m_pAutomation;
    std::unique_ptr<CInstanceGuard> m_pInstance;
    std::unique_ptr<QSettings> m_pProfile;
    std::unique_ptr<CDocTemplate> m_pDocTemplate;
    CMainFrame* m_pMainWnd = nullptr;
    CHelpWindow* m_pHelp = nullptr;
    // The page-background colours every editor shares.
    std::unique_ptr<CColorMenu> m_pBackColorMenu;
    std::unique_ptr<QPrinter> m_pPrinter;  // made by the first print setup
    // What OpenFromOutside was handed and has not opened yet; held while
    // start-up runs (m_bTakesFiles false), when a file would open under the
    // start dialog or before the window is there.
    QStringList m_heldFiles;
    bool m_bTakesFiles = false;
};
