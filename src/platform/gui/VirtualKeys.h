// Keys as the options file and the accelerator tables of old name them:
// Windows virtual-key codes, and the names a keyboard gives those keys.
#pragma once

#include <QKeyCombination>
#include <QString>
#include <cstdint>

class QKeyEvent;

namespace vk {

constexpr uint32_t kBack = 0x08, kTab = 0x09, kReturn = 0x0D, kShift = 0x10, kControl = 0x11, kMenu = 0x12,
                   kPause = 0x13, kCapital = 0x14, kEscape = 0x1B, kSpace = 0x20, kPrior = 0x21, kNext = 0x22,
                   kEnd = 0x23, kHome = 0x24, kLeft = 0x25, kUp = 0x26, kRight = 0x27, kDown = 0x28,
                   kSnapshot = 0x2C, kInsert = 0x2D, kDelete = 0x2E, kNumpad0 = 0x60, kMultiply = 0x6A,
                   kAdd = 0x6B, kSubtract = 0x6D, kDecimal = 0x6E, kDivide = 0x6F, kF1 = 0x70, kF24 = 0x87,
                   kNumLock = 0x90, kScroll = 0x91;

// The code of a Qt key; keypad keys (Qt::KeypadModifier) have codes of
// their own. 0 when the key has none.
uint32_t FromQtKey(int nKey, Qt::KeyboardModifiers modifiers);
// The code of a pressed key. A digit typed with Shift (which Qt reports as
// the symbol it gives, "(" for Shift+9 on most keyboards) is the digit key.
uint32_t FromKeyEvent(const QKeyEvent& e);

// The keyboard's name of a key, as the accelerator texts of old showed it:
// "A", "9", "F11", "Enter", and for the keys the keypad shares with the
// navigation block the keypad's name ("Num 7" for Home). Empty when the
// key has no name.
QString KeyboardName(uint32_t nVirtualKey);

}  // namespace vk
