#include "platform/gui/QtText.h"

#include "platform/Charset.h"

#include <QRegularExpression>

QString ToQ(const std::string& strAnsi) {
    if (charset::ProcessCodePageIsUtf8()) return QString::fromUtf8(strAnsi.data(), static_cast<qsizetype>(strAnsi.size()));
    const std::string utf8 = charset::AnsiToUtf8(strAnsi);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string FromQ(const QString& str) {
    const QByteArray utf8 = str.toUtf8();
    std::string s(utf8.constData(), static_cast<size_t>(utf8.size()));
    return charset::ProcessCodePageIsUtf8() ? s : charset::Utf8ToAnsi(s);
}

QString SpokenLabel(QString strLabel) {
    strLabel.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    strLabel.remove(QRegularExpression(QStringLiteral("&(?=[^&])")));
    strLabel.remove(QRegularExpression(QStringLiteral("[:：]$")));
    return strLabel;
}
