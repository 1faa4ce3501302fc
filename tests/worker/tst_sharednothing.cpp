// Nothing a worker keeps from one file changes another's result: every PDF of the test
// data read alone, and after each other one in the same worker, with each engine; with and
// without the MuPDF worker's work-arounds; and whole runs of pelmora-extract over the test
// data with one and two workers, with and without the results cache.
#include "TestData.h"
#include "WorkerSession.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <future>
#include <map>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

const char kNoWorkarounds[] = "PELMORA_NO_WORKAROUNDS";

// The passwords of the committed protected files, each given only to its file, so that no
// file waits on the key derivation of the others'.
QList<QByteArray> passwordsOf(const QString &path)
{
    static const std::map<QString, QByteArray> passwords{
        {u"encrypted.pdf"_s, "secret"},
        {u"protected-aes256.pdf"_s, "identity-user"},
        {u"protected-aes128.pdf"_s, "identity-user128"},
        {u"protected-long.pdf"_s, "a-user-password-of-forty-five-characters-long"},
        {u"protected-rc4.pdf"_s, "caf\xc3\xa9"},
    };
    const auto found = passwords.find(path.section(u'/', -1));
    return found == passwords.end() ? QList<QByteArray>{} : QList<QByteArray>{found->second};
}

// Everything of an answer that could differ: outcome, detail, pages, and each page's text,
// links, recognition and reason.
QByteArray canonical(const test::WorkerAnswer &answer)
{
    QByteArray out = QByteArray(protocol::OutcomeName(answer.opened.outcome).data()) + '|' +
                     QByteArray::fromStdString(answer.opened.detail) + '|' +
                     QByteArray::number(answer.opened.pageCount) + '\n';
    for (const test::PageAnswer &page : answer.pages)
        out += "page " + QByteArray::number(page.page) + ' ' + QByteArray::number(page.recognising) + '\n' +
               page.text + "\nlinks " + page.links.join(' ') + "\nunsure " + page.unsure.join(' ') + ' ' +
               page.alternatives.join(' ') + "\nleft out " + page.incomplete + '\n';
    return out;
}

// An order in which every file is read right after every other one: a circuit through each
// edge of the complete directed graph of `n` files (Hierholzer), n(n - 1) + 1 reads.
std::vector<int> everyPairInARow(int n)
{
    std::vector<int> next(std::size_t(n), 0), stack{0}, circuit;
    while (!stack.empty()) {
        const int at = stack.back();
        int &to = next[std::size_t(at)];
        if (to == at)
            ++to;
        if (to < n) {
            stack.push_back(to++);
        } else {
            circuit.push_back(at);
            stack.pop_back();
        }
    }
    std::reverse(circuit.begin(), circuit.end());
    return circuit;
}

QProcessEnvironment environment(bool workarounds)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (workarounds)
        env.remove(QString::fromLatin1(kNoWorkarounds));
    else
        env.insert(QString::fromLatin1(kNoWorkarounds), u"1"_s);
    return env;
}

} // namespace

class TestSharedNothing : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void aloneAndAfterEachOther();
    void wholeRuns_data();
    void wholeRuns();

private:
    QByteArray request(int file) const;
    QList<QByteArray> read(const std::vector<int> &order, const QString &engine, bool workarounds) const;
    // Each file read by a worker of its own.
    QList<QByteArray> alone(const QString &engine, bool workarounds) const;
    QList<QByteArray> m_files;
    QTemporaryDir m_temp;
    int m_comparisons = 0;
};

void TestSharedNothing::initTestCase()
{
    QVERIFY(m_temp.isValid());
    QDirIterator found(test::dataFile({}), {u"*.pdf"_s}, QDir::Files, QDirIterator::Subdirectories);
    while (found.hasNext())
        m_files.append(QFile::encodeName(found.next()));
    std::sort(m_files.begin(), m_files.end());
    QVERIFY(m_files.size() > 30);
}

void TestSharedNothing::cleanupTestCase()
{
    qInfo("%d files, %d comparisons", int(m_files.size()), m_comparisons);
}

QByteArray TestSharedNothing::request(int file) const
{
    return test::Request(m_files[file], passwordsOf(QFile::decodeName(m_files[file])), 0, 0, "l");
}

// The answers of one worker to the files in `order`, asked all at once; empty when the
// worker failed or broke the protocol.
QList<QByteArray> TestSharedNothing::read(const std::vector<int> &order, const QString &engine,
                                          bool workarounds) const
{
    QByteArray input;
    for (const int file : order)
        input += request(file);
    const test::WholeRun run = test::RunWorker(input, engine, environment(workarounds));
    const test::ParsedAnswers parsed = test::ParseAnswers(run.output);
    if (run.exitCode != 0 || !parsed.problem.isEmpty() || parsed.answers.size() != order.size())
        return {};
    QList<QByteArray> answers;
    for (const test::WorkerAnswer &answer : parsed.answers)
        answers.append(canonical(answer));
    return answers;
}

