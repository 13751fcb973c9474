#include "views/TipDlg.h"

#include "platform/MessageHost.h"
#include "platform/gui/CmdTarget.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/QtText.h"

#include <QAbstractButton>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QSettings>

#include <climits>
#include <ctime>
#include <sys/stat.h>

const char* const CTipDlg::kFilePos = "ClipVaultTip/FilePos";
const char* const CTipDlg::kTimeStamp = "ClipVaultTip/TimeStamp";
const char* const CTipDlg::kStartUp = "ClipVaultTip/StartUp";

namespace {

constexpr unsigned kIdsHeader = 108;    // "Did you know..."
constexpr unsigned kIdsNoTips = 109;    // no tips file, or none in it
constexpr unsigned kIdsSeekFailed = 110;
constexpr unsigned kBitmapHeader = 104;
// fgets() keeps room for its terminating zero: a longer line arrives in
// pieces of 999 bytes, each judged as a line of its own.
constexpr int kLineBuffer = 1000;
// Between the picture and the header's text.
constexpr int kHeaderGap = 8;

// ctime()'s text without the line end it carries.
std::string FileTimeStamp(std::FILE* pStream) {
    struct stat st;
    if (fstat(fileno(pStream), &st) != 0) return std::string();
    char buf[64];
    const time_t tm = st.st_mtime;
    if (!ctime_r(&tm, buf)) return std::string();
    std::string text(buf);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' || text.back() == '\r' ||
                             text.back() == '\v' || text.back() == '\f'))
        text.pop_back();
    return text;
}

// Lines that start like these explain or separate the tips.
bool IsTipLine(const char* pLine) {
    switch (static_cast<unsigned char>(pLine[0])) {
    case '\t':
    case ' ':
    case ';':
    case '\n':
    // An empty line of a file written with CR LF line ends.
    case '\r':
    case '\0':
        return false;
    default:
        return true;
    }
}

}  // namespace

CTipDlg::CTipDlg(QSettings& profile, const QString& strTipsPath, QWidget* pParent)
    : CTemplateDialog(IDD, pParent), m_profile(profile) {
    RunGuarded([&] { PrepareFirstTip(strTipsPath); });

    const QPixmap bmp = CurrentLanguage().Bitmap(kBitmapHeader);
    if (QWidget* pHeader = Item(IDC_HEADER)) {
        if (!bmp.isNull()) pHeader->setFixedHeight(bmp.height());
        pHeader->setAccessibleName(CurrentLanguage().String(kIdsHeader));
        pHeader->installEventFilter(this);
    }
    // The tip stands on white; the other controls keep the dialog's colours.
    if (QWidget* pTip = Item(IDC_TIPSTRING)) {
        QPalette pal = pTip->palette();
        pal.setColor(QPalette::Window, Qt::white);
        pal.setColor(QPalette::WindowText, Qt::black);
        pTip->setPalette(pal);
        pTip->setAutoFillBackground(true);
        // The tip's text lines up with the header's, right of the picture.
        if (auto* pLabel = qobject_cast<QLabel*>(pTip)) {
            const int nIndent = bmp.width() + kHeaderGap - pLabel->frameWidth() - pLabel->margin();
            if (nIndent > 0) pLabel->setContentsMargins(nIndent, 0, 0, 0);
        }
    }
    if (auto* pNext = Control<QAbstractButton>(IDC_NEXTTIP))
        connect(pNext, &QAbstractButton::clicked, this, [this] { RunGuarded([this] { OnNextTip(); }); });
}

CTipDlg::~CTipDlg() {
    if (!m_pStream) return;
    // Just after the tip last shown: the next showing starts with the one
    // after it.
    const long pos = std::ftell(m_pStream);
    if (pos >= 0) m_profile.setValue(QLatin1String(kFilePos), static_cast<qint64>(pos));
    std::fclose(m_pStream);
    m_pStream = nullptr;
}

void CTipDlg::PrepareFirstTip(const QString& strTipsPath) {
    m_bStartup = m_profile.value(QLatin1String(kStartUp), 0).toInt() == 0;
    qint64 pos = m_profile.value(QLatin1String(kFilePos), 0).toLongLong();

    m_pStream = std::fopen(QFile::encodeName(strTipsPath).constData(), "r");
    if (!m_pStream) {
        m_strTip = FromQ(CurrentLanguage().String(kIdsNoTips));
        return;
    }

    // A file that is not the one the position was taken in starts again
    // from its beginning.
    const QString stamp = QString::fromLocal8Bit(FileTimeStamp(m_pStream));
    if (stamp != m_profile.value(QLatin1String(kTimeStamp)).toString()) {
        m_profile.setValue(QLatin1String(kTimeStamp), stamp);
        pos = 0;
    }

    if (pos < 0 || pos > static_cast<qint64>(LONG_MAX) || std::fseek(m_pStream, static_cast<long>(pos), SEEK_SET) != 0) {
        AfxMessageBox(kIdsSeekFailed, host::MB_OK);
        return;
    }
    if (pos > 0 && !GoToReadStart(static_cast<long>(pos))) {
        AfxMessageBox(kIdsSeekFailed, host::MB_OK);
        return;
    }
    GetNextTipString();
}

