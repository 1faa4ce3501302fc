#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

namespace pelmora::test {

class FakeConverter;

// Every entry below `root` by its name as the file system holds it (bytes, invalid
// UTF-8 included), with its type, permissions, size and a digest of its content or
// link target. Links are not followed.
QMap<QByteArray, QByteArray> TreeSnapshot(const QString &root);

// True while the process exists and has not ended (a zombie has ended).
bool ProcessIsRunning(qint64 pid);

// Child processes of this process that have not ended.
QList<qint64> RunningChildren();

// The process and every process it started that is still there, as /proc shows them.
QList<qint64> ProcessTree(qint64 root);

// Processes of the converter workers, real or fake, that this test started (also through
// a program it ran) and that have not ended.
QList<qint64> RunningWorkers();

// What must hold after every run over hostile input: the input tree is byte for byte
// as it was when this object was made, and no converter
// (of the fake, with its helpers, any child of this process, or any worker that was not
// running already when this object was made) is still running.
class RunInvariants
{
public:
    explicit RunInvariants(const QString &inputRoot, const FakeConverter *fake = nullptr);

    // Empty when all holds; otherwise what broke, in words. Processes get a moment to
    // go, since a killed process is gone only once the kernel has torn it down.
    QString violations() const;

private:
    QString m_inputRoot;
    const FakeConverter *m_fake;
    QMap<QByteArray, QByteArray> m_before;
    QList<qint64> m_workersBefore;
};

} // namespace pelmora::test
