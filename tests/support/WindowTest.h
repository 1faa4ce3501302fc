#pragma once

#include "FakeConverter.h"
#include "ScriptedModal.h"
#include "app/Form1.h"
#include "app/Settings.h"
#include "convert/ConverterWorkspace.h"

#include <QObject>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace pelmora::test {

// What every window test needs: a settings store, a private temporary folder and
// scripted dialogs of its own, and the window built on them.
class WindowTest : public QObject
{
protected:
    // The parts, without a window; with a fake converter first on PATH when asked.
    void setUpParts(bool fakeConverter = true, const QString &settingsFile = {});
    // Builds the window on the parts; the program folder is the temporary folder unless given.
    void createWindow(const QString &programFolder = {}, std::function<int()> startRoll = {});
    // Builds, starts and shows the window.
    void openWindow(const QString &programFolder = {}, std::function<int()> startRoll = {});
    void showWindow();
    // Everything goes, the window first.
    void tearDownParts();

    // The window's control of that name; a missing one ends the test program.
    template <typename Control>
    Control *control(const char *name) const
    {
        auto *widget = m_window->findChild<Control *>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    void press(const char *button) const;

    std::unique_ptr<FakeConverter> m_fake;
    std::unique_ptr<QTemporaryDir> m_temp;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<ConverterWorkspace> m_workspace;
    std::unique_ptr<ScriptedModal> m_modal;
    std::unique_ptr<Form1> m_window;
};

} // namespace pelmora::test
