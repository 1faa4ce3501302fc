// Checks the recognised-text repair over arbitrary bytes, with every repair on, against
// its promises: an address the extraction finds before is found after, with its
// spelling; lines stay lines; text only shrinks (spaces closed, dashes made hyphens);
// text without "@" comes back as it was. With the look-alike case repair too, the text
// keeps its size, and each address is one found before or one of them in small
// letters with "0" and "5" for look-alike capitals.

#include "extract/AddressExtraction.h"
#include "worker/recognition/OcrRepair.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QByteArray &in, const QByteArray &out)
{
    std::fprintf(stderr, "%s\ninput:  %s\noutput: %s\n", what, in.toPercentEncoding().constData(),
                 out.toPercentEncoding().constData());
    std::abort();
}

// An address with its look-alike letters and digits made one: "jOhn", "j0hn" and "john" agree.
QString lookAlikeKey(const QString &address)
{
    return address.toLower().replace(u'0', u'o').replace(u'5', u's');
}

// Every address of the text once, in the first spelling met, by the pattern alone: the
// repairs promise not to change a word the pattern accepts. (The run's Unicode word
// boundaries would see "a@b.org" in "x\u2013a@b.org", which the dash repair rightly
// mends into "x-a@b.org".)
QStringList addressesOf(const QByteArray &text)
{
    pelmora::SeenAddresses seen;
    return pelmora::ExtractEmailToArray(text, seen, pelmora::AddressRules::patternOnly());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray in(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    constexpr pelmora::OcrRepairs every = {pelmora::OcrRepair::AtSpacing, pelmora::OcrRepair::Dashes};
    const QByteArray out = pelmora::RepairRecognisedText(in, every);
    if (!in.contains('@') && out != in)
        fail("text without an at-sign changed", in, out);
    if (out.size() > in.size())
        fail("text grew", in, out);
    if (out.count('\n') != in.count('\n') || out.count('\f') != in.count('\f'))
        fail("line or page ends changed", in, out);
    const QStringList after = addressesOf(out);
    for (const QString &address : addressesOf(in)) {
        if (!after.contains(address, Qt::CaseInsensitive))
            fail("an address was lost", in, out);
    }
    const QByteArray cased = pelmora::RepairRecognisedText(in, every | pelmora::OcrRepair::LookAlikeCase);
    if (cased.size() != out.size() || cased.count('\n') != out.count('\n'))
        fail("the look-alike case repair changed the layout", in, cased);
    for (const QString &address : addressesOf(cased)) {
        if (after.contains(address, Qt::CaseInsensitive))
            continue;
        bool known = false;
        for (const QString &before : after)
            known = known || lookAlikeKey(before) == lookAlikeKey(address);
        if (!known || address != address.toLower())
            fail("the look-alike case repair made up an address", in, cased);
    }
    return 0;
}
