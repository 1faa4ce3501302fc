#pragma once

#include "FakeConverter.h"
#include "MockClock.h"
#include "ScriptedConverter.h"
#include "convert/Conversion.h"
#include "convert/ConverterChoice.h"
#include "convert/ConverterWorkspace.h"

#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace pelmora::test {

class RunInvariants;

// What every test of conversions needs: a converter, a folder for the input files, and a
// clock that moves only when told.
class EngineFixture
{
public:
    enum class Kind
    {
        Scripted,    // in this process, on the mock clock (ScriptedConverter)
        FakeService, // the stand-in worker, reading FakeConverter's directives
        Service,     // the program's own converter workers, on real PDFs
    };

    // Unless told otherwise, the converter is put in place at once, as the window's
    // start-up would. `engine` is the PDF library of the real service ("poppler",
    // "mupdf").
    explicit EngineFixture(Kind kind = Kind::Scripted, bool placeConverter = true,
                           const QString &engine = PdfEngineName(kDefaultEngine));
    ~EngineFixture();
    EngineFixture(const EngineFixture &) = delete;
    EngineFixture &operator=(const EngineFixture &) = delete;

    // False, with a warning saying why, when a part could not be made.
    [[nodiscard]] bool isValid() const;

    // A fake PDF in the input folder (see FakeConverter for the directives).
    QString writePdf(const QString &name, const QString &directive, const QByteArray &text) const;
    QString inputPath(const QString &name) const { return input.filePath(name); }
    // No conversion of the fixture's runs on: no scripted one, no converter process and no
    // process one started.
    [[nodiscard]] bool allConvertersGone() const;
    // What converted `pdf` first has ended: the scripted conversion, or the process that
    // took it (a worker is ended when its file's conversion is).
    [[nodiscard]] bool converterGone(const QString &pdf) const;
    // Lets the conversions of a WAIT or SCAN HELD PDF go on.
    [[nodiscard]] bool release(const QString &pdf);
    // Runs the event loop until `done`, moving the mock clock on whenever the loop is
    // idle, for the scripted converter's SLEEP; false when it did not come in time.
    [[nodiscard]] bool runUntil(const std::function<bool()> &done, int rounds = 100000);
    // Ends the converter, as closing the program does, and says what the run left
    // behind (empty when nothing).
    QString leftBehind(const RunInvariants &invariants);

    const Kind kind;
    std::unique_ptr<FakeConverter> fake;
    QTemporaryDir temp;
    QTemporaryDir input;
    std::unique_ptr<ConverterWorkspace> workspace;
    MockClock clock;
    std::unique_ptr<Converter> converter;
    ScriptedConverter *scripted = nullptr; // the converter, when it is the scripted one

private:
    QString m_problem;
};

} // namespace pelmora::test
