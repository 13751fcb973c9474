#include "platform/DownloadSettings.h"

namespace {
DownloadSettingsSource& Source() {
    static DownloadSettingsSource source;
    return source;
}
}  // namespace

void SetDownloadSettingsSource(DownloadSettingsSource source) { Source() = std::move(source); }

CDownloadSettings CurrentDownloadSettings() { return Source() ? Source()() : CDownloadSettings(); }
