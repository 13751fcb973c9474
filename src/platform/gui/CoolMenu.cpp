#include "platform/gui/CoolMenu.h"

#include "platform/gui/LanguageModule.h"
#include "platform/gui/VirtualKeys.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QStyleOption>
#include <QWidget>

// ---- the hook chain

namespace {

// The size of the platform's check mark in menus, which converted entries
// do without.
constexpr int kCheckMarkSize = 13;
constexpr int kTextGap = 3;
const char kSwatchProperty[] = "clipvaultSwatch";
const char kKeysProperty[] = "clipvaultKeys";

QHash<const QWidget*, CSubclassWnd*>& HookMap() {
    static QHash<const QWidget*, CSubclassWnd*> map;
    return map;
}

}  // namespace

// One filter per hooked window hands its events to the head of the chain;
// when the window goes, every hook of it lets go. The filter is not the
// window's child: children go before the window says it is going.
class CHookProc : public QObject {
public:
    explicit CHookProc(QWidget* pWnd) : m_pWnd(pWnd) {
        Procs().insert(pWnd, this);
        pWnd->installEventFilter(this);
        connect(pWnd, &QObject::destroyed, this, [this, wnd = pWnd] {
            m_bGoing = true;
            while (CSubclassWnd* head = HookMap().value(wnd)) head->HookWindow(nullptr);
            Procs().remove(wnd);
            deleteLater();
        });
    }
    ~CHookProc() override {
        if (Procs().value(m_pWnd) == this) Procs().remove(m_pWnd);
    }

    bool eventFilter(QObject* pWatched, QEvent* e) override {
        if (pWatched != m_pWnd || m_bGoing) return false;
        CSubclassWnd* head = HookMap().value(m_pWnd);
        return head && head->WindowProc(e);
    }

    static CHookProc* Of(const QWidget* pWnd) { return Procs().value(pWnd); }
    bool m_bGoing = false;

private:
    static QHash<const QWidget*, CHookProc*>& Procs() {
        static QHash<const QWidget*, CHookProc*> procs;
        return procs;
    }
    QWidget* m_pWnd;
};

CSubclassWnd::~CSubclassWnd() {
    if (m_pWnd) HookWindow(nullptr);
}

CSubclassWnd* CSubclassWnd::HeadOf(const QWidget* pWnd) { return HookMap().value(pWnd); }

void CSubclassWnd::HookWindow(QWidget* pWnd) {
    auto& map = HookMap();
    if (pWnd) {
        if (m_pWnd) HookWindow(nullptr);
        CSubclassWnd* head = map.value(pWnd);
        m_pNext = head;
        map.insert(pWnd, this);
        if (!head) new CHookProc(pWnd);
    } else if (m_pWnd) {
        CSubclassWnd* head = map.value(m_pWnd);
        if (head == this) {
            if (m_pNext) {
                map.insert(m_pWnd, m_pNext);
            } else {
                map.remove(m_pWnd);
                // The window's events go straight to it again.
                if (CHookProc* proc = CHookProc::Of(m_pWnd); proc && !proc->m_bGoing) {
                    m_pWnd->removeEventFilter(proc);
                    delete proc;
                }
            }
        } else {
            for (CSubclassWnd* p = head; p; p = p->m_pNext)
                if (p->m_pNext == this) {
                    p->m_pNext = m_pNext;
                    break;
                }
        }
        m_pNext = nullptr;
    }
    m_pWnd = pWnd;
}

bool CSubclassWnd::WindowProc(QEvent* e) { return Default(e); }

bool CSubclassWnd::Default(QEvent* e) { return m_pNext ? m_pNext->WindowProc(e) : false; }

// ---- key texts

QString KeypadName(const QString& strName) {
    static const QHash<QString, QString> kTable = {
        {QStringLiteral("Num 7"), QStringLiteral("Home")},        {QStringLiteral("Num 3"), QStringLiteral("PgDn")},
        {QStringLiteral("Num 0"), QStringLiteral("Ins")},         {QStringLiteral("Num Del"), QStringLiteral("Del")},
        {QStringLiteral("Num 4"), QStringLiteral("Left Arrow")},  {QStringLiteral("Num 6"), QStringLiteral("Right Arrow")},
        {QStringLiteral("Num 2"), QStringLiteral("Down Arrow")},  {QStringLiteral("Num 8"), QStringLiteral("Up Arrow")},
    };
    return kTable.value(strName, strName);
}

