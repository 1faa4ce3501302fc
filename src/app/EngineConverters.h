#pragma once

#include "convert/ConverterChoice.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>

namespace pelmora {

class Clock;
class Converter;
class ConverterWorkspace;
class ErrorSink;

// The window's converters, one for each PDF library chosen in the preferences: the
// one of the start-up is made at once, another when a run first asks for it.
class EngineConverters
{
public:
    EngineConverters(PdfEngine startEngine, Clock &clock);
    ~EngineConverters();
    EngineConverters(const EngineConverters &) = delete;
    EngineConverters &operator=(const EngineConverters &) = delete;

    // The start-up's, which the window's start-up puts in place.
    ConverterWorkspace &startWorkspace() { return *m_parts.at(m_start).workspace; }
    Converter &startConverter() { return *m_parts.at(m_start).converter; }
    // The converter for `engine`; one made now is put in place at once, and a failure
    // to is told to the problem sink.
    Converter &converter(PdfEngine engine);
    void setProblemSink(ErrorSink *sink) { m_problems = sink; }

    // The recognition languages the start-up's converter has installed; none when it
    // cannot say.
    QStringList ocrLanguages();

private:
    struct Part
    {
        std::unique_ptr<ConverterWorkspace> workspace;
        std::unique_ptr<Converter> converter;
    };
    Part &make(PdfEngine engine);

    PdfEngine m_start;
    Clock &m_clock;
    std::map<PdfEngine, Part> m_parts;
    ErrorSink *m_problems = nullptr;
};

} // namespace pelmora
