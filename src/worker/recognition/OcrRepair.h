#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFlags>
#include <QList>

namespace pelmora {

// Text recognition splits and misreads addresses in a few typical ways. Each repair
// below changes the recognised text only where the result is a valid address and the
// text cannot have meant anything else; a word that already is a valid address is
// never changed, since an address that is not on the page is worse than a missed one.
enum class OcrRepair
{
    // "name @domain.org", "name@ domain.org", "name @ domain.org": the space closed up,
    // unless the name may be the tail of a longer split local part (digits only, or
    // after a word ending in ".", "_" or "-", or after a single character). So are the
    // spaces that some fonts' wide dots get in an address that is no address without
    // them: "rdt@cs .queensu.ca", "michael .ummels@x.de", "x@yahoo. com", "x@hemmecke . de"
    // (a space after a dot only in the domain, and not after a top-level domain, where a
    // sentence may end).
    AtSpacing = 0x1,
    // A dash read for a hyphen inside an address: "lisa—-lowell", "orbit–labs".
    Dashes = 0x8,
    // A capital right after a lower-case letter or digit in an address: tesseract reads
    // a zero or five among small letters as "O" or "S" ("jOhn", "mxS"), so those become
    // "0" and "5" when the address is then all lower case; any other such capital
    // ("DeOliveira", "m1IpOnd") cannot be told from a misread one, and the address is
    // blanked. Only for recognised text: typed text means its capitals.
    LookAlikeCase = 0x10,
    // Not repaired: typographic quotes glued to an address (on the corpus each one so
    // freed held a misread character, so precision fell); letters and digits that look alike ("maill" for
    // "mail1"), since both
    // are allowed almost everywhere; nor digits in the last label ("c0m"): tesseract
    // did not produce them, and a label split off by a space made a middle label look
    // last, so "mail8.0akhil 1.org" would have become "mail8.oakhil".
};
Q_DECLARE_FLAGS(OcrRepairs, OcrRepair)
Q_DECLARE_OPERATORS_FOR_FLAGS(OcrRepairs)

// The repairs that raised recall without lowering precision on the scanned-page corpus
// (scripts/make-ocr-corpus.sh, seeds 1 and 2, measured by scripts/ocr-eval.py).
inline constexpr OcrRepairs kDefaultOcrRepairs = {OcrRepair::AtSpacing, OcrRepair::Dashes,
                                                  OcrRepair::LookAlikeCase};

// Whether `name`, the local part of an address being mended, may be only the end of
// it, the rest on the word before (`before`, empty when punctuation or the line start
// comes first): "s lowell @x.org", "orders. lilleholm @x.org", "kowalski1 291 @x.org".
bool MayBeTailOfName(QByteArrayView name, QByteArrayView before);
// The part of that which the word before decides: it ends in ".", "_" or "-", is a single
// character, or ends in a letter or digit where the name starts with a digit.
bool MayContinueWordBefore(QByteArrayView name, QByteArrayView before);

// The rule of OcrRepair::AtSpacing for one line of recognised text, which the converter's
// vote over several readings follows too: where the single spaces beside an "@" or a dot
// stand that close into an address, in ascending order. With `tails`, also where the name may
// be only the tail of a split local part: the vote, which can hand such an address on as
// unsure, closes those too; the repair, which cannot, leaves them.
QList<qsizetype> AtSpacesToClose(QByteArrayView line, bool tails);

// Recognised page text (UTF-8, lines ending in LF) with the chosen repairs applied;
// the program's normal extraction then runs on the result. Holds no state.
QByteArray RepairRecognisedText(QByteArrayView text, OcrRepairs repairs = kDefaultOcrRepairs);

} // namespace pelmora