QString AcceleratorText(const QKeyCombination& key) {
    const Qt::KeyboardModifiers mods = key.keyboardModifiers();
    QString text;
    if (mods & Qt::AltModifier) text += QStringLiteral("Alt+");
    if (mods & Qt::ControlModifier) text += QStringLiteral("Ctrl+");
    if (mods & Qt::ShiftModifier) text += QStringLiteral("Shift+");
    const int nKey = key.key();
    const QString name = vk::KeyboardName(vk::FromQtKey(nKey, mods));
    if (!name.isEmpty()) return text + KeypadName(name);
    // A key without a code of old is shown as the character it types.
    return text + QKeySequence(nKey).toString(QKeySequence::NativeText);
}

// ---- the manager

CCoolMenuManager::CCoolMenuManager(const CLanguageModule& lang) : m_lang(lang) {
    CCoolMenuStyle::Instance()->SetManager(this);
}

CCoolMenuManager::~CCoolMenuManager() {
    if (CCoolMenuStyle::Instance()->Manager() == this) CCoolMenuStyle::Instance()->SetManager(nullptr);
}

void CCoolMenuManager::Install(QWidget* pFrame) { HookWindow(pFrame); }

bool CCoolMenuManager::LoadToolbar(unsigned nToolbarID) {
    const CToolbarResource tb = m_lang.Toolbar(nToolbarID);
    if (!tb.IsValid() || tb.m_strip.isNull()) return false;
    const QSize size(tb.m_nWidth, tb.m_nHeight);
    if (m_images.empty() && m_toolbars.empty()) {
        m_szImage = size;
        m_szButton = size + QSize(4, 4);
    } else if (size != m_szImage) {
        return false;
    }
    const int nFirst = static_cast<int>(m_images.size());
    int nImage = 0;
    for (unsigned nID : tb.m_items) {
        if (!nID) continue;
        m_images.push_back(tb.Image(nImage));
        if (m_imageOf.value(nID, -1) < 0) m_imageOf.insert(nID, nFirst + nImage);
        ++nImage;
    }
    m_icons.clear();
    m_toolbars.push_back(nToolbarID);
    CCoolMenuStyle::Instance()->SetManager(this);
    return true;
}

void CCoolMenuManager::ReloadToolbars() {
    const std::vector<unsigned> ids = m_toolbars;
    m_toolbars.clear();
    m_images.clear();
    m_imageOf.clear();
    m_icons.clear();
    m_szImage = m_szButton = QSize();
    for (unsigned nID : ids) LoadToolbar(nID);
}

QIcon CCoolMenuManager::Icon(unsigned nID) const {
    const int n = ImageIndex(nID);
    if (n < 0 || n >= static_cast<int>(m_images.size()) || m_images[static_cast<size_t>(n)].isNull()) return QIcon();
    auto it = m_icons.find(nID);
    if (it != m_icons.end()) return *it;
    const QPixmap& image = m_images[static_cast<size_t>(n)];
    QIcon icon(image);
    if (!m_bUseDrawState) icon.addPixmap(DisabledImage(image), QIcon::Disabled);
    return *m_icons.insert(nID, icon);
}

QPixmap CCoolMenuManager::DisabledImage(const QPixmap& image) const {
    // The picture on white, as a shape: every pixel that is not the white
    // shows (in colour: as much as it is dark). The shape is drawn once in
    // the highlight colour one pixel down and right, once in the shadow
    // colour, which makes it look pressed into the menu.
    const QImage src = image.toImage().convertToFormat(QImage::Format_ARGB32);
    QImage shape(src.size(), QImage::Format_ARGB32);
    shape.fill(Qt::transparent);
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x) {
            const QRgb c = src.pixel(x, y);
            const int a = qAlpha(c);
            // Over white.
            const int r = (qRed(c) * a + 255 * (255 - a)) / 255;
            const int g = (qGreen(c) * a + 255 * (255 - a)) / 255;
            const int b = (qBlue(c) * a + 255 * (255 - a)) / 255;
            int alpha = 0;
            if (m_bDrawDisabledButtonsInColor) alpha = 255 - qGray(r, g, b);
            else alpha = (r == 255 && g == 255 && b == 255) ? 0 : 255;
            shape.setPixel(x, y, qRgba(0, 0, 0, alpha));
        }
    const QPalette pal = QApplication::palette();
    auto tinted = [&](const QColor& color) {
        QImage t = shape;
        QPainter p(&t);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(t.rect(), color);
        return t;
    };
    QPixmap out(image.size() + QSize(1, 1));
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.drawImage(QPoint(1, 1), tinted(pal.color(QPalette::Active, QPalette::Light)));
    p.drawImage(QPoint(0, 0), tinted(pal.color(QPalette::Active, QPalette::Dark)));
    p.end();
    return out.copy(QRect(QPoint(0, 0), image.size()));
}

