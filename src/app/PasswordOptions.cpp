#include "app/PasswordOptions.h"

#include "app/Settings.h"
#include "run/ErrorTrap.h"

#include <QCheckBox>
#include <QRadioButton>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

Qt::CheckState checkStateOf(int value)
{
    switch (value) {
    case 0:
        return Qt::Unchecked;
    case 1:
        return Qt::Checked;
    case 2:
        return Qt::PartiallyChecked;
    default:
        throw AppError(u"Invalid property value"_s);
    }
}

} // namespace

PasswordOptions::PasswordOptions(const Parts &parts, QObject *parent) : QObject(parent), m_parts(parts)
{
    // clicked, not toggled: only the user's changes count as clicks; the restore decides itself.
    connect(&m_parts.askBox, &QCheckBox::clicked, this, &PasswordOptions::onAskClicked);
    connect(&m_parts.eachOption, &QRadioButton::clicked, this, &PasswordOptions::onEachClicked);
    connect(&m_parts.sameOption, &QRadioButton::clicked, this, &PasswordOptions::onSameClicked);
}

int PasswordOptions::askValue() const
{
    switch (m_parts.askBox.checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

PasswordMode PasswordOptions::mode() const
{
    if (askValue() != 1)
        return PasswordMode::None;
    return m_parts.sameOption.isChecked() ? PasswordMode::SameForAll : PasswordMode::PerFile;
}

void PasswordOptions::onAskClicked()
{
    const int value = askValue();
    // Grayed comes only from the store; once clicked the box goes back to two states.
    if (value != 2)
        m_parts.askBox.setTristate(false);
    store({{Settings::askPasswordKey(), QString::number(value)}});
    m_parts.eachOption.setEnabled(value == 1);
    m_parts.sameOption.setEnabled(value == 1);
}

void PasswordOptions::onEachClicked()
{
    storeOptions();
}

void PasswordOptions::onSameClicked()
{
    storeOptions();
}

void PasswordOptions::storeOptions()
{
    store({{Settings::eachPasswordKey(), Settings::fromBoolean(m_parts.eachOption.isChecked())},
           {Settings::samePasswordKey(), Settings::fromBoolean(m_parts.sameOption.isChecked())}});
}

void PasswordOptions::store(const QList<std::pair<QString, QString>> &values)
{
    for (const auto &[key, value] : values)
        m_parts.settings.write(key, value);
}

void PasswordOptions::restore(ErrorTrap &trap, int line)
{
    Settings &settings = m_parts.settings;
    trap.step([&] { restoreAskBox(Settings::toInteger(settings.read(Settings::askPasswordKey(), u"0"_s))); },
              line);
    trap.step(
        [&] {
            restoreOption(m_parts.eachOption,
                          Settings::toBoolean(settings.read(Settings::eachPasswordKey(), u"1"_s)));
        },
        line);
    trap.step(
        [&] {
            restoreOption(m_parts.sameOption,
                          Settings::toBoolean(settings.read(Settings::samePasswordKey(), u"0"_s)));
        },
        line);
}

void PasswordOptions::restoreAskBox(int value)
{
    const Qt::CheckState state = checkStateOf(value);
    if (state == m_parts.askBox.checkState())
        return;
    m_parts.askBox.setCheckState(state); // grayed makes the box three-state
    onAskClicked();
}

void PasswordOptions::restoreOption(QRadioButton &option, bool selected)
{
    if (option.isChecked() == selected)
        return;
    if (!selected) {
        // Clearing an option is no click; an exclusive button cannot be cleared on its own.
        option.setAutoExclusive(false);
        option.setChecked(false);
        option.setAutoExclusive(true);
        return;
    }
    option.setChecked(true); // clears the other one
    storeOptions();
}

} // namespace pelmora
