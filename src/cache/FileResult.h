#pragma once

#include "extract/AddressRules.h"
#include "results/ResultsFile.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace pelmora {

// How a file's conversion ended, of the endings a later run may take over. A timeout
// (it may go through next time) and anything that needed a password are not among them.
enum class FileVerdict : quint8
{
    Readable,       // its text was searched
    TextUnreadable, // next to nothing readable came out: a scanned image
    Damaged,        // it could not be read to the end; the pages that came whole count
};

// An address as one file gives it to a run: its first spelling in the file, the page of
// that first sighting (from 1; 0 for none, as metadata has), how often the file holds it
// in any letter case (0 while its tally still counts), how it was first found, the
// repairs that made it and the path inside the file of an attached file it was found in.
struct FileAddress
{
    QString address;
    int page = 0;
    int count = 0;
    FoundVia via = FoundVia::Text;
    AddressRuleSet repaired = {};
    QString inside = {};
    friend bool operator==(const FileAddress &, const FileAddress &) = default;
};

// A file attached to the file that was not read, and why.
struct AttachmentNotRead
{
    QString inside;
    QString reason;
    friend bool operator==(const AttachmentNotRead &, const AttachmentNotRead &) = default;
};

// All that a run takes from one file, and nothing of its text: the addresses in the
// order the file first gives them, the verdict and its attached files not read.
struct FileResult
{
    FileVerdict verdict = FileVerdict::Readable;
    QList<FileAddress> addresses;
    QList<AttachmentNotRead> notRead = {};
    friend bool operator==(const FileResult &, const FileResult &) = default;
};

// The addresses and the attached files not read as the cache keeps them (each way, with
// its repairs, by the names of the results files), and back; nullopt for bytes that are
// not such a list, or name a way or a repair this version does not know.
QByteArray EncodeFindings(const FileResult &result);
std::optional<FileResult> DecodeFindings(FileVerdict verdict, const QByteArray &bytes);

} // namespace pelmora
