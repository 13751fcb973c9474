#include "NotebookGen.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <vector>

#include "document/ClipVaultDoc.h"
#include "document/Records.h"

namespace benchgen {
namespace {

// Common English words; drawn with a bias towards the front of the list so
// that the text has the usual mix of frequent and rare words.
const char* const kWords[] = {
    "the", "of", "and", "to", "in", "a", "is", "that", "for", "it", "as", "was", "with", "be", "by", "on", "not",
    "he", "this", "are", "or", "his", "from", "at", "which", "but", "have", "an", "had", "they", "you", "were",
    "their", "one", "all", "we", "can", "her", "has", "there", "been", "if", "more", "when", "will", "would",
    "who", "so", "no", "she", "other", "its", "may", "these", "what", "them", "than", "some", "him", "time",
    "into", "only", "do", "could", "new", "about", "two", "first", "then", "also", "any", "my", "now", "such",
    "like", "our", "over", "man", "me", "even", "most", "made", "after", "many", "before", "must", "through",
    "back", "years", "where", "much", "your", "way", "well", "down", "should", "because", "each", "just",
    "those", "people", "how", "too", "little", "state", "good", "very", "make", "world", "still", "own", "see",
    "men", "work", "long", "get", "here", "between", "both", "life", "being", "under", "never", "day", "same",
    "another", "know", "while", "last", "might", "great", "old", "year", "off", "come", "since", "against",
    "go", "came", "right", "used", "take", "three", "himself", "few", "house", "use", "during", "without",
    "again", "place", "around", "however", "home", "small", "found", "thought", "went", "say", "part", "once",
    "general", "high", "upon", "school", "every", "does", "got", "united", "left", "number", "course", "war",
    "until", "always", "away", "something", "fact", "water", "though", "less", "public", "put", "think",
    "almost", "hand", "enough", "far", "took", "head", "yet", "government", "system", "better", "set", "told",
    "nothing", "night", "end", "why", "called", "eyes", "find", "going", "look", "asked", "later",
    "knew", "point", "next", "city", "business", "give", "group", "toward", "young", "let", "room", "program",
    "president", "side", "social", "given", "present", "several", "order", "national", "possible", "rather",
    "second", "face", "per", "among", "form", "important", "often", "things", "looked", "early", "white",
    "case", "large", "become", "big", "need", "four", "within", "felt", "along", "children", "saw", "best",
    "church", "ever", "least", "power", "development", "light", "thing", "seemed", "family", "interest",
    "want", "members", "mind", "country", "area", "others", "done", "turned", "although", "open", "problem",
    "sense", "service", "half", "kind", "really", "perhaps", "money", "action", "question", "across", "street",
    "door", "river", "harbour", "garden", "window", "letter", "train", "station", "summer", "winter", "village",
    "mountain", "coffee", "paper", "history", "museum", "island", "market", "bridge", "morning", "evening",
    "music", "table", "field", "road", "story", "voice", "letters", "weather", "journey",
    "library", "kitchen", "bread", "forest", "valley", "ocean", "lamp", "clock", "engine", "record", "season",
};
constexpr size_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);

const char* const kTopCategories[] = {"Travel",  "Cooking",  "History", "Science",   "Gardening", "Music",
                                      "Reading", "Work",     "Finance", "Health",    "Home",      "Photography",
                                      "Sport",   "Software"};
// Nested ones: {parent index, name}.
const struct {
    int nParent;
    const char* pName;
} kSubCategories[] = {{0, "Europe"},     {0, "Asia"},      {1, "Baking"},   {3, "Astronomy"},
                      {7, "Meetings"},   {13, "Linux"},    {13, "Databases"}};

struct CRng {
    uint64_t s;
    uint64_t Next() {
        // splitmix64: fast, and every seed (zero too) gives a good stream.
        uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    size_t Between(size_t lo, size_t hi) { return lo + Next() % (hi - lo + 1); }
    // Squaring a uniform draw favours the first words of the list.
    const char* Word() {
        const uint64_t r = Next() >> 32;
        return kWords[((r * r) >> 32) * kWordCount >> 32];
    }
};

void AppendCapitalised(std::string& out, const char* word) {
    const size_t at = out.size();
    out += word;
    if (out[at] >= 'a' && out[at] <= 'z') out[at] = static_cast<char>(out[at] - 'a' + 'A');
}

std::string Title(CRng& rng) {
    std::string title;
    for (size_t w = 0, n = rng.Between(3, 7); w < n; ++w) {
        if (w) title += ' ';
        AppendCapitalised(title, rng.Word());
    }
    return title;
}

void AppendSentence(CRng& rng, std::string& page) {
    const size_t nWords = rng.Between(6, 22);
    for (size_t w = 0; w < nWords; ++w) {
        const char* word = rng.Word();
        if (w == 0) {
            AppendCapitalised(page, word);
        } else if (rng.Next() % 90 == 0) {
            page += "<a href=\"https://example.org/articles/";
            page += word;
            page += "-";
            page += std::to_string(rng.Next() % 10000);
            page += ".html\" class=\"inline-link\">";
            page += word;
            page += "</a>";
        } else if (rng.Next() % 60 == 0) {
            page += "<em>";
            page += word;
            page += "</em>";
        } else {
            page += word;
        }
        if (w + 1 < nWords) page += (w > 2 && rng.Next() % 11 == 0) ? ", " : " ";
    }
    page += rng.Next() % 13 == 0 ? "? " : ". ";
}

// Most pages 6-44 KB, one in forty 50-100 KB: about 27 KB on average, of
// which about 21 KB is visible text, as saved articles go.
size_t PageTarget(CRng& rng) {
    return rng.Next() % 40 == 0 ? rng.Between(50 << 10, 100 << 10) : rng.Between(6 << 10, 44 << 10);
}

const char kStyle[] =
    "<style>\nbody { font-family: Georgia, serif; margin: 0 auto; max-width: 46em; color: #222 }\n"
    "h1, h2 { font-family: Helvetica, Arial, sans-serif; line-height: 1.2 }\n"
    "nav.site ul { list-style: none; padding: 0; display: flex; gap: 1em }\n"
    ".article-section p { line-height: 1.6; margin: 0 0 1em }\n"
    "a.inline-link { color: #1a5490; text-decoration: underline }\n"
    "footer { font-size: 0.8em; color: #666; border-top: 1px solid #ccc }\n</style>\n";

void AppendNavigation(CRng& rng, std::string& page) {
    page += "<nav class=\"site\"><ul>";
    for (int i = 0; i < 8; ++i) {
        const char* word = rng.Word();
        page += "<li><a href=\"https://example.org/section/";
        page += word;
        page += "/index.html\">";
        AppendCapitalised(page, word);
        page += "</a></li>";
    }
    page += "</ul></nav>\n";
}

std::string MakePage(CRng& rng, const std::string& title, const std::string* pPicture) {
    const size_t target = PageTarget(rng);
    std::string page;
    page.reserve(target + 1024);
    page += "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>";
    page += title;
    page += "</title>\n";
    page += kStyle;
    page += "</head>\n<body>\n";
    AppendNavigation(rng, page);
    page += "<article>\n<h1>";
    page += title;
    page += "</h1>\n";
    if (pPicture) page += "<figure><img src=\"" + *pPicture + "\" alt=\"" + title + "\"></figure>\n";
    for (int nSection = 1; page.size() < target; ++nSection) {
        page += "<section class=\"article-section\" id=\"section-" + std::to_string(nSection) + "\">\n<h2>";
        page += Title(rng);
        page += "</h2>\n";
        for (size_t p = 0, nParas = rng.Between(2, 5); p < nParas && page.size() < target; ++p) {
            page += "<p>";
            for (size_t s = 0, nSentences = rng.Between(3, 9); s < nSentences; ++s) AppendSentence(rng, page);
            page += "</p>\n";
        }
        page += "</section>\n";
    }
    page += "</article>\n<footer><p>Saved from <a href=\"https://example.org/\">example.org</a></p></footer>\n"
            "</body></html>\n";
    return page;
}

// Noise behind a PNG signature: pictures neither compress nor look like text.
std::vector<uint8_t> PictureBytes(CRng& rng, size_t n) {
    static const uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; i += 8) {
        const uint64_t v = rng.Next();
        std::memcpy(&b[i], &v, std::min<size_t>(8, n - i));
    }
    std::memcpy(b.data(), kSignature, std::min(n, sizeof(kSignature)));
    return b;
}

bool MakeFolder(const std::string& path, std::string& strError) {
    if (mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) return true;
    strError = "cannot make folder " + path + ": " + std::strerror(errno);
    return false;
}

bool WriteFile(const std::string& path, const std::string& bytes, std::string& strError) {
    FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) strError = "cannot write " + path + ": " + std::strerror(errno);
    return ok;
}

}  // namespace

