#include "run/FileReading.h"

#include "cache/ResultsCache.h"
#include "convert/SplittableConversion.h"
#include "core/NativePath.h"
#include "extract/DisguisedAddresses.h"
#include "run/RunLog.h"

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// Bumped with every change to what the program makes of a converted text (the address
// rules, the repair of recognised text, the readability test), so that the results an
// earlier build kept are not taken for this one's.
constexpr int kResultsRevision = 5; // 5: control characters, symbols and message ids end or are no addresses

// A file's result is kept only while it holds no more addresses than this: beyond, the
// file's own tally and sightings would be a second copy of a huge run's.
constexpr qsizetype kMostKeptAddresses = 50000;

bool IsRefusal(ConversionOutcome outcome)
{
    return outcome == ConversionOutcome::NeedsPassword || outcome == ConversionOutcome::WrongPassword;
}

} // namespace

UnreadableReason ReasonFor(ConversionOutcome outcome, bool passwordGiven)
{
    switch (outcome) {
    case ConversionOutcome::NeedsPassword:
    case ConversionOutcome::WrongPassword:
        return passwordGiven ? UnreadableReason::InvalidPassword : UnreadableReason::Protected;
    case ConversionOutcome::TimedOut:
        return UnreadableReason::TimedOut;
    case ConversionOutcome::Text:
        return UnreadableReason::TextUnreadable;
    case ConversionOutcome::Failed:
        return UnreadableReason::Failed;
    case ConversionOutcome::Damaged:
        break;
    }
    return UnreadableReason::Damaged;
}

