// Pages the target notebook keeps already: the mark a row of the import
// dialog gets, and the question direct import asks before such a page is
// captured again.
#pragma once

#include <QDate>
#include <QString>
#include <cstddef>

class CImportItem;
class CNote;

// When `kept` was captured, as the language module writes a date: day and
// month, with the year when it is not `today`'s.
QString KeptDate(const CNote& kept, const QDate& today = QDate::currentDate());
// "already kept, 12 Mar".
QString KeptMark(const CNote& kept, const QDate& today = QDate::currentDate());

// Decides whether a page the notebook keeps already is captured again.
class IRecaptureAnswerer {
public:
    virtual ~IRecaptureAnswerer() = default;
    // `item` is kept as `kept`; `nLeft` such pages of the batch, this one
    // included, are still to be decided. Setting `bForAll` makes the
    // answer stand for the rest of them.
    virtual bool CaptureAgain(const CImportItem& item, const CNote& kept, size_t nLeft, bool& bForAll) = 0;
};

// Asks the user in a message box, with a check box for the rest of the
// batch when more than this page is left; closing the box answers No.
class CRecaptureQuestion : public IRecaptureAnswerer {
public:
    bool CaptureAgain(const CImportItem& item, const CNote& kept, size_t nLeft, bool& bForAll) override;
};

// One batch's decisions: asks about each kept page until an answer stands
// for the rest.
class CRecaptureChoice {
public:
    // `nKept`: how many pages of the batch the notebook keeps already.
    CRecaptureChoice(IRecaptureAnswerer& answerer, size_t nKept) : m_answerer(answerer), m_nLeft(nKept) {}
    bool CaptureAgain(const CImportItem& item, const CNote& kept);

private:
    IRecaptureAnswerer& m_answerer;
    size_t m_nLeft;
    int m_nForAll = -1;  // the answer for the rest: 1 yes, 0 no, -1 none yet
};
