#include "extract/AddressRepairs.h"

#include <QStringList>

#include <array>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

constexpr std::array kRepairs{
    // "%40" between a word's characters is an at-sign (not in a web address, where it joins
    // a query's identifier, nor where it would make a second at-sign in a word, as a "#" or
    // a route joins it), and an encoded character that ends words ("%20", "%3C"), or an
    // at-sign left encoded, ends the word before an address: "Write%20to%20jane@..." gives
    // jane@..., not 20jane@....
    AddressRepair{
        AddressRule::PercentEncoding, "percent",
        "Write%20to%20jane@example.com, %3Cjane.doe@example.org%3E, name%40encoded.com",
        "jane@example.com jane.doe@example.org name@encoded.com",
        "see http://example.net/forum.php?thread_name=4C0F342B.5040008%40ins.example.de, 50%40 of it", ""},
    // "&#64;" and "&#x40;" between a word's characters are at-signs.
    AddressRepair{AddressRule::CharacterReferences, "entity", "entity&#64;encoded.org hex&#x40;encoded.net",
                  "entity@encoded.org hex@encoded.net", "&#64;none.org and 50&#64;", ""},
    // A mail route: "myself%node@gateway.net" whole, not the tail after its "%"; not where
    // the "%" encodes a character.
    AddressRepair{AddressRule::PercentSign, "route", "a mail route: myself%node@gateway.net",
                  "myself%node@gateway.net", "john%20doe@example.org", "doe@example.org"},
    // An address broken at a line end, read whole: after the at-sign ("gnpaulle@" /
    // "bluebox.example.org"), after a dot or hyphen of the domain (the hyphen kept:
    // addresses are not hyphenated), before the at-sign ("a.dimitriadis" / "@uu.nl", where
    // the first line's word holds a dot, "_", "+" or a digit, or the evidence below), and
    // after a dot of the local part ("Matthias Eisner, matthias." / "eisner@ethz.ch", lower-
    // case names after punctuation or a bracket). Since "eisner@ethz.ch" is an address by
    // itself, a join into it needs evidence: brackets that open before the first line's
    // part and close after the second's ("<thorsten." / "schwander@gmail.com>"), a piece
    // of the name matching a word written just before it ("Eisner"), or a line that runs
    // to the page's wrap column, as a hard-wrapped printout cuts words anywhere ("mail
    // kim.l" / "ee@example.org"). Never across a blank line or a page, nor where the
    // first line's word is an address already without such a wrap.
    AddressRepair{AddressRule::BrokenLines, "joined",
                  "write to gnpaulle@\nbluebox.example.org or Matthias Eisner, matthias.\neisner@ethz.ch",
                  "gnpaulle@bluebox.example.org matthias.eisner@ethz.ch",
                  "Topics: security, privacy.\nalice@example.org; follow us on Bluesky\n@pelmora.bsky.social",
                  "alice@example.org"},
    // Soft hyphens, zero-width spaces and byte order marks inside a word are left out.
    AddressRepair{AddressRule::InvisibleCharacters, "invisible",
                  "soft\u00adhyphen@shy.org zw\u200bsp@zero.org", "softhyphen@shy.org zwsp@zero.org",
                  "an accent: j\u00fcrgen@umlaut.de", ""},
    // The Unicode hyphen and non-breaking hyphen read as "-"; a dash still ends a word.
    AddressRepair{AddressRule::UnicodeHyphens, "hyphen", "mary\u2010jane@hyphen.org", "mary-jane@hyphen.org",
                  "Kathy Brown \u2013kb@cs.umb.edu", "kb@cs.umb.edu"},
    // A Cyrillic or Greek letter drawn like a Latin one among four Latin letters or more
    // of a local part ("urostaјms", a text layer's fault) reads as that one. A domain is
    // never read so: "аpple.com" with a Cyrillic "а" is another domain, and no address.
    AddressRepair{AddressRule::LookAlikes, "lookalike", "urosta\u0458ms@gmail.com", "urostajms@gmail.com",
                  "support@\u0430pple.com", ""},
    // An underscore that a converter read from a rule drawn in a word gap (kDrawnUnderscore).
    AddressRepair{AddressRule::DrawnUnderscores, "underscore", "dr\ue05fkremlin@hotmail.com",
                  "dr_kremlin@hotmail.com", "tobias_wahl@gmx.de", "tobias_wahl@gmx.de"},
    // "{alice,bob}@host" gives each; not braces around anything but names and commas.
    AddressRepair{AddressRule::Grouped, "grouped", "{alice,bob}@cs.example.edu",
                  "alice@cs.example.edu bob@cs.example.edu", "{not a list}@x.example.org", ""},
    // The "h" and "i" of angle brackets a font without a Unicode map gives, where only
    // the address without them has a known ending.
    AddressRepair{AddressRule::BracketArtefacts, "brackets", "hD.Wujastyk@ucl.ac.uki", "D.Wujastyk@ucl.ac.uk",
                  "both endings known: hx@host.moi", "hx@host.moi"},
};

} // namespace

std::span<const AddressRepair> AddressRepairs()
{
    return kRepairs;
}

AddressRuleSet RepairRules()
{
    AddressRuleSet rules;
    for (const AddressRepair &repair : kRepairs)
        rules |= repair.rule;
    return rules;
}

QString RepairNames(AddressRuleSet repaired)
{
    QStringList names;
    for (const AddressRepair &repair : kRepairs) {
        if (repaired.testFlag(repair.rule))
            names.append(QString::fromLatin1(repair.name));
    }
    return names.join(u'+');
}

std::optional<AddressRuleSet> RepairsNamed(QStringView names)
{
    AddressRuleSet repaired;
    if (names.isEmpty())
        return repaired;
    for (const QStringView name : names.split(u'+')) {
        const auto *const found =
            std::find_if(kRepairs.begin(), kRepairs.end(),
                         [&](const AddressRepair &repair) { return name == QLatin1StringView(repair.name); });
        if (found == kRepairs.end())
            return std::nullopt;
        repaired |= found->rule;
    }
    return repaired;
}

} // namespace pelmora
