#include "capture/ModernCapture.h"

#include <strings.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <memory>

#include "capture/CaptureBudget.h"
#include "capture/CaptureContext.h"
#include "capture/CaptureShared.h"
#include "capture/CssRefs.h"
#include "capture/HtmlRefs.h"
#include "capture/LinkHelpers.h"
#include "capture/ModernNames.h"
#include "capture/ResourceFetcher.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/Charset.h"

using namespace modernurl;

namespace {

// Frame pages and stylesheets inside others are taken in this many levels
// below the note's own page; a deeper one keeps its address. A hostile page
// could otherwise lead the capture down a chain without end.
const int kMaxNesting = 8;
// Stored stylesheets and frame pages are followed this deep: a capture never
// stores a chain deeper than kMaxNesting below any of its files, so only a
// damaged or hostile notebook reaches it.
const int kMaxStoredNesting = 64;
// How long a capture waits, in all, for files another capture of the same
// notebook is fetching before it fetches them itself.
const std::chrono::seconds kWaitForOthers(120);
const size_t kMinPageBytes = 10;
// The part of a capture's budget one page's parse may use.
const uint64_t kParseShare = 4;

struct CNode;

// Where a page or stylesheet refers to a file.
struct CUse {
    CNode* pNode = nullptr;
    std::string strAbsolute;  // with its fragment
    std::string strFragment;
    int nRef = -1;  // the page's reference (pages); -1 in a stylesheet
    bool bInner = false;  // a part of the reference's value (srcset, style text)
    bool bCss = false;    // in CSS: written with CSS escapes
    size_t nOffset = 0, nLength = 0;  // inner span in the value, or span in a stylesheet's bytes
    char cQuote = 0;
};

// kElsewhere: another capture of the notebook is fetching it; kBorrowed: that
// capture has named it and is going to store it; kRefused: a local file the
// page may not read.
enum NodeState { kPending, kFetched, kFailed, kExisting, kTooDeep, kElsewhere, kBorrowed, kRefused };

struct CNode {
    std::string strUrl;  // without fragment: one node however often it is used
    int nUse = kUseFile;
    int nDepth = 0;
    NodeState state = kPending;
    std::string strName;
    CFetchResult result;
    bool bParsed = false;
    bool bNamed = false;
    bool bReserved = false;  // its address is this capture's (ReserveOrigin)
    bool bAwaited = false;   // in m_elsewhere
    int nNamePass = 0;
    bool bHtml = false;
    CHtmlScan scan;
    // An XSL's output is a page at the address of the XML it shows: its
    // images and links are that page's, only its own imports are its own.
    std::string strResultBase;
    std::vector<CUse> uses;
    std::vector<CPageEdit> fixedEdits;  // hyperlinks, base, lazy loading
    CNameReservation reservation;
};

// A page whose encoding only its server named says it itself once
// stored, or a browser showing it from disk guesses: a byte order mark for
// Unicode, a meta after the doctype for a code page.
CPageEdit EncodingMark(const CHtmlScan& scan) {
    const std::string& enc = scan.m_strEncoding;
    if (enc == "UTF-8" || enc == "UTF-16LE" || enc == "UTF-16BE") return CPageEdit{0, 0, "\xEF\xBB\xBF"};
    const std::string& t = scan.m_strText;
    size_t at = 0;
    size_t i = t.find_first_not_of(" \t\r\n\f");
    if (i != std::string::npos && t.size() - i >= 9 && LowerAscii(t.substr(i, 9)) == "<!doctype") {
        const size_t close = t.find('>', i);
        if (close != std::string::npos) at = close + 1;
    }
    return CPageEdit{at, 0, "<meta charset=\"" + LowerAscii(enc) + "\">"};
}

class CModernRun {
public:
    CModernRun(CNote& note, CCaptureContext* pContext, bool bFetch, uint64_t nMaxFileBytes, CLocalFolder& local,
               CCaptureBudget& budget)
        : m_note(note), m_pDoc(note.m_pDocument), m_pContext(pContext), m_bFetch(bFetch),
          m_nMaxFileBytes(nMaxFileBytes), m_local(local), m_budget(budget) {
        m_overBudget.state = kFailed;
    }
    CModernRun(const CModernRun&) = delete;
    CModernRun& operator=(const CModernRun&) = delete;
    // Addresses still reserved (a failure part-way) go back.
    ~CModernRun() {
        for (CNode& node : m_nodes)
            if (node.bReserved) m_pDoc->ReleaseOrigin(node.strUrl, this);
    }

