#include "app/Form1.h"

#include "app/AppTitle.h"
#include "app/BusyState.h"
#include "app/CaptionProgressBar.h"
#include "app/ErrorMessage.h"
#include "app/FileListController.h"
#include "app/FileListDrag.h"
#include "app/HelpMessage.h"
#include "app/ListMenus.h"
#include "app/LookFiles.h"
#include "app/PasswordOptions.h"
#include "app/PointerFeedback.h"
#include "app/PreferencesDialog.h"
#include "app/PreviewController.h"
#include "app/ResultsController.h"
#include "app/RunController.h"
#include "app/SampleController.h"
#include "app/Settings.h"
#include "app/StartUp.h"
#include "app/TextListModel.h"
#include "cache/ResultsCache.h"
#include "convert/ConverterWorkspace.h"
#include "core/AppError.h"
#include "run/ErrorTrap.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// The layout is given in twips; 15 twips make one logical pixel.
constexpr int px(int twips)
{
    return (twips + 7) / 15;
}

QRect twipRect(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

template <typename Widget> Widget *place(Widget *widget, const char *name, QRect geometry)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

QTreeView *makeList(QWidget *parent, TextListModel *model, const char *name, QRect geometry,
                    const QString &tip)
{
    auto *list = place(new QTreeView(parent), name, geometry);
    list->setModel(model);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setItemsExpandable(false);
    list->setAllColumnsShowFocus(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->header()->setStretchLastSection(false);
    list->setToolTip(tip);
    return list;
}

} // namespace

Form1::Form1(const Services &services, QWidget *parent)
    : QWidget(parent), m_services(services), m_errors(std::make_unique<ErrorMessage>(services.modal))
{
    services.settings.setProblemSink(m_errors.get());
    setObjectName(u"Form1"_s);
    m_busy = new BusyState(this);
    createControls();
    setTabOrder();
    connectControls();
}

Form1::~Form1()
{
    m_services.settings.setProblemSink(nullptr);
}

void Form1::createControls()
{
    // Liberation Sans has Arial's metrics, so captions fit where Arial is missing.
    QFont font;
    font.setFamilies({u"Arial"_s, u"Liberation Sans"_s});
    font.setPointSize(9);
    font.setBold(true);
    setFont(font);
    QFont buttonFont = font;
    buttonFont.setPointSizeF(11.25);

    setFixedSize(px(8040), px(10335));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    auto button = [&](const char *name, const QString &text, QRect geometry) {
        auto *b = place(new QPushButton(text, this), name, geometry);
        b->setFont(buttonFont);
        return b;
    };

    m_files = new TextListModel(u"PDF Files"_s, false, this);
    m_results = new TextListModel(u"Results"_s, true, this);

    m_helpButton = button("PushButton10", u"Help"_s, twipRect(120, 120, 7800, 405));
    m_fileView =
        makeList(this, m_files, "ListView1", twipRect(120, 630, 7800, 1830),
                 u"Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
                 u"window to reveal full names."_s);
    m_addFilesButton = button("PushButton1", u"Add PDF File(s)"_s, twipRect(120, 2550, 3840, 405));
    m_addFolderButton =
        button("PushButton4", u"Add All PDF File(s) In Folder"_s, twipRect(4080, 2550, 3840, 405));
    m_clearListButton = button("PushButton6", u"Clear List"_s, twipRect(120, 3060, 3840, 405));
    m_samplesButton = button("PushButton7", u"Load Sample/Example Files"_s, twipRect(4080, 3060, 3840, 405));

    m_previewFrame =
        place(new QGroupBox(u"Click on file above - This is how your file appears to this software"_s, this),
              "Frame6", twipRect(120, 3510, 7800, 1215));
    UseFramedLook(*m_previewFrame);
    m_previewText = place(new QPlainTextEdit(m_previewFrame), "Text2", twipRect(240, 300, 7320, 735));
    m_previewText->setReadOnly(true); // nothing reads it back: editing it would change nothing

    m_passwordFrame =
        place(new QGroupBox(u"Password Option"_s, this), "Frame1", twipRect(120, 4780, 7800, 1455));
    UseFramedLook(*m_passwordFrame);
    m_askPasswordBox = place(
        new QCheckBox(u"Prompt for password because PDF files are password protected"_s, m_passwordFrame),
        "Check1", twipRect(240, 315, 6375, 255));
    m_eachPasswordOption = place(new QRadioButton(u"Each PDF has a different password"_s, m_passwordFrame),
                                 "Option5", twipRect(480, 650, 5415, 270));
    m_samePasswordOption = place(new QRadioButton(u"All PDFs have the same password"_s, m_passwordFrame),
                                 "Option6", twipRect(480, 1000, 4695, 270));

    m_startButton = button("PushButton2", u"Start Extracting"_s, twipRect(120, 6360, 7800, 405));
    m_resultsView =
        makeList(this, m_results, "ListView2", twipRect(120, 6860, 7800, 1830),
                 u"Double-click item to remove it. Move | line to right and out of window to reveal full "
                 u"names."_s);
    m_saveButton = button("PushButton3", u"Save Results As Text File"_s, twipRect(120, 8780, 3840, 405));
    m_saveCommaButton = button("PushButton5", u"Save Results With Comma"_s, twipRect(4080, 8780, 3840, 405));
    m_copyButton = button("PushButton8", u"Copy Results To Clipboard"_s, twipRect(120, 9290, 3840, 405));
    m_clearResultsButton = button("PushButton9", u"Clear Results"_s, twipRect(4080, 9290, 3840, 405));
    m_progressBar = place(new CaptionProgressBar(this), "ProgressBar1", twipRect(120, 9810, 7800, 405));
}

void Form1::setTabOrder()
{
    const QList<QWidget *> order{
        m_fileView,        m_addFilesButton,     m_addFolderButton,    m_clearListButton,
        m_samplesButton,   m_previewText,        m_samePasswordOption, m_eachPasswordOption,
        m_askPasswordBox,  m_startButton,        m_resultsView,        m_saveButton,
        m_saveCommaButton, m_clearResultsButton, m_copyButton,         m_helpButton};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void Form1::connectControls()
{
    m_run =
        new RunController({*m_files, *m_results, *m_progressBar, m_services.modal,
                           [this](PdfEngine engine) -> Converter & { return converter(engine); },
                           m_services.clock, *m_busy, [this] { return passwordMode(); },
                           [this] { return runRequest(); }, [this] { return m_fileList->hiddenLeftOut(); }},
                          this);
    connect(m_startButton, &QPushButton::clicked, m_run, &RunController::startOrStop);
    connect(m_run, &RunController::runningChanged, m_startButton, [this](bool running) {
        m_startButton->setText(running ? u"Stop Extracting"_s : u"Start Extracting"_s);
    });
    m_output =
        new ResultsController({*m_results, *m_resultsView, m_services.modal, *m_errors, *m_busy}, this);
    connect(m_saveButton, &QPushButton::clicked, m_output, &ResultsController::saveAsText);
    connect(m_saveCommaButton, &QPushButton::clicked, m_output, &ResultsController::saveWithCommas);
    connect(m_copyButton, &QPushButton::clicked, m_output, &ResultsController::copyToClipboard);
    connect(m_clearResultsButton, &QPushButton::clicked, m_output, &ResultsController::clearResults);
    m_passwords = new PasswordOptions(
        {*m_askPasswordBox, *m_eachPasswordOption, *m_samePasswordOption, m_services.settings}, this);
    m_preview = new PreviewController(
        {*m_files, *m_fileView, *m_previewText, *m_progressBar, m_services.modal, *m_errors,
         [this]() -> Converter & { return converter(m_services.settings.pdfEngine()); }, *m_busy,
         [this] { return m_passwords->previewAsksForPassword(); },
         [this] { return m_services.settings.ocrLanguages(); },
         [this] { return m_services.settings.runRequest().sources; }},
        this);
    connect(m_helpButton, &QPushButton::clicked, this, [this] { ShowHelp(m_services.modal, *m_errors); });

    m_fileList = new FileListController(
        {*m_files, *m_fileView, m_services.modal, m_services.settings, *m_errors, *m_busy}, this);
    connect(m_addFilesButton, &QPushButton::clicked, m_fileList, &FileListController::addFiles);
    connect(m_addFolderButton, &QPushButton::clicked, m_fileList, &FileListController::addFolder);
    connect(m_clearListButton, &QPushButton::clicked, m_fileList, &FileListController::clearList);
    connect(m_fileList, &FileListController::previewRequested, m_preview,
            &PreviewController::previewSelected);

    m_samples = new SampleController(
        {*m_files, m_services.settings, m_services.modal, *m_errors, m_services.programFolder}, this);
    connect(m_samplesButton, &QPushButton::clicked, m_samples, &SampleController::loadSamples);

    m_pointers = new PointerFeedback(*this, *m_busy, this);
    for (QPushButton *button :
         {m_addFilesButton, m_startButton, m_saveButton, m_addFolderButton, m_saveCommaButton,
          m_clearListButton, m_samplesButton, m_copyButton, m_clearResultsButton, m_helpButton})
        m_pointers->addHandArea(*button);
    for (QWidget *area :
         {static_cast<QWidget *>(this), static_cast<QWidget *>(m_passwordFrame),
          static_cast<QWidget *>(m_previewFrame), m_fileView->viewport(), m_resultsView->viewport()})
        m_pointers->addNormalArea(*area);
    m_menus = new ListMenus({*m_files, *m_fileView, *m_results, *m_resultsView, m_services.modal,
                             m_services.settings, *m_busy, [this] { m_fileList->removeSelectedRow(); },
                             [this] { showPreferences(); }},
                            this);
    auto *preferences = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma), this);
    connect(preferences, &QShortcut::activated, this, &Form1::showPreferences);

    m_drag = new FileListDrag({*m_fileView, *m_files, LoadDragPointer(m_services.programFolder),
                               [this] { m_pointers->normalAreaRule(); }},
                              this);
}

