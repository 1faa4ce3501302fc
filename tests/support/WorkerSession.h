#pragma once

// Talks to a real converter worker (`pelmora-convert --serve`, or its MuPDF twin) over
// its pipes, as the program will, and checks that every answer keeps the protocol's order.

#include "protocol/WorkerProtocol.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace pelmora::test {

struct PageAnswer
{
    int page = 0;
    QByteArray text; // its pieces joined
    int pieces = 0;
    QList<QByteArray> links;        // in the order sent
    QList<QByteArray> unsure;       // 'U' frames: addresses left out of a recognised page's text
    QList<QByteArray> alternatives; // of all of them
    int recognising = 0;            // 'R' frames: at most one, before the text
    int recognisingOf = 0;          // the pages the 'R' frame counted
    QByteArray incomplete;          // the 'I' frame's reason: the page was not read whole
};

// An answer's 'O' frame.
struct OpenedAnswer
{
    protocol::Outcome outcome = protocol::Outcome::Error;
    std::string detail;
    int pageCount = 0;
    friend bool operator==(const OpenedAnswer &, const OpenedAnswer &) = default;
};

struct WorkerAnswer
{
    OpenedAnswer opened;
    std::vector<PageAnswer> pages;
    QByteArray text() const; // every page's text, joined
    QList<QByteArray> links() const;
};

// Cuts a worker's output into answers. Records the first break of the protocol's order
// in `problem`; `rest` counts frames after the last whole answer.
struct ParsedAnswers
{
    std::vector<WorkerAnswer> answers;
    QString problem;
    int rest = 0;
};
// `stopped`: the worker was asked to stop after a page, so fewer pages than announced may come.
ParsedAnswers ParseAnswers(const QByteArray &output, bool stopped = false);

QByteArray Request(const QByteArray &path, const QList<QByteArray> &passwords = {}, int first = 0,
                   int last = 0, const QByteArray &options = {}, const QByteArray &languages = {});

// One worker for many requests, with the engine named as --engine names it. A failure
// to start or to answer within a generous bound fails the running test.
class WorkerSession
{
public:
    explicit WorkerSession(const QString &engine = QStringLiteral("poppler"));
    ~WorkerSession();
    WorkerSession(const WorkerSession &) = delete;
    WorkerSession &operator=(const WorkerSession &) = delete;

    // The worker's environment; the test's own unless set before start().
    void setEnvironment(const QProcessEnvironment &environment);
    // The bytes of data the worker may allocate (RLIMIT_DATA), as the program sets it; 0:
    // no limit. Before start().
    void setMemoryLimit(qint64 bytes);
    // The most memory the worker has held so far (VmHWM), in bytes; -1 once it ended.
    qint64 peakMemory() const;
    bool start();
    // Sends the bytes and waits for one whole answer; nullopt (and a failed check) when
    // none came or it broke the order.
    std::optional<WorkerAnswer> ask(const QByteArray &request);
    // Closes the worker's input and waits for its end; its exit code, -1 on a crash.
    int finish();
    qint64 pid() const { return m_process.processId(); }
    // What the worker wrote to standard error so far; all of it once finished.
    QByteArray standardError();

private:
    QString m_program;
    QProcess m_process;
    protocol::FrameReader m_reader;
    QByteArray m_stderr;
};

// Runs a worker over the whole input at once: its output and exit code (-1: it crashed
// or did not end).
struct WholeRun
{
    QByteArray output;
    int exitCode = -1;
};
WholeRun RunWorker(const QByteArray &input, const QString &engine = QStringLiteral("poppler"),
                   const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

// pdftotext or the one-shot form of pelmora-convert on one file.
struct Conversion
{
    QByteArray text;
    int exitCode = -1;
    QByteArray errors; // standard error
};
Conversion RunConverter(const QString &program, const QStringList &arguments,
                        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

} // namespace pelmora::test
