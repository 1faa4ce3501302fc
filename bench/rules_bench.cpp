// Precision and recall of the address rules on the trap corpus (tests/data/addresses):
// every rule set searched in this process over the pages pdftotext gives (the
// converter's text, byte for byte), then the command itself with the switches a user has.
// Prints figures: pelmora_bench_rules
#include "extract/AddressExtraction.h"
#include "extract/AddressRepairs.h"
#include "extract/DisguisedAddresses.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

const QString kCorpus = QStringLiteral(PELMORA_ADDRESS_CORPUS);
const QStringList kFiles{u"typeset.pdf"_s, u"traps.pdf"_s};

QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        std::exit(1);
    }
    return process.readAllStandardOutput();
}

// The addresses of the corpus as one run finds them, page by page as the run does, and
// the repairs that made each (none for the disguised ones).
QStringList searched(const AddressRules &rules, QList<AddressRuleSet> *repairs = nullptr)
{
    SeenAddresses seen;
    QStringList found;
    for (const QString &file : kFiles) {
        const QByteArray text = run(u"pdftotext"_s, {QDir(kCorpus).filePath(file), u"-"_s});
        for (const QByteArray &page : text.split('\f')) {
            QList<AddressRuleSet> made;
            found += ExtractEmailToArray(page, seen, rules, &made);
            if (repairs)
                *repairs += made;
            if (rules.has(AddressRule::Disguised))
                found += ExtractDisguised(page, seen, rules);
        }
    }
    return found;
}

QSet<QString> lowered(const QStringList &addresses)
{
    QSet<QString> set;
    for (const QString &address : addresses)
        set.insert(address.toLower());
    return set;
}

void printRow(const char *name, const QStringList &found, const QSet<QString> &truth)
{
    const QSet<QString> set = lowered(found);
    const qsizetype right = QSet<QString>(set).intersect(truth).size();
    std::printf("%-58s %5lld %5lld %9.3f %7.3f\n", name, static_cast<long long>(found.size()),
                static_cast<long long>(right), found.isEmpty() ? 0.0 : double(right) / double(set.size()),
                double(right) / double(truth.size()));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QFile truthFile(QDir(kCorpus).filePath(u"truth.txt"_s));
    if (!truthFile.open(QIODevice::ReadOnly))
        return 1;
    const QSet<QString> truth =
        lowered(QString::fromUtf8(truthFile.readAll()).split(u'\n', Qt::SkipEmptyParts));
    std::printf("Trap corpus: %s (%lld addresses a person could write to)\n\n", qPrintable(kCorpus),
                static_cast<long long>(truth.size()));
    std::printf("%-58s %5s %5s %9s %7s\n", "rules (searched in process)", "found", "right", "precision",
                "recall");

    const AddressRules defaults;
    const auto without = [](AddressRuleSet rules) {
        AddressRules changed;
        changed.on &= ~rules;
        return changed;
    };
    AddressRules disguised;
    disguised.on |= AddressRule::Disguised;
    QList<AddressRuleSet> repairs;
    const QStringList all = searched(defaults, &repairs);
    printRow("pattern only (the rule the program started with)", searched(AddressRules::patternOnly()),
             truth);
    printRow("default: every rule but Disguised", all, truth);
    printRow("  without KnownDomains and BracketArtefacts",
             searched(without({AddressRule::KnownDomains, AddressRule::BracketArtefacts})), truth);
    printRow("  without UnicodeBoundaries", searched(without(AddressRule::UnicodeBoundaries)), truth);
    printRow("  without PlusSign", searched(without(AddressRule::PlusSign)), truth);
    printRow("  without HashSign", searched(without(AddressRule::HashSign)), truth);
    printRow("  without Limits", searched(without(AddressRule::Limits)), truth);
    printRow("  without Context", searched(without(AddressRule::Context)), truth);
    for (const AddressRepair &repair : AddressRepairs()) {
        const QByteArray name = "  without the repair " + QByteArray(repair.name);
        printRow(name.constData(), searched(without(repair.rule)), truth);
    }
    printRow("  without any repair", searched(without(RepairRules())), truth);
    printRow("  with Disguised", searched(disguised), truth);

    std::printf("\nRepaired (default rules):");
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (repairs[i])
            std::printf(" %s (%s)", qPrintable(all[i]), qPrintable(RepairNames(repairs[i])));
    }
    std::printf("\n");

    std::printf("\n%-58s %5s %5s %9s %7s\n", "the command", "found", "right", "precision", "recall");
    QStringList paths;
    for (const QString &file : kFiles)
        paths.append(QDir(kCorpus).filePath(file));
    for (const QStringList &options :
         {QStringList(), QStringList{u"--any-domain"_s}, QStringList{u"--disguised"_s}}) {
        const QString name =
            u"pelmora-extract "_s + (options.isEmpty() ? u"(default)"_s : options.join(u' '));
        printRow(qPrintable(name),
                 QString::fromUtf8(run(QStringLiteral(PELMORA_EXTRACT_COMMAND), options + paths))
                     .split(u'\n', Qt::SkipEmptyParts),
                 truth);
    }
    std::printf("\nPrecision: the share of distinct addresses found that are in the truth list; recall: the\n"
                "share of the truth list found. tests/data/addresses/README.md explains every trap.\n");
    return 0;
}