PasswordMode Form1::passwordMode() const
{
    return m_passwords->mode();
}

Converter &Form1::converter(PdfEngine engine) const
{
    return m_services.converterFor ? m_services.converterFor(engine) : m_services.converter;
}

RunRequest Form1::runRequest() const
{
    RunRequest request = m_services.settings.runRequest();
    request.cacheFolder = m_services.cacheFolder;
    return request;
}

void Form1::showPreferences()
{
    // The installed languages are asked of the converter each time: one may have been added.
    const QStringList languages = m_services.ocrLanguages ? m_services.ocrLanguages() : QStringList();
    m_services.modal.showDialog(
        new PreferencesDialog({m_services.settings, languages, [this] { return emptyCache(); }}, this));
}

QString Form1::emptyCache()
{
    if (m_services.cacheFolder.isEmpty())
        return {};
    if (!m_run->releaseCache())
        return u"The run under way uses the cache; empty it once the run has ended."_s;
    return ResultsCache::clear(m_services.cacheFolder);
}

void Form1::startUp()
{
    const QString &folder = m_services.programFolder;
    ErrorTrap trap(*m_errors, u"Form1"_s, u"Form_Load"_s);
    // Eleven steps in a fixed order; a failed one is reported and the next one runs.
    // 1-2: the look files.
    trap.step([&] {
        ApplySkin(
            folder, *this,
            {m_passwordFrame, m_previewFrame, m_askPasswordBox, m_eachPasswordOption, m_samePasswordOption});
    });
    trap.step([&] { m_pointers->setHandPointer(LoadHandPointer(folder)); });
    // 3: one start in a hundred shows the maker's site, if the build names one.
    trap.step([&] { OpenMakerSiteNowAndThen(m_services.modal, m_services.makerSite, m_services.startRoll); });
    // 4: the sample list, recorded once.
    trap.step([&] { m_samples->saveSnapshotIfEmpty(); });
    // 5-6: caption, icon, title, list columns.
    trap.step([&] {
        setWindowTitle(ProductName());
        setWindowIcon(ApplicationIcon());
        QGuiApplication::setApplicationDisplayName(MakeAppTitle(ProductName()));
    });
    trap.step([&] {
        m_fileView->header()->resizeSection(0, px(7000));
        m_resultsView->header()->resizeSection(0, px(7000));
    });
    // 7: the password options.
    m_passwords->restore(trap);
    // 8: the empty preview.
    trap.step([&] { m_previewText->clear(); });
    // 9: the converter, found where it is installed: no processor query picks a build.
    trap.step([&] { m_services.workspace.ensureConverter(); });
}

void Form1::appendPaths(const QStringList &paths)
{
    m_fileList->appendDropped(paths);
}

void Form1::closeEvent(QCloseEvent *event)
{
    m_run->abort();
    m_preview->abort();
    m_fileList->abort();
    // The program ends with its window: a dialog still open would keep it running.
    for (QWidget *other : QApplication::topLevelWidgets()) {
        if (other != this && other->isVisible())
            other->close();
    }
    event->accept();
}

} // namespace pelmora