void CCoolMenuManager::SetAccelerators(const std::vector<CAccelerator>& table) {
    m_bOwnTable = true;
    m_keysOf.clear();
    for (const CAccelerator& a : table)
        if (!a.m_key.isEmpty()) m_keysOf[a.m_nID].append(a.m_key[0]);
}

void CCoolMenuManager::RefreshAccelerators() {
    if (m_bOwnTable || !m_fnCurrentAccelerators) return;
    const unsigned nTable = m_fnCurrentAccelerators();
    if (nTable == m_nAccelTable) return;
    m_nAccelTable = nTable;
    m_keysOf.clear();
    for (const CAccelerator& a : m_lang.Accelerators(nTable))
        if (!a.m_key.isEmpty()) m_keysOf[a.m_nID].append(a.m_key[0]);
}

QString CCoolMenuManager::MenuText(unsigned nID, const QString& strText) {
    QString text = strText;
    const qsizetype nTab = text.indexOf(QLatin1Char('\t'));
    if (nTab > 0) text.truncate(nTab);
    const QString keys = KeysText(nID);
    return keys.isEmpty() ? text : text + QLatin1Char('\t') + keys;
}

QString CCoolMenuManager::KeysText(unsigned nID) {
    if (!m_bAutoAccelerators) return QString();
    RefreshAccelerators();
    const QList<QKeyCombination> keys = m_keysOf.value(nID);
    QString text;
    for (qsizetype i = keys.size() - 1; i >= 0; --i) {
        if (i != keys.size() - 1) text += QStringLiteral(", ");
        text += AcceleratorText(keys[i]);
    }
    return text;
}

void CCoolMenuManager::ConvertMenu(QMenu* pMenu, const std::function<unsigned(const QAction*)>& fnIdOf) {
    if (!pMenu) return;
    if (m_bShowButtons && pMenu->style() != CCoolMenuStyle::Instance()) pMenu->setStyle(CCoolMenuStyle::Instance());
    for (QAction* a : pMenu->actions()) {
        if (a->isSeparator() || a->menu() || CCoolMenuStyle::Swatch(a).isValid()) continue;
        const unsigned nID = fnIdOf(a);
        if (!nID) continue;
        if (m_bShowButtons) {
            const QIcon icon = Icon(nID);
            if (!icon.isNull()) a->setIcon(icon);
        }
        CCoolMenuStyle::SetKeys(a, KeysText(nID));
    }
}

bool CCoolMenuManager::WindowProc(QEvent* e) {
    switch (e->type()) {
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
    case QEvent::ApplicationPaletteChange:
        // Greyed pictures are drawn in the colours of the moment.
        ReloadToolbars();
        break;
    default:
        break;
    }
    return Default(e);
}

// ---- the look

CCoolMenuStyle* CCoolMenuStyle::Instance() {
    static QPointer<CCoolMenuStyle> s_style;
    if (!s_style) {
        s_style = new CCoolMenuStyle;
        if (QCoreApplication::instance()) s_style->setParent(QCoreApplication::instance());
    }
    return s_style;
}

CCoolMenuStyle::CCoolMenuStyle() = default;

void CCoolMenuStyle::SetSwatch(QAction* pAction, const QColor& color) { pAction->setProperty(kSwatchProperty, color); }

void CCoolMenuStyle::SetKeys(QAction* pAction, const QString& strKeys) { pAction->setProperty(kKeysProperty, strKeys); }

QString CCoolMenuStyle::Keys(const QAction* pAction) {
    return pAction ? pAction->property(kKeysProperty).toString() : QString();
}

QColor CCoolMenuStyle::Swatch(const QAction* pAction) {
    const QVariant v = pAction ? pAction->property(kSwatchProperty) : QVariant();
    return v.isValid() ? v.value<QColor>() : QColor();
}

QSize CCoolMenuStyle::ButtonSize() const {
    if (m_pManager && m_pManager->ButtonSize().isValid()) return m_pManager->ButtonSize();
    return QSize(20, 20);
}

int CCoolMenuStyle::MenuBarHeight(const QWidget* pWidget) const {
    const QFontMetrics fm = pWidget ? pWidget->fontMetrics() : QFontMetrics(QApplication::font("QMenu"));
    return std::max(fm.height() + 6, ButtonSize().height());
}

