#include "platform/gui/ReadOnlyNotice.h"

#include "document/ClipVaultDoc.h"
#include "platform/MessageHost.h"
#include "platform/gui/MessageBox.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>

namespace {

// Drawn rather than loaded: the mark has to sit on any picture, at any
// size, and read as a lock at 16 pixels.
QPixmap WithLock(const QPixmap& base) {
    QImage image = base.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const qreal s = std::min(image.width(), image.height());
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor outline(0x2e, 0x34, 0x36);
    const qreal w = s * 0.56, h = s * 0.38;
    const QRectF body(image.width() - w, image.height() - h, w, h);
    // The shackle, an arch over the body.
    const qreal stroke = std::max<qreal>(1.5, s / 9.0);
    const qreal inset = w * 0.22;
    QPainterPath shackle;
    shackle.moveTo(body.left() + inset, body.top() + 0.5);
    shackle.lineTo(body.left() + inset, body.top() - h * 0.35);
    shackle.arcTo(QRectF(body.left() + inset, body.top() - h * 0.85, w - 2 * inset, h), 180, -180);
    shackle.lineTo(body.right() - inset, body.top() + 0.5);
    // A light rim first, so that the lock reads on dark pictures too.
    p.setPen(QPen(QColor(255, 255, 255, 200), stroke + 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(shackle);
    p.setPen(QPen(outline, stroke, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(shackle);
    p.setPen(QPen(outline, std::max<qreal>(1.0, s / 16.0)));
    p.setBrush(QColor(0xed, 0xd4, 0x00));
    p.drawRoundedRect(body.adjusted(0.5, 0.5, -0.5, -0.5), s / 16.0, s / 16.0);
    p.end();
    QPixmap out = QPixmap::fromImage(image);
    out.setDevicePixelRatio(base.devicePixelRatio());
    return out;
}

}  // namespace

QIcon LockedIcon(const QIcon& base) {
    QList<QSize> sizes = base.availableSizes();
    if (sizes.isEmpty()) sizes << QSize(16, 16);
    QIcon out;
    for (const QSize& size : sizes) {
        const QPixmap pixmap = base.pixmap(size);
        if (!pixmap.isNull()) out.addPixmap(WithLock(pixmap));
    }
    return out;
}

bool RefuseChange(const CClipVaultDoc& doc) {
    if (!doc.IsReadOnly()) return false;
    AfxMessageBox(doc.ReadOnlyMessage(), host::MB_OK | host::MB_ICONEXCLAMATION);
    return true;
}
