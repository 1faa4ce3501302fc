#pragma once

#include "run/PasswordPrompt.h"

#include <QObject>

class QCheckBox;
class QRadioButton;

namespace pelmora {

class ErrorTrap;
class Settings;

// The frame "Password Option": the check box turns the two option buttons on and off,
// every click is stored at once, and start-up puts the stored state back. The batch
// run and the preview read the controls, never the store.
class PasswordOptions : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        QCheckBox &askBox;
        QRadioButton &eachOption;
        QRadioButton &sameOption;
        Settings &settings;
    };

    explicit PasswordOptions(const Parts &parts, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(PasswordOptions)

    // What a click on the box, on "Each PDF has a different password" and on "All PDFs
    // have the same password" does.
    void onAskClicked();
    void onEachClicked();
    void onSameClicked();

    // Start-up: the box, "each", then "same" from the store, in that order. A control
    // that changes does what its click does; a value that cannot be read is reported
    // through `trap` (at the caller's line) and that control keeps its state.
    void restore(ErrorTrap &trap, int line = __builtin_LINE());

    // The box as a number: 0 unticked, 1 ticked, 2 grayed.
    int askValue() const;
    // What the batch run asks: only a ticked box asks, and only "same" means one password
    // for all; neither option selected asks per file.
    PasswordMode mode() const;
    // The preview asks whenever the box is ticked, whatever the option.
    bool previewAsksForPassword() const { return askValue() == 1; }

private:
    void restoreAskBox(int value);
    void restoreOption(QRadioButton &option, bool selected);
    void storeOptions();
    void store(const QList<std::pair<QString, QString>> &values);

    Parts m_parts;
};

} // namespace pelmora