bool GenerateNotebook(CClipVaultDoc& doc, const CGenOptions& options, CGenResult& result, std::string& strError) {
    doc.OnNewDocument();
    CRng rng{options.nSeed};
    result = CGenResult();

    std::vector<CNoteCata*> catas;
    for (const char* name : kTopCategories) catas.push_back(doc.m_rootCata.AddNewSubCata(name));
    for (const auto& sub : kSubCategories) catas.push_back(catas[sub.nParent]->AddNewSubCata(sub.pName));
    result.nCategories = static_cast<int>(catas.size());

    std::vector<std::string> pictures;
    for (int i = 0; i < 5; ++i) {
        const std::string name = "picture" + std::to_string(i) + ".png";
        CNoteAttatch* p = doc.MakeAttachment(name, "https://example.org/images/" + name,
                                             PictureBytes(rng, rng.Between(6 << 10, 40 << 10)));
        pictures.push_back(p->m_strName);
    }

    const bool bPages = !options.strPagesDir.empty();
    if (bPages) {
        if (!MakeFolder(options.strPagesDir, strError)) return false;
        for (size_t c = 0; c < catas.size(); ++c)
            if (!MakeFolder(options.strPagesDir + "/" + std::to_string(c), strError)) return false;
    }

    // Dates run back about six years from a fixed day, so that the same
    // seed gives the same file whenever it is made.
    const int64_t kNewest = 1767225600;  // 2026-01-01 00:00 UTC
    for (int n = 0; n < options.nNotes; ++n) {
        const size_t c = rng.Next() % catas.size();
        std::string title = Title(rng);
        if (catas[c]->FindNote(title)) title += " (" + std::to_string(n) + ")";
        const std::string* pPicture = n % 10 == 3 ? &pictures[rng.Next() % pictures.size()] : nullptr;
        const std::string page = MakePage(rng, title, pPicture);

        CNote* p = catas[c]->AddNewNote(title);
        p->m_strExt = "htm";
        p->m_nSourceKind = kSourceWebPage;
        p->m_strSource = "https://example.org/" + catas[c]->m_strName + "/" + std::to_string(n) + ".html";
        p->m_tmDate = kNewest - static_cast<int64_t>(rng.Next() % (6 * 365)) * 86400;
        p->SetContent(std::vector<uint8_t>(page.begin(), page.end()));
        if (pPicture) {
            p->m_attachNames.push_back(*pPicture);
            ++result.nPictureNotes;
        }
        result.nPageBytes += page.size();
        if (bPages &&
            !WriteFile(options.strPagesDir + "/" + std::to_string(c) + "/" + std::to_string(n) + ".htm", page, strError))
            return false;
    }
    return true;
}

}  // namespace benchgen
