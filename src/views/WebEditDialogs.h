// The note editor's find bar under the page, and the dialogs its engine
// asks with unless told otherwise: the font, the image's address, the
// printer.
#pragma once

#include <QWidget>

class QCheckBox;
class QKeyEvent;
class QLineEdit;
class QWebEngineView;

// The find bar under the page.
class CEditFindBar : public QWidget {
public:
    CEditFindBar(QWebEngineView* pView, QWidget* pParent);
    void Open();
    QLineEdit* m_pEdit;
    QCheckBox* m_pCase;

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void Find(bool bBackward);
    QWebEngineView* m_pView;
};