bool CCoolMenuStyle::IsColorMenu(const QWidget* pWidget) const {
    const auto* menu = qobject_cast<const QMenu*>(pWidget);
    if (!menu) return false;
    for (const QAction* a : menu->actions())
        if (Swatch(a).isValid()) return true;
    return false;
}

QSize CCoolMenuStyle::sizeFromContents(ContentsType type, const QStyleOption* opt, const QSize& size,
                                       const QWidget* pWidget) const {
    const auto* mi = qstyleoption_cast<const QStyleOptionMenuItem*>(opt);
    if (type != CT_MenuItem || !mi) return QProxyStyle::sizeFromContents(type, opt, size, pWidget);
    // Half a menu bar high and as wide as the menu: the menu skips an entry
    // of no width at all, so it asks for one pixel.
    if (mi->menuItemType == QStyleOptionMenuItem::Separator) return QSize(1, MenuBarHeight(pWidget) / 2);
    const QFontMetrics fm(mi->font);
    const int nTextHeight = fm.height();
    if (IsColorMenu(pWidget)) return QSize(size.width() + 20 + kCheckMarkSize + 6, nTextHeight + 4);
    // The menu makes room at the right for the keys as the toolkit names
    // them; ours may be longer ("Alt+Left Arrow", two keys of a command).
    int nExtra = 0;
    if (const auto* menu = qobject_cast<const QMenu*>(pWidget)) {
        int nOurs = 0, nTheirs = 0;
        for (const QAction* a : menu->actions()) {
            if (a->isSeparator()) continue;
            const QVariant keys = a->property(kKeysProperty);
            if (keys.isValid()) nOurs = std::max(nOurs, fm.horizontalAdvance(keys.toString()));
            const QString text = a->text();
            const qsizetype nTab = text.indexOf(QLatin1Char('\t'));
            if (nTab >= 0) nTheirs = std::max(nTheirs, fm.horizontalAdvance(text.mid(nTab + 1)));
            else if (!a->shortcut().isEmpty())
                nTheirs = std::max(nTheirs, fm.horizontalAdvance(a->shortcut().toString(QKeySequence::NativeText)));
        }
        nExtra = std::max(0, nOurs - nTheirs);
        // Names and keys apart by a few letters' width, as a tab set them.
        if (nOurs > 0) nExtra += 4 * fm.horizontalAdvance(QLatin1Char(' '));
    }
    const QSize button = ButtonSize();
    // The platform of old added the check mark's width to this itself; here
    // nobody does, so it is not taken off.
    return QSize(2 * button.width() + size.width() + 6 + kTextGap + nExtra,
                 std::max(nTextHeight, MenuBarHeight(pWidget)));
}

namespace {

void DrawEdge(QPainter* p, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
    p->setPen(topLeft);
    p->drawLine(r.topLeft(), r.topRight());
    p->drawLine(r.topLeft(), r.bottomLeft());
    p->setPen(bottomRight);
    p->drawLine(r.bottomLeft(), r.bottomRight());
    p->drawLine(r.topRight(), r.bottomRight());
}

// The mark of a checked entry without a picture: a dot for one of a set of
// choices, a tick otherwise, on a square of the check mark's size.
void DrawCheck(QPainter* p, const QRect& r, bool bRadio, const QColor& color) {
    p->save();
    p->setRenderHint(QPainter::Antialiasing, true);
    p->setPen(Qt::NoPen);
    p->setBrush(color);
    const int w = r.width(), h = r.height();
    if (bRadio) {
        p->drawEllipse(QRectF(r.left() + w / 2 - 2, r.top() + h / 2 - 2, 4 + (w % 2), 4 + (h % 2)).adjusted(-0.5, -0.5, 0.5, 0.5));
    } else {
        QPen pen(color, 2);
        p->setPen(pen);
        p->setBrush(Qt::NoBrush);
        const QPointF a(r.left() + w * 0.22, r.top() + h * 0.52), b(r.left() + w * 0.42, r.top() + h * 0.72),
            c(r.left() + w * 0.78, r.top() + h * 0.28);
        p->drawPolyline(QPolygonF({a, b, c}));
    }
    p->restore();
}

}  // namespace

int CCoolMenuStyle::pixelMetric(PixelMetric metric, const QStyleOption* opt, const QWidget* pWidget) const {
    if (metric == PM_MenuPanelWidth) return std::max(2, QProxyStyle::pixelMetric(metric, opt, pWidget));
    return QProxyStyle::pixelMetric(metric, opt, pWidget);
}

void CCoolMenuStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* opt, QPainter* p,
                                   const QWidget* pWidget) const {
    if (element != PE_FrameMenu && element != PE_PanelMenu) return QProxyStyle::drawPrimitive(element, opt, p, pWidget);
    // A raised frame round the popup, as the menus of old had.
    const QPalette& pal = opt->palette;
    p->save();
    if (element == PE_PanelMenu) p->fillRect(opt->rect, pal.color(QPalette::Window));
    const QRect r = opt->rect.adjusted(0, 0, -1, -1);
    DrawEdge(p, r, pal.color(QPalette::Active, QPalette::Midlight), pal.color(QPalette::Active, QPalette::Shadow));
    DrawEdge(p, r.adjusted(1, 1, -1, -1), pal.color(QPalette::Active, QPalette::Light),
             pal.color(QPalette::Active, QPalette::Dark));
    p->restore();
}

void CCoolMenuStyle::drawControl(ControlElement element, const QStyleOption* opt, QPainter* p,
                                 const QWidget* pWidget) const {
    const auto* mi = qstyleoption_cast<const QStyleOptionMenuItem*>(opt);
    if (element != CE_MenuItem || !mi || mi->menuItemType == QStyleOptionMenuItem::EmptyArea ||
        mi->menuItemType == QStyleOptionMenuItem::Scroller || mi->menuItemType == QStyleOptionMenuItem::TearOff)
        return QProxyStyle::drawControl(element, opt, p, pWidget);
    const auto* menu = qobject_cast<const QMenu*>(pWidget);
    const QAction* action = menu ? menu->actionAt(mi->rect.center()) : nullptr;
    if (Swatch(action).isValid()) return DrawColorItem(opt, action, p, pWidget);

    const QPalette& pal = mi->palette;
    const QColor menuColor = pal.color(QPalette::Window);
    const QColor highlight = pal.color(QPalette::Active, QPalette::Highlight);
    const QColor btnHighlight = pal.color(QPalette::Active, QPalette::Light);
    const QColor btnShadow = pal.color(QPalette::Active, QPalette::Dark);
    const QColor light3d = pal.color(QPalette::Active, QPalette::Midlight);
    const QRect R = mi->rect;
    p->save();
    if (mi->menuItemType == QStyleOptionMenuItem::Separator) {
        p->fillRect(R, menuColor);
        const int y = R.top() + R.height() / 2;
        p->setPen(btnShadow);
        p->drawLine(R.left() + 1, y - 1, R.right() - 1, y - 1);
        p->setPen(btnHighlight);
        p->drawLine(R.left() + 1, y, R.right() - 1, y);
        p->restore();
        return;
    }
    const bool bSelected = mi->state & State_Selected;
    const bool bGrayed = !(mi->state & State_Enabled);
    const bool bChecked = mi->checkType != QStyleOptionMenuItem::NotCheckable && mi->checked;
    const QSize button = ButtonSize();
    const QRect B(R.left(), R.top() + (R.height() - button.height()) / 2, button.width(), button.height());
    const QSize image = m_pManager && m_pManager->ImageSize().isValid() ? m_pManager->ImageSize() : QSize(16, 16);
    const bool bImage = !mi->icon.isNull();
    const bool bPicture = bImage || bChecked;

    p->fillRect(R, menuColor);
    if (bSelected) p->fillRect(bPicture ? R.adjusted(B.width() + 1, 0, 0, 0) : R, highlight);

    if (bImage) {
        const QPoint at(B.left() + (button.width() - image.width()) / 2, B.top() + (button.height() - image.height()) / 2);
        if (bGrayed) {
            // The manager's icons carry the pressed-in picture as their
            // disabled one, unless the platform's greying was asked for.
            p->drawPixmap(at, mi->icon.pixmap(image, QIcon::Disabled));
        } else {
            p->fillRect(B, bChecked && !bSelected ? light3d : menuColor);
            if (bSelected || bChecked) {
                if (bChecked) DrawEdge(p, B.adjusted(0, 0, -1, -1), btnShadow, btnHighlight);
                else DrawEdge(p, B.adjusted(0, 0, -1, -1), btnHighlight, btnShadow);
            }
            p->drawPixmap(at, mi->icon.pixmap(image, QIcon::Normal));
        }
    } else if (bChecked) {
        QRect mark(0, 0, kCheckMarkSize, kCheckMarkSize);
        mark.moveCenter(B.center());
        const QRect frame = mark.width() < B.width() ? mark.adjusted(-1, -1, 1, 1) : B;
        p->fillRect(frame, bSelected ? menuColor : light3d);
        DrawEdge(p, frame.adjusted(0, 0, -1, -1), btnShadow, btnHighlight);
        const bool bRadio = mi->checkType == QStyleOptionMenuItem::Exclusive;
        DrawCheck(p, mark, bRadio, bGrayed ? pal.color(QPalette::Disabled, QPalette::Text) : pal.color(QPalette::Text));
    }

    QRect text(R.left() + button.width() + kTextGap, R.top(), R.width() - 2 * button.width() - kTextGap, R.height());
    const QColor grayText = pal.color(QPalette::Disabled, QPalette::WindowText);
    QColor color = bGrayed ? grayText : bSelected ? pal.color(QPalette::Active, QPalette::HighlightedText)
                                                  : pal.color(QPalette::Active, QPalette::WindowText);
    const qsizetype nTab = mi->text.indexOf(QLatin1Char('\t'));
    const QString left = nTab >= 0 ? mi->text.left(nTab) : mi->text;
    QString right = nTab > 0 ? mi->text.mid(nTab + 1) : QString();
    if (action && action->property(kKeysProperty).isValid()) right = Keys(action);
    int flags = Qt::AlignVCenter | Qt::TextSingleLine;
    flags |= styleHint(SH_UnderlineShortcut, mi, pWidget) ? Qt::TextShowMnemonic : Qt::TextHideMnemonic;
    p->setFont(mi->font);
    auto drawText = [&](const QRect& r, const QColor& c) {
        p->setPen(c);
        p->drawText(r, flags | Qt::AlignLeft, left);
        if (!right.isEmpty()) p->drawText(r, flags | Qt::AlignRight, right);
    };
    if (bGrayed && (!bSelected || grayText == highlight)) drawText(text.translated(1, 1), btnHighlight);
    drawText(text, color);

    if (mi->menuItemType == QStyleOptionMenuItem::SubMenu) {
        QStyleOptionMenuItem arrow = *mi;
        arrow.rect = QRect(R.right() - button.width() + 1, R.top(), button.width() - 4, R.height());
        arrow.palette.setColor(QPalette::ButtonText, color);
        arrow.palette.setColor(QPalette::WindowText, color);
        QProxyStyle::drawPrimitive(PE_IndicatorArrowRight, &arrow, p, pWidget);
    }
    p->restore();
}

