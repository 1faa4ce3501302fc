#pragma once

#include "app/BusyState.h"
#include "run/BatchRun.h"

#include <QObject>

#include <functional>
#include <memory>

namespace pelmora {

class CaptionProgressBar;
class Clock;
class Converter;
class Modal;
class ResultsCache;
class TextListModel;

// "Start Extracting": runs the listed files and fills the results list. While a run is
// under way the same button stops it. A closing message that lists scanned files offers
// to read them (OCR), as a second pass that goes on where the run ended.
class RunController : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        TextListModel &files;
        TextListModel &results;
        CaptionProgressBar &progressBar;
        Modal &modal;
        // The converter of a PDF library.
        std::function<Converter &(PdfEngine)> converter;
        Clock &clock;
        BusyState &busy;
        // The password options as the window shows them at this moment.
        std::function<PasswordMode()> passwordMode;
        // What the preferences ask of a run, read when one starts: its files are the list's,
        // and its recognition languages read the scanned files when the closing message
        // offers them.
        std::function<RunRequest()> request;
        // How many hidden files and folders the folders added left out; none: nothing is said.
        std::function<qsizetype()> hiddenLeftOut = {};
    };

    explicit RunController(const Parts &parts, QObject *parent = nullptr);
    ~RunController() override;
    Q_DISABLE_COPY_MOVE(RunController)

    // Starts a run, or, while one is under way, offers to stop it.
    void startOrStop();
    // From the press of "Start Extracting" until its closing message is closed.
    bool runInProgress() const { return m_run != nullptr; }
    // Ends a run under way at once, its converters included; no message.
    void abort();

    // Lets the results cache go, so that its files can be removed; the next run opens it anew.
    // False while a run uses it.
    bool releaseCache();

    static QString stopQuestion();
    static QString recognitionAction();
    // What the closing message says to read the hidden files and folders left out.
    static QString hiddenAction();

Q_SIGNALS:
    // The button now starts (false) or stops (true).
    void runningChanged(bool running);

private:
    enum class State
    {
        Idle,
        Running,
        AskingToStop,     // the run goes on while the user is asked whether to stop it
        EndedWhileAsking, // it ended by itself meanwhile; the answer comes first
        Summarising,      // the closing message is open
    };

    void startRun(const QStringList &pdfs, bool recognise);
    void askToStop();
    void onStopAnswer(bool stop);
    void onRunFinished();
    void summarise();
    void onSummaryClosed(const QStringList &toRecognise);
    void askPassword(qsizetype row, PasswordPrompt prompt);

    Parts m_parts;
    std::unique_ptr<ResultsCache> m_cache; // made for the first run that uses it
    std::unique_ptr<BatchRun> m_run;
    std::unique_ptr<BusyState::Hold> m_busy;
    State m_state = State::Idle;
    qint64 m_startedAt = 0;
    bool m_recognising = false;
};

} // namespace pelmora
