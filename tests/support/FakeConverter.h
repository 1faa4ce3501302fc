#pragma once

#include <QString>
#include <QTemporaryDir>

namespace pelmora::test {

// A stand-in for pdftotext, put first on PATH for as long as the object lives.
// Its "PDFs" are text files: the first line is a directive, the rest is the text
// written to the output file.
//   TEXT            the rest is the text
//   NEEDS <pw>      only converted with open password <pw> (given as -upw)
//   OWNER <pw>      restricted: a wrong password fails, no password converts
//   SLEEP <seconds> converted after a pause
//   NOTHING         writes no output, as for a damaged file
// Every start appends "<pid> <arguments...>" to the log file.
class FakeConverter
{
public:
    FakeConverter();
    ~FakeConverter();
    FakeConverter(const FakeConverter &) = delete;
    FakeConverter &operator=(const FakeConverter &) = delete;

    bool isValid() const { return m_folder.isValid(); }
    QString logFile() const;
    QStringList loggedCalls() const;
    // Writes a fake PDF and returns its path.
    QString writePdf(const QString &name, const QString &directive, const QByteArray &text) const;
    QString folder() const { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
    QByteArray m_oldPath;
};

} // namespace pelmora::test