bool CTipDlg::GoToReadStart(long pos) {
    // The stored position is one this dialog left: where a line, or a
    // piece of a long one, begins. Another file of the same time (the
    // other language's tips, copied in the same second) has its lines
    // elsewhere; the middle of one of them would show as a broken tip, so
    // reading goes on from the first start at or after the position.
    if (std::fseek(m_pStream, 0, SEEK_SET) != 0) return false;
    char buf[kLineBuffer];
    long at = 0;
    while (at < pos && std::fgets(buf, sizeof buf, m_pStream)) {
        at = std::ftell(m_pStream);
        if (at < 0) return false;
    }
    if (std::ferror(m_pStream)) {
        std::clearerr(m_pStream);
        return false;
    }
    return true;
}

bool CTipDlg::GetNextTipString() {
    if (!m_pStream) return false;
    char buf[kLineBuffer];
    // Going round once more from the start reads the whole file: a second
    // end of file means there is no tip in it at all.
    bool bWrapped = false;
    for (;;) {
        if (std::fgets(buf, sizeof buf, m_pStream)) {
            if (!IsTipLine(buf)) continue;
            std::string tip(buf);
            // The tip as text mode reads it on systems with CR LF line ends.
            if (tip.size() >= 2 && tip.compare(tip.size() - 2, 2, "\r\n") == 0) tip.erase(tip.size() - 2, 1);
            m_strTip = std::move(tip);
            return true;
        }
        if (std::ferror(m_pStream)) {
            std::clearerr(m_pStream);
            AfxMessageBox(kIdsSeekFailed, host::MB_OK);
            return false;
        }
        if (bWrapped) {
            m_strTip = FromQ(CurrentLanguage().String(kIdsNoTips));
            return false;
        }
        if (std::fseek(m_pStream, 0, SEEK_SET) != 0) {
            AfxMessageBox(kIdsSeekFailed, host::MB_OK);
            return false;
        }
        bWrapped = true;
    }
}

void CTipDlg::OnNextTip() {
    // The check box as the user left it: showing the next tip must not
    // undo a change made to it before.
    UpdateData(true);
    GetNextTipString();
    UpdateData(false);
}

void CTipDlg::DoDataExchange(CDataExchange& dx) {
    int nStartup = m_bStartup ? 1 : 0;
    DDX_Check(dx, IDC_STARTUP, nStartup);
    if (dx.m_bSaveAndValidate) m_bStartup = nStartup != 0;
    DDX_Text(dx, IDC_TIPSTRING, m_strTip);
}

bool CTipDlg::OnInitDialog() {
    const bool ok = CTemplateDialog::OnInitDialog();
    if (QWidget* pNext = Item(IDC_NEXTTIP)) pNext->setEnabled(m_pStream != nullptr);
    return ok;
}

void CTipDlg::OnOK() {
    CTemplateDialog::OnOK();
    if (Result() != host::IDOK) return;
    m_profile.setValue(QLatin1String(kStartUp), m_bStartup ? 0 : 1);
}

bool CTipDlg::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pEvent->type() == QEvent::Paint && pWatched == Item(IDC_HEADER)) {
        PaintHeader(static_cast<QWidget*>(pWatched));
        return true;
    }
    return CTemplateDialog::eventFilter(pWatched, pEvent);
}

void CTipDlg::PaintHeader(QWidget* pHeader) {
    QPainter painter(pHeader);
    const QRect rc = pHeader->rect();
    painter.fillRect(rc, Qt::white);
    const QPixmap bmp = CurrentLanguage().Bitmap(kBitmapHeader);
    painter.drawPixmap(rc.topLeft(), bmp);
    const int nHeight = bmp.isNull() ? rc.height() : bmp.height();
    const int nLeft = bmp.width() + kHeaderGap;
    QFont font = painter.font();
    font.setBold(true);
    if (font.pointSizeF() > 0) font.setPointSizeF(font.pointSizeF() * 1.3);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(rc.left() + nLeft, rc.top(), rc.width() - nLeft, nHeight),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, CurrentLanguage().String(kIdsHeader));
}
