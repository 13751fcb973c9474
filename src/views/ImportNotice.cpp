#include "views/ImportNotice.h"

#include "platform/StringIds.h"
#include "platform/gui/LanguageModule.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>

QPointer<CImportNotice> CImportNotice::s_pCurrent;

CImportNotice::CImportNotice(const QString& strText)
    : QWidget(nullptr, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus),
      m_strText(strText) {
    setObjectName(QStringLiteral("ImportNotice"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(CurrentLanguage().String(ids::IDS_IMPORT_NOTICE_CAPTION));
    setAccessibleName(windowTitle());
    setAccessibleDescription(strText);
    setFixedSize(kWidth, kHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect rc(QPoint(0, 0), size());
        rc.moveCenter(screen->geometry().center());
        move(rc.topLeft());
    }
}

bool CImportNotice::Show(const QString& strText) {
    if (s_pCurrent) return false;
    auto* notice = new CImportNotice(strText);
    s_pCurrent = notice;
    notice->show();
    QTimer::singleShot(kLifeMs, notice, &QWidget::close);
    return true;
}

void CImportNotice::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(255, 255, 200));
    p.setPen(Qt::black);
    p.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, m_strText);
}
