#include "platform/gui/AppGlobals.h"

bool g_bAutoHideAllowed = false;
bool g_bDirectImport = false;
CNoteCata* g_pCurrentTarget = nullptr;
