#include "ScriptedConverter.h"

#include "core/Clock.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <optional>

using namespace Qt::Literals::StringLiterals;

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

class ScriptedConversion : public Conversion
{
public:
    ScriptedConversion(ScriptedConverter &converter, const ConversionRequest &request)
        : Conversion(converter.m_clock, request, nullptr), m_converter(converter)
    {
        m_next.setSingleShot(true);
        m_next.setInterval(0);
        QObject::connect(&m_next, &QTimer::timeout, this, [this] { deliver(); });
    }
    ~ScriptedConversion() override { abandon(); }
    Q_DISABLE_COPY_MOVE(ScriptedConversion)

    void wake()
    {
        if (m_live)
            m_next.start();
    }

protected:
    void begin() override
    {
        m_live = true;
        ++m_converter.m_running;
        log();
        script();
        m_next.start();
    }

    void abandon() override
    {
        m_next.stop();
        m_waiting.reset();
        m_steps.clear();
        if (std::exchange(m_live, false))
            --m_converter.m_running;
    }

private:
    struct Step
    {
        std::optional<PageEvent> event; // none: the worker dies here
        bool held = false;              // waits for release()
        qint64 dueAt = 0;               // waits for the clock
    };

    void log() const
    {
        const ConversionRequest &asked = request();
        QFile file(m_converter.m_logFile);
        if (!file.open(QIODevice::Append))
            return;
        file.write(QByteArray::number(QCoreApplication::applicationPid()) + ' ' +
                   QFile::encodeName(asked.pdf) + " passwords=" + QByteArray::number(asked.passwords.size()) +
                   " pages=" + QByteArray::number(asked.firstPage) + '-' +
                   QByteArray::number(asked.lastPage) + " ocr=" + (asked.recognise ? "1" : "0") +
                   " links=" + (asked.links ? "1" : "0") + '\n');
    }

    void add(const PageEvent &event, bool held = false, qint64 dueAt = 0)
    {
        m_steps.push_back({event, held, dueAt});
    }

    // The steps a worker would take for the file, as the directive says.
    void script()
    {
        const ConversionRequest &asked = request();
        const QString variant = asked.pdf + u'.' + m_converter.m_variant;
        QFile file(!m_converter.m_variant.isEmpty() && QFileInfo(variant).isFile() ? variant : asked.pdf);
        if (!QFileInfo(asked.pdf).isFile() || !file.open(QIODevice::ReadOnly)) {
            add(PageEvent::opened(Outcome::Damaged, 0));
            add(PageEvent::done());
            return;
        }
        const QByteArray directive = file.readLine().chopped(1);
        const QByteArray text = file.readAll();
        const auto argument = [&](QByteArrayView word) { return directive.sliced(word.size()); };
        if (directive.startsWith("NEEDS ")) {
            if (!asked.passwords.contains(QString::fromUtf8(argument("NEEDS ")))) {
                add(PageEvent::opened(
                    asked.passwords.isEmpty() ? Outcome::NeedsPassword : Outcome::WrongPassword, 0));
                add(PageEvent::done());
                return;
            }
        } else if (directive.startsWith("FAIL ")) {
            add(PageEvent::opened(Outcome::Error, 0, view(m_bytes.emplace_back(argument("FAIL ")))));
            add(PageEvent::done());
            return;
        } else if (directive == "NOTHING") {
            add(PageEvent::opened(Outcome::Damaged, 0));
            add(PageEvent::done());
            return;
        } else if (directive == "HANG") {
            add(PageEvent::done(), true); // released never
            m_neverReleased = true;
            return;
        }
        const qint64 dueAt = directive.startsWith("SLEEP ")
                                 ? m_converter.m_clock.now() + qint64(argument("SLEEP ").toDouble() * 1000)
                                 : 0;
        const bool scanned = directive.startsWith("SCAN");
        const bool waits = directive == "WAIT";
        const bool heldScan = directive == "SCAN HELD";
        // The worker dies on the page that the byte `crash` of the whole text is on.
        const qsizetype crash = directive.startsWith("CRASH ") ? argument("CRASH ").toLongLong() : -1;
        const QList<QByteArray> pages = pagesOf(text);
        const int first = std::max(1, asked.firstPage);
        const int last = asked.lastPage > 0 ? std::min(asked.lastPage, int(pages.size())) : int(pages.size());
        const int count = std::max(0, last - first + 1);
        add(PageEvent::opened(Outcome::Text, count), waits, dueAt);
        qsizetype offset = 0;
        for (int page = 1; page < first; ++page)
            offset += pages[page - 1].size();
        for (int page = first; page <= last; offset += pages[page - 1].size(), ++page) {
            if (crash >= 0 && offset + pages[page - 1].size() > crash) {
                if (crash > offset)
                    add(PageEvent::text(page,
                                        view(m_bytes.emplace_back(text.sliced(offset, crash - offset)))));
                m_steps.push_back({});
                return;
            }
            const bool recognised = scanned && asked.recognise;
            if (recognised)
                add(PageEvent::recognising(page, count));
            // A recognised line "UNSURE address reading..." is an address its readings
            // did not agree on: not in the page's text. A line "CUT reason" says the page
            // was not read whole.
            QList<QByteArray> kept;
            QList<QList<QByteArray>> unsure;
            QByteArray cut;
            for (const QByteArray &line : pages[page - 1].split('\n')) {
                if (recognised && line.startsWith("UNSURE "))
                    unsure.append(line.sliced(7).split(' '));
                else if (line.startsWith("CUT "))
                    cut = line.sliced(4);
                else
                    kept.append(line);
            }
            const QByteArray &pageText = m_bytes.emplace_back(kept.join('\n'));
            add(PageEvent::text(page, scanned && !recognised ? std::string_view("\f") : view(pageText)),
                recognised && heldScan);
            for (const QList<QByteArray> &readings : unsure) {
                const QByteArray &address = m_bytes.emplace_back(readings.first());
                std::vector<std::string> &others = m_readings.emplace_back();
                for (const QByteArray &other : readings.sliced(1))
                    others.push_back(other.toStdString());
                add(PageEvent::unsure(page, view(address), {others.begin(), others.end()}));
            }
            if (!cut.isEmpty())
                add(PageEvent::incomplete(page, view(m_bytes.emplace_back(cut))));
            add(PageEvent::pageEnd(page));
        }
        if (crash >= 0 && last == pages.size())
            m_steps.push_back({}); // past the last page
        else
            add(PageEvent::done());
    }

