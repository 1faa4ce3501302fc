#include "app/PreferencesDialog.h"

#include "app/OcrLanguageNames.h"
#include "app/Settings.h"
#include "core/AppError.h"
#include "extract/AddressRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

QCheckBox *flagBox(QWidget *parent, Settings &settings, const char *name, const QString &text,
                   const QString &key, bool fallback)
{
    auto *box = new QCheckBox(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setChecked(settings.flag(key, fallback));
    QObject::connect(box, &QCheckBox::toggled, box,
                     [&settings, key](bool on) { settings.write(key, Settings::fromBoolean(on)); });
    return box;
}

} // namespace

QString PreferencesDialog::title()
{
    return u"Preferences"_s;
}

QStringList PreferencesDialog::badPatterns(const QString &text)
{
    QStringList bad;
    for (const QString &pattern : Settings::patternsOf(text)) {
        try {
            DomainFilter().exclude(pattern);
        } catch (const AppError &) {
            bad.append(pattern);
        }
    }
    return bad;
}

PreferencesDialog::PreferencesDialog(const Parts &parts, QWidget *parent) : QDialog(parent), m_parts(parts)
{
    setObjectName(u"preferences"_s);
    setWindowTitle(title());
    auto *tabs = new QTabWidget(this);
    tabs->addTab(addressesPage(), u"Addresses"_s);
    tabs->addTab(readingPage(), u"Reading"_s);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
    showPatternProblems();
}

QWidget *PreferencesDialog::addressesPage()
{
    auto *page = new QWidget(this);
    Settings &settings = m_parts.settings;
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(flagBox(page, settings, "links", u"Take the addresses of links (mailto:)"_s,
                              Settings::linksKey(), true));
    layout->addWidget(flagBox(page, settings, "disguised",
                              u"Take disguised addresses (jane [at] example [dot] org)"_s,
                              Settings::disguisedKey(), false));
    layout->addWidget(flagBox(page, settings, "anyDomain",
                              u"Take addresses with any ending, not only known top-level domains"_s,
                              Settings::anyDomainKey(), false));
    auto *domains = new QGroupBox(u"Domains (one a line; * stands for any characters)"_s, page);
    auto *form = new QFormLayout(domains);
    m_exclude = patternField("excludeDomains", Settings::excludeDomainsKey());
    m_only = patternField("onlyDomains", Settings::onlyDomainsKey());
    form->addRow(u"Leave out:"_s, m_exclude);
    form->addRow(u"Keep only:"_s, m_only);
    m_patternProblem = new QLabel(domains);
    m_patternProblem->setObjectName(u"patternProblem"_s);
    m_patternProblem->setWordWrap(true);
    form->addRow(m_patternProblem);
    layout->addWidget(domains);
    return page;
}

QPlainTextEdit *PreferencesDialog::patternField(const char *name, const QString &key)
{
    auto *field = new QPlainTextEdit(m_parts.settings.read(key, {}), this);
    field->setObjectName(QString::fromLatin1(name));
    field->setTabChangesFocus(true);
    field->setFixedHeight(field->fontMetrics().lineSpacing() * 4 + 12);
    connect(field, &QPlainTextEdit::textChanged, this, [this, field, key] {
        m_parts.settings.write(key, field->toPlainText());
        showPatternProblems();
    });
    return field;
}

void PreferencesDialog::showPatternProblems()
{
    const QStringList bad = badPatterns(m_exclude->toPlainText()) + badPatterns(m_only->toPlainText());
    m_patternProblem->setText(bad.isEmpty() ? QString()
                                            : u"Not a domain, so not used: "_s + bad.join(u", "_s));
    m_patternProblem->setVisible(!bad.isEmpty());
}

