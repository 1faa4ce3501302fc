#pragma once

#include "convert/ConverterChoice.h"
#include "extract/AddressRules.h"

#include <QString>
#include <QStringList>

namespace pelmora {

// How long a file may take to open, and each of its pages to come after the one before
// (a recognised page from the start of its recognition), unless set otherwise. Normal
// files take a fraction of it: poppler and MuPDF read most pages in milliseconds, a
// scanned 300 dpi page is recognised in one to three seconds of CPU (an A2 page at the
// render cap in about fifteen), and a loaded machine of many jobs stretches that a few
// times. A page that takes a minute is hostile or broken (an image that declares a
// million by a million pixels kept poppler busy for good), and a step deadline, unlike
// one for the whole file, lets a book of a hundred thousand pages read to its end.
constexpr int kDefaultTimeoutMs = 60 * 1000;

// Which addresses count, as the window's preferences and the command's options choose.
struct AddressChoices
{
    bool anyDomain = false; // no check of the top-level domain
    bool disguised = false;
    QStringList excluded; // domain patterns
    QStringList only;
};

// What is read besides the pages' text: the notes and form values of the pages, the
// document's metadata, its attached files.
struct SourceChoices
{
    bool notes = true;
    bool metadata = false;
    bool attachments = false;
};

// What a run is asked, whoever asks: built once, from the window's settings
// (Settings::runRequest) or from the command's options (ExtractCommand::readRequest), and
// handed whole to the run. A reading choice still to come joins the reading part here, the
// settings, the Preferences and the options.
struct RunRequest
{
    // The files, in order: folders are walked before.
    QStringList files;
    // Tried on every protected file, in order, after any typed one.
    QStringList passwords;
    // What counts as an address, the domain filters included.
    AddressRules rules;
    // Reading: the PDF library of the converter, the mailto: links of each page after its
    // text, scanned pages read in these languages (tesseract's codes joined with "+"; none:
    // they stay unread), how long a step may take (0: no limit), files converted at once
    // (0: one per processor core).
    PdfEngine engine = kDefaultEngine;
    bool links = false;
    SourceChoices sources;
    QString recognition;
    int timeoutMs = kDefaultTimeoutMs;
    int jobs = 0;
    // Results taken from and kept in the results cache in this folder.
    bool cache = true;
    QString cacheFolder;
    // What could not be honoured while it was built, a line each, told with the run's own
    // problems (BatchRun::problems).
    QStringList problems;
};

// The rules of `choices`. A pattern that is no domain is left out and said in `problems`.
AddressRules RulesFor(const AddressChoices &choices, QStringList &problems);

} // namespace pelmora
