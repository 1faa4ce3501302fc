#pragma once

#include <QString>
#include <QTemporaryDir>

namespace pelmora::test {

// The stand-in for a worker of the converter's serve mode (workerProgram()), logging to
// this object's files for as long as it lives. Its "PDFs" are text files: the first line
// is a directive, the rest is the text, whose form feeds end its pages.
//   TEXT            the rest is the text
//   NEEDS <pw>      only converted with password <pw>
//   SLEEP <seconds> converted after a pause
//   NOTHING         writes no output, as for a damaged file
//   HANG            never ends
//   WAIT            converted once release() has been called for the PDF
//   SCAN            pages of images: a form feed each, unless
//                   recognition is asked for, which reads the text
//   SCAN HELD       the same, but recognition waits for release()
//   CRASH <bytes>   writes the first <bytes> of the text, then dies of SIGSEGV
//   NOISY <MiB>     prints <MiB> mebibytes to standard error, then converts
// Every request to a worker appends "<pid> <path> passwords=<count> pages=<first>-<last>
// ocr=<0|1>" to the log file; the pids of the workers and every helper they start go to
// the pid log.
class FakeConverter
{
public:
    FakeConverter();
    ~FakeConverter();
    FakeConverter(const FakeConverter &) = delete;
    FakeConverter &operator=(const FakeConverter &) = delete;

    bool isValid() const { return m_folder.isValid(); }
    // The stand-in for the converter's serve mode.
    static QString workerProgram();
    QString logFile() const;
    QStringList loggedCalls() const;
    // The converter processes and their helpers started so far.
    QList<qint64> loggedPids() const;
    // Lets the conversions of a WAIT PDF go on.
    [[nodiscard]] static bool release(const QString &pdf);
    // Writes a fake PDF and returns its path.
    QString writePdf(const QString &name, const QString &directive, const QByteArray &text) const;
    // The same in another folder, away from the converter's own files.
    static QString writePdfIn(const QString &folder, const QString &name, const QString &directive,
                              const QByteArray &text);
    QString folder() const { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
    QByteArray m_oldCalls;
    QByteArray m_oldPids;
};

} // namespace pelmora::test