std::optional<FileLook> FileLook::of(const QString &path)
{
    struct stat status = {};
    if (::stat(NativePath(path).constData(), &status) != 0)
        return std::nullopt;
    return FileLook{quint64(status.st_dev), quint64(status.st_ino), qint64(status.st_size),
                    qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

QByteArray MailtoAddresses(QByteArrayView target)
{
    constexpr QByteArrayView scheme = "mailto:";
    if (target.size() < scheme.size() ||
        target.first(scheme.size()).compare(scheme, Qt::CaseInsensitive) != 0)
        return {};
    QByteArrayView addresses = target.sliced(scheme.size());
    if (const qsizetype query = addresses.indexOf('?'); query >= 0)
        addresses = addresses.first(query);
    return QByteArray::fromPercentEncoding(addresses.toByteArray());
}

QString CacheRules(Converter &converter, const ReadingOptions &options)
{
    const QString identity = converter.identity(options.like);
    if (identity.isEmpty())
        return {};
    const auto yesNo = [](bool yes) { return yes ? u"yes"_s : u"no"_s; };
    return u"pelmora "_s + QStringLiteral(PELMORA_VERSION) + u", results "_s +
           QString::number(kResultsRevision) + u"\n"_s + identity + u"\nlinks "_s +
           yesNo(options.like.links) + u"\nnotes "_s + yesNo(options.like.notes) + u"\nmetadata "_s +
           yesNo(options.like.metadata) + u"\nattachments "_s + yesNo(options.like.attachments) + u'\n' +
           options.addressRules.describe();
}

FileReading::FileReading(Converter &converter, const QString &pdf, const ReadingOptions &options,
                         PasswordRules &rules, QObject *parent)
    : QObject(parent), m_converter(converter), m_pdf(pdf), m_options(options), m_rules(rules)
{
}

FileReading::~FileReading()
{
    endConversion();
}

bool FileReading::start(const std::optional<QStringList> &passwords)
{
    if (takeFromCache())
        return true;
    convert(passwords.value_or(m_rules.toTry()));
    return false;
}

// Settles it with its result kept by an earlier run, if there is one. Otherwise its
// stamp stays, so that its result can be kept once it is converted.
bool FileReading::takeFromCache()
{
    if (!m_options.cache || m_options.cacheRules.isEmpty())
        return false;
    m_stamp = FileStamp::of(m_pdf);
    if (!m_stamp)
        return false;
    const std::optional<FileResult> kept = m_options.cache->lookup(*m_stamp, m_options.cacheRules);
    if (!kept)
        return false;
    m_addresses = kept->addresses;
    m_notRead = kept->notRead;
    if (kept->verdict == FileVerdict::TextUnreadable)
        m_readability.examine("\f"); // what a scanned page gives
    m_stamp.reset();
    qCDebug(lcRun) << "taken from the cache:" << m_pdf;
    m_outcome = kept->verdict == FileVerdict::Damaged ? ConversionOutcome::Damaged : ConversionOutcome::Text;
    m_state = State::Settled;
    return true;
}

void FileReading::convert(const QStringList &passwords)
{
    m_state = State::Converting;
    m_passwords = passwords;
    m_lookBefore = FileLook::of(m_pdf);
    m_changed = false;
    m_incomplete.clear();
    m_notRead.clear();
    m_sourcePage = 0;
    m_sourcePageText.clear();
    ConversionRequest request = m_options.like;
    request.pdf = m_pdf;
    request.passwords = passwords;
    request.addressRules = m_options.addressRules.toLine();
    if (m_splitClock) {
        auto splittable = std::make_unique<SplittableConversion>(m_converter, *m_splitClock, request);
        m_splittable = splittable.get();
        connect(m_splittable, &SplittableConversion::partsChanged, this, &FileReading::partsChanged);
        m_conversion = std::move(splittable);
    } else {
        m_conversion = m_converter.convert(request);
    }
    connect(m_conversion.get(), &Conversion::polled, this, &FileReading::polled);
    connect(m_conversion.get(), &Conversion::progressed, this, &FileReading::onEvent);
    m_conversion->start();
}

void FileReading::endConversion()
{
    m_splittable = nullptr;
    EndConversion(m_conversion, this);
}

void FileReading::cancel()
{
    if (m_state != State::Settled)
        m_state = State::Cancelled;
    endConversion();
}

int FileReading::parts() const
{
    if (m_splittable)
        return m_splittable->parts();
    return m_conversion ? 1 : 0;
}

int FileReading::pagesToSplit() const
{
    return m_splittable ? m_splittable->pagesToSplit() : 0;
}

bool FileReading::split()
{
    return m_splittable && m_splittable->split();
}

std::optional<PasswordPrompt> FileReading::takeTurn(PasswordMode mode)
{
    if (m_state != State::Refused)
        return std::nullopt;
    switch (m_rules.onRefused(mode, m_passwords, m_passwordHandled)) {
    case PasswordRules::Step::Settle:
        m_state = State::Settled;
        break;
    case PasswordRules::Step::Retry:
        m_passwordHandled = true;
        convert(m_rules.toTry());
        break;
    case PasswordRules::Step::Ask:
        m_state = State::AwaitingAnswer;
        m_prompt = PasswordRules::prompt(mode);
        qCDebug(lcRun) << "asking for a password:" << m_pdf;
        return m_prompt;
    }
    return std::nullopt;
}

void FileReading::answer(const QString &password)
{
    if (m_state != State::AwaitingAnswer)
        return;
    m_passwordHandled = true;
    const QStringList passwords = m_rules.onAnswer(m_prompt, password);
    if (!passwords.isEmpty())
        return convert(passwords);
    m_passwords.clear(); // no password given for it
    m_state = State::Settled;
}

void FileReading::onEvent(const ConversionEvent &event)
{
    switch (event.kind) {
    case ConversionEvent::Kind::Opened:
        m_state = State::Opened;
        Q_EMIT opened();
        return;
    case ConversionEvent::Kind::Recognising:
        Q_EMIT recognising(event.page, event.pages);
        return;
    case ConversionEvent::Kind::Page:
        onPage(event);
        return;
    case ConversionEvent::Kind::Source:
        onSource(event.source);
        return;
    case ConversionEvent::Kind::Finished:
        onFinished(event);
        return;
    }
}

void FileReading::onPage(const ConversionEvent &page)
{
    m_readability.examine(page.text);
    Q_EMIT pageRead(page.page, page.text);
    for (const SourceText &note : page.notes)
        Q_EMIT sourceRead(note);
    if (!page.incomplete.isEmpty() && m_incomplete.isEmpty())
        m_incomplete = u"page "_s + QString::number(page.page) + u": "_s + page.incomplete;
    if (!m_options.searched)
        return;
    onText(page.page, page.text, page.recognised ? FoundVia::Recognised : FoundVia::Text);
    for (const QByteArray &target : page.links)
        onText(page.page, MailtoAddresses(target), FoundVia::Link);
    onNotes(page.page, page.text, page.notes, {});
    for (const UnsureAddress &unsure : page.unsure) {
        QStringList alternatives;
        for (const QByteArray &alternative : unsure.alternatives)
            alternatives.append(QString::fromUtf8(alternative));
        m_unsure.append({m_pdf, page.page, QString::fromUtf8(unsure.address), alternatives});
    }
}

// A note whose own appearance shows it on the page (a free-text annotation, a form
// field) is one sighting with what the page's text shows of it.
void FileReading::onNotes(int page, const QByteArray &pageText, const QList<SourceText> &notes,
                          const QString &inside)
{
    std::optional<SeenAddresses> shown;
    for (const SourceText &note : notes) {
        if (note.shown && !shown) {
            shown.emplace();
            ExtractEmailToArray(pageText, *shown, m_options.addressRules);
        }
        const FoundVia via = !inside.isEmpty()                         ? FoundVia::Attachment
                             : note.kind == protocol::SourceKind::Form ? FoundVia::Form
                                                                       : FoundVia::Annotation;
        onText(page, note.text, via, inside, note.shown ? &*shown : nullptr);
    }
}

void FileReading::onSource(const SourceText &source)
{
    Q_EMIT sourceRead(source);
    if (!source.notRead.isEmpty()) {
        m_notRead.append({source.inside, source.notRead});
        return;
    }
    if (!m_options.searched)
        return;
    const FoundVia via = source.inside.isEmpty() ? FoundVia::Metadata : FoundVia::Attachment;
    switch (source.kind) {
    case protocol::SourceKind::Text:
        // An attached PDF's page comes whole, before its notes.
        m_sourcePageInside = source.inside;
        m_sourcePage = source.page;
        m_sourcePageText = source.text;
        onText(source.page, source.text, via, source.inside);
        return;
    case protocol::SourceKind::Link:
        onText(source.page, MailtoAddresses(source.text), via, source.inside);
        return;
    case protocol::SourceKind::Annotation:
    case protocol::SourceKind::Form: {
        const bool samePage = source.inside == m_sourcePageInside && source.page == m_sourcePage;
        onNotes(source.page, samePage ? m_sourcePageText : QByteArray(), {source}, source.inside);
        return;
    }
    case protocol::SourceKind::Metadata:
        onText(0, source.text, via, source.inside);
        return;
    }
}

void FileReading::onText(int page, const QByteArray &text, FoundVia via, const QString &inside,
                         const SeenAddresses *shown)
{
    if (m_state == State::Cancelled)
        return; // a receiver of the page's first addresses stopped the run
    // Once reported, it counts on its own as well only while its result may be kept, so
    // that a file of a million addresses is not held twice.
    const bool ownTally = !m_run || m_stamp;
    SeenAddresses &seen = ownTally ? m_seen : *m_run;
    const AddressRules &rules = m_options.addressRules;
    // With `shown`, the text's addresses are counted apart first, and those the page shows left out.
    SeenAddresses apart;
    SeenAddresses &tally = shown ? apart : seen;
    QList<FileAddress> found;
    QList<AddressRuleSet> repairs;
    const QStringList addresses = ExtractEmailToArray(text, tally, rules, &repairs);
    for (qsizetype i = 0; i < addresses.size(); ++i)
        found.append({addresses[i], page, 0, via, repairs[i], inside});
    if (via != FoundVia::Link && rules.has(AddressRule::Disguised)) {
        for (const QString &address : ExtractDisguised(text, tally, rules))
            found.append({address, page, 0, FoundVia::Disguised, {}, inside});
    }
    if (shown) {
        found.removeIf([&](const FileAddress &sighting) {
            return shown->count(sighting.address) > 0 ||
                   !seen.insert(sighting.address, apart.count(sighting.address));
        });
    }
    if (!ownTally)
        return emitFound(found);
    m_addresses += found;
    if (m_run) {
        // Its tally counts into the run's (see report): an address is new to the run when
        // no other file counted it.
        const auto counted = [this](const FileAddress &sighting) {
            return m_run->count(sighting.address) != m_seen.count(sighting.address);
        };
        found.removeIf(counted);
        m_listed = m_addresses.size();
    }
    if (m_addresses.size() > kMostKeptAddresses)
        forgetResult();
    if (m_run)
        emitFound(found);
}

void FileReading::report(const std::shared_ptr<SeenAddresses> &run)
{
    if (m_run)
        return;
    m_run = run;
    // Its own first spellings, sifted in the order of reports: the run's first spellings.
    // The pages that came whole count, also of a file that failed later on.
    QList<FileAddress> fresh;
    for (qsizetype i = m_listed; i < m_addresses.size(); ++i) {
        const FileAddress &sighting = m_addresses[i];
        if (m_run->insert(sighting.address,
                          sighting.count > 0 ? sighting.count : m_seen.count(sighting.address)))
            fresh.append(sighting);
    }
    if (m_stamp) {
        // Its result may be kept: its own tally goes on, counting into the run's.
        m_listed = m_addresses.size();
        m_seen.countAlsoIn(m_run.get());
    } else {
        forgetResult();
    }
    emitFound(fresh);
}

void FileReading::emitFound(const QList<FileAddress> &found)
{
    if (found.isEmpty())
        return;
    QList<AddressSource> addresses;
    addresses.reserve(found.size());
    for (const FileAddress &sighting : found)
        addresses.append({sighting.address, m_pdf, sighting.page, 0, sighting.via, m_run, sighting.repaired,
                          sighting.inside});
    Q_EMIT addressesFound(addresses);
}

void FileReading::onFinished(const ConversionEvent &end)
{
    // Its signal is still being delivered; let it return first.
    m_conversion.release()->deleteLater();
    m_splittable = nullptr;
    m_outcome = end.outcome;
    // The library's reason for a damaged file is for the log; a dying converter's words are not.
    m_detail = end.outcome == ConversionOutcome::Damaged && end.judged ? QString() : end.detail;
    // A download or a sync that rewrites the file meanwhile leaves a text of neither version;
    // a part of a split conversion that opens it anew finds it damaged or short instead.
    m_changed = m_lookBefore && !IsRefusal(end.outcome) && FileLook::of(m_pdf) != m_lookBefore;
    if (IsRefusal(end.outcome)) {
        m_state = State::Refused;
    } else {
        m_state = State::Settled;
        keepResult(end);
    }
    Q_EMIT conversionEnded();
}

std::optional<UnreadableFile> FileReading::unreadable() const
{
    if (m_changed)
        return UnreadableFile{m_pdf, UnreadableReason::Changed};
    // A page cut short says more than the little text it left.
    if (m_outcome == ConversionOutcome::Text && !m_incomplete.isEmpty())
        return UnreadableFile{m_pdf, UnreadableReason::Incomplete, m_incomplete};
    if (m_outcome == ConversionOutcome::Text && !m_readability.unreadable())
        return std::nullopt;
    const UnreadableReason reason = ReasonFor(m_outcome, !m_passwords.isEmpty());
    // Only a failure is told in the converter's words, a time-out says what took too long,
    // and a converter that died what it said last; poppler's error codes are for the log.
    const bool told = reason == UnreadableReason::Failed || reason == UnreadableReason::TimedOut ||
                      reason == UnreadableReason::Damaged;
    return UnreadableFile{m_pdf, reason, told ? m_detail : QString()};
}

// Keeps the result of a file converted to its end, when it is what the file gives any
// run under the same rules: the converter judged the file, no password was tried on it
// (its addresses would then be readable without one), and it is still as it was. A file
// with unsure recognised addresses is not kept: whether they count depends on the run.
void FileReading::keepResult(const ConversionEvent &end)
{
    const bool verdict =
        end.judged && (end.outcome == ConversionOutcome::Text || end.outcome == ConversionOutcome::Damaged);
    const bool whole = m_incomplete.isEmpty() && !m_changed;
    if (m_stamp && verdict && whole && m_passwords.isEmpty() && m_unsure.isEmpty() &&
        FileStamp::of(m_pdf) == m_stamp)
        m_options.cache->store(*m_stamp, m_options.cacheRules, result(),
                               ResultsCache::Opening::WithoutPassword);
    forgetResult();
}

// Its result is not kept: its own tally and sightings go, unless its report still needs them.
void FileReading::forgetResult()
{
    m_stamp.reset();
    if (!m_run)
        return;
    m_seen = SeenAddresses();
    m_addresses.clear();
    m_listed = 0;
}

QList<UnreadableFile> FileReading::attachmentsNotRead() const
{
    QList<UnreadableFile> files;
    for (const AttachmentNotRead &each : m_notRead)
        files.append({m_pdf + u" \u00bb "_s + each.inside, UnreadableReason::AttachmentNotRead, each.reason});
    return files;
}

FileResult FileReading::result() const
{
    FileResult result{FileVerdict::Readable, m_addresses, m_notRead};
    if (m_outcome == ConversionOutcome::Damaged)
        result.verdict = FileVerdict::Damaged;
    else if (m_readability.unreadable())
        result.verdict = FileVerdict::TextUnreadable;
    for (FileAddress &each : result.addresses)
        each.count = m_seen.count(each.address);
    return result;
}

} // namespace pelmora
