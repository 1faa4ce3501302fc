// Checks the recognised-text repair over arbitrary bytes, with every repair on, against
// its promises: an address the extraction finds before is found after, with its
// spelling; lines stay lines; text only shrinks (spaces closed, dashes made hyphens);
// text without "@" comes back as it was.

#include "extract/AddressExtraction.h"
#include "extract/OcrRepair.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray in(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    constexpr pelmora::OcrRepairs every = {pelmora::OcrRepair::AtSpacing, pelmora::OcrRepair::DomainSpacing,
                                           pelmora::OcrRepair::Dashes};
    const QByteArray out = pelmora::RepairRecognisedText(in, every);
    if (!in.contains('@') && out != in)
        fail("text without an at-sign changed", in, out);
    if (out.size() > in.size())
        fail("text grew", in, out);
    if (out.count('\n') != in.count('\n') || out.count('\f') != in.count('\f'))
        fail("line or page ends changed", in, out);
    const QStringList after = pelmora::ValidAddresses(out);
    for (const QString &address : pelmora::ValidAddresses(in)) {
        if (!after.contains(address))
            fail("an address was lost", in, out);
    }
    return 0;
}
