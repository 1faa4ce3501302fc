#include "app/SampleController.h"

#include "app/AppTitle.h"
#include "app/Modal.h"
#include "app/Settings.h"
#include "app/TextListModel.h"
#include "core/FileHelpers.h"
#include "inputs/SampleFiles.h"
#include "run/ErrorTrap.h"

#include <QUrl>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

SampleController::SampleController(const Parts &parts, QObject *parent) : QObject(parent), m_parts(parts)
{
}

QString SampleController::openFolderQuestion()
{
    return u"Would you like this software to open the folder where these sample files are stored (so that "
           u"you "
           u"can view them before working with them)?"_s;
}

void SampleController::saveSnapshotIfEmpty()
{
    if (m_parts.settings.read(Settings::snapshotKey(), QString()).isEmpty())
        saveSnapshot();
}

void SampleController::saveSnapshot()
{
    m_parts.settings.write(Settings::snapshotKey(),
                           ScrambleText(SampleListText(m_parts.programFolder), SampleKey()));
}

void SampleController::appendSamples(TextListModel &list)
{
    QStringList missing;
    for (const QString &sample : RecordedSamples(m_parts.settings.read(Settings::snapshotKey(), QString()))) {
        // Compared with what is listed now and with what this press adds, as row by row.
        if (FileExists(sample) && !list.contains(sample) && !missing.contains(sample))
            missing.append(sample);
    }
    list.append(missing);
}

void SampleController::loadSamples()
{
    ErrorTrap trap(m_parts.errors, u"Form1"_s, u"PushButton7_Click"_s);
    trap.step([&] {
        appendSamples(m_parts.files);
        m_parts.modal.askYesNo(AppTitle(), openFolderQuestion(), [this](bool open) {
            if (open)
                m_parts.modal.openUrl(QUrl::fromLocalFile(SampleFolder(m_parts.programFolder)));
        });
    });
}

} // namespace pelmora
