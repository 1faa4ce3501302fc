#pragma once

#include <QByteArrayView>
#include <QFlags>
#include <QString>
#include <QStringList>

#include <optional>

namespace pelmora {

// The rules an address must pass beyond the address pattern. Each can be switched off,
// so that the rule the program started with (none of them) stays at hand and each one
// can be measured on its own. The rules that change a text's characters to read an
// address out of it are repairs: AddressRepairs.h lists them, with their names.
enum class AddressRule
{
    // The last label of the domain is a top-level domain of the Public Suffix List:
    // "ver@array.sty", "logo@2x.png" and "pearson@stats.heaven" are no addresses.
    KnownDomains = 0x1,
    // A repair: a font without a Unicode map turns the angle brackets around an address
    // into "h" and "i": "hname@host.dei" is read as "name@host.de" where only that has a
    // known top-level domain. Needs KnownDomains.
    BracketArtefacts = 0x2,
    // Dashes, quotes, brackets, spaces, symbols and footnote daggers beyond ASCII end
    // words ("–kb@cs.umb.edu", "«info@acme.com»", "ulmi@absatzen.de∗"), and so do control
    // characters ("\x03kaspar@uni-muenster.de\x04", angle brackets of a font without a
    // Unicode map).
    UnicodeBoundaries = 0x4,
    // A repair: "&#64;" and "&#x40;" between the characters of a word are at-signs.
    CharacterReferences = 0x8,
    // A repair: "{alice,bob}@cs.example.edu" gives alice@... and bob@..., in that order.
    Grouped = 0x10,
    // "name [at] host [dot] org" and its kin (see ExtractDisguised); only on request.
    Disguised = 0x20,
    // "+" in the local part but first: "name+project@gmail.com", "sdc+@cs.cmu.edu".
    PlusSign = 0x40,
    // RFC 5321's limits: a local part of at most 64 characters, not ending in ".";
    // domain labels of at most 63.
    Limits = 0x80,
    // Words that are no address by what stands around them or by their shape (see
    // AddressContext.h): SSH logins, the user part of a URL, message identifiers, TeX
    // macro code, file names.
    Context = 0x100,
    // A repair: an address broken at a line end is read whole (see AddressRepairs.h for
    // when).
    BrokenLines = 0x200,
    // A repair: "%" inside the local part, a mail route: "myself%node@gateway.net" is one
    // address, not the "node@gateway.net" that the "%" would cut off. Not where the "%"
    // and two hexadecimal digits encode a character, as in a link.
    PercentSign = 0x400,
    // A repair: invisible characters inside a word (soft hyphen, zero-width space, byte
    // order mark) are left out.
    InvisibleCharacters = 0x800,
    // A repair: the Unicode hyphen and non-breaking hyphen read as "-".
    UnicodeHyphens = 0x1000,
    // A repair: a Cyrillic or Greek letter drawn like a Latin one, among many Latin
    // letters of a local part, reads as that one; never in a domain.
    LookAlikes = 0x2000,
    // A repair: an underscore a converter read from a drawn rule (kDrawnUnderscore)
    // reads as "_".
    DrawnUnderscores = 0x4000,
    // A repair: percent-encoding: "%40" between a word's characters is an at-sign, and an
    // encoded character that ends words ("%20", "%3C") ends the word before an address.
    PercentEncoding = 0x8000,
    // "#" inside the local part but first: "ref#4711@tickets.example.com". Not TeX's
    // macro parameter, "#" and one digit ("#1@").
    HashSign = 0x10000,
};
Q_DECLARE_FLAGS(AddressRuleSet, AddressRule)
Q_DECLARE_OPERATORS_FOR_FLAGS(AddressRuleSet)

inline constexpr AddressRuleSet kDefaultAddressRules = {AddressRule::KnownDomains,
                                                        AddressRule::BracketArtefacts,
                                                        AddressRule::UnicodeBoundaries,
                                                        AddressRule::CharacterReferences,
                                                        AddressRule::Grouped,
                                                        AddressRule::PlusSign,
                                                        AddressRule::Limits,
                                                        AddressRule::Context,
                                                        AddressRule::BrokenLines,
                                                        AddressRule::PercentSign,
                                                        AddressRule::InvisibleCharacters,
                                                        AddressRule::UnicodeHyphens,
                                                        AddressRule::LookAlikes,
                                                        AddressRule::DrawnUnderscores,
                                                        AddressRule::PercentEncoding,
                                                        AddressRule::HashSign};

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
    // The rules as one line for a converter worker, which reads them back with fromLine:
    // the rules on as a number, then each domain pattern after "-" (excluded) or "+" (kept),
    // a space before each.
    QString toLine() const;
    // nullopt when `line` is no such line; an empty line gives the defaults.
    static std::optional<AddressRules> fromLine(QByteArrayView line);
    // The rule the program started with: the address pattern alone.
    static AddressRules patternOnly() { return {AddressRuleSet(), {}}; }
};

} // namespace pelmora
