#include "WindowTest.h"

#include <QPushButton>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::test {

bool WindowTest::setUpParts(bool fakeConverter, const QString &settingsFile)
{
    using Kind = EngineFixture::Kind;
    // The window's start-up places the converter itself.
    m_engine = std::make_unique<EngineFixture>(fakeConverter ? Kind::Scripted : Kind::Service, false);
    m_settings = std::make_unique<Settings>(
        settingsFile.isEmpty() ? m_engine->temp.filePath(u"settings.ini"_s) : settingsFile);
    m_modal = std::make_unique<ScriptedModal>();
    if (fakeConverter)
        m_otherEngine = std::make_unique<ScriptedConverter>(m_engine->clock, m_engine->fake->logFile(),
                                                            PdfEngineName(kAlternativeEngine));
    return m_engine->isValid();
}

void WindowTest::createWindow(const QString &programFolder, std::function<int()> startRoll,
                              const QUrl &makerSite)
{
    m_window.reset();
    std::function<Converter &(PdfEngine)> converterFor;
    if (m_otherEngine)
        converterFor = [this](PdfEngine engine) -> Converter & {
            return engine == kDefaultEngine ? *m_engine->converter : *m_otherEngine;
        };
    m_window = std::make_unique<Form1>(
        Form1::Services{*m_modal, *m_settings, *m_engine->workspace, *m_engine->converter, m_engine->clock,
                        programFolder.isEmpty() ? m_engine->temp.path() : programFolder, std::move(startRoll),
                        makerSite, m_engine->temp.filePath(QStringLiteral("cache")), std::move(converterFor),
                        [this] { return m_installedLanguages; }});
}

bool WindowTest::openWindow(const QString &programFolder, std::function<int()> startRoll,
                            const QUrl &makerSite)
{
    createWindow(programFolder, std::move(startRoll), makerSite);
    m_window->startUp();
    return showWindow();
}

bool WindowTest::showWindow()
{
    m_window->show();
    return QTest::qWaitForWindowExposed(m_window.get());
}

void WindowTest::tearDownParts()
{
    m_window.reset();
    m_otherEngine.reset();
    m_modal.reset();
    m_settings.reset();
    m_engine.reset();
}

void WindowTest::press(const char *button) const
{
    QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);
}

} // namespace pelmora::test
