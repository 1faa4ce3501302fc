#pragma once

// poppler's text conversion, set up exactly as pdftotext sets it up with its default
// options, so the text is byte for byte what pdftotext writes.

#include "worker/shell/TextEngine.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class GlobalParamsIniter;
class PDFDoc;
class Page;

namespace pelmora::worker {

// poppler's global parameters for the life of the process. Quiet: poppler's own
// messages are dropped instead of going to standard error.
class PopplerSession
{
public:
    explicit PopplerSession(bool quiet);
    ~PopplerSession();
    PopplerSession(const PopplerSession &) = delete;
    PopplerSession &operator=(const PopplerSession &) = delete;

private:
    std::unique_ptr<GlobalParamsIniter> m_initer;
};

// One page of an open document, as conversion and recognition see it.
class PopplerPage : public EnginePage
{
public:
    PopplerPage(PDFDoc &doc, int page);
    bool loaded() const override;
    double areaInPoints() override;
    void renderGrey(double dpi, std::int64_t maxImagePixels,
                    const std::function<void(const PageBitmap &)> &use) override;
    std::string leftOut() const override { return m_leftOut; }
    // Something of the page's text the engine left out, in words for the user.
    void setLeftOut(std::string why) { m_leftOut = std::move(why); }
    std::vector<std::string> uriTargets() override;
    std::vector<PdfObject> annotations() override;

private:
    PDFDoc &m_doc;
    int m_number;
    Page *m_page;
    std::string m_leftOut;
};

// The detail of a damaged file is poppler's error code.
OpenResult OpenWithCandidates(const std::string &path, const std::vector<std::string> &candidates);

// One attempt with the passwords as given, as pdftotext makes it (nullopt: not given).
OpenResult OpenOnce(const std::string &path, const std::optional<std::string> &ownerPassword,
                    const std::optional<std::string> &userPassword);

// An attached PDF from its bytes, with the candidates as OpenWithCandidates tries them.
OpenResult OpenBytesWithCandidates(std::string bytes, const std::vector<std::string> &candidates);

// The engine of the serve mode: quiet, OpenWithCandidates.
class PopplerEngine : public TextEngine
{
public:
    PopplerEngine() : m_session(true) {}
    OpenResult open(const std::string &path, const std::vector<std::string> &candidates) override
    {
        return OpenWithCandidates(path, candidates);
    }
    OpenResult openAttached(std::string bytes, const std::vector<std::string> &candidates) override
    {
        return OpenBytesWithCandidates(std::move(bytes), candidates);
    }

private:
    PopplerSession m_session;
};

} // namespace pelmora::worker
