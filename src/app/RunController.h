#pragma once

#include "run/BatchRun.h"

#include <QObject>

#include <functional>
#include <memory>

namespace pelmora {

class BusyPointer;
class CaptionProgressBar;
class Clock;
class Converter;
class Modal;
class TextListModel;

// "Start Extracting": runs the listed files and fills the results list. While a run is
// under way the same button stops it. A closing message that lists scanned files offers
// to read them (OCR), as a second pass that goes on where the run ended.
class RunController : public QObject, private BatchRunHost
{
    Q_OBJECT
public:
    struct Parts
    {
        TextListModel &files;
        TextListModel &results;
        CaptionProgressBar &progressBar;
        Modal &modal;
        Converter &converter;
        Clock &clock;
        // The password options as the window shows them at this moment.
        std::function<PasswordMode()> passwordMode;
        // What counts as an address, read when a run starts.
        std::function<AddressRules()> addressRules;
    };

    explicit RunController(const Parts &parts, QObject *parent = nullptr);
    ~RunController() override;
    Q_DISABLE_COPY_MOVE(RunController)

    // Starts a run, or, while one is under way, offers to stop it.
    void PushButton2_Click();
    bool RunInProgress() const { return m_run != nullptr; }
    // Ends a run under way at once, its converters included; no message.
    void abort();

    static QString stopQuestion();
    static QString recognitionAction();
    static QString stoppedMessage(qsizetype done, qsizetype files, const QList<UnreadableFile> &unreadable);

Q_SIGNALS:
    // The button now starts (false) or stops (true).
    void runningChanged(bool running);

private:
    std::optional<QString> askPassword(PasswordPrompt prompt, const QString &pdf) override;
    PasswordMode passwordMode() override;
    void startRun(const QStringList &pdfs, bool recognise);
    void askToStop();
    void finish();

    Parts m_parts;
    std::unique_ptr<BatchRun> m_run;
    std::unique_ptr<BusyPointer> m_busy;
    qint64 m_startedAt = 0;
    bool m_recognising = false;
    bool m_askingToStop = false;
    bool m_finishWaits = false;
};

} // namespace pelmora
