#include "app/CaptionProgressBar.h"

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

CaptionProgressBar::CaptionProgressBar(QWidget *parent) : QProgressBar(parent)
{
    setRange(0, 100);
    setValue(0);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
    setCaption(u"Progress Bar"_s);
}

void CaptionProgressBar::setCaption(const QString &caption)
{
    m_caption = caption;
    QString format = caption;
    setFormat(format.replace(u'%', u"%%"_s)); // a "%" in a file name is no placeholder
}

void CaptionProgressBar::display(int value, const QString &caption)
{
    setValue(std::clamp(value, minimum(), maximum()));
    setCaption(caption);
}

} // namespace pelmora
