#include "EngineFixture.h"

#include "RunInvariants.h"
#include "TestData.h"

#include "convert/ConverterChoice.h"
#include "core/AppError.h"

#include <QDir>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::test {

namespace {

ConverterKind converterKind(EngineFixture::Kind kind)
{
    return kind == EngineFixture::Kind::FakePdftotext || kind == EngineFixture::Kind::Pdftotext
               ? ConverterKind::Pdftotext
               : ConverterKind::Service;
}

} // namespace

EngineFixture::EngineFixture(Kind which, bool placeConverter, const QString &engine) : kind(which)
{
    if (kind == Kind::FakeService || kind == Kind::FakePdftotext)
        fake = std::make_unique<FakeConverter>();
    const QString serviceProgram =
        kind == Kind::FakeService ? FakeConverter::workerProgram() : ServiceProgram(engine);
    workspace = std::make_unique<ConverterWorkspace>(
        temp.path(),
        ProgramOf(converterKind(kind), serviceProgram, PdfEngineNamed(engine).value_or(PdfEngine::Poppler)));
    converter = CreateConverter(converterKind(kind), *workspace, clock);
    if (!placeConverter)
        return;
    try {
        workspace->EnsureConverter();
    } catch (const AppError &error) {
        m_problem = error.description();
    }
}

EngineFixture::~EngineFixture()
{
    converter.reset(); // its workers first
    workspace.reset(); // then the converter, before the fake goes from PATH
}

bool EngineFixture::isValid() const
{
    QString problem = m_problem;
    if (!temp.isValid() || !input.isValid())
        problem = u"no temporary folder"_s;
    else if (fake && !fake->isValid())
        problem = u"no fake converter"_s;
    if (!problem.isEmpty())
        qWarning("engine fixture: %s", qPrintable(problem));
    return problem.isEmpty();
}

QString EngineFixture::writePdf(const QString &name, const QString &directive, const QByteArray &text) const
{
    return FakeConverter::writePdfIn(input.path(), name, directive, text);
}

QString EngineFixture::leftBehind(const RunInvariants &invariants)
{
    converter.reset();
    return invariants.violations();
}

QStringList EngineFixture::convertedTexts() const
{
    return QDir(workspace->workFolder()).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

} // namespace pelmora::test
