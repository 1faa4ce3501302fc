#pragma once

#include "EngineFixture.h"
#include "ScriptedModal.h"
#include "app/Form1.h"
#include "app/Settings.h"

#include <QObject>

#include <functional>
#include <memory>

namespace pelmora::test {

// What every window test needs: a settings store, a converter in a private temporary
// folder, a mock clock and scripted dialogs of its own, and the window built on them.
class WindowTest : public QObject
{
protected:
    // The parts, without a window; with the scripted converter, or the real one when asked.
    [[nodiscard]] bool setUpParts(bool fakeConverter = true, const QString &settingsFile = {});
    // Builds the window on the parts; the program folder is the temporary folder unless given.
    void createWindow(const QString &programFolder = {}, std::function<int()> startRoll = {},
                      const QUrl &makerSite = {});
    // Builds, starts and shows the window; false when it never showed.
    [[nodiscard]] bool openWindow(const QString &programFolder = {}, std::function<int()> startRoll = {},
                                  const QUrl &makerSite = {});
    [[nodiscard]] bool showWindow();
    // Everything goes, the window first.
    void tearDownParts();

    // The window's control of that name; a missing one ends the test program.
    template <typename Control> Control *control(const char *name) const
    {
        auto *widget = m_window->findChild<Control *>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    void press(const char *button) const;

    std::unique_ptr<EngineFixture> m_engine;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<ScriptedModal> m_modal;
    // The converter of the PDF library that is not the default, when the scripted one is
    // used: it reads "<pdf>.<library>" ("a.pdf.poppler") where there is one.
    std::unique_ptr<ScriptedConverter> m_otherEngine;
    // The languages the window is told are installed.
    QStringList m_installedLanguages{QStringLiteral("deu"), QStringLiteral("eng"), QStringLiteral("osd")};
    std::unique_ptr<Form1> m_window;
};

} // namespace pelmora::test
