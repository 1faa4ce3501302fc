#pragma once

#include <QIcon>
#include <QUrl>

#include <functional>

class QGroupBox;
class QWidget;

namespace pelmora {

class Modal;

// Picks a whole number from 1 to 100.
using StartRoll = std::function<int()>;

// A roll from the time-seeded generator.
int RollOneToHundred();

// The maker's web site that the build names (CMake's PELMORA_MAKER_SITE), opened now and
// then at start-up; empty when it names none.
QUrl MakerSiteUrl();

// On the one roll in a hundred that is 7, opens `site`. Without a site, or without a
// `roll` (tests), nothing is rolled. Returns whether it opened the site.
bool OpenMakerSiteNowAndThen(Modal &modal, const QUrl &site, const StartRoll &roll);

// The program's icon, compiled in so it is never missing.
QIcon ApplicationIcon();

// The frame look of the two group boxes: the caption sits on the frame's top edge.
void UseFramedLook(QGroupBox &frame);

// Moves the window so that it will show in the middle of its screen.
void CentreOnScreen(QWidget &window);

} // namespace pelmora
