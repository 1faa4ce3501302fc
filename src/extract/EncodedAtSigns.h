#pragma once

#include "extract/AddressRules.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace pelmora {

// Where an encoded at-sign was read, in the decoded text, and the repair that read it.
struct DecodedAtSign
{
    qsizetype at;
    AddressRule rule;
};

// "%40" (PercentEncoding), "&#64;" and "&#x40;" (CharacterReferences) read as "@" where a
// word's characters without an at-sign stand on both sides (a second one would spoil the
// address there is), but in a web address, where "%40" joins a query's identifier
// ("?thread_name=4C0F342B.5040008%40host"); the text itself when it holds none. The
// decoded text is built in `decoded`; `read` gets where each at-sign was read.
QByteArrayView WithAtSignsDecoded(QByteArrayView text, QByteArray &decoded, const AddressRules &rules,
                                  QList<DecodedAtSign> &read);

} // namespace pelmora
