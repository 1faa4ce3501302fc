#include "EngineFixture.h"

#include "core/AppError.h"

#include <QDir>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::test {

EngineFixture::EngineFixture(Converter converter, bool placeConverter)
{
    if (converter == Converter::Fake)
        fake = std::make_unique<FakeConverter>();
    workspace = std::make_unique<ConverterWorkspace>(temp.path());
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
    workspace.reset(); // before the fake goes from PATH
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

QStringList EngineFixture::convertedTexts() const
{
    return QDir(workspace->workFolder()).entryList(QDir::Files | QDir::Hidden);
}

} // namespace pelmora::test
