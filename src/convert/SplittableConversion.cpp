#include "convert/SplittableConversion.h"

#include <algorithm>

namespace pelmora {

namespace {

// A part is split only while this many of its pages are still to come: a worker
// starting on a file costs about as much as a few pages.
constexpr int kFewestPagesToSplit = 8;

} // namespace

// Pages `first` to `last` of the file on a conversion of their own.
struct SplittableConversion::Part
{
    std::unique_ptr<Conversion> conversion; // none once it ended
    int first = 1;
    int last = 0;                       // 0: to the end of the file
    int next = 1;                       // the next page it delivers
    bool cut = false;                   // its conversion would go on past `last`, so it is ended there
    QList<ConversionEvent> early;       // its pages that came before their turn
    QList<ConversionEvent> sources;     // what came after its last page, held until every page is passed on
    std::optional<ConversionEvent> end; // how its conversion ended
    bool whole = false;                 // it delivered every page of its range

    int pagesToCome() const { return conversion && last > 0 ? last - next + 1 : 0; }
    bool covers(int page) const { return page >= first && (last == 0 || page <= last); }
};

SplittableConversion::SplittableConversion(Converter &converter, Clock &clock,
                                           const ConversionRequest &request)
    : Conversion(clock, request, nullptr), m_converter(converter)
{
}

SplittableConversion::~SplittableConversion()
{
    abandon();
}

int SplittableConversion::parts() const
{
    return static_cast<int>(
        std::count_if(m_parts.cbegin(), m_parts.cend(),
                      [](const std::unique_ptr<Part> &part) { return part->conversion != nullptr; }));
}

int SplittableConversion::pagesToSplit() const
{
    const Part *largest = isRunning() ? largestPart() : nullptr;
    const int pages = largest ? largest->pagesToCome() : 0;
    return pages >= kFewestPagesToSplit ? pages : 0;
}

bool SplittableConversion::split()
{
    const int pages = pagesToSplit();
    if (pages == 0)
        return false;
    Part &cut = *largestPart();
    // What comes after the last page is asked of the part that reads the last page.
    const bool toTheEnd = cut.last == lastPage();
    auto later = std::make_unique<Part>();
    later->first = cut.next + pages / 2;
    later->last = cut.last;
    later->next = later->first;
    cut.last = later->first - 1;
    // A worker told where to stop stays for the next file; one that cannot be told is
    // ended once it passes the cut.
    cut.cut = !cut.conversion->stopAfter(cut.last);
    const auto after = std::find_if(m_parts.begin(), m_parts.end(),
                                    [&](const std::unique_ptr<Part> &part) { return part.get() == &cut; });
    Part &added = **m_parts.insert(after + 1, std::move(later));
    m_split = true;
    ConversionRequest asked = request();
    asked.firstPage = added.first;
    asked.lastPage = added.last;
    asked.metadata = asked.metadata && toTheEnd;
    asked.attachments = asked.attachments && toTheEnd;
    startPart(added, asked);
    return true;
}

void SplittableConversion::begin()
{
    auto whole = std::make_unique<Part>();
    whole->first = std::max(1, request().firstPage);
    whole->next = whole->first;
    m_next = whole->first;
    startPart(*m_parts.emplace_back(std::move(whole)), request());
}

void SplittableConversion::abandon()
{
    for (const std::unique_ptr<Part> &part : m_parts)
        EndConversion(part->conversion, this);
}

void SplittableConversion::startPart(Part &part, ConversionRequest asked)
{
    asked.timeoutMs = 0; // the whole conversion's limit holds
    part.conversion = m_converter.convert(asked);
    Part *const which = &part;
    connect(part.conversion.get(), &Conversion::progressed, this,
            [this, which](const ConversionEvent &event) { onEvent(*which, event); });
    part.conversion->start();
}

void SplittableConversion::onEvent(Part &part, const ConversionEvent &event)
{
    switch (event.kind) {
    case ConversionEvent::Kind::Opened:
        // Only the first conversion opens the file for the receiver: parts come later.
        if (!m_split) {
            m_pages = event.pages;
            if (m_pages > 0)
                part.last = part.first + m_pages - 1;
            Q_EMIT progressed(event);
        }
        return;
    case ConversionEvent::Kind::Recognising:
        // The caption follows the pages being passed on, and counts the file's pages.
        if (&part == holderOf(m_next)) {
            ConversionEvent shown = event;
            shown.pages = m_split ? m_pages : event.pages;
            Q_EMIT progressed(shown);
        }
        return;
    case ConversionEvent::Kind::Page:
        onPage(part, event);
        return;
    case ConversionEvent::Kind::Source:
        // Only the part that reads the last page gives them; one cut short before it was
        // asked for them too, and may have passed its cut already.
        if (part.last == 0 || part.last == lastPage()) {
            if (m_next > lastPage())
                Q_EMIT progressed(event);
            else
                part.sources.append(event);
        }
        return;
    case ConversionEvent::Kind::Finished:
        onFinished(part, event);
        return;
    }
}

void SplittableConversion::onPage(Part &part, const ConversionEvent &page)
{
    if (part.last > 0 && page.page > part.last)
        return; // one told to stop may have been past its cut already: the page is another's
    part.next = page.page + 1;
    if (page.page == m_next)
        pass(page);
    else
        part.early.append(page);
    if (!isRunning() || !part.cut || part.next <= part.last)
        return; // cancelled by a receiver of the page, or more of its pages are to come
    // The pages it would convert next are another part's.
    EndConversion(part.conversion, this);
    part.whole = true;
    if (!conclude())
        Q_EMIT partsChanged();
}

void SplittableConversion::onFinished(Part &part, const ConversionEvent &end)
{
    // Its signal is still being delivered; let it return first.
    part.conversion.release()->deleteLater();
    part.end = end;
    part.whole = end.outcome == ConversionOutcome::Text && (part.last == 0 || part.next > part.last);
    if (!part.whole)
        cancelAfter(part); // their pages come after the end
    if (!conclude())
        Q_EMIT partsChanged();
}

void SplittableConversion::pass(const ConversionEvent &page)
{
    Q_EMIT progressed(page);
    ++m_next;
    // The pages held for their turn follow, while nobody cancelled the conversion.
    for (Part *holder = holderOf(m_next);
         isRunning() && holder && !holder->early.isEmpty() && holder->early.front().page == m_next;
         holder = holderOf(m_next)) {
        Q_EMIT progressed(holder->early.takeFirst());
        ++m_next;
    }
    if (m_next > lastPage()) {
        for (const std::unique_ptr<Part> &part : m_parts) {
            while (isRunning() && !part->sources.isEmpty())
                Q_EMIT progressed(part->sources.takeFirst());
        }
    }
}

int SplittableConversion::lastPage() const
{
    return m_pages > 0 ? m_parts.front()->first + m_pages - 1 : 0;
}

void SplittableConversion::cancelAfter(const Part &part)
{
    const auto at = std::find_if(m_parts.begin(), m_parts.end(),
                                 [&](const std::unique_ptr<Part> &each) { return each.get() == &part; });
    for (auto later = at + 1; later != m_parts.end(); ++later)
        EndConversion((*later)->conversion, this);
    m_parts.erase(at + 1, m_parts.end());
}

// Ends the whole once its pages are settled: true when it did.
bool SplittableConversion::conclude()
{
    if (!m_split) {
        const Part &only = *m_parts.front();
        if (only.conversion)
            return false;
        finish(only.end->outcome, only.end->detail, only.end->judged);
        return true;
    }
    for (const std::unique_ptr<Part> &part : m_parts) {
        if (part->conversion)
            return false; // the pages before a later end may still come
        if (!part->whole) {
            // Only a part's own failure says something of the file; a refusal or a short
            // range means the file changed since it was opened. A converter that died
            // leaves its last words.
            const ConversionEvent &end = *part->end;
            const bool failed = end.outcome == ConversionOutcome::Failed;
            const bool died = end.outcome == ConversionOutcome::Damaged && !end.judged;
            finish(failed ? end.outcome : ConversionOutcome::Damaged,
                   failed || died ? end.detail : QString());
            return true;
        }
    }
    // Every part whole: every page is passed on, unless the file grew shorter meanwhile.
    if (m_next <= m_parts.front()->first + m_pages - 1)
        finish(ConversionOutcome::Damaged);
    else
        finish(ConversionOutcome::Text, {}, true);
    return true;
}

SplittableConversion::Part *SplittableConversion::largestPart() const
{
    Part *largest = nullptr;
    for (const std::unique_ptr<Part> &part : m_parts) {
        if (part->end && !part->whole)
            return nullptr; // it is ending
        if (!largest || part->pagesToCome() > largest->pagesToCome())
            largest = part.get();
    }
    return largest;
}

SplittableConversion::Part *SplittableConversion::holderOf(int page) const
{
    for (const std::unique_ptr<Part> &part : m_parts) {
        if (part->covers(page))
            return part.get();
    }
    return nullptr;
}

} // namespace pelmora