    static std::string_view view(const QByteArray &bytes)
    {
        return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
    }

    bool ready(const Step &step)
    {
        if (step.held && (m_neverReleased || !m_converter.isReleased(request().pdf)))
            return false;
        if (step.dueAt > m_converter.m_clock.now()) {
            if (!m_waiting)
                m_waiting = m_converter.m_clock.every(10, [this] {
                    if (m_converter.m_clock.now() >= m_steps.front().dueAt) {
                        m_waiting.reset();
                        m_next.start();
                    }
                });
            return false;
        }
        return true;
    }

    // Takes the steps that are due, up to the end of a page: a page a turn of the event loop.
    void deliver()
    {
        const QPointer<ScriptedConversion> alive(this);
        while (m_live && !m_steps.empty() && ready(m_steps.front())) {
            const Step step = m_steps.front();
            m_steps.pop_front();
            if (!step.event || !take(*step.event)) {
                abandon();
                finish(ConversionOutcome::Damaged);
                return;
            }
            if (!alive)
                return; // a receiver of the page destroyed it
            if (step.event->type == protocol::FrameType::Done) {
                abandon();
                return;
            }
            if (step.event->type == protocol::FrameType::PageEnd) {
                m_next.start();
                return;
            }
        }
    }

    ScriptedConverter &m_converter;
    QTimer m_next;
    std::unique_ptr<Ticker> m_waiting;
    std::deque<Step> m_steps;
    std::deque<QByteArray> m_bytes; // what the steps' events view
    std::deque<std::vector<std::string>> m_readings;
    bool m_live = false;
    bool m_neverReleased = false;
};

ScriptedConverter::ScriptedConverter(Clock &clock, QString logFile, QString variant)
    : m_clock(clock), m_logFile(std::move(logFile)), m_variant(std::move(variant))
{
}

std::unique_ptr<Conversion> ScriptedConverter::convert(const ConversionRequest &request)
{
    auto conversion = std::make_unique<ScriptedConversion>(*this, request);
    m_conversions.removeAll(nullptr);
    m_conversions.append(conversion.get());
    return conversion;
}

QString ScriptedConverter::identity(const ConversionRequest &like)
{
    return u"scripted "_s + m_variant + u", recognition "_s + (like.recognise ? like.languages : u"off"_s);
}

bool ScriptedConverter::isConverting(const QString &pdf) const
{
    return std::any_of(m_conversions.cbegin(), m_conversions.cend(),
                       [&](const QPointer<Conversion> &conversion) {
                           return conversion && conversion->isRunning() && conversion->request().pdf == pdf;
                       });
}

void ScriptedConverter::release(const QString &pdf)
{
    m_released.insert(pdf);
    for (const QPointer<Conversion> &conversion : std::as_const(m_conversions)) {
        if (conversion)
            static_cast<ScriptedConversion *>(conversion.data())->wake();
    }
}

} // namespace pelmora::test
