#include "ScriptedConverter.h"

#include "FakePdf.h"
#include "core/Clock.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::test {

class ScriptedConversion : public Conversion
{
public:
    ScriptedConversion(ScriptedConverter &converter, const ConversionRequest &request)
        : Conversion(converter.m_clock, request, nullptr), m_converter(converter)
    {
        m_next.setSingleShot(true);
        m_next.setInterval(0);
        QObject::connect(&m_next, &QTimer::timeout, this, [this] { deliver(); });
    }
    ~ScriptedConversion() override { abandon(); }
    Q_DISABLE_COPY_MOVE(ScriptedConversion)

    void wake()
    {
        if (m_live)
            m_next.start();
    }

protected:
    void begin() override
    {
        m_live = true;
        ++m_converter.m_running;
        const protocol::ConvertRequest asked = this->asked();
        log(asked);
        script(asked);
        m_next.start();
    }

    void abandon() override
    {
        m_next.stop();
        m_waiting.reset();
        if (m_pdf) // the bytes stay: a page being taken views them
            m_pdf->steps.clear();
        if (std::exchange(m_live, false))
            --m_converter.m_running;
    }

private:
    void log(const protocol::ConvertRequest &asked) const
    {
        QFile file(m_converter.m_logFile);
        if (file.open(QIODevice::Append))
            file.write(FakePdf::logLine(QCoreApplication::applicationPid(), asked) + '\n');
    }

    protocol::ConvertRequest asked() const
    {
        const ConversionRequest &request = this->request();
        protocol::ConvertRequest asked;
        asked.path = QFile::encodeName(request.pdf).toStdString();
        asked.firstPage = request.firstPage;
        asked.lastPage = request.lastPage;
        asked.recognise = request.recognise;
        asked.links = request.links;
        for (const QString &password : request.passwords)
            asked.passwords.push_back(password.toStdString());
        return asked;
    }

    // The steps a worker would take for the file, reading the variant where there is one.
    void script(const protocol::ConvertRequest &asked)
    {
        const QString variant = request().pdf + u'.' + m_converter.m_variant;
        const bool readsVariant = !m_converter.m_variant.isEmpty() && QFileInfo(variant).isFile();
        m_pdf = std::make_unique<FakePdf>(asked, readsVariant ? variant : QString());
    }

    bool ready(const FakeStep &step)
    {
        if (step.kind == FakeStep::Kind::Hangs || (step.held && !m_converter.isReleased(request().pdf)))
            return false;
        const qint64 now = m_converter.m_clock.now();
        if (step.delaySeconds > 0 && m_dueAt < 0)
            m_dueAt = now + qint64(step.delaySeconds * 1000);
        if (m_dueAt > now) {
            if (!m_waiting)
                m_waiting = m_converter.m_clock.every(10, [this] {
                    if (m_converter.m_clock.now() >= m_dueAt) {
                        m_waiting.reset();
                        m_next.start();
                    }
                });
            return false;
        }
        return true;
    }

    // Takes the steps that are due, up to the end of a page: a page a turn of the event loop.
    void deliver()
    {
        const QPointer<ScriptedConversion> alive(this);
        while (m_live && !m_pdf->steps.empty() && ready(m_pdf->steps.front())) {
            const FakeStep step = m_pdf->steps.front();
            m_pdf->steps.pop_front();
            m_dueAt = -1;
            if (step.kind == FakeStep::Kind::Noise || step.kind == FakeStep::Kind::Says)
                continue;
            if (step.kind == FakeStep::Kind::OutOfMemory) {
                abandon();
                finish(ConversionOutcome::Failed, u"ran out of memory"_s);
                return;
            }
            if (step.kind == FakeStep::Kind::Dies || !take(step.event)) {
                abandon();
                finish(ConversionOutcome::Damaged);
                return;
            }
            if (!alive)
                return; // a receiver of the page destroyed it
            if (step.event.type == protocol::FrameType::Done) {
                abandon();
                return;
            }
            if (step.event.type == protocol::FrameType::PageEnd) {
                m_next.start();
                return;
            }
        }
    }

    ScriptedConverter &m_converter;
    QTimer m_next;
    std::unique_ptr<Ticker> m_waiting;
    std::unique_ptr<FakePdf> m_pdf;
    qint64 m_dueAt = -1; // when the first step may be taken, once it waits for the clock
    bool m_live = false;
};

ScriptedConverter::ScriptedConverter(Clock &clock, QString logFile, QString variant)
    : m_clock(clock), m_logFile(std::move(logFile)), m_variant(std::move(variant))
{
}

std::unique_ptr<Conversion> ScriptedConverter::convert(const ConversionRequest &request)
{
    auto conversion = std::make_unique<ScriptedConversion>(*this, request);
    m_conversions.removeAll(nullptr);
    m_conversions.append(conversion.get());
    return conversion;
}

QString ScriptedConverter::identity(const ConversionRequest &like)
{
    return u"scripted "_s + m_variant + u", recognition "_s + (like.recognise ? like.languages : u"off"_s);
}

bool ScriptedConverter::isConverting(const QString &pdf) const
{
    return std::any_of(m_conversions.cbegin(), m_conversions.cend(),
                       [&](const QPointer<Conversion> &conversion) {
                           return conversion && conversion->isRunning() && conversion->request().pdf == pdf;
                       });
}

void ScriptedConverter::release(const QString &pdf)
{
    m_released.insert(pdf);
    for (const QPointer<Conversion> &conversion : std::as_const(m_conversions)) {
        if (conversion)
            static_cast<ScriptedConversion *>(conversion.data())->wake();
    }
}

} // namespace pelmora::test
