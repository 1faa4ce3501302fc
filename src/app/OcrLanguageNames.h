#pragma once

#include <QString>

namespace pelmora {

// What a person calls a recognition language that tesseract names by its code: "eng":
// "English", "chi_sim_vert": "Chinese (Simplified, vertical)", the script model "Latin":
// "Latin script". A code it cannot name is shown as it is.
QString OcrLanguageName(const QString &code);

} // namespace pelmora
