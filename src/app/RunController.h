#pragma once

#include "run/BatchRun.h"

#include <QObject>

#include <functional>
#include <memory>

namespace pelmora {

class BusyPointer;
class CaptionProgressBar;
class Converter;
class Modal;
class TextListModel;

// "Start Extracting": runs the listed files and fills the results list.
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
        // The password options as the window shows them at this moment.
        std::function<PasswordMode()> passwordMode;
    };

    explicit RunController(const Parts &parts, QObject *parent = nullptr);
    ~RunController() override;
    Q_DISABLE_COPY_MOVE(RunController)

    void PushButton2_Click();
    bool RunInProgress() const { return m_run != nullptr; }
    // Ends a run under way at once, its converters and files included; no summary.
    void abort();

Q_SIGNALS:
    void runFinished();

private:
    PasswordMode passwordMode() override;
    QString askPassword(PasswordPrompt prompt, const QString &pdf) override;
    void finish();

    Parts m_parts;
    std::unique_ptr<BatchRun> m_run;
    std::unique_ptr<BusyPointer> m_busy;
};

} // namespace pelmora