QList<QByteArray> TestSharedNothing::alone(const QString &engine, bool workarounds) const
{
    QList<QByteArray> answers;
    for (int file = 0; file < int(m_files.size()); ++file)
        answers += read({file}, engine, workarounds);
    return answers;
}

// Both engines read every pair in a row at once, while workers of their own read each file
// alone, with the MuPDF work-arounds and without.
void TestSharedNothing::aloneAndAfterEachOther()
{
    const std::vector<int> order = everyPairInARow(int(m_files.size()));
    std::map<QString, std::future<QList<QByteArray>>> inARow;
    for (const QString &engine : test::EngineNames())
        inARow[engine] = std::async(std::launch::async, [=, this] { return read(order, engine, true); });
    const QList<QByteArray> withoutWorkarounds = alone(u"mupdf"_s, false);
    for (const QString &engine : test::EngineNames()) {
        const QList<QByteArray> expected = alone(engine, true);
        QCOMPARE(expected.size(), m_files.size());
        if (engine == u"mupdf"_s) {
            for (qsizetype i = 0; i < m_files.size(); ++i) {
                QVERIFY2(withoutWorkarounds.value(i) == expected[i], m_files[i].constData());
                ++m_comparisons;
            }
        }
        const QList<QByteArray> answers = inARow[engine].get();
        QCOMPARE(answers.size(), qsizetype(order.size()));
        for (std::size_t i = 0; i < order.size(); ++i) {
            const int file = order[i];
            if (answers[qsizetype(i)] != expected[file])
                QFAIL(qPrintable(u"%1: %2 after %3 reads otherwise than alone:\n%4\nalone:\n%5"_s.arg(
                    engine, QFile::decodeName(m_files[file]),
                    i == 0 ? u"nothing"_s : QFile::decodeName(m_files[order[i - 1]]),
                    QString::fromUtf8(answers[qsizetype(i)].left(2000)),
                    QString::fromUtf8(expected[file].left(2000)))));
            ++m_comparisons;
        }
    }
}

void TestSharedNothing::wholeRuns_data()
{
    test::EngineRows();
}

// Whole runs over the test data: the addresses, the files not read and the status the same.
void TestSharedNothing::wholeRuns()
{
    QFETCH(QString, engine);
    const QString passwords = m_temp.filePath(u"passwords"_s);
    QVERIFY(test::writeFile(passwords, "secret\nidentity-user\nidentity-user128\n"
                                       "a-user-password-of-forty-five-characters-long\ncaf\xc3\xa9\n"));
    struct Run
    {
        QString name;
        QStringList options;
        bool workarounds = true;
    };
    const QString cache = m_temp.filePath(u"cache-"_s + engine);
    QList<Run> runs;
    for (const QString &jobs : {u"1"_s, u"2"_s}) {
        runs.append({u"-j %1, no cache"_s.arg(jobs), {u"-j"_s, jobs, u"--no-cache"_s}});
        runs.append({u"-j %1, cache filled"_s.arg(jobs),
                     {u"-j"_s, jobs, u"--clear-cache"_s, u"--cache-dir"_s, cache + jobs}});
        runs.append({u"-j %1, from the cache"_s.arg(jobs), {u"-j"_s, jobs, u"--cache-dir"_s, cache + jobs}});
        if (engine == u"mupdf"_s)
            runs.append(
                {u"-j %1, no cache, no work-arounds"_s.arg(jobs), {u"-j"_s, jobs, u"--no-cache"_s}, false});
    }
    QByteArray first;
    for (const Run &run : runs) {
        QProcess extract;
        extract.setProcessEnvironment(environment(run.workarounds));
        extract.start(QStringLiteral(PELMORA_EXTRACT_COMMAND),
                      run.options + QStringList{u"--engine"_s, engine, u"--format"_s, u"jsonl"_s,
                                                u"--password-file"_s, passwords, test::dataFile({})});
        QVERIFY(extract.waitForFinished(120000));
        const QByteArray output = "status " + QByteArray::number(extract.exitCode()) + '\n' +
                                  extract.readAllStandardOutput() + extract.readAllStandardError();
        if (first.isEmpty())
            first = output;
        QVERIFY2(output == first, qPrintable(run.name + u":\n"_s + QString::fromUtf8(output) +
                                             u"\nfirst:\n"_s + QString::fromUtf8(first)));
        ++m_comparisons;
    }
    QVERIFY(first.contains("\"address\""));
}

QTEST_GUILESS_MAIN(TestSharedNothing)
#include "tst_sharednothing.moc"
