// The help window: the pages of the help folder, by context number.
#pragma once

#include <QString>
#include <QTextBrowser>

class CHelpWindow : public QTextBrowser {
    Q_OBJECT
public:
    CHelpWindow(const QString& strHelpFolder, const QString& strAppName);
    // Context 0 is the contents page ("index.htm"); any other number is
    // "<number>.htm". Shows, raises and returns whether the page exists.
    bool ShowTopic(int nContext);
    static QString TopicPath(const QString& strHelpFolder, int nContext);
    QString CurrentPage() const { return m_strCurrent; }

private:
    QString m_strFolder;
    QString m_strCurrent;
};
