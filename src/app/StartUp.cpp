#include "app/StartUp.h"

#include "app/Modal.h"

#include <QApplication>
#include <QGroupBox>
#include <QRandomGenerator>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

int RollOneToHundred()
{
    return QRandomGenerator::global()->bounded(1, 101);
}

QUrl MakerSiteUrl()
{
    return QUrl(QStringLiteral(PELMORA_MAKER_SITE));
}

bool OpenMakerSiteNowAndThen(Modal &modal, const QUrl &site, const StartRoll &roll)
{
    constexpr int kLucky = 7;
    if (site.isEmpty() || !roll || roll() != kLucky)
        return false;
    modal.openUrl(site);
    return true;
}

QIcon ApplicationIcon()
{
    return QIcon(u":/pelmora/pelmora.png"_s);
}

void UseFramedLook(QGroupBox &frame)
{
    // The classic style draws the caption on the frame's edge, where the other styles
    // put it above the frame. It is made once and lives as long as the application.
    static QStyle *framed = [] {
        QStyle *style = QStyleFactory::create(u"Windows"_s);
        if (style)
            style->setParent(qApp);
        return style;
    }();
    if (framed)
        frame.setStyle(framed);
}

void CentreOnScreen(QWidget &window)
{
    const QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

} // namespace pelmora
