// The small window that tells how many notes a direct import filed: a
// captioned, topmost pop-up in the middle of the desktop that goes by
// itself after a moment. Only one is up at a time.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class CImportNotice : public QWidget {
    Q_OBJECT
public:
    enum { kWidth = 300, kHeight = 50, kLifeMs = 1200 };

    // Shows `strText`; false (and nothing shown) while another notice is up.
    static bool Show(const QString& strText);
    // The notice that is up, or null.
    static CImportNotice* Current() { return s_pCurrent.data(); }

    QString Text() const { return m_strText; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    explicit CImportNotice(const QString& strText);
    QString m_strText;
    static QPointer<CImportNotice> s_pCurrent;
};
