// The keyboard's Caps Lock, Num Lock and Scroll Lock states, read from the
// X server's keyboard extension and followed as they change. Where there is
// no X11 the states are unknown and reported as off.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>

class CLockKeys : public QObject, private QAbstractNativeEventFilter {
    Q_OBJECT
public:
    enum : unsigned { kCapsLock = 0x1, kNumLock = 0x2, kScrollLock = 0x4 };

    explicit CLockKeys(QObject* pParent = nullptr);
    ~CLockKeys() override;

    // Whether the states are read from the keyboard at all.
    bool IsAvailable() const { return m_bAvailable; }
    // The locks that are on (kCapsLock | kNumLock | kScrollLock).
    unsigned State() const { return m_nState; }
    // Asks the server again.
    void Refresh();

signals:
    void Changed(unsigned nState);

private:
    bool nativeEventFilter(const QByteArray& eventType, void* pMessage, qintptr* pResult) override;
    void ReadIndicatorNames();
    void SetIndicators(uint32_t nIndicators);

    bool m_bAvailable = false;
    uint8_t m_nFirstEvent = 0;
    // The indicator bit of each lock; 0 for one this keyboard lacks.
    uint32_t m_masks[3] = {0, 0, 0};
    unsigned m_nState = 0;
};
