// Edge docking of the main window: the window registers with the
// application-bar service, reserves or hides at a screen edge and slides.
#include "frame/MainFrame.h"

void CMainFrame::SetAutoHideDocking(bool) {
    // Docking comes with the application-bar service; until then the
    // window always floats.
}

void CMainFrame::ShowDockedWindow(bool bShow) {
    if (!bShow) return;
    if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}
