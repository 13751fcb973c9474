#include "platform/gui/VirtualKeys.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace vk {

namespace {

struct CKeyPair {
    int m_nQtKey;
    uint32_t m_nVirtualKey;
};

constexpr CKeyPair kKeys[] = {
    {Qt::Key_Backspace, kBack},   {Qt::Key_Tab, kTab},           {Qt::Key_Backtab, kTab},
    {Qt::Key_Return, kReturn},    {Qt::Key_Enter, kReturn},      {Qt::Key_Shift, kShift},
    {Qt::Key_Control, kControl},  {Qt::Key_Alt, kMenu},          {Qt::Key_Pause, kPause},
    {Qt::Key_CapsLock, kCapital}, {Qt::Key_Escape, kEscape},     {Qt::Key_Space, kSpace},
    {Qt::Key_PageUp, kPrior},     {Qt::Key_PageDown, kNext},     {Qt::Key_End, kEnd},
    {Qt::Key_Home, kHome},        {Qt::Key_Left, kLeft},         {Qt::Key_Up, kUp},
    {Qt::Key_Right, kRight},      {Qt::Key_Down, kDown},         {Qt::Key_Print, kSnapshot},
    {Qt::Key_Insert, kInsert},    {Qt::Key_Delete, kDelete},     {Qt::Key_NumLock, kNumLock},
    {Qt::Key_ScrollLock, kScroll}, {Qt::Key_Semicolon, 0xBA},    {Qt::Key_Equal, 0xBB},
    {Qt::Key_Comma, 0xBC},        {Qt::Key_Minus, 0xBD},         {Qt::Key_Period, 0xBE},
    {Qt::Key_Slash, 0xBF},        {Qt::Key_QuoteLeft, 0xC0},     {Qt::Key_BracketLeft, 0xDB},
    {Qt::Key_Backslash, 0xDC},    {Qt::Key_BracketRight, 0xDD},  {Qt::Key_Apostrophe, 0xDE},
};

// What Shift makes of the digit row on the keyboards most people have.
constexpr CKeyPair kShiftedDigits[] = {
    {Qt::Key_ParenRight, '0'}, {Qt::Key_Exclam, '1'},     {Qt::Key_At, '2'},
    {Qt::Key_NumberSign, '3'}, {Qt::Key_Dollar, '4'},     {Qt::Key_Percent, '5'},
    {Qt::Key_AsciiCircum, '6'}, {Qt::Key_Ampersand, '7'}, {Qt::Key_Asterisk, '8'},
    {Qt::Key_ParenLeft, '9'},
};

// X key codes of the digit row ("1" to "9", then "0") on evdev keyboards,
// whatever the layout puts on them.
constexpr quint32 kFirstDigitRowCode = 10;
constexpr quint32 kLastDigitRowCode = 19;

}  // namespace

uint32_t FromQtKey(int nKey, Qt::KeyboardModifiers modifiers) {
    if (modifiers & Qt::KeypadModifier) {
        if (nKey >= Qt::Key_0 && nKey <= Qt::Key_9) return kNumpad0 + static_cast<uint32_t>(nKey - Qt::Key_0);
        switch (nKey) {
        case Qt::Key_Asterisk: return kMultiply;
        case Qt::Key_Plus: return kAdd;
        case Qt::Key_Minus: return kSubtract;
        case Qt::Key_Period:
        case Qt::Key_Comma: return kDecimal;
        case Qt::Key_Slash: return kDivide;
        default: break;
        }
    }
    if (nKey >= Qt::Key_0 && nKey <= Qt::Key_9) return '0' + static_cast<uint32_t>(nKey - Qt::Key_0);
    if (nKey >= Qt::Key_A && nKey <= Qt::Key_Z) return 'A' + static_cast<uint32_t>(nKey - Qt::Key_A);
    if (nKey >= Qt::Key_F1 && nKey <= Qt::Key_F24) return kF1 + static_cast<uint32_t>(nKey - Qt::Key_F1);
    for (const CKeyPair& k : kKeys)
        if (k.m_nQtKey == nKey) return k.m_nVirtualKey;
    return 0;
}

uint32_t FromKeyEvent(const QKeyEvent& e) {
    const Qt::KeyboardModifiers mods = e.modifiers();
    if (const uint32_t nVK = FromQtKey(e.key(), mods)) return nVK;
    if (mods & Qt::ShiftModifier) {
        const quint32 code = e.nativeScanCode();
        if (QGuiApplication::platformName() == QLatin1String("xcb") && code >= kFirstDigitRowCode &&
            code <= kLastDigitRowCode)
            return '0' + (code - kFirstDigitRowCode + 1) % 10;
        for (const CKeyPair& k : kShiftedDigits)
            if (k.m_nQtKey == e.key()) return k.m_nVirtualKey;
    }
    return 0;
}

QString KeyboardName(uint32_t nVK) {
    if ((nVK >= '0' && nVK <= '9') || (nVK >= 'A' && nVK <= 'Z')) return QString(QChar(static_cast<char16_t>(nVK)));
    if (nVK >= kF1 && nVK <= kF24) return QStringLiteral("F%1").arg(nVK - kF1 + 1);
    if (nVK >= kNumpad0 && nVK <= kNumpad0 + 9) return QStringLiteral("Num %1").arg(nVK - kNumpad0);
    switch (nVK) {
    case kBack: return QStringLiteral("Backspace");
    case kTab: return QStringLiteral("Tab");
    case kReturn: return QStringLiteral("Enter");
    case kShift: return QStringLiteral("Shift");
    case kControl: return QStringLiteral("Ctrl");
    case kMenu: return QStringLiteral("Alt");
    case kPause: return QStringLiteral("Pause");
    case kCapital: return QStringLiteral("Caps Lock");
    case kEscape: return QStringLiteral("Esc");
    case kSpace: return QStringLiteral("Space");
    // The navigation keys share their scan codes with the keypad, whose
    // names the keyboard gives for them.
    case kHome: return QStringLiteral("Num 7");
    case kNext: return QStringLiteral("Num 3");
    case kInsert: return QStringLiteral("Num 0");
    case kDelete: return QStringLiteral("Num Del");
    case kLeft: return QStringLiteral("Num 4");
    case kRight: return QStringLiteral("Num 6");
    case kDown: return QStringLiteral("Num 2");
    case kUp: return QStringLiteral("Num 8");
    // Two of them would come out as "Num 9" and "Num 1", which the key the
    // user presses is not called; they keep their own short names.
    case kPrior: return QStringLiteral("PgUp");
    case kEnd: return QStringLiteral("End");
    case kSnapshot: return QStringLiteral("Prnt Scrn");
    case kMultiply: return QStringLiteral("Num *");
    case kAdd: return QStringLiteral("Num +");
    case kSubtract: return QStringLiteral("Num -");
    case kDecimal: return QStringLiteral("Num Del");
    case kDivide: return QStringLiteral("Num /");
    case kNumLock: return QStringLiteral("Num Lock");
    case kScroll: return QStringLiteral("Scroll Lock");
    case 0xBA: return QStringLiteral(";");
    case 0xBB: return QStringLiteral("=");
    case 0xBC: return QStringLiteral(",");
    case 0xBD: return QStringLiteral("-");
    case 0xBE: return QStringLiteral(".");
    case 0xBF: return QStringLiteral("/");
    case 0xC0: return QStringLiteral("`");
    case 0xDB: return QStringLiteral("[");
    case 0xDC: return QStringLiteral("\\");
    case 0xDD: return QStringLiteral("]");
    case 0xDE: return QStringLiteral("'");
    default: return QString();
    }
}

}  // namespace vk
