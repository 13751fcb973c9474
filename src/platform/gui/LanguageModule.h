// The language module: every text, menu, accelerator, toolbar and picture
// the program shows, in one resource bundle per language beside the program
// ("Language/VLTEng.rcc", "Language/VLTChn.rcc").
#pragma once

#include <QHash>
#include <QIcon>
#include <QJsonArray>
#include <QKeySequence>
#include <QLocale>
#include <QPixmap>
#include <QString>
#include <vector>

struct CToolbarResource {
    int m_nWidth = 16;
    int m_nHeight = 16;
    std::vector<unsigned> m_items;  // command ids; 0 = separator
    QPixmap m_strip;                // one image per command, in order
    bool IsValid() const { return !m_items.empty(); }
    // The image of the n-th command (separators not counted).
    QPixmap Image(int nImage) const;
};

struct CAccelerator {
    QKeySequence m_key;
    unsigned m_nID = 0;
};

class CLanguageModule {
public:
    CLanguageModule() = default;
    ~CLanguageModule();
    CLanguageModule(const CLanguageModule&) = delete;
    CLanguageModule& operator=(const CLanguageModule&) = delete;

    // The default language of a locale as four hexadecimal digits ("0804"
    // for Chinese (China), "0409" for English (United States) ...); empty
    // when the locale names no language.
    static QString LocaleLanguageId(const QLocale& locale);
    // The module file for a locale's language id: the Chinese one for "0804"
    // when it exists, else the English one. `nFlag` becomes 0 for "0804",
    // 1 otherwise.
    static QString ChooseModulePath(const QString& strProgramFolder, const QString& strLanguageId, int& nFlag);
    static QString ModulePath(const QString& strProgramFolder, const QString& strName);

    // Registers the bundle and reads its string table; false when the file
    // is missing or is not a language module.
    bool Load(const QString& strPath);
    void Unload();
    bool IsLoaded() const { return !m_strPath.isEmpty(); }
    const QString& Path() const { return m_strPath; }
    QString LanguageName() const { return m_strLanguage; }
    // The locale the module's texts are written for (its "locale" entry),
    // which Qt's own texts follow; C when it names none.
    QLocale Locale() const { return m_locale; }

    // Empty when the table has no such string.
    QString String(unsigned nID) const { return m_strings.value(nID); }
    bool HasString(unsigned nID) const { return m_strings.contains(nID); }
    // The framework form "prompt\ntool tip": part 0 or 1.
    QString StringPart(unsigned nID, int nPart) const;

    // A menu: its popups, each {"text", "items"}; empty when missing.
    QJsonArray Menu(unsigned nID) const;
    std::vector<CAccelerator> Accelerators(unsigned nID) const;
    CToolbarResource Toolbar(unsigned nID) const;
    // How many toolbar resources were read so far; each read decodes a
    // picture strip, which the window does once per toolbar.
    int ToolbarReads() const { return m_nToolbarReads; }
    // Magenta (255, 0, 255) is transparent, as the images were drawn.
    QPixmap Bitmap(unsigned nID) const;
    QIcon Icon(unsigned nID) const;
    // The Qt Designer form of dialog template `nID`; empty when missing.
    QByteArray DialogTemplate(unsigned nID) const;

    // Reads "id<TAB>text" lines with \n, \t and \\ escapes.
    static QHash<unsigned, QString> ParseStringTable(const QByteArray& bytes);

private:
    QString m_strPath;
    QString m_strRoot;  // resource root the bundle was registered under
    QString m_strLanguage;
    QLocale m_locale = QLocale::c();
    QHash<unsigned, QString> m_strings;
    mutable int m_nToolbarReads = 0;
};

// The module the windows show themselves in: the one the application
// loaded, an empty module before that.
const CLanguageModule& CurrentLanguage();
void SetCurrentLanguage(const CLanguageModule* pModule);
