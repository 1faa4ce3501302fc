#pragma once

#include "extract/AddressRules.h"

#include <QString>
#include <QStringView>

#include <optional>
#include <span>

namespace pelmora {

// The repairs: the rules that change the characters of a text to read an address out of
// it. Each is an AddressRule that can be switched off, and an address that one made names
// it in the results ("repaired": the names joined by "+", in the order below; empty for
// most). The list holds, for each, a text it exists for and a text it must not touch, with
// what each gives by default; one table-driven test runs both.
//
// The invariant, which fuzz_extraction checks on every input: the repairs never lose an
// address. Every address that a text gives with all the repairs off (the other rules as
// they are) it gives with them on as well, in any letter case, unless one address of the
// repaired list stands in its place: one marked with a repair, holding the same at-sign,
// that either holds it whole (a head joined before it, a route, the rest of a domain after
// it) or that it holds but for the leftover of an encoded character before ("20" of
// "%20jane@..."). In a text without an encoded at-sign, an address given unmarked is
// given with the repairs off too. A join puts an address that is whole by itself into a
// longer one only on evidence besides the result being an address (see BrokenLines
// below); without it the address stays as the text gives it.
struct AddressRepair
{
    AddressRule rule;
    const char *name;     // in the results files: short and stable
    const char *forText;  // a text it exists for (UTF-8)
    const char *gives;    // what that text gives by default, the addresses separated by spaces
    const char *notText;  // a text it must not touch
    const char *notGives; // what that one gives by default (empty: nothing)
};

std::span<const AddressRepair> AddressRepairs();

// Every repair rule.
AddressRuleSet RepairRules();

// "joined+lookalike"; empty for none.
QString RepairNames(AddressRuleSet repaired);
// The repairs of such a text (empty: none); nullopt when a name is no repair's.
std::optional<AddressRuleSet> RepairsNamed(QStringView names);

} // namespace pelmora
