#pragma once

#include <QString>
#include <QTemporaryDir>

namespace pelmora::test {

// The stand-in for a worker of the converter's serve mode (workerProgram()), logging to
// this object's files for as long as it lives. It reads fake PDFs (FakePdf.h); release()
// lets their held steps go on. Every request to a worker appends FakePdf::logLine() to the
// log file; the pids of the workers and every helper they start go to the pid log.
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
    // Lets the held steps of the PDF's conversions go on.
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
