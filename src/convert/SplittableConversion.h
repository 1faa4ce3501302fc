#pragma once

#include "convert/Conversion.h"

#include <memory>
#include <optional>
#include <vector>

namespace pelmora {

// One file's conversion whose pages still to come can be shared out: split() hands the
// later half of its largest part to a conversion of its own, of that page range and
// with the same passwords, so that an idle worker takes it on.
//
// Pages are passed on strictly in order, those of a later part held until every page
// before them has been passed on, and what comes after the last page (metadata, attached
// files) is asked of the part that reads it and passed on after every page: whoever reads
// them cannot tell a split conversion from a whole one. A part that ends early ends the whole at its first
// missing page, with its outcome: the pages before it count, as when a worker dies on a whole file, and the
// parts after it are cancelled. The time limit is the whole conversion's. Unsplit, it ends exactly as the one
// conversion it holds.
class SplittableConversion : public Conversion
{
    Q_OBJECT
public:
    SplittableConversion(Converter &converter, Clock &clock, const ConversionRequest &request);
    ~SplittableConversion() override;
    Q_DISABLE_COPY_MOVE(SplittableConversion)

    // The conversions of its parts under way.
    int parts() const;
    // The pages still to come of its largest part, which split() halves; 0 when it is
    // not to be split: not open yet, its converter does not tell the page count, too
    // few pages are left, or it is ending.
    int pagesToSplit() const;
    // Starts a conversion of the later half of the largest part; false when there is
    // none worth splitting.
    bool split();

Q_SIGNALS:
    // A part ended while the others go on: parts() is less.
    void partsChanged();

protected:
    void begin() override;
    void abandon() override;

private:
    struct Part;
    void startPart(Part &part, ConversionRequest asked);
    void onEvent(Part &part, const ConversionEvent &event);
    void onPage(Part &part, const ConversionEvent &page);
    void onFinished(Part &part, const ConversionEvent &end);
    void pass(const ConversionEvent &page);
    void cancelAfter(const Part &part);
    bool conclude();
    Part *largestPart() const;
    Part *holderOf(int page) const;
    // The last page of the file, once it is known; 0 before.
    int lastPage() const;

    Converter &m_converter;
    std::vector<std::unique_ptr<Part>> m_parts; // in page order
    int m_pages = 0;                            // that follow, once open; 0 while not known
    int m_next = 1;                             // the next page to pass on
    bool m_split = false;
};

} // namespace pelmora
