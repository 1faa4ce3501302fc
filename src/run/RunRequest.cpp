#include "run/RunRequest.h"

#include "core/AppError.h"

namespace pelmora {

AddressRules RulesFor(const AddressChoices &choices, QStringList &problems)
{
    AddressRules rules;
    rules.on.setFlag(AddressRule::KnownDomains, !choices.anyDomain);
    rules.on.setFlag(AddressRule::BracketArtefacts, !choices.anyDomain);
    rules.on.setFlag(AddressRule::Disguised, choices.disguised);
    const auto add = [&](const QStringList &patterns, void (DomainFilter::*use)(const QString &)) {
        for (const QString &pattern : patterns) {
            try {
                (rules.domains.*use)(pattern);
            } catch (const AppError &error) {
                problems.append(error.description());
            }
        }
    };
    add(choices.excluded, &DomainFilter::exclude);
    add(choices.only, &DomainFilter::keepOnly);
    return rules;
}

} // namespace pelmora
