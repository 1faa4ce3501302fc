#include "WindowTest.h"

#include <QPushButton>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::test {

void WindowTest::setUpParts(bool fakeConverter, const QString &settingsFile)
{
    if (fakeConverter)
        m_fake = std::make_unique<FakeConverter>();
    m_temp = std::make_unique<QTemporaryDir>();
    m_settings = std::make_unique<Settings>(settingsFile.isEmpty() ? m_temp->filePath(u"settings.ini"_s) : settingsFile);
    m_workspace = std::make_unique<ConverterWorkspace>(m_temp->path());
    m_modal = std::make_unique<ScriptedModal>();
}

void WindowTest::createWindow(const QString &programFolder, std::function<int()> startRoll)
{
    m_window.reset();
    m_window = std::make_unique<Form1>(Form1::Services{*m_modal, *m_settings, *m_workspace,
                                                       programFolder.isEmpty() ? m_temp->path() : programFolder,
                                                       std::move(startRoll)});
}

void WindowTest::openWindow(const QString &programFolder, std::function<int()> startRoll)
{
    createWindow(programFolder, std::move(startRoll));
    m_window->Form_Load();
    showWindow();
}

void WindowTest::showWindow()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void WindowTest::tearDownParts()
{
    m_window.reset();
    m_modal.reset();
    m_workspace.reset();
    m_settings.reset();
    m_temp.reset();
    m_fake.reset();
}

void WindowTest::press(const char *button) const
{
    QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);
}

} // namespace pelmora::test
