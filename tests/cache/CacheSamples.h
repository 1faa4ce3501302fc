#pragma once

#include "cache/FileResult.h"
#include "cache/FileStamp.h"

#include <QString>

namespace pelmora::test {

// The rules of a run as the cache takes them.
inline const QString kSampleRules =
    QStringLiteral("pelmora 1.0.0|poppler 22.02.0|service|links 0|ocr -|rules 1");

// The stamp of a file that need not exist; the same number gives the same stamp.
FileStamp sampleStamp(quint64 number);

// Waits until the file system's clock, which stamps status changes at a coarse tick,
// has passed `changedNs`, so a change made next gets a later time; false when a probe
// file beside `folder` cannot be touched.
bool changeClockPassed(const QString &folder, qint64 changedNs);

// `count` distinct addresses of about 30 bytes, numbered from `first`, over pages of ten.
FileResult sampleResult(int count, int first = 0);

} // namespace pelmora::test
