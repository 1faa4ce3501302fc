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
    Modal &modal = services.modal;
    services.settings.setUnwritableReport(
        [&modal](const QString &text) { modal.showMessage(AppTitle(), text, Modal::Icon::Warning); });
    setObjectName(u"Form1"_s);
    m_busy = new BusyState(this);
    createControls();
    setTabOrder();
    connectControls();
}

Form1::~Form1()
{
    m_services.settings.setUnwritableReport({});
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

    PushButton10 = button("PushButton10", u"Help"_s, twipRect(120, 120, 7800, 405));
    ListView1 =
        makeList(this, m_files, "ListView1", twipRect(120, 630, 7800, 1830),
                 u"Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
                 u"window to reveal full names."_s);
    PushButton1 = button("PushButton1", u"Add PDF File(s)"_s, twipRect(120, 2550, 3840, 405));
    PushButton4 = button("PushButton4", u"Add All PDF File(s) In Folder"_s, twipRect(4080, 2550, 3840, 405));
    PushButton6 = button("PushButton6", u"Clear List"_s, twipRect(120, 3060, 3840, 405));
    PushButton7 = button("PushButton7", u"Load Sample/Example Files"_s, twipRect(4080, 3060, 3840, 405));

    Frame6 =
        place(new QGroupBox(u"Click on file above - This is how your file appears to this software"_s, this),
              "Frame6", twipRect(120, 3510, 7800, 1215));
    UseFramedLook(*Frame6);
    Text2 = place(new QPlainTextEdit(Frame6), "Text2", twipRect(240, 300, 7320, 735));
    Text2->setReadOnly(true); // nothing reads it back: editing it would change nothing

    Frame1 = place(new QGroupBox(u"Password Option"_s, this), "Frame1", twipRect(120, 4780, 7800, 1455));
    UseFramedLook(*Frame1);
    Check1 = place(new QCheckBox(u"Prompt for password because PDF files are password protected"_s, Frame1),
                   "Check1", twipRect(240, 315, 6375, 255));
    Option5 = place(new QRadioButton(u"Each PDF has a different password"_s, Frame1), "Option5",
                    twipRect(480, 650, 5415, 270));
    Option6 = place(new QRadioButton(u"All PDFs have the same password"_s, Frame1), "Option6",
                    twipRect(480, 1000, 4695, 270));

    PushButton2 = button("PushButton2", u"Start Extracting"_s, twipRect(120, 6360, 7800, 405));
    ListView2 =
        makeList(this, m_results, "ListView2", twipRect(120, 6860, 7800, 1830),
                 u"Double-click item to remove it. Move | line to right and out of window to reveal full "
                 u"names."_s);
    PushButton3 = button("PushButton3", u"Save Results As Text File"_s, twipRect(120, 8780, 3840, 405));
    PushButton5 = button("PushButton5", u"Save Results With Comma"_s, twipRect(4080, 8780, 3840, 405));
    PushButton8 = button("PushButton8", u"Copy Results To Clipboard"_s, twipRect(120, 9290, 3840, 405));
    PushButton9 = button("PushButton9", u"Clear Results"_s, twipRect(4080, 9290, 3840, 405));
    ProgressBar1 = place(new CaptionProgressBar(this), "ProgressBar1", twipRect(120, 9810, 7800, 405));
}

