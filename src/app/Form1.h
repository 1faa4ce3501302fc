#pragma once

#include "convert/ConverterChoice.h"
#include "run/PasswordPrompt.h"
#include "run/RunRequest.h"

#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QGroupBox;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTreeView;

namespace pelmora {

class BusyState;
class CaptionProgressBar;
class Clock;
class Converter;
class ConverterWorkspace;
class ErrorMessage;
class FileListController;
class FileListDrag;
class ListMenus;
class Modal;
class PasswordOptions;
class PointerFeedback;
class PreviewController;
class ResultsController;
class RunController;
class SampleController;
class Settings;
class TextListModel;

// The program's one window. Each control keeps the object name tests find it by
// ("PushButton2" for m_startButton).
class Form1 : public QWidget
{
    Q_OBJECT
public:
    struct Services
    {
        Modal &modal;
        Settings &settings;
        // The converter's private folder, set up by the start-up, and the converter.
        ConverterWorkspace &workspace;
        Converter &converter;
        Clock &clock;
        // Where the program's own data files are: samples and look files.
        QString programFolder;
        // The start-up roll from 1 to 100 that now and then opens the maker's site
        // (RollOneToHundred); none, as in tests, rolls nothing.
        std::function<int()> startRoll = {};
        // That site (MakerSiteUrl()); none: the step is skipped.
        QUrl makerSite = {};
        // Where runs keep their results for the next (ResultsCache::defaultFolder());
        // none: nowhere.
        QString cacheFolder = {};
        // The converter for each PDF library the preferences offer, asked when a run or a
        // preview starts; none: `converter`, whatever the setting.
        std::function<Converter &(PdfEngine)> converterFor = {};
        // The recognition languages installed; none: only those chosen are offered.
        std::function<QStringList()> ocrLanguages = {};
    };

    explicit Form1(const Services &services, QWidget *parent = nullptr);
    ~Form1() override;
    Q_DISABLE_COPY_MOVE(Form1)

    // The start-up steps, each reported and skipped on failure.
    void startUp();

    // Paths handed to the program, appended as a drop of them would be.
    void appendPaths(const QStringList &paths);

    TextListModel &fileList() const { return *m_files; }
    TextListModel &resultsList() const { return *m_results; }
    RunController &runController() const { return *m_run; }
    PreviewController &previewController() const { return *m_preview; }
    FileListController &fileListController() const { return *m_fileList; }
    FileListDrag &fileListDrag() const { return *m_drag; }
    BusyState &busyState() const { return *m_busy; }
    ListMenus &listMenus() const { return *m_menus; }

    // Opens the preferences (Ctrl+, and the lists' menus).
    void showPreferences();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void setTabOrder();
    void connectControls();
    PasswordMode passwordMode() const;
    // What the preferences ask of a run, with the cache folder of the services.
    RunRequest runRequest() const;
    Converter &converter(PdfEngine engine) const;
    QString emptyCache();

    Services m_services;
    std::unique_ptr<ErrorMessage> m_errors;
    BusyState *m_busy = nullptr;
    TextListModel *m_files = nullptr;
    TextListModel *m_results = nullptr;
    RunController *m_run = nullptr;
    ResultsController *m_output = nullptr;
    PasswordOptions *m_passwords = nullptr;
    PreviewController *m_preview = nullptr;
    FileListController *m_fileList = nullptr;
    PointerFeedback *m_pointers = nullptr;
    FileListDrag *m_drag = nullptr;
    SampleController *m_samples = nullptr;
    ListMenus *m_menus = nullptr;

    QTreeView *m_fileView = nullptr;
    QPushButton *m_addFilesButton = nullptr;
    QPushButton *m_addFolderButton = nullptr;
    QPushButton *m_clearListButton = nullptr;
    QPushButton *m_samplesButton = nullptr;
    QGroupBox *m_previewFrame = nullptr;
    QPlainTextEdit *m_previewText = nullptr;
    QGroupBox *m_passwordFrame = nullptr;
    QRadioButton *m_samePasswordOption = nullptr;
    QRadioButton *m_eachPasswordOption = nullptr;
    QCheckBox *m_askPasswordBox = nullptr;
    CaptionProgressBar *m_progressBar = nullptr;
    QPushButton *m_startButton = nullptr;
    QTreeView *m_resultsView = nullptr;
    QPushButton *m_saveButton = nullptr;
    QPushButton *m_saveCommaButton = nullptr;
    QPushButton *m_clearResultsButton = nullptr;
    QPushButton *m_copyButton = nullptr;
    QPushButton *m_helpButton = nullptr;
};

} // namespace pelmora
