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
// that first sighting (from 1), how often the file holds it in any letter case (0 while
// its tally still counts), how it was first found and the repairs that made it.
struct FileAddress
{
    QString address;
    int page = 0;
    int count = 0;
    FoundVia via = FoundVia::Text;
    AddressRuleSet repaired = {};
    friend bool operator==(const FileAddress &, const FileAddress &) = default;
};

// All that a run takes from one file, and nothing of its text: the addresses in the
// order the file first gives them, and the verdict.
struct FileResult
{
    FileVerdict verdict = FileVerdict::Readable;
    QList<FileAddress> addresses;
    friend bool operator==(const FileResult &, const FileResult &) = default;
};

// The addresses as the cache keeps them (each way, with its repairs, by the names of the
// results files), and back; nullopt for bytes that are not such a list, or name a way or a
// repair this version does not know.
QByteArray EncodeAddresses(const QList<FileAddress> &addresses);
std::optional<QList<FileAddress>> DecodeAddresses(const QByteArray &bytes);

} // namespace pelmora
