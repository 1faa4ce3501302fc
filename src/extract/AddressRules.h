#pragma once

#include <QByteArrayView>
#include <QFlags>
#include <QString>
#include <QStringList>

namespace pelmora {

// The rules an address must pass beyond the address pattern. Each can be switched off,
// so that the rule the program started with (none of them) stays at hand and each one
// can be measured on its own.
enum class AddressRule
{
    // The last label of the domain is a top-level domain of the Public Suffix List:
    // "ver@array.sty", "logo@2x.png" and "pearson@stats.heaven" are no addresses.
    KnownDomains = 0x1,
    // A font without a Unicode map turns the angle brackets around an address into "h"
    // and "i": "hname@host.dei" is read as "name@host.de" where only that has a known
    // top-level domain. Needs KnownDomains.
    BracketArtefacts = 0x2,
    // Dashes, quotes, brackets and spaces beyond ASCII end words; invisible characters
    // inside a word are left out ("–kb@cs.umb.edu", "«info@acme.com»").
    UnicodeBoundaries = 0x4,
    // "%40" and "&#64;" (or "&#x40;") between the characters of a word are at-signs.
    EncodedAtSigns = 0x8,
    // "{alice,bob}@cs.example.edu" gives alice@... and bob@..., in that order.
    Grouped = 0x10,
    // "name [at] host [dot] org" and its kin (see ExtractDisguised); only on request.
    Disguised = 0x20,
    // "+" in the local part but first: "name+project@gmail.com", "sdc+@cs.cmu.edu".
    PlusSign = 0x40,
    // RFC 5321's limits: a local part of at most 64 characters, not ending in ".";
    // domain labels of at most 63.
    Limits = 0x80,
    // Words that are no address by what stands around them (see AddressContext.h): SSH
    // logins, the user part of a URL, message identifiers, TeX macro code.
    Context = 0x100,
    // An address broken at a line end is read whole where the break is inside it:
    // "name@" / "host.org", "name@host." / "org", "name@ex-" / "ample.org" (the hyphen
    // kept: addresses are not hyphenated), "name" / "@host.org", and "first." /
    // "last@host.org" where "first." is lower-case letters (a sentence's last word
    // before an address would rarely be).
    BrokenLines = 0x200,
    // "%" inside the local part, a mail route: "myself%node@gateway.net" is one address,
    // not the "node@gateway.net" that the "%" would cut off. Not where the "%" and two
    // hexadecimal digits encode a character, as in a link.
    PercentSign = 0x400,
};
Q_DECLARE_FLAGS(AddressRuleSet, AddressRule)
Q_DECLARE_OPERATORS_FOR_FLAGS(AddressRuleSet)

inline constexpr AddressRuleSet kDefaultAddressRules = {
    AddressRule::KnownDomains,   AddressRule::BracketArtefacts, AddressRule::UnicodeBoundaries,
    AddressRule::EncodedAtSigns, AddressRule::Grouped,          AddressRule::PlusSign,
    AddressRule::Limits,         AddressRule::Context,          AddressRule::BrokenLines,
    AddressRule::PercentSign};

// The domains a run keeps. A pattern is a domain name in which "*" stands for any run
// of characters ("*.example.com": every domain under example.com, not example.com
// itself); letter case does not matter.
class DomainFilter
{
public:
    // Throws AppError naming a pattern that is no domain name.
    void exclude(const QString &pattern);
    void keepOnly(const QString &pattern);
    // True when `domain` matches no excluded pattern and, if any are given, one to keep.
    bool accepts(QByteArrayView domain) const;
    bool isEmpty() const { return m_excluded.isEmpty() && m_kept.isEmpty(); }
    // The patterns as one text, "-" before each excluded one, "+" before each kept one.
    QString describe() const;

private:
    QList<QByteArray> m_excluded;
    QList<QByteArray> m_kept;
};

struct AddressRules
{
    AddressRuleSet on = kDefaultAddressRules;
    DomainFilter domains;

    bool has(AddressRule rule) const { return on.testFlag(rule); }
    // The rules as one text that differs whenever what they accept may: the rules on,
    // the domain patterns and, with KnownDomains, the system's list (KnownDomains::identity).
    QString describe() const;
    // The rule the program started with: the address pattern alone.
    static AddressRules patternOnly() { return {AddressRuleSet(), {}}; }
};

} // namespace pelmora