QWidget *PreferencesDialog::readingPage()
{
    auto *page = new QWidget(this);
    Settings &settings = m_parts.settings;
    auto *form = new QFormLayout(page);

    auto *engine = new QComboBox(page);
    engine->setObjectName(u"engine"_s);
    engine->addItem(u"MuPDF (faster on long documents)"_s, PdfEngineName(PdfEngine::Mupdf));
    engine->addItem(u"Poppler (the text pdftotext gives)"_s, PdfEngineName(PdfEngine::Poppler));
    engine->setCurrentIndex(engine->findData(PdfEngineName(settings.pdfEngine())));
    connect(engine, &QComboBox::currentIndexChanged, this, [&settings, engine](int index) {
        settings.write(Settings::engineKey(), engine->itemData(index).toString());
    });
    form->addRow(u"PDF library:"_s, engine);

    m_languages = new QListWidget(page);
    m_languages->setObjectName(u"ocrLanguages"_s);
    const QStringList chosen = settings.ocrLanguages().split(u'+', Qt::SkipEmptyParts);
    QStringList offered;
    for (const QString &code : m_parts.installedLanguages + chosen) {
        if (code != u"osd"_s && !offered.contains(code))
            offered.append(code); // orientation detection is no language
    }
    for (const QString &code : offered) {
        // Shown by name, stored by tesseract's code, which the command line takes.
        auto *item = new QListWidgetItem(OcrLanguageName(code), m_languages);
        item->setData(Qt::UserRole, code);
        item->setToolTip(code);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(chosen.contains(code) ? Qt::Checked : Qt::Unchecked);
    }
    m_languages->sortItems();
    m_languages->setFixedHeight(m_languages->fontMetrics().lineSpacing() * 5 + 12);
    connect(m_languages, &QListWidget::itemChanged, this, [this] { storeLanguages(); });
    form->addRow(u"Languages of scanned pages:"_s, m_languages);

    auto *besides = new QGroupBox(u"Besides the pages' text, read"_s, page);
    auto *besidesLayout = new QVBoxLayout(besides);
    besidesLayout->addWidget(flagBox(besides, settings, "notes", u"Notes and filled-in form fields"_s,
                                     Settings::notesKey(), true));
    besidesLayout->addWidget(flagBox(besides, settings, "metadata",
                                     u"The document's metadata (author, subject, keywords)"_s,
                                     Settings::metadataKey(), false));
    besidesLayout->addWidget(flagBox(besides, settings, "attachments",
                                     u"Attached files (PDF and text files, also within each other)"_s,
                                     Settings::attachmentsKey(), false));
    form->addRow(besides);

    form->addRow(flagBox(page, settings, "hidden",
                         u"Read hidden files and folders (names beginning with \".\") of folders added"_s,
                         Settings::hiddenKey(), false));

    auto *cache = new QGroupBox(u"Results cache"_s, page);
    auto *cacheLayout = new QVBoxLayout(cache);
    cacheLayout->addWidget(flagBox(cache, settings, "resultsCache",
                                   u"Keep what each file gave, so the next run need not convert it again"_s,
                                   Settings::resultsCacheKey(), true));
    auto *empty = new QPushButton(u"Empty the Cache"_s, cache);
    empty->setObjectName(u"emptyCache"_s);
    m_cacheStatus = new QLabel(cache);
    m_cacheStatus->setObjectName(u"cacheStatus"_s);
    m_cacheStatus->setWordWrap(true);
    connect(empty, &QPushButton::clicked, this, [this] {
        const QString problem = m_parts.emptyCache ? m_parts.emptyCache() : QString();
        m_cacheStatus->setText(problem.isEmpty() ? u"The cache is empty."_s : problem);
    });
    cacheLayout->addWidget(empty, 0, Qt::AlignLeft);
    cacheLayout->addWidget(m_cacheStatus);
    form->addRow(cache);
    return page;
}

void PreferencesDialog::storeLanguages()
{
    QStringList codes;
    for (int row = 0; row < m_languages->count(); ++row) {
        if (m_languages->item(row)->checkState() == Qt::Checked)
            codes.append(m_languages->item(row)->data(Qt::UserRole).toString());
    }
    // None ticked: English, as when nothing was ever chosen.
    m_parts.settings.write(Settings::ocrLanguagesKey(), codes.join(u'+'));
}

} // namespace pelmora
