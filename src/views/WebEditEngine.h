// The note editor's engine on the web engine: the page is edited in design
// mode by a script of our own that runs apart from the page's scripts (those
// never run) and talks to this object over a web channel.
#pragma once

#include "views/EditEngine.h"

#include <QFont>
#include <QObject>
#include <QPointer>
#include <QVariantMap>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class CEditFindBar;
class CEditHostBridge;
class CEditPage;
class QPrinter;
class QWebChannel;
class QWebEngineView;

class CWebEditEngine : public QObject, public IEditEngine {
    Q_OBJECT
public:
    explicit CWebEditEngine(QWidget* pParent = nullptr);
    ~CWebEditEngine() override;

    QWidget* Widget() override;
    int32_t LoadBlank() override;
    int32_t LoadUrl(const QUrl& url) override;
    int32_t LoadFile(const QString& strPath) override;
    int32_t LoadMemory(const QUrl& url, const std::vector<uint8_t>& bytes, const QString& strSaveFile) override;
    bool IsChanged() override;
    QString CurrentFile() const override { return m_strFile; }
    int32_t Save(const QString& strPath) override;
    unsigned QueryStatus(int nCmd) override;
    int32_t Exec(int nCmd, int nExecOpt, const QVariant& arg = QVariant(), QVariant* pResult = nullptr) override;
    void SetBackgroundColor(const QString& strColor) override;
    CEditSelection Selection() override;
    void PutSelectionText(const QString& strText) override;
    void Close() override;
    void ShowPlace(const QString& strFragment) override;

    QWebEngineView* View() const { return m_pView; }
    // Commands are on: the page is loaded and its script answers.
    bool IsReady() const { return m_bChannelUp; }
    // Runs a script in the editor's own world and waits for its value (for
    // tests and the save); invalid after `nTimeoutMs`.
    QVariant Evaluate(const QString& strScript, int nTimeoutMs = 10000);
    // Waits, bounded, until every command sent so far has run and the page
    // has reported its state after them.
    bool WaitIdle(int nTimeoutMs = 10000);
    // The block-format names (command 39) and the tag each one gives.
    static QStringList BlockFormatNames();

    // The engine's own dialogs; tests replace them. False cancels.
    static std::function<bool(QFont&, QWidget*)> s_fnChooseFont;
    static std::function<bool(QString&, QWidget*)> s_fnChooseImage;
    static std::function<bool(QPrinter&, QWidget*)> s_fnAskPrinter;

signals:
    // A print job ended.
    void PrintDone(bool bOk);

private:
    friend class CEditHostBridge;
    friend class CEditPage;

    int32_t StartLoad(const QUrl& url, const QString& strFile);
    // A blank page in place of one that could not be loaded; returns `hr`.
    int32_t LoadFailed(int32_t hr);
    void OnLoadFinished(bool bOk);
    void OnChannelReady();
    void OnState(const QVariantMap& state);
    void Send(const QString& strScript, std::function<void(const QVariant&)> fnDone = nullptr);
    void SendAction(int nAction);
    void Pump();
    bool WaitFor(const std::function<bool()>& fnDone, int nTimeoutMs);
    int32_t InsertImage(int nExecOpt, const QVariant& arg);
    int32_t ChooseFont();
    int32_t Print(int nExecOpt);
    void ShowFindBar();
    bool AllowsRequest(const QUrl& url) const;

    struct CQueued {
        QString m_strScript;  // empty: a page action
        int m_nAction = -1;
        std::function<void(const QVariant&)> m_fnDone;
    };

    // The host may destroy the widget before the engine.
    QPointer<QWidget> m_pWidget;
    QPointer<QWebEngineView> m_pView;
    CEditPage* m_pPage = nullptr;
    QWebChannel* m_pChannel = nullptr;
    CEditHostBridge* m_pBridge = nullptr;
    CEditFindBar* m_pFindBar = nullptr;
    std::unique_ptr<QPrinter> m_pPrinter;

    QString m_strFile;     // the file the page came from
    QString m_strMemoryToken;  // the stored-page token of a page loaded from memory
    QString m_strFolder;   // the folder its page may read from
    QUrl m_requestedUrl;   // the load the engine asked for
    std::vector<uint8_t> m_loaded;  // the file's bytes as loaded
    bool m_bHaveLoaded = false;
    bool m_bLoading = false;
    bool m_bChannelUp = false;
    // Where the page loading opens, once its script answers.
    QString m_strPlace;
    bool m_bReadySent = false;
    double m_dStateSeq = -1;
    unsigned m_nLoadSerial = 0;
    QVariantMap m_state;
    std::deque<CQueued> m_queue;
    std::map<int, QString> m_settings;  // command number: the script that set it last
    bool m_bBusy = false;
};
