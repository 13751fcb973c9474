// Writes the seed corpora of notebook_fuzz, options_fuzz and sealed_fuzz
// through the program's own writers, so that the seeds stay valid files as
// the format code changes (the password needs the real cipher in any case).
//   make_notebook_seeds NOTEBOOK_FOLDER OPTIONS_FOLDER SEALED_FOLDER
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "SealedSeedKey.h"
#include "platform/FileUtil.h"
#include "app/AppOptions.h"
#include "document/ClipVaultDoc.h"

namespace {

// A fixed date keeps the seed files the same from one day to the next.
constexpr int64_t kDate = 1600000000;

std::vector<uint8_t> Text(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

CNote* AddNote(CNoteCata* pCata, const std::string& name, const std::string& html,
               std::vector<std::string> attach = {}) {
    CNote* p = pCata->AddNewNote(name);
    p->m_tmDate = kDate;
    p->m_strExt = "htm";
    p->m_strSource = "http://example.test/" + name;
    p->m_nSourceKind = kSourceWebPage;
    p->SetContent(Text(html));
    p->m_attachNames = std::move(attach);
    return p;
}

void SaveEmpty(const std::string& path) {
    CClipVaultDoc doc;
    doc.OnNewDocument();
    fuzz::Check(doc.OnSaveDocument(path), "empty notebook saved");
}

void SaveFull(const std::string& path) {
    CClipVaultDoc doc;
    doc.OnNewDocument();
    doc.MakeAttachment("vltlogo.gif", "http://example.test/logo.gif", Text("GIF89a\x01\x00\x01\x00"));
    doc.MakeAttachment("vltstyle.css", "http://example.test/style.css", Text("body{color:red}"));
    AddNote(&doc.m_rootCata, "front page", "<img src=vltlogo.gif>", {"vltlogo.gif", "vltstyle.css"});
    CNoteCata* pNews = doc.m_rootCata.AddNewSubCata("news");
    AddNote(pNews, "held", "<p>later</p>")->m_nStatus = kStatusHeld;
    AddNote(pNews, "failed", "")->m_nStatus = kStatusFailed;
    CNoteCata* pOld = pNews->AddNewSubCata("archive");
    CNote* pFile = AddNote(pOld, "report", "%PDF-1.4");
    pFile->m_strExt = "pdf";
    pFile->m_nSourceKind = kSourceLocalFile;
    CNote* pLink = AddNote(pOld, "link only", "");
    pLink->m_nContentType = 1;
    doc.m_strReserved1 = "first";
    doc.m_strReserved2 = "second";
    doc.SetPassword("secret");
    fuzz::Check(doc.OnSaveDocument(path), "full notebook saved");
}

// The first format: no header, counter or information record, and notes of
// schema 1, which carry no number.
void SaveFirstFormat(const std::string& path) {
    CClipVaultDoc doc;
    const std::string cls = "CNote";
    std::vector<uint8_t> bytes = [&] {
        CMemorySink sink;
        CArchive ar(sink);
        auto note = [&](const std::string& name, bool bFirst) {
            if (bFirst) {
                ar.WriteU16(0xFFFF);
                ar.WriteU16(1);
                ar.WriteU16(static_cast<uint16_t>(cls.size()));
                ar.Write(cls.data(), cls.size());
            } else {
                ar.WriteU16(0x8001);
            }
            ar.WriteString("htm");
            ar.WriteString(name);
            ar.WriteTime32(kDate);
            ar.WriteU32(kContentHeld);
            ar.WriteU32(kSourceWebPage);
            ar.WriteString("http://example.test/" + name);
            ar.WriteU32(0);
            ar.WriteBlock(Text("<html>" + name + "</html>"));
            ar.WriteStringList({});
        };
        ar.WriteString("");  // root category name
        ar.WriteCount(2);
        ar.WriteString("a");
        note("a", true);
        ar.WriteString("b");
        note("b", false);
        ar.WriteCount(0);    // subcategories
        ar.WriteString("");  // no password
        ar.WriteU32(0);
        ar.WriteCount(0);    // attachments
        ar.WriteString("");
        ar.WriteString("");
        ar.Flush();
        return sink.Data();
    }();
    fuzz::WriteFile(path, bytes.data(), bytes.size());
    fuzz::Check(doc.OnOpenDocument(path) && doc.m_nLoadError == -1, "first-format seed reads");
}

void SaveOptionsSeeds(const std::string& folder) {
    CAppOptions defaults;
    const std::string def = folder + "/default";
    fuzz::Check(defaults.SaveOptions(def), "default options saved");
    std::vector<uint8_t> bytes = fuzz::ReadFile(def);
    // Ends inside the hot-key fields: the main fields reset, what was read
    // of the hot key stays.
    fuzz::WriteFile(folder + "/cut-short", bytes.data(), 100);

    CAppOptions filled;
    filled.m_strDateFormat = "%Y-%m-%d";
    filled.m_rcMainWindow = {10, 20, 810, 620};
    filled.m_hotKey.m_bAlt = true;
    filled.m_download.m_bProxyLogon = true;
    filled.m_download.m_strProxyUser = "user";
    filled.m_download.m_strProxyPassword = "pass";
    filled.m_download.m_strConnectionText1 = "proxy.example.test:8080";
    fuzz::Check(filled.SaveOptions(folder + "/filled"), "filled options saved");
}

// Seals a notebook's bytes with the fuzz key in small chunks, so that a
// seed of a few kilobytes still has a first, middle and final chunk.
void SaveSealed(const std::string& from, const std::string& path) {
    std::vector<uint8_t> plain;
    fuzz::Check(fileutil::ReadWholeFile(from, plain), "seed notebook read");
    const std::unique_ptr<vault::CVaultKey> key = fuzzseeds::SealedSeedKey();
    fuzz::Check(key != nullptr, "fuzz key");
    CMemorySink out;
    vault::CEncryptingSink sealed(out, *key, 4096);
    sealed.Write(plain.data(), plain.size());
    sealed.Finish();
    fuzz::Check(fileutil::WriteWholeFile(path, out.Data().data(), out.Data().size()), "sealed seed written");
}

void SaveSealedSeeds(const std::string& notebooks, const std::string& folder) {
    SaveSealed(notebooks + "/full.vlt", folder + "/full.vlt");
    CClipVaultDoc doc;
    doc.OnNewDocument();
    std::vector<uint8_t> picture(10000);
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = uint8_t(i % 251);
    doc.MakeAttachment("vltpicture.png", "http://example.test/picture.png", picture);
    AddNote(&doc.m_rootCata, "page", "<img src=vltpicture.png>", {"vltpicture.png"});
    const std::string plain = folder + "/.plain.vlt";
    fuzz::Check(doc.OnSaveDocument(plain), "chunked notebook saved");
    SaveSealed(plain, folder + "/chunks.vlt");
    ::unlink(plain.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s NOTEBOOK_FOLDER OPTIONS_FOLDER SEALED_FOLDER\n", argv[0]);
        return 2;
    }
    fuzz::InstallSilentHost();
    const std::string notebooks = argv[1];
    const std::string options = argv[2];
    mkdir(notebooks.c_str(), 0777);
    mkdir(options.c_str(), 0777);
    SaveEmpty(notebooks + "/empty.vlt");
    SaveFull(notebooks + "/full.vlt");
    SaveFirstFormat(notebooks + "/first-format.vlt");
    SaveOptionsSeeds(options);
    mkdir(argv[3], 0777);
    SaveSealedSeeds(notebooks, argv[3]);
    return 0;
}
