// The clipboard of the category tree's cut, copy and paste: records of one
// notebook, held without owning them.
#pragma once

#include <vector>

class CClipVaultDoc;
class CNote;
class CNoteBase;
class CNoteCata;

class CRecordClipboard {
public:
    enum State { stateNote = 0, stateCategory = 1, stateList = 2, stateEmpty = 3 };

    void ClipCategory(CNoteCata* pCata, int bCut);
    void ClipNote(CNote* pNote, int bCut);
    void AddClipCategory(CNoteCata* pCata, int bCut);
    void AddClipNote(CNote* pNote, int bCut);
    void ClearClip();

    int ClipState() const;
    int IsCut() const { return m_bCut; }
    // False when `pTarget` lies inside a clipped category. After a cut, the
    // clipped category itself is refused too: pasting it into itself and
    // then removing the original would delete the pasted copy with it.
    bool CanPasteInto(const CNoteCata* pTarget) const;
    CClipVaultDoc* SourceDocument() const;
    CNoteCata* CopyClippedCategory(CClipVaultDoc* pTarget) const;
    CNote* CopyClippedNote(CClipVaultDoc* pTarget) const;

    CNoteCata* SingleCategory() const { return m_pCata; }
    CNote* SingleNote() const { return m_pNote; }
    const std::vector<CNoteCata*>& Categories() const { return m_catas; }
    const std::vector<CNote*>& Notes() const { return m_notes; }

    // A record being deleted leaves the clipboard, which must never hand out
    // a freed record.
    void Forget(const CNoteBase* pRecord);

private:
    CNoteCata* m_pCata = nullptr;
    CNote* m_pNote = nullptr;
    std::vector<CNoteCata*> m_catas;
    std::vector<CNote*> m_notes;
    int m_bCut = 0;
};

// The one clipboard of the program.
CRecordClipboard& TheRecordClipboard();
