#include "capture/CaptureBudget.h"

#include "capture/CaptureContext.h"
#include "capture/CaptureShared.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"

bool CCaptureBudget::Take(uint64_t n) {
    if (m_bSpent || n > m_nLimit - (m_nHeld < m_nLimit ? m_nHeld : m_nLimit)) {
        m_bSpent = true;
        return false;
    }
    m_nHeld += n;
    return true;
}

namespace fetchutil {

namespace {
std::string Megabytes(const CCaptureBudget& budget) { return std::to_string(budget.Limit() >> 20); }
}  // namespace

std::string BudgetText(const CCaptureBudget& budget) {
    std::string text;
    if (budget.Spent()) text = FormatText(host::LoadString(ids::IDS_CAPTURE_OVER_BUDGET), {Megabytes(budget)});
    if (budget.Inflated()) {
        if (!text.empty()) text += ' ';
        text += FormatText(host::LoadString(ids::IDS_FILES_INFLATED), {std::to_string(kInflateRatio)});
    }
    return text;
}

std::string BudgetFailureText(int code, const CCaptureBudget& budget) {
    if (code == kFetchInflated)
        return FormatText(host::LoadString(ids::IDS_FETCH_INFLATED), {std::to_string(kInflateRatio)});
    return FormatText(host::LoadString(ids::IDS_FETCH_OVER_BUDGET), {Megabytes(budget)});
}

}  // namespace fetchutil
