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
    connect(&m_parts.check1, &QCheckBox::clicked, this, &PasswordOptions::Check1_Click);
    connect(&m_parts.option5, &QRadioButton::clicked, this, &PasswordOptions::Option5_Click);
    connect(&m_parts.option6, &QRadioButton::clicked, this, &PasswordOptions::Option6_Click);
}

int PasswordOptions::check1Value() const
{
    switch (m_parts.check1.checkState()) {
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
    if (check1Value() != 1)
        return PasswordMode::None;
    return m_parts.option6.isChecked() ? PasswordMode::SameForAll : PasswordMode::PerFile;
}

void PasswordOptions::Check1_Click()
{
    const int value = check1Value();
    // Grayed comes only from the store; once clicked the box goes back to two states.
    if (value != 2)
        m_parts.check1.setTristate(false);
    store({{Settings::checkKey(), QString::number(value)}});
    m_parts.option5.setEnabled(value == 1);
    m_parts.option6.setEnabled(value == 1);
}

void PasswordOptions::Option5_Click()
{
    storeOptions();
}

void PasswordOptions::Option6_Click()
{
    storeOptions();
}

void PasswordOptions::storeOptions()
{
    store({{Settings::option5Key(), Settings::fromBoolean(m_parts.option5.isChecked())},
           {Settings::option6Key(), Settings::fromBoolean(m_parts.option6.isChecked())}});
}

void PasswordOptions::store(const QList<std::pair<QString, QString>> &values)
{
    for (const auto &[key, value] : values)
        m_parts.settings.write(key, value);
}

void PasswordOptions::restore(ErrorTrap &trap, int line)
{
    Settings &settings = m_parts.settings;
    trap.step([&] { restoreCheck1(Settings::toInteger(settings.read(Settings::checkKey(), u"0"_s))); }, line);
    trap.step(
        [&] {
            restoreOption(m_parts.option5,
                          Settings::toBoolean(settings.read(Settings::option5Key(), u"1"_s)));
        },
        line);
    trap.step(
        [&] {
            restoreOption(m_parts.option6,
                          Settings::toBoolean(settings.read(Settings::option6Key(), u"0"_s)));
        },
        line);
}

void PasswordOptions::restoreCheck1(int value)
{
    const Qt::CheckState state = checkStateOf(value);
    if (state == m_parts.check1.checkState())
        return;
    m_parts.check1.setCheckState(state); // grayed makes the box three-state
    Check1_Click();
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
