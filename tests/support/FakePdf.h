#pragma once

#include "protocol/WorkerProtocol.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <vector>

namespace pelmora::test {

// What a converter worker does with a fake PDF, for the two stand-ins that read them: the
// worker process (fake_worker.cpp) and the converter in the test's own process
// (ScriptedConverter). A fake PDF is a text file: a directive line, then the text, whose
// form feeds end its pages.
//   TEXT            the text
//   NEEDS <pw>      opens only with <pw> among the passwords
//   SLEEP <s>       the text, after <s> seconds
//   NOTHING         damaged
//   FAIL <words>    the converter could not do it (a recognition model missing), saying so
//   HANG            never ends
//   WAIT            the text, once the PDF is released
//   SCAN            pages of images: a form feed each, unless recognition is asked for,
//                   which reads the text, mended as recognised text is; its lines
//                   "UNSURE address reading..." are addresses the readings did not
//                   agree on
//   SCAN HELD       the same, each page's recognition waiting for the release
//   CRASH <bytes>   the pages that fit whole in <bytes> of the text, then the worker dies
//                   there; a range that ends before it ends well
//   STALL <n>       opens, waits for the release, gives the first <n> pages, then hangs
//   OUT OF MEMORY   opens, then the worker's memory runs out
//   NOISY <MiB>     prints <MiB> mebibytes to standard error, then the text
// A text line "CUT reason" says its page was not read whole; "SAY words" writes the words
// on the worker's standard error as its page is read.
struct FakeStep
{
    enum class Kind
    {
        Event,       // the event goes out
        Dies,        // the worker dies of a fault
        OutOfMemory, // the worker's memory runs out
        Hangs,       // nothing more, ever
        Noise,       // `mebibytes` of noise on standard error
        Says,        // `said` on standard error
    };
    Kind kind = Kind::Event;
    protocol::PageEvent event = {};
    bool held = false;       // waits for the PDF's release
    double delaySeconds = 0; // waits this long first
    int mebibytes = 0;
    std::string_view said = {};
};

class FakePdf
{
public:
    // The steps a worker takes for `asked`, reading `file` (by default the PDF itself).
    explicit FakePdf(const protocol::ConvertRequest &asked, const QString &file = {});
    FakePdf(const FakePdf &) = delete;
    FakePdf &operator=(const FakePdf &) = delete;

    // Taken from the front as they are done; their events view this object's bytes.
    std::deque<FakeStep> steps;

    // The log line of a request: "<pid> <path> passwords=<n> pages=<first>-<last> ocr=<0|1>
    // links=<0|1>", passwords left out.
    static QByteArray logLine(qint64 pid, const protocol::ConvertRequest &asked);

private:
    void follow(const protocol::ConvertRequest &asked, const QByteArray &directive, const QByteArray &text);
    void refuse(protocol::Outcome outcome, std::string_view detail = {});
    void readPages(const protocol::ConvertRequest &asked, const QByteArray &directive,
                   const QByteArray &text);
    void add(const protocol::PageEvent &event, bool held = false, double delaySeconds = 0);
    void add(FakeStep::Kind kind, int mebibytes = 0);
    std::string_view keep(const QByteArray &bytes);

    std::deque<QByteArray> m_bytes; // what the steps' events view
    std::deque<std::vector<std::string_view>> m_readings;
};

} // namespace pelmora::test
