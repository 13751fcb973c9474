#include "platform/gui/LanguageModule.h"

#include <QBitmap>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QResource>

namespace {

QByteArray ReadResource(const QString& strPath) {
    QFile f(strPath);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.readAll();
}

QJsonDocument ReadJson(const QString& strPath) { return QJsonDocument::fromJson(ReadResource(strPath)); }

QPixmap WithMagentaTransparent(const QImage& image) {
    if (image.isNull()) return QPixmap();
    QImage img = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((line[x] & 0xFFFFFF) == 0xFF00FF) line[x] = 0;
    }
    return QPixmap::fromImage(img);
}

}  // namespace

QPixmap CToolbarResource::Image(int nImage) const {
    if (m_strip.isNull() || nImage < 0 || (nImage + 1) * m_nWidth > m_strip.width()) return QPixmap();
    return m_strip.copy(nImage * m_nWidth, 0, m_nWidth, m_nHeight);
}

namespace {
const CLanguageModule* g_pCurrentLanguage = nullptr;
}  // namespace

const CLanguageModule& CurrentLanguage() {
    static const CLanguageModule s_empty;
    return g_pCurrentLanguage ? *g_pCurrentLanguage : s_empty;
}

void SetCurrentLanguage(const CLanguageModule* pModule) { g_pCurrentLanguage = pModule; }

CLanguageModule::~CLanguageModule() { Unload(); }

QString CLanguageModule::LocaleLanguageId(const QLocale& locale) {
    // The primary language in the low ten bits, the sublanguage (country)
    // above them, as Windows numbers locales.
    struct CEntry { QLocale::Language lang; QLocale::Territory territory; unsigned id; };
    static const CEntry kTable[] = {
        {QLocale::Chinese, QLocale::China, 0x0804},     {QLocale::Chinese, QLocale::Taiwan, 0x0404},
        {QLocale::Chinese, QLocale::HongKong, 0x0C04},  {QLocale::Chinese, QLocale::Singapore, 0x1004},
        {QLocale::Chinese, QLocale::Macau, 0x1404},     {QLocale::English, QLocale::UnitedStates, 0x0409},
        {QLocale::English, QLocale::UnitedKingdom, 0x0809}, {QLocale::German, QLocale::Germany, 0x0407},
        {QLocale::French, QLocale::France, 0x040C},     {QLocale::Japanese, QLocale::Japan, 0x0411},
        {QLocale::Korean, QLocale::SouthKorea, 0x0412}, {QLocale::Spanish, QLocale::Spain, 0x0C0A},
        {QLocale::Russian, QLocale::Russia, 0x0419},    {QLocale::Italian, QLocale::Italy, 0x0410},
    };
    if (locale.language() == QLocale::C || locale.language() == QLocale::AnyLanguage) return QString();
    unsigned id = 0;
    for (const CEntry& e : kTable)
        if (e.lang == locale.language() && e.territory == locale.territory()) id = e.id;
    if (!id) {
        // Language known, country not in the table: its neutral form.
        for (const CEntry& e : kTable)
            if (e.lang == locale.language()) {
                id = 0x0400 | (e.id & 0x3FF);
                break;
            }
    }
    // Any other language: some id that is not Chinese (China).
    if (!id) id = 0x0400 | (static_cast<unsigned>(locale.language()) & 0x3FF);
    return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0'));
}

QString CLanguageModule::ModulePath(const QString& strProgramFolder, const QString& strName) {
    return QStringLiteral("%1/Language/VLT%2.rcc").arg(strProgramFolder, strName);
}

QString CLanguageModule::ChooseModulePath(const QString& strProgramFolder, const QString& strLanguageId, int& nFlag) {
    if (strLanguageId == QLatin1String("0804")) {
        nFlag = 0;
        const QString chn = ModulePath(strProgramFolder, QStringLiteral("Chn"));
        if (QFileInfo::exists(chn)) return chn;
        return ModulePath(strProgramFolder, QStringLiteral("Eng"));
    }
    nFlag = 1;
    return ModulePath(strProgramFolder, QStringLiteral("Eng"));
}

QHash<unsigned, QString> CLanguageModule::ParseStringTable(const QByteArray& bytes) {
    QHash<unsigned, QString> table;
    const QString text = QString::fromUtf8(bytes);
    for (const QString& rawLine : text.split(QLatin1Char('\n'))) {
        QString line = rawLine;
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        if (tab <= 0) continue;
        bool ok = false;
        const unsigned id = line.left(tab).trimmed().toUInt(&ok);
        if (!ok) continue;
        QString value;
        const QString raw = line.mid(tab + 1);
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i] == QLatin1Char('\\') && i + 1 < raw.size()) {
                const QChar c = raw[++i];
                if (c == QLatin1Char('n')) value += QLatin1Char('\n');
                else if (c == QLatin1Char('t')) value += QLatin1Char('\t');
                else value += c;
            } else {
                value += raw[i];
            }
        }
        table.insert(id, value);
    }
    return table;
}