    void Run(std::vector<uint8_t>& bytes, const CModernCaptureRequest& request);

private:
    bool Stopped() const { return m_note.StopRequested(); }
    CNode* Want(const std::string& url, int nUse, int nDepth, const std::string& strResultBase);
    void AddUse(CNode& parent, const std::string& base, const std::string& value, int nUse, CUse site,
                const std::string& strResultBase = std::string());
    void Acquire(CNode& node);
    void StartFetch(CNode& node);
    void Follow(CNode& node);
    // The file is stored under `name`: this note's too, with what it uses.
    void UseStored(CNode& node, const std::string& name) {
        node.state = kExisting;
        node.strName = name;
        Follow(node);
    }
    CNode* Stored(const std::string& name, int nUse, int nDepth);
    bool AwaitOthers();
    void AwaitStored();
    void NamePass();
    std::chrono::steady_clock::time_point WaitLimit();
    void Fetched(CNode& node, CFetchResult&& result);
    void ParseDocument(CNode& node, const std::string& pageUrl);
    void ParseStylesheet(CNode& node, const std::string& sheetUrl);
    void Name(CNode& node);
    std::string Replacement(const CUse& use) const;
    std::vector<uint8_t> Rewritten(CNode& node);
    void AddName(const std::string& name);

    CNote& m_note;
    CClipVaultDoc* m_pDoc;
    CCaptureContext* m_pContext;
    bool m_bFetch;
    uint64_t m_nMaxFileBytes;
    CLocalFolder& m_local;
    CCaptureBudget& m_budget;
    std::unique_ptr<CResourceFetcher> m_pFetcher;
    std::deque<CNode> m_nodes;  // stable addresses
    CNode m_overBudget;         // every file met once the budget is spent: never fetched
    std::map<std::string, CNode*> m_byUrl;
    std::vector<CNode*> m_order;  // stored or used, in page order
    CNode* m_pRoot = nullptr;
    bool m_bRootEdited = false;
    std::vector<CNode*> m_elsewhere;  // files other captures were fetching
    int m_nPass = 0;
    bool m_bWaitStarted = false;
    std::chrono::steady_clock::time_point m_waitUntil;
};

CNode* CModernRun::Want(const std::string& url, int nUse, int nDepth, const std::string& strResultBase) {
    auto it = m_byUrl.find(url);
    if (it != m_byUrl.end()) {
        CNode* p = it->second;
        // A file first met as a plain file and then as a stylesheet or page is
        // read as one too.
        if (nUse > p->nUse && p->state != kTooDeep && p->state != kElsewhere && p->state != kBorrowed) {
            p->nUse = nUse;
            if (p->state == kExisting) Follow(*p);
            if (p->state == kFetched && !p->bParsed) {
                CFetchResult r = std::move(p->result);
                Fetched(*p, std::move(r));
            }
        }
        return p;
    }
    // A page of a million addresses would otherwise hold a million nodes
    // past the budget; those it cannot hold share one that keeps them at
    // their addresses.
    if (!m_budget.Take(sizeof(CNode) + 2 * url.size())) return &m_overBudget;
    m_nodes.emplace_back();
    CNode* p = &m_nodes.back();
    p->strUrl = url;
    p->nUse = nUse;
    p->nDepth = nDepth;
    p->strResultBase = strResultBase;
    m_byUrl[url] = p;
    if (nUse != kUseFile && nDepth > kMaxNesting) {
        // What is stored already is used at any depth.
        if (std::string name = m_pDoc->AttachmentNameForOrigin(url); !name.empty() && m_pDoc->FindAttachment(name)) {
            UseStored(*p, name);
        } else {
            p->state = kTooDeep;
        }
        return p;
    }
    Acquire(*p);
    return p;
}

// A file stored already is this note's too, with everything it refers to;
// one that another capture is fetching is waited for; any other is fetched.
void CModernRun::Acquire(CNode& node) {
    std::string name;
    switch (m_pDoc->ReserveOrigin(node.strUrl, this, name)) {
    case CClipVaultDoc::kOriginStored:
        UseStored(node, name);
        return;
    case CClipVaultDoc::kOriginTaken:
        node.state = kElsewhere;
        if (!node.bAwaited) m_elsewhere.push_back(&node);
        node.bAwaited = true;
        return;
    default: node.bReserved = true; break;
    }
    StartFetch(node);
}

void CModernRun::StartFetch(CNode& node) {
    CNode* p = &node;
    const std::string& url = node.strUrl;
    const std::string scheme = SchemeOf(url);
    if (IsWebScheme(scheme) && m_pContext) {
        if (!m_pFetcher) m_pFetcher = std::make_unique<CResourceFetcher>(*m_pContext);
        m_pFetcher->Add(url, [this, p](CFetchResult&& r) { Fetched(*p, std::move(r)); });
    } else if (scheme == "file") {
        const std::string real = m_local.PathToRead(url, true);
        if (real.empty()) {
            p->state = kRefused;
            return;
        }
        CFetchResult r;
        r.m_strFinalUrl = url;
        r.m_nCode = !m_budget.Spent() && ReadWholeFile(real, r.m_body, m_nMaxFileBytes) && m_budget.Take(r.m_body.size())
                        ? kFetchOk
                        : kFetchFailed;
        Fetched(*p, std::move(r));
    } else {
        p->state = kFailed;
    }
}

// A stored stylesheet or frame page names its own files by their bare
// attachment names: those are taken as they are, exactly as if it had just
// been fetched; the stored file itself does not change.
void CModernRun::Follow(CNode& node) {
    if (node.bParsed || node.nUse == kUseFile || node.nDepth > kMaxStoredNesting) return;
    node.bParsed = true;
    {
        std::lock_guard<std::recursive_mutex> guard(m_pDoc->m_lock);
        CNoteAttatch* pAttach = m_pDoc->FindAttachment(node.strName);
        if (!pAttach) return;
        node.result.m_body = pAttach->Data();
        node.result.m_strFinalUrl = pAttach->m_strOrigin;
    }
    if (node.nUse == kUseStylesheet) ParseStylesheet(node, node.result.m_strFinalUrl);
    else ParseDocument(node, node.result.m_strFinalUrl);
}

// The node of an attachment a page or a stored file names by its name.
CNode* CModernRun::Stored(const std::string& name, int nUse, int nDepth) {
    const std::string key = "attachment:" + name;
    CNode*& p = m_byUrl[key];
    if (!p) {
        m_nodes.emplace_back();
        p = &m_nodes.back();
        p->strUrl = key;
        p->state = kExisting;
        p->strName = name;
        p->nUse = nUse;
        p->nDepth = nDepth;
    } else if (nUse > p->nUse) {
        p->nUse = nUse;
    }
    Follow(*p);
    return p;
}

std::chrono::steady_clock::time_point CModernRun::WaitLimit() {
    if (!m_bWaitStarted) {
        m_bWaitStarted = true;
        m_waitUntil = std::chrono::steady_clock::now() + kWaitForOthers;
    }
    return m_waitUntil;
}

// Waits for the names of the files other captures are fetching. They
// announce them before they wait for anything themselves, so two captures
// waiting for each other's files both go on. A file given up is taken over;
// one waited for too long is fetched here too. True when something changed.
bool CModernRun::AwaitOthers() {
    bool bChanged = false;
    for (size_t i = 0; i < m_elsewhere.size(); ++i) {
        CNode& node = *m_elsewhere[i];
        if (node.state != kElsewhere) continue;
        std::string name;
        const int answer = m_pDoc->AwaitOrigin(
            node.strUrl, false, [this] { return Stopped(); }, WaitLimit(), name);
        bChanged = true;
        switch (answer) {
        case CClipVaultDoc::kOriginStored:
            UseStored(node, name);
            break;
        case CClipVaultDoc::kOriginNamed:
            node.state = kBorrowed;
            node.strName = name;
            break;
        case CClipVaultDoc::kOriginFree:
            node.state = kPending;
            Acquire(node);
            break;
        default:
            node.state = kPending;
            if (Stopped()) node.state = kFailed;
            else StartFetch(node);
            break;
        }
    }
    return bChanged;
}

// Files named by another capture: listed with what they refer to once it
// stored them. One it could not store after all stays as named.
void CModernRun::AwaitStored() {
    for (CNode* p : m_elsewhere) {
        if (p->state != kBorrowed) continue;
        std::string name;
        if (m_pDoc->AwaitOrigin(p->strUrl, true, [this] { return Stopped(); }, WaitLimit(), name) !=
            CClipVaultDoc::kOriginStored)
            continue;
        UseStored(*p, name);
    }
}

void CModernRun::AddUse(CNode& parent, const std::string& base, const std::string& value, int nUse, CUse site,
                        const std::string& strResultBase) {
    std::string trimmed = value;
    while (!trimmed.empty() && IsAsciiSpace(trimmed.back())) trimmed.pop_back();
    trimmed.erase(0, std::min(trimmed.size(), trimmed.find_first_not_of(" \t\r\n\f")));
    if (trimmed.empty() || trimmed[0] == '#') return;
    // The page already uses a stored attachment (a note captured again, or
    // a page from the editor): it is listed with what it refers to, not
    // fetched.
    if (SchemeOf(trimmed).empty() && m_pDoc->FindAttachment(WithoutFragment(trimmed))) {
        site.pNode = Stored(WithoutFragment(trimmed), nUse, parent.nDepth + 1);
        site.strAbsolute.clear();  // nothing to change
        parent.uses.push_back(site);
        return;
    }
    // A stored file, or a page whose files are not to be fetched, keeps
    // every other address as it stands.
    if (parent.state == kExisting || !m_bFetch) return;
    const std::string absolute = ResolveReference(base, trimmed);
    if (absolute.empty()) return;
    const std::string scheme = SchemeOf(absolute);
    if (!IsWebScheme(scheme) && scheme != "file") return;
    site.strAbsolute = absolute;
    m_budget.Take(sizeof(CUse) + absolute.size());  // past it, the files after this one are not taken
    const std::string key = WithoutFragment(absolute, &site.strFragment);
    site.pNode = Want(key, nUse, parent.nDepth + 1, strResultBase);
    parent.uses.push_back(site);
}

void CModernRun::Fetched(CNode& node, CFetchResult&& result) {
    if (result.m_nCode != kFetchOk || Stopped()) {
        node.state = kFailed;
        return;
    }
    node.state = kFetched;
    node.result = std::move(result);
    if (node.result.m_strFinalUrl.empty()) node.result.m_strFinalUrl = node.strUrl;
    if (node.nUse == kUseFile || node.bParsed) return;
    node.bParsed = true;
    if (node.nUse == kUseStylesheet) {
        ParseStylesheet(node, node.result.m_strFinalUrl);
    } else {
        const std::string& type = node.result.m_strContentType;
        // A frame may show an image or a document of another kind: it is
        // stored as it came. Frame pages come with any type at all.
        const bool bMedia = type.compare(0, 6, "image/") == 0 || type.compare(0, 6, "audio/") == 0 ||
                            type.compare(0, 6, "video/") == 0 || type.compare(0, 5, "font/") == 0 ||
                            type == "application/pdf" || type == "application/octet-stream";
        if (!bMedia) ParseDocument(node, node.result.m_strFinalUrl);
    }
}

void CModernRun::ParseStylesheet(CNode& node, const std::string& sheetUrl) {
    const std::vector<uint8_t>& body = node.result.m_body;
    const std::vector<CCssRef> refs = FindCssRefs(reinterpret_cast<const char*>(body.data()), body.size());
    for (const CCssRef& r : refs) {
        CUse site;
        site.bCss = true;
        site.nOffset = r.m_nOffset;
        site.nLength = r.m_nLength;
        site.cQuote = r.m_cQuote;
        AddUse(node, sheetUrl, r.m_strValue, r.m_nKind == kCssImport ? kUseStylesheet : kUseFile, site);
    }
}

void CModernRun::ParseDocument(CNode& node, const std::string& pageUrl) {
    const std::vector<uint8_t>& body = node.result.m_body;
    if (TooDeepToParse(body.data(), body.size())) return;  // stored as it came
    // The parse and what it keeps count against the budget like a file. The
    // parser's tree is passing but large (a few hundred bytes a tag), so one
    // page may use a quarter of the budget at the most: 256 MiB by default,
    // ten times what the largest pages of the real web need.
    const uint64_t nParse = std::min(m_budget.Left(), m_budget.Limit() / kParseShare);
    CHtmlScan scan = ScanHtml(body.data(), body.size(), node.result.m_strCharset, static_cast<size_t>(nParse));
    if (scan.m_bTooLarge || !m_budget.Take(scan.m_nBytes)) {
        m_budget.Spend();
        if (node.state == kFetched && &node != m_pRoot) {
            // Stored unparsed its own files would be lost; at its address it
            // still shows with them.
            node.state = kFailed;
            m_budget.Give(node.result.m_body.size());
            std::vector<uint8_t>().swap(node.result.m_body);
        }
        return;
    }
    node.bHtml = true;
    node.scan = std::move(scan);
    std::string base = node.strResultBase.empty() ? pageUrl : node.strResultBase;
    const bool bXsl = !node.strResultBase.empty();
    for (const CHtmlRef& ref : node.scan.m_refs) {
        if (ref.m_nKind != kHtmlBase) continue;
        if (std::string b = ResolveReference(pageUrl, ref.m_strValue); !b.empty()) base = b;
        break;
    }
    const auto whole = [](const CHtmlRef& ref, const std::string& text) {
        return CPageEdit{ref.m_nOffset, ref.m_nLength,
                         ref.m_strBefore + HtmlEscapeForAttr(text, ref.m_cQuote) + ref.m_strAfter};
    };
    for (size_t i = 0; i < node.scan.m_refs.size(); ++i) {
        const CHtmlRef& ref = node.scan.m_refs[i];
        CUse site;
        site.nRef = static_cast<int>(i);
        switch (ref.m_nKind) {
        case kHtmlHyperlink: {
            const std::string value = ref.m_strValue;
            if (value.empty() || value[0] == '#') break;
            const std::string absolute = ResolveReference(base, value);
            const std::string scheme = SchemeOf(absolute);
            if (!absolute.empty() && absolute != value && (IsWebScheme(scheme) || scheme == "file" || scheme == "ftp"))
                node.fixedEdits.push_back(whole(ref, absolute));
            break;
        }
        case kHtmlBase:
            // The page is shown from the working folder, where its files now
            // are; every other address has been made absolute.
            if (m_bFetch) node.fixedEdits.push_back(whole(ref, std::string()));
            break;
        case kHtmlLazyFlag:
            // Shown from disk every image can come at once; a headless or
            // printed copy would otherwise never load those below the fold.
            if (m_bFetch) node.fixedEdits.push_back(CPageEdit{ref.m_nOffset, ref.m_nLength, "eager"});
            break;
        case kHtmlResource:
        case kHtmlStylesheet:
        case kHtmlDocument: {
            // "{@image}": filled in by the transformation, nothing to fetch.
            if (bXsl && ref.m_strValue.find('{') != std::string::npos) break;
            const bool bOwn = ref.m_strTag.compare(0, 4, "xsl:") == 0;
            const bool bTransform = ref.m_nKind == kHtmlDocument && ref.m_strTag == "?xml-stylesheet";
            AddUse(node, bOwn ? pageUrl : base, ref.m_strValue,
                   ref.m_nKind == kHtmlStylesheet  ? kUseStylesheet
                   : ref.m_nKind == kHtmlDocument ? kUseDocument
                                                  : kUseFile,
                   site, bTransform ? base : std::string());
            break;
        }
        case kHtmlSrcset:
            for (const CSrcsetCandidate& c : ParseSrcset(ref.m_strValue)) {
                CUse inner = site;
                inner.bInner = true;
                inner.nOffset = c.m_nOffset;
                inner.nLength = c.m_nLength;
                AddUse(node, base, c.m_strUrl, kUseFile, inner);
            }
            break;
        case kHtmlStyleText:
            for (const CCssRef& c : FindCssRefs(ref.m_strValue.data(), ref.m_strValue.size())) {
                CUse inner = site;
                inner.bInner = inner.bCss = true;
                inner.nOffset = c.m_nOffset;
                inner.nLength = c.m_nLength;
                inner.cQuote = c.m_cQuote;
                AddUse(node, base, c.m_strValue, c.m_nKind == kCssImport ? kUseStylesheet : kUseFile, inner);
            }
            break;
        default: break;
        }
    }
}

// Names go out in the order the files stand in the page, a stylesheet's or
// frame's own files right after it, whatever order they arrived in.
void CModernRun::Name(CNode& parent) {
    for (const CUse& use : parent.uses) {
        CNode& node = *use.pNode;
        if (node.nNamePass == m_nPass) continue;
        node.nNamePass = m_nPass;
        if (!node.bNamed && node.state != kPending && node.state != kElsewhere) {
            node.bNamed = true;
            if (node.state == kFetched) {
                // A frame that showed no page is stored as the file it was.
                const int nUse = node.nUse == kUseDocument && !node.bHtml ? kUseFile : node.nUse;
                const std::string wanted =
                    ModernAttachmentName(node.result.m_strFinalUrl, node.result.m_strContentType, nUse);
                node.reservation = CNameReservation(m_pDoc, m_pDoc->ReserveAttachmentName(wanted));
                node.strName = node.reservation.name;
                if (node.strName.empty()) node.state = kFailed;
                else if (node.bReserved) m_pDoc->AnnounceOriginName(node.strUrl, this, node.strName);
            }
            if (node.state == kFetched || node.state == kExisting || node.state == kBorrowed)
                m_order.push_back(&node);
        }
        Name(node);
    }
}

// Names what has arrived since the last pass, and gives up the addresses
// that could not be fetched, for another capture to try.
void CModernRun::NamePass() {
    ++m_nPass;
    m_pRoot->nNamePass = m_nPass;
    Name(*m_pRoot);
    for (CNode& node : m_nodes) {
        if (!node.bReserved || node.state == kFetched || node.state == kPending) continue;
        m_pDoc->ReleaseOrigin(node.strUrl, this);
        node.bReserved = false;
    }
}

std::string CModernRun::Replacement(const CUse& use) const {
    const CNode& node = *use.pNode;
    if (&node == m_pRoot) return use.strAbsolute;  // the page itself, in a frame of its own
    switch (node.state) {
    case kFetched:
    case kExisting:
    case kBorrowed: return use.strAbsolute.empty() ? std::string() : node.strName + use.strFragment;
    // Not captured: the page, shown from the working folder, still finds it
    // where it came from.
    case kFailed: return Stopped() ? std::string() : use.strAbsolute;
    case kTooDeep:
    case kElsewhere: return use.strAbsolute;
    // Neither read nor pointed anywhere else: the page keeps what it wrote.
    case kRefused:
    default: return std::string();
    }
}

std::vector<uint8_t> CModernRun::Rewritten(CNode& node) {
    std::vector<uint8_t>& body = node.result.m_body;
    if (!node.bHtml) {
        if (node.uses.empty()) return std::move(body);
        // A stylesheet: each reference's span in its bytes.
        std::vector<CPageEdit> edits;
        for (const CUse& use : node.uses) {
            const std::string r = Replacement(use);
            if (!r.empty()) edits.push_back({use.nOffset, use.nLength, CssEscapeForSpan(r, use.cQuote)});
        }
        std::sort(edits.begin(), edits.end(),
                  [](const CPageEdit& a, const CPageEdit& b) { return a.m_nOffset < b.m_nOffset; });
        std::vector<uint8_t> out;
        out.reserve(body.size() + 64 * edits.size());
        size_t at = 0;
        for (const CPageEdit& e : edits) {
            if (e.m_nOffset < at || e.m_nOffset + e.m_nLength > body.size()) continue;
            out.insert(out.end(), body.begin() + at, body.begin() + e.m_nOffset);
            out.insert(out.end(), e.m_strText.begin(), e.m_strText.end());
            at = e.m_nOffset + e.m_nLength;
        }
        out.insert(out.end(), body.begin() + at, body.end());
        return out;
    }
    std::vector<CPageEdit> edits = node.fixedEdits;
    if (node.scan.m_nEncodingFrom == kEncodingFromHttp) edits.push_back(EncodingMark(node.scan));
    std::map<int, std::vector<CPageEdit>> inner;  // by reference
    for (const CUse& use : node.uses) {
        const std::string r = Replacement(use);
        if (r.empty() || use.nRef < 0) continue;
        const CHtmlRef& ref = node.scan.m_refs[use.nRef];
        if (use.bInner) {
            inner[use.nRef].push_back({use.nOffset, use.nLength, use.bCss ? CssEscapeForSpan(r, use.cQuote) : r});
        } else {
            edits.push_back({ref.m_nOffset, ref.m_nLength,
                             ref.m_strBefore + HtmlEscapeForAttr(r, ref.m_cQuote) + ref.m_strAfter});
        }
    }
    for (auto& [index, parts] : inner) {
        const CHtmlRef& ref = node.scan.m_refs[index];
        if (ref.m_nKind == kHtmlStyleText && ref.m_strTag == "style") {
            // A style element's text is CSS as it stands: no character
            // references to write.
            for (const CPageEdit& p : parts)
                edits.push_back({ref.m_nOffset + p.m_nOffset, p.m_nLength, p.m_strText});
            continue;
        }
        CHtmlRef copy = ref;
        // A lazy image's real address is not what its span holds.
        if (!copy.m_strBefore.empty() || copy.m_nLength != copy.m_strValue.size()) copy.m_bVerbatim = false;
        EditInsideRef(copy, parts, edits);
    }
    if (edits.empty()) return std::move(body);
    if (&node == m_pRoot) m_bRootEdited = true;
    return ApplyPageEdits(node.scan, body.data(), body.size(), std::move(edits));
}

void CModernRun::AddName(const std::string& name) {
    CNoteUpdate update(m_note);
    if (!update) return;
    auto& names = m_note.m_attachNames;
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

void CModernRun::Run(std::vector<uint8_t>& bytes, const CModernCaptureRequest& request) {
    if (bytes.size() < kMinPageBytes || !m_pDoc) return;
    m_nodes.emplace_back();
    CNode& root = m_nodes.back();
    m_pRoot = &root;
    root.nUse = kUseDocument;
    root.bParsed = true;
    root.state = kFetched;
    root.result.m_body.swap(bytes);
    root.result.m_strCharset = request.m_strCharset;
    const std::string base = FileUrlFor(request.m_strBase);
    root.strUrl = WithoutFragment(base);
    m_byUrl[root.strUrl] = &root;
    struct GiveBack {  // the page goes back to the caller whatever happens
        std::vector<uint8_t>& bytes;
        CNode& root;
        bool bDone = false;
        ~GiveBack() {
            if (!bDone) bytes.swap(root.result.m_body);
        }
    } giveBack{bytes, root};

    m_note.m_bLinksRewritten = 0;
    if (request.m_bOwnContent) {
        CNoteUpdate update(m_note);
        if (update) m_note.m_attachNames.clear();
    }
    if (Stopped()) return;
    ParseDocument(root, base);
    root.bNamed = true;
    do {
        if (m_pFetcher) m_pFetcher->Run();
        NamePass();
    } while (AwaitOthers());

    // Pages and stylesheets are written with their files' names, then stored.
    std::vector<std::vector<uint8_t>> bodies;
    for (CNode* p : m_order) bodies.push_back(p->state == kFetched ? Rewritten(*p) : std::vector<uint8_t>());
    std::vector<uint8_t> page = Rewritten(root);
    for (size_t i = 0; i < bodies.size(); ++i) {
        CNode& node = *m_order[i];
        if (node.state != kFetched) continue;
        CNoteAttatch* pAttach = m_pDoc->MakeReservedAttachment(node.strName, node.strUrl, std::move(bodies[i]));
        node.reservation.name.clear();  // made, or released by the notebook
        if (!pAttach) node.state = kFailed;
    }
    // Given up together: a capture waiting for one of them follows what it
    // refers to, which must be there.
    for (CNode& node : m_nodes) {
        if (node.bReserved) m_pDoc->ReleaseOrigin(node.strUrl, this);
        node.bReserved = false;
    }
    // Only now that this capture's own files are stored: another capture may
    // be waiting for them before it stores the ones waited for here.
    AwaitStored();
    NamePass();
    for (CNode* p : m_order)
        if (p->state == kFetched || p->state == kExisting) AddName(p->strName);
    if (m_bRootEdited) m_note.m_bLinksRewritten = 1;
    bytes.swap(page);
    giveBack.bDone = true;
}

}  // namespace

void CaptureModern(CNote& note, CCaptureContext* pContext, std::vector<uint8_t>& bytes,
                   const CModernCaptureRequest& request) {
    CLocalFolder workFolder(note.m_pDocument);
    CCaptureBudget own;
    CModernRun run(note, pContext, request.m_bFetchResources, request.m_nMaxFileBytes,
                   request.m_pLocalFolder ? *request.m_pLocalFolder : workFolder,
                   request.m_pBudget ? *request.m_pBudget : own);
    run.Run(bytes, request);
}
