#pragma once

#include "convert/ConverterChoice.h"
#include "run/RunRequest.h"

#include <QString>
#include <QStringList>

#include <memory>

class QSettings;

namespace pelmora {

class ErrorSink;

// The one owner of every stored setting: per-user text values of the application
// "Qarvelle" in the group "Pelmora". Every write reaches the disk at once; nothing is
// cached or saved at shutdown.
class Settings
{
public:
    // The user's own store.
    Settings();
    // A store in the given INI file, for tests.
    explicit Settings(const QString &iniFile);
    ~Settings();
    Settings(const Settings &) = delete;
    Settings &operator=(const Settings &) = delete;

    static QString askPasswordKey() { return QStringLiteral("Check1"); }
    static QString eachPasswordKey() { return QStringLiteral("Option5"); }
    static QString samePasswordKey() { return QStringLiteral("Option6"); }
    static QString lastFolderKey() { return QStringLiteral("LastFolder"); }
    static QString snapshotKey() { return QStringLiteral("Snapshot"); }
    // Whether runs take and keep results in the results cache: a Boolean, true when absent.
    static QString resultsCacheKey() { return QStringLiteral("ResultsCache"); }
    // Booleans, False when never written: keep addresses of any top-level domain; also
    // take addresses written in disguise.
    static QString anyDomainKey() { return QStringLiteral("AnyDomain"); }
    static QString disguisedKey() { return QStringLiteral("Disguised"); }
    // A Boolean, False when absent: folder walks read hidden files and folders too.
    static QString hiddenKey() { return QStringLiteral("Hidden"); }
    // A Boolean, true when absent: runs take the addresses of the pages' mailto: links.
    static QString linksKey() { return QStringLiteral("Links"); }
    // Booleans: runs read the pages' notes and form values (true when absent), the
    // documents' metadata and their attached files (false when absent).
    static QString notesKey() { return QStringLiteral("Notes"); }
    static QString metadataKey() { return QStringLiteral("Metadata"); }
    static QString attachmentsKey() { return QStringLiteral("Attachments"); }
    // The PDF library of the converter's workers: "mupdf" (when absent) or "poppler".
    static QString engineKey() { return QStringLiteral("Engine"); }
    // Domain patterns, one a line, as --exclude-domain and --only-domain take them;
    // empty when absent.
    static QString excludeDomainsKey() { return QStringLiteral("ExcludeDomains"); }
    static QString onlyDomainsKey() { return QStringLiteral("OnlyDomains"); }
    // The languages of scanned pages, tesseract's codes joined with "+": "eng" when absent.
    static QString ocrLanguagesKey() { return QStringLiteral("OcrLanguages"); }

    // The stored text, or `fallback` when the key was never written. A value the file lists
    // with commas (QSettings reads it as a list) comes back joined with ", ".
    QString read(const QString &key, const QString &fallback) const;
    // Keeps the value for this session in any case. When the store cannot be written,
    // the first failure is told to the problem sink (naming the file and what will not
    // be remembered); later ones are silent, so a read-only home does not nag.
    void write(const QString &key, const QString &value);
    // None: nothing is told.
    void setProblemSink(ErrorSink *sink) { m_problems = sink; }

    // Readings of stored text; both throw AppError "Type mismatch" for other text.
    // Booleans: True/False in any letter case, or a decimal number (0 is false).
    static bool toBoolean(const QString &text);
    static int toInteger(const QString &text);
    static QString fromBoolean(bool value);

    // The converter workers' PDF library: "poppler" or "mupdf" under engineKey();
    // kDefaultEngine when the key is missing or names neither.
    PdfEngine pdfEngine() const;
    // A Boolean setting; `fallback` when absent or no Boolean (a hand-edited value).
    bool flag(const QString &key, bool fallback) const;
    // The patterns stored under one of the domain keys, blank lines and "#" lines left out;
    // commas part patterns too, as a hand-edited file may list them.
    QStringList domainPatterns(const QString &key) const;
    // The patterns of such text.
    static QStringList patternsOf(const QString &text);
    // The languages for text recognition, "eng" when none are stored.
    QString ocrLanguages() const;
    // What the preferences ask of a run (its files, passwords and cache folder are the
    // window's): the address choices, a pattern that is no domain said in its problems,
    // the links, what is read besides the pages' text, the PDF library, the recognition
    // languages and whether to use the cache.
    RunRequest runRequest() const;

    QString fileName() const;

private:
    std::unique_ptr<QSettings> m_store;
    ErrorSink *m_problems = nullptr;
    bool m_told = false;
};

} // namespace pelmora
