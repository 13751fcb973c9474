// The comment of a highlight: its text over several lines, its colour, and
// for a highlight already in the page a way to take it out.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>

class QComboBox;
class QPlainTextEdit;

class CHighlightCommentDlg : public QDialog {
    Q_OBJECT
public:
    // What the dialog ended with besides Cancel.
    enum Outcome { kCancelled, kSaved, kRemove };

    // `bExisting`: the comment of a highlight in the page (Remove is
    // offered); else of a new one on the selected text.
    CHighlightCommentDlg(bool bExisting, const QString& strComment, const QString& strColor, QWidget* pParent);

    Outcome Result() const { return m_nOutcome; }
    QString Comment() const;
    // "yellow", "green", "blue" or "pink".
    QString Color() const;

    // The four colours in their order, and what each looks like.
    static const QStringList& Colors();
    static QColor Swatch(const QString& strColor);
    static QIcon SwatchIcon(const QString& strColor);
    // The colour's name in the user's language.
    static QString ColorName(const QString& strColor);

private:
    QPlainTextEdit* m_pComment = nullptr;
    QComboBox* m_pColor = nullptr;
    Outcome m_nOutcome = kCancelled;
};
