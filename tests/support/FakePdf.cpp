#include "FakePdf.h"

#include "worker/recognition/OcrRepair.h"

#include <QFile>
#include <QFileInfo>

namespace pelmora::test {

namespace {

using protocol::Outcome;
using protocol::PageEvent;

QList<QByteArray> pagesOf(const QByteArray &text)
{
    QList<QByteArray> pages;
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype end = text.indexOf('\f', from);
        const qsizetype next = end < 0 ? text.size() : end + 1;
        pages.append(text.sliced(from, next - from));
        from = next;
    }
    return pages;
}

} // namespace

FakePdf::FakePdf(const protocol::ConvertRequest &asked, const QString &file)
{
    const QString pdf = QFile::decodeName(QByteArray::fromStdString(asked.path));
    const QFileInfo info(pdf);
    QFile reading(file.isEmpty() ? pdf : file);
    if (info.exists() && !info.isFile()) {
        refuse(Outcome::NotRegular);
        return;
    }
    if (!info.exists() || !reading.open(QIODevice::ReadOnly)) {
        refuse(Outcome::Damaged);
        return;
    }
    QByteArray directive = reading.readLine();
    if (directive.endsWith('\n'))
        directive.chop(1);
    follow(asked, directive, reading.readAll());
}

void FakePdf::follow(const protocol::ConvertRequest &asked, const QByteArray &directive,
                     const QByteArray &text)
{
    const auto argument = [&](QByteArrayView word) { return directive.sliced(word.size()); };
    const QList<QByteArray> pages = pagesOf(text);
    if (directive.startsWith("NEEDS ")) {
        const auto password = argument("NEEDS ").toStdString();
        if (std::find(asked.passwords.begin(), asked.passwords.end(), password) == asked.passwords.end())
            return refuse(asked.passwords.empty() ? Outcome::NeedsPassword : Outcome::WrongPassword);
    } else if (directive.startsWith("FAIL ")) {
        return refuse(Outcome::Error, keep(argument("FAIL ")));
    } else if (directive == "NOTHING") {
        return refuse(Outcome::Damaged);
    } else if (directive == "HANG") {
        return add(FakeStep::Kind::Hangs);
    } else if (directive.startsWith("STALL ")) {
        add(PageEvent::opened(Outcome::Text, int(pages.size())));
        for (int page = 1; page <= std::min(argument("STALL ").toInt(), int(pages.size())); ++page) {
            add(PageEvent::text(page, keep(pages[page - 1])), page == 1);
            add(PageEvent::pageEnd(page));
        }
        return add(FakeStep::Kind::Hangs);
    } else if (directive == "OUT OF MEMORY") {
        add(PageEvent::opened(Outcome::Text, int(pages.size())));
        return add(FakeStep::Kind::OutOfMemory);
    } else if (directive.startsWith("NOISY ")) {
        add(FakeStep::Kind::Noise, argument("NOISY ").toInt());
    }
    readPages(asked, directive, text);
}

// The pages of the range, as a worker gives them; CRASH ends them where it dies.
void FakePdf::readPages(const protocol::ConvertRequest &asked, const QByteArray &directive,
                        const QByteArray &text)
{
    const auto argument = [&](QByteArrayView word) { return directive.sliced(word.size()); };
    const double delay = directive.startsWith("SLEEP ") ? argument("SLEEP ").toDouble() : 0;
    const bool scanned = directive.startsWith("SCAN");
    const bool heldScan = directive == "SCAN HELD";
    // The worker dies on the page that the byte `crash` of the whole text is on.
    const qsizetype crash = directive.startsWith("CRASH ") ? argument("CRASH ").toLongLong() : -1;
    const QList<QByteArray> pages = pagesOf(text);
    const int first = std::max(1, asked.firstPage);
    const int last = asked.lastPage > 0 ? std::min(asked.lastPage, int(pages.size())) : int(pages.size());
    const int count = std::max(0, last - first + 1);
    add(PageEvent::opened(Outcome::Text, count), directive == "WAIT", delay);
    qsizetype offset = 0;
    for (int page = 1; page < first; ++page)
        offset += pages[page - 1].size();
    for (int page = first; page <= last; offset += pages[page - 1].size(), ++page) {
        if (crash >= 0 && offset + pages[page - 1].size() > crash) {
            if (crash > offset)
                add(PageEvent::text(page, keep(text.sliced(offset, crash - offset))));
            add(FakeStep::Kind::Dies);
            return;
        }
        const bool recognised = scanned && asked.recognise;
        if (recognised)
            add(PageEvent::recognising(page, count));
        QList<QByteArray> kept;
        QList<QList<QByteArray>> unsure;
        QByteArray cut;
        for (const QByteArray &line : pages[page - 1].split('\n')) {
            if (recognised && line.startsWith("UNSURE "))
                unsure.append(line.sliced(7).split(' '));
            else if (line.startsWith("CUT "))
                cut = line.sliced(4);
            else if (line.startsWith("SAY "))
                steps.push_back({FakeStep::Kind::Says, {}, false, 0, 0, keep(line.sliced(4) + '\n')});
            else
                kept.append(line);
        }
        const QByteArray read = recognised ? RepairRecognisedText(kept.join('\n')) : kept.join('\n');
        add(PageEvent::text(page, scanned && !recognised ? std::string_view("\f") : keep(read)),
            recognised && heldScan);
        for (const QList<QByteArray> &readings : unsure) {
            std::vector<std::string_view> &others = m_readings.emplace_back();
            for (const QByteArray &other : readings.sliced(1))
                others.push_back(keep(other));
            add(PageEvent::unsure(page, keep(readings.first()), others));
        }
        if (!cut.isEmpty())
            add(PageEvent::incomplete(page, keep(cut)));
        add(PageEvent::pageEnd(page));
    }
    if (crash >= 0 && last == pages.size())
        add(FakeStep::Kind::Dies); // past the last page
    else
        add(PageEvent::done());
}

void FakePdf::refuse(protocol::Outcome outcome, std::string_view detail)
{
    add(PageEvent::opened(outcome, 0, detail));
    add(PageEvent::done());
}

void FakePdf::add(const PageEvent &event, bool held, double delaySeconds)
{
    steps.push_back({FakeStep::Kind::Event, event, held, delaySeconds});
}

void FakePdf::add(FakeStep::Kind kind, int mebibytes)
{
    steps.push_back({kind, {}, false, 0, mebibytes});
}

std::string_view FakePdf::keep(const QByteArray &bytes)
{
    const QByteArray &kept = m_bytes.emplace_back(bytes);
    return {kept.constData(), static_cast<std::size_t>(kept.size())};
}

QByteArray FakePdf::logLine(qint64 pid, const protocol::ConvertRequest &asked)
{
    return QByteArray::number(pid) + ' ' + QByteArray::fromStdString(asked.path) +
           " passwords=" + QByteArray::number(qsizetype(asked.passwords.size())) +
           " pages=" + QByteArray::number(asked.firstPage) + '-' + QByteArray::number(asked.lastPage) +
           " ocr=" + (asked.recognise ? "1" : "0") + " links=" + (asked.links ? "1" : "0");
}

} // namespace pelmora::test