void Form1::setTabOrder()
{
    const QList<QWidget *> order{ListView1,   PushButton1, PushButton4, PushButton6, PushButton7, Text2,
                                 Option6,     Option5,     Check1,      PushButton2, ListView2,   PushButton3,
                                 PushButton5, PushButton9, PushButton8, PushButton10};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void Form1::connectControls()
{
    m_run = new RunController({*m_files, *m_results, *ProgressBar1, m_services.modal,
                               [this]() -> Converter & { return converter(); }, m_services.clock, *m_busy,
                               [this] { return passwordMode(); }, [this] { return addressRules(); },
                               [this] { return m_services.settings.flag(Settings::linksKey(), true); },
                               [this] { return m_services.settings.flag(Settings::resultsCacheKey(), true); },
                               m_services.cacheFolder, [this] { return m_services.settings.ocrLanguages(); },
                               [this] { return m_fileList->hiddenLeftOut(); }},
                              this);
    connect(PushButton2, &QPushButton::clicked, m_run, &RunController::PushButton2_Click);
    connect(m_run, &RunController::runningChanged, PushButton2, [this](bool running) {
        PushButton2->setText(running ? u"Stop Extracting"_s : u"Start Extracting"_s);
    });
    m_output = new ResultsController({*m_results, *ListView2, m_services.modal, *m_errors, *m_busy}, this);
    connect(PushButton3, &QPushButton::clicked, m_output, &ResultsController::PushButton3_Click);
    connect(PushButton5, &QPushButton::clicked, m_output, &ResultsController::PushButton5_Click);
    connect(PushButton8, &QPushButton::clicked, m_output, &ResultsController::PushButton8_Click);
    connect(PushButton9, &QPushButton::clicked, m_output, &ResultsController::PushButton9_Click);
    m_passwords = new PasswordOptions({*Check1, *Option5, *Option6, m_services.settings}, this);
    m_preview = new PreviewController({*m_files, *ListView1, *Text2, *ProgressBar1, m_services.modal,
                                       *m_errors, [this]() -> Converter & { return converter(); }, *m_busy,
                                       [this] { return m_passwords->previewAsksForPassword(); },
                                       [this] { return m_services.settings.ocrLanguages(); }},
                                      this);
    connect(PushButton10, &QPushButton::clicked, this,
            [this] { PushButton10_Click(m_services.modal, *m_errors); });

    m_fileList = new FileListController(
        {*m_files, *ListView1, m_services.modal, m_services.settings, *m_errors, *m_busy}, this);
    connect(PushButton1, &QPushButton::clicked, m_fileList, &FileListController::PushButton1_Click);
    connect(PushButton4, &QPushButton::clicked, m_fileList, &FileListController::PushButton4_Click);
    connect(PushButton6, &QPushButton::clicked, m_fileList, &FileListController::PushButton6_Click);
    connect(m_fileList, &FileListController::previewRequested, m_preview,
            &PreviewController::ListView1_Click);

    m_samples = new SampleController(
        {*m_files, m_services.settings, m_services.modal, *m_errors, m_services.programFolder}, this);
    connect(PushButton7, &QPushButton::clicked, m_samples, &SampleController::PushButton7_Click);

    m_pointers = new PointerFeedback(*this, *m_busy, this);
    for (QPushButton *button : {PushButton1, PushButton2, PushButton3, PushButton4, PushButton5, PushButton6,
                                PushButton7, PushButton8, PushButton9, PushButton10})
        m_pointers->addHandArea(*button);
    for (QWidget *area : {static_cast<QWidget *>(this), static_cast<QWidget *>(Frame1),
                          static_cast<QWidget *>(Frame6), ListView1->viewport(), ListView2->viewport()})
        m_pointers->addNormalArea(*area);
    m_menus =
        new ListMenus({*m_files, *ListView1, *m_results, *ListView2, m_services.modal, m_services.settings,
                       *m_busy, [this] { m_fileList->ListView1_DblClick(); }, [this] { showPreferences(); }},
                      this);
    auto *preferences = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma), this);
    connect(preferences, &QShortcut::activated, this, &Form1::showPreferences);

    m_drag = new FileListDrag({*ListView1, *m_files, LoadDragPointer(m_services.programFolder),
                               [this] { m_pointers->normalAreaRule(); }},
                              this);
}

PasswordMode Form1::passwordMode() const
{
    return m_passwords->mode();
}

Converter &Form1::converter() const
{
    if (!m_services.converterFor)
        return m_services.converter;
    return m_services.converterFor(m_services.settings.pdfEngine());
}

AddressRules Form1::addressRules() const
{
    const Settings &settings = m_services.settings;
    AddressRules rules;
    const bool anyDomain = settings.flag(Settings::anyDomainKey(), false);
    rules.on.setFlag(AddressRule::KnownDomains, !anyDomain);
    rules.on.setFlag(AddressRule::BracketArtefacts, !anyDomain);
    rules.on.setFlag(AddressRule::Disguised, settings.flag(Settings::disguisedKey(), false));
    // A pattern that is no domain is left out; the preferences say so where it is typed.
    for (const QString &pattern : settings.domainPatterns(Settings::excludeDomainsKey())) {
        try {
            rules.domains.exclude(pattern);
        } catch (const AppError &) {
        }
    }
    for (const QString &pattern : settings.domainPatterns(Settings::onlyDomainsKey())) {
        try {
            rules.domains.keepOnly(pattern);
        } catch (const AppError &) {
        }
    }
    return rules;
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

void Form1::Form_Load()
{
    const QString &folder = m_services.programFolder;
    ErrorTrap trap(*m_errors, u"Form1"_s, u"Form_Load"_s);
    // Eleven steps in a fixed order; a failed one is reported and the next one runs.
    // 1-2: the look files.
    trap.step([&] { ApplySkin(folder, *this, {Frame1, Frame6, Check1, Option5, Option6}); });
    trap.step([&] { m_pointers->setHandPointer(LoadHandPointer(folder)); });
    // 3: one start in a hundred shows the maker's site, if the build names one.
    trap.step([&] { OpenMakerSiteNowAndThen(m_services.modal, m_services.makerSite, m_services.startRoll); });
    // 4: the sample list, recorded once.
    trap.step([&] { m_samples->SaveSampleSnapshotIfEmpty(); });
    // 5-6: caption, icon, title, list columns.
    trap.step([&] {
        setWindowTitle(ProductName());
        setWindowIcon(ApplicationIcon());
        QGuiApplication::setApplicationDisplayName(MakeAppTitle(ProductName()));
    });
    trap.step([&] {
        ListView1->header()->resizeSection(0, px(7000));
        ListView2->header()->resizeSection(0, px(7000));
    });
    // 7: the password options.
    m_passwords->restore(trap);
    // 8: the empty preview.
    trap.step([&] { Text2->clear(); });
    // 9: the converter, found where it is installed: no processor query picks a build.
    trap.step([&] { m_services.workspace.EnsureConverter(); });
}

void Form1::appendPaths(const QStringList &paths)
{
    m_fileList->ListView1_OLEDragDrop(paths);
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