void CCoolMenuStyle::DrawColorItem(const QStyleOption* opt, const QAction* pAction, QPainter* p,
                                   const QWidget* pWidget) const {
    const auto* mi = qstyleoption_cast<const QStyleOptionMenuItem*>(opt);
    const QPalette& pal = mi->palette;
    const bool bSelected = mi->state & State_Selected;
    const QRect R = mi->rect;
    p->save();
    p->fillRect(R, bSelected ? pal.color(QPalette::Active, QPalette::Highlight) : pal.color(QPalette::Window));
    const QColor textColor = bSelected ? pal.color(QPalette::Active, QPalette::HighlightedText)
                                       : pal.color(QPalette::Active, QPalette::WindowText);
    p->setFont(mi->font);
    p->setPen(textColor);
    QString caption = mi->text;
    if (const qsizetype nTab = caption.indexOf(QLatin1Char('\t')); nTab >= 0) caption.truncate(nTab);
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine |
                      (styleHint(SH_UnderlineShortcut, mi, pWidget) ? Qt::TextShowMnemonic : Qt::TextHideMnemonic);
    p->drawText(QRect(R.left() + 30, R.top(), R.width() - 30, R.height()), flags, caption);
    const QRect swatch(QPoint(R.left() + 5, R.top() + 2), QPoint(R.left() + 24, R.bottom() - 2));
    p->setPen(Qt::black);
    p->setBrush(Swatch(pAction));
    p->drawRect(swatch.adjusted(0, 0, -1, -1));
    if (mi->checked) {
        // The colour in force: framed once more, in a colour that shows on
        // the highlight as well as on the menu.
        p->setBrush(Qt::NoBrush);
        p->setPen(bSelected ? pal.color(QPalette::Active, QPalette::HighlightedText)
                            : pal.color(QPalette::Active, QPalette::Highlight));
        p->drawRect(swatch.adjusted(-2, -2, 1, 1));
    }
    p->restore();
}
