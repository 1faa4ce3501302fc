#pragma once

#include <QProgressBar>

namespace pelmora {

// A progress bar that shows a caption of its own instead of a percentage.
class CaptionProgressBar : public QProgressBar
{
    Q_OBJECT
public:
    explicit CaptionProgressBar(QWidget *parent = nullptr);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    // Values beyond the bar's range, as a long conversion's creep can give, show as full.
    void display(int value, const QString &caption);

private:
    QString m_caption;
};

} // namespace pelmora