bool CLanguageModule::Load(const QString& strPath) {
    Unload();
    if (!QFileInfo(strPath).isFile()) return false;
    // Each module gets a root of its own, so a test can hold two at once.
    static int s_nNext = 0;
    const QString root = QStringLiteral("/vltlang%1").arg(++s_nNext);
    if (!QResource::registerResource(strPath, root)) return false;
    const QByteArray table = ReadResource(QStringLiteral(":%1/strings.txt").arg(root));
    if (table.isEmpty()) {
        QResource::unregisterResource(strPath, root);
        return false;
    }
    m_strPath = strPath;
    m_strRoot = root;
    m_strings = ParseStringTable(table);
    const QJsonObject info = ReadJson(QStringLiteral(":%1/info.json").arg(root)).object();
    m_strLanguage = info.value(QStringLiteral("language")).toString();
    const QString locale = info.value(QStringLiteral("locale")).toString();
    m_locale = locale.isEmpty() ? QLocale::c() : QLocale(locale);
    return true;
}

void CLanguageModule::Unload() {
    if (m_strPath.isEmpty()) return;
    QResource::unregisterResource(m_strPath, m_strRoot);
    m_strPath.clear();
    m_strRoot.clear();
    m_strings.clear();
    m_strLanguage.clear();
    m_locale = QLocale::c();
}

QString CLanguageModule::StringPart(unsigned nID, int nPart) const {
    const QStringList parts = String(nID).split(QLatin1Char('\n'));
    return nPart < parts.size() ? parts[nPart] : QString();
}

QJsonArray CLanguageModule::Menu(unsigned nID) const {
    if (!IsLoaded()) return QJsonArray();
    return ReadJson(QStringLiteral(":%1/menus/%2.json").arg(m_strRoot).arg(nID)).object().value(QStringLiteral("items")).toArray();
}

std::vector<CAccelerator> CLanguageModule::Accelerators(unsigned nID) const {
    std::vector<CAccelerator> out;
    if (!IsLoaded()) return out;
    const QJsonArray list = ReadJson(QStringLiteral(":%1/accelerators/%2.json").arg(m_strRoot).arg(nID)).array();
    for (const QJsonValue& v : list) {
        const QJsonObject o = v.toObject();
        CAccelerator a;
        a.m_key = QKeySequence::fromString(o.value(QStringLiteral("key")).toString(), QKeySequence::PortableText);
        a.m_nID = static_cast<unsigned>(o.value(QStringLiteral("id")).toInt());
        if (!a.m_key.isEmpty() && a.m_nID) out.push_back(a);
    }
    return out;
}

CToolbarResource CLanguageModule::Toolbar(unsigned nID) const {
    CToolbarResource tb;
    if (!IsLoaded()) return tb;
    ++m_nToolbarReads;
    const QJsonObject o = ReadJson(QStringLiteral(":%1/toolbars/%2.json").arg(m_strRoot).arg(nID)).object();
    tb.m_nWidth = o.value(QStringLiteral("width")).toInt(16);
    tb.m_nHeight = o.value(QStringLiteral("height")).toInt(16);
    for (const QJsonValue& v : o.value(QStringLiteral("items")).toArray()) tb.m_items.push_back(static_cast<unsigned>(v.toInt()));
    tb.m_strip = Bitmap(nID);
    return tb;
}

QPixmap CLanguageModule::Bitmap(unsigned nID) const {
    if (!IsLoaded()) return QPixmap();
    return WithMagentaTransparent(QImage(QStringLiteral(":%1/bitmaps/%2.png").arg(m_strRoot).arg(nID)));
}

QIcon CLanguageModule::Icon(unsigned nID) const {
    QIcon icon;
    if (!IsLoaded()) return icon;
    for (const QString& suffix : {QStringLiteral(""), QStringLiteral("-16"), QStringLiteral("-32")}) {
        const QString path = QStringLiteral(":%1/icons/%2%3.png").arg(m_strRoot).arg(nID).arg(suffix);
        if (QFile::exists(path)) icon.addFile(path);
    }
    return icon;
}

QByteArray CLanguageModule::DialogTemplate(unsigned nID) const {
    if (!IsLoaded()) return QByteArray();
    QFile f(QStringLiteral(":%1/dialogs/%2.ui").arg(m_strRoot).arg(nID));
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.readAll();
}
