// The main window's global hot key and the status bar's lock-key panes.
#include "frame/MainFrame.h"

#include "app/AppOptions.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/GlobalHotKey.h"
#include "platform/gui/LockKeys.h"
#include "platform/gui/MessageBox.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <exception>

namespace {
// Platforms that show nothing and have no keyboard: the key could never be
// pressed, and nobody would read that it is missing.
bool IsHeadless() {
    const QString name = QGuiApplication::platformName();
    return name == QLatin1String("offscreen") || name == QLatin1String("minimal");
}
}  // namespace

bool CMainFrame::TryRegisterHotKey() {
    UnregisterHotKey();
    const CHotKeyOptions& opt = AppOptions().m_hotKey;
    if (!opt.m_bEnabled) return true;
    if (!m_pHotKey) m_pHotKey = new CGlobalHotKey(this);
    unsigned nMods = 0;
    if (opt.m_bCtrl) nMods |= CGlobalHotKey::kModControl;
    if (opt.m_bShift) nMods |= CGlobalHotKey::kModShift;
    if (opt.m_bAlt) nMods |= CGlobalHotKey::kModAlt;
    return m_pHotKey->Register(nMods, opt.m_nVirtualKey, [this] { OnHotKey(); }) == CGlobalHotKey::Result::Registered;
}

void CMainFrame::RegisterHotKey() {
    if (TryRegisterHotKey() || IsHeadless()) return;
    AfxMessageBox(ids::IDS_HOTKEY_NOT_REGISTERED, host::MB_OK | host::MB_ICONEXCLAMATION);
}

void CMainFrame::UnregisterHotKey() {
    if (m_pHotKey) m_pHotKey->Unregister();
}

bool CMainFrame::IsHotKeyRegistered() const { return m_pHotKey && m_pHotKey->IsRegistered(); }

bool CMainFrame::LiesOffScreen(const QRect& rcWindow, const QRect& rcScreen) {
    // Right and bottom as the first pixel past the window, as the screen's
    // width and height are.
    return rcWindow.left() < rcScreen.left() || rcWindow.top() < rcScreen.top() ||
           rcWindow.left() + rcWindow.width() > rcScreen.left() + rcScreen.width() ||
           rcWindow.top() + rcWindow.height() > rcScreen.top() + rcScreen.height();
}

void CMainFrame::OnHotKey() {
    try {
        QScreen* pScreen = screen() ? screen() : QGuiApplication::primaryScreen();
        const bool bShow = pScreen && LiesOffScreen(frameGeometry(), pScreen->geometry());
        if (m_fnHotKeyChose) m_fnHotKeyChose(bShow);
        ShowDockedWindow(bShow);
        // The key is how the user calls the window up: a minimized one
        // comes back too, or it would come to the front unseen.
        BringToForeground();
    } catch (const std::exception&) {
        AfxMessageBox(ids::IDS_OPERATION_FAILED);
    }
}

void CMainFrame::WatchLockKeys() {
    for (QLabel* pPane : m_indicators)
        if (pPane) pPane->setAccessibleName(pPane->text());
    if (!m_pLockKeys) {
        m_pLockKeys = new CLockKeys(this);
        connect(m_pLockKeys, &CLockKeys::Changed, this, &CMainFrame::ShowLockKeys);
    }
    ShowLockKeys(m_pLockKeys->State());
}

void CMainFrame::ShowLockKeys(unsigned nState) {
    // As the panes stand: Caps Lock, Num Lock, Scroll Lock. A pane whose
    // lock is off is greyed, as it is where the state cannot be read.
    const unsigned locks[3] = {CLockKeys::kCapsLock, CLockKeys::kNumLock, CLockKeys::kScrollLock};
    for (int i = 0; i < 3; ++i)
        if (m_indicators[i]) m_indicators[i]->setEnabled((nState & locks[i]) != 0);
}
