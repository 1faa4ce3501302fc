#pragma once

#include <QObject>
#include <QString>

namespace pelmora {

class ErrorSink;
class Modal;
class Settings;
class TextListModel;

// "Load Sample/Example Files": the sample PDFs that come with the program. Their paths
// are recorded, scrambled, in the settings at the first start-up, and the button lists
// every recorded sample that still exists and is not listed yet.
class SampleController : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        TextListModel &files;
        Settings &settings;
        Modal &modal;
        ErrorSink &errors;
        QString programFolder;
    };

    explicit SampleController(const Parts &parts, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(SampleController)

    // The start-up step: records the sample list while "Snapshot" is empty.
    void saveSnapshotIfEmpty();
    void saveSnapshot();
    void appendSamples(TextListModel &list);
    void loadSamples();

    static QString openFolderQuestion();

private:
    Parts m_parts;
};

} // namespace pelmora
