#pragma once

#include "convert/Conversion.h"

namespace pelmora {

class ConverterWorkspace;

// Converts with one pdftotext process per file, as the program always did: the text
// goes into a file of the program's own in the work folder, is read back page by page
// and removed. It takes no passwords, since pdftotext would show them to every user of
// the machine on its command line: an encrypted file stays unread.
class ProcessConverter : public Converter
{
public:
    ProcessConverter(ConverterWorkspace &workspace, Clock &clock);

    std::unique_ptr<Conversion> convert(const ConversionRequest &request) override;
    // pdftotext's program file and poppler's.
    QString identity(const ConversionRequest &like) override;

private:
    ConverterWorkspace &m_workspace;
    Clock &m_clock;
};

} // namespace pelmora
