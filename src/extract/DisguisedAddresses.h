#pragma once

#include "extract/AddressExtraction.h"

namespace pelmora {

// The addresses of `text` written in disguise, as people write them against harvesters:
// "name [at] host [dot] org", "name (at) host (dot) org", "name(at)host.de" (the words
// "at" and "dot" in any letter case), "name AT host DOT org", "name at host dot org",
// "E-mail: name at host.org" and "<name at host.org>" (plain dots after a label, in
// angle brackets, after a dotted name or in parentheses after its owner's name),
// "name@host[.]org", each dot of any form and
// broken at a line's end or not. Each is read as the plain address and passes `rules`
// as ExtractEmailToArray() judges it; otherwise the same contract. Addresses written
// plainly are left to ExtractEmailToArray().
QStringList ExtractDisguised(QByteArrayView text, SeenAddresses &seen, const AddressRules &rules);

} // namespace pelmora
