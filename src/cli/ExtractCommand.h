#pragma once

#include "cli/ExtractOptions.h"
#include "run/BatchRun.h"

#include <QObject>

#include <cstdio>
#include <memory>

namespace pelmora {

class Converter;
class ConverterWorkspace;
class ResultsCache;

// The engine without a window: the inputs are expanded as a drop of them would be,
// run with the same passes as "Start Extracting", and the results printed.
class ExtractCommand : public QObject
{
    Q_OBJECT
public:
    ExtractCommand(const ExtractOptions &options, std::FILE *out, std::FILE *err, QObject *parent = nullptr);
    ~ExtractCommand() override;
    Q_DISABLE_COPY_MOVE(ExtractCommand)

    // Starts the work; `finished` tells its exit status, from the event loop.
    void start();
    // Ends the run at once (converters and their files included); it finishes with 130.
    void interrupt();

Q_SIGNALS:
    void finished(int status);

private:
    bool readRequest();
    bool prepare();
    int run();
    void end(int status);
    QStringList expandedInputs();
    // The files the run could not read, with the folders and files the walk could not; said
    // on standard error unless -q. False when there were any.
    bool reportUnreadable(const QList<UnreadableFile> &unreadable) const;
    bool streams() const;
    void onAddresses(const QList<AddressSource> &found);
    void onProgress(int value, const QString &caption);
    int finish();
    void reportUnsure() const;
    void reportHidden() const;
    int merge();
    // The results of the run or merge: to standard output, or to -o whole.
    bool write(const QList<AddressSource> &rows);
    // False, said on standard error, when standard output took not every byte.
    bool toOutput(QByteArrayView bytes);
    void complain(const QString &text) const;

    ExtractOptions m_options;
    std::FILE *m_out;
    std::FILE *m_err;
    bool m_showProgress;
    RunRequest m_request;
    std::unique_ptr<ConverterWorkspace> m_workspace;
    std::unique_ptr<Converter> m_converter;
    std::unique_ptr<ResultsCache> m_cache; // none with --no-cache
    std::unique_ptr<BatchRun> m_run;
    QList<AddressSource> m_found;     // when they cannot be printed as found
    QList<UnreadableFile> m_unwalked; // what the folder walks could not read
    qsizetype m_hiddenLeftOut = 0;    // by the folder walks
    bool m_ended = false;
};

} // namespace pelmora
