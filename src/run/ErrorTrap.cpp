#include "run/ErrorTrap.h"

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

ErrorTrap::ErrorTrap(ErrorSink &sink, const QString &module, const QString &procedure)
    : m_sink(sink), m_location(location(module, procedure))
{
}

QString ErrorTrap::title()
{
    return u"Application Error"_s;
}

QString ErrorTrap::supportAddress()
{
    return u"support@qarvelle.com"_s;
}

QString ErrorTrap::location(const QString &module, const QString &procedure)
{
    return u"Pelmora2021/08/31."_s + module + u'.' + procedure;
}

QString ErrorTrap::message(const QString &description, const QString &location, int line)
{
    return description + u"\r\nin "_s + location + u" at line "_s + QString::number(line) +
           u"\r\rPlease email screenshot of this message to "_s + supportAddress();
}

void ErrorTrap::report(const QString &description, int line) const
{
    m_sink.reportError(title(), message(description, m_location, line));
}

} // namespace pelmora
