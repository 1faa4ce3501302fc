#pragma once

// The document's metadata a reader can open (a viewer's document properties): the fields
// of the document information dictionary and of the XMP metadata, but for those that name
// the tool that made the file (/Producer, /Creator, xmp:CreatorTool, pdf:Producer, XMP's
// own toolkit and the software agents of its history), which hold the tool makers'
// signatures and no one's address to write to.

#include "worker/shell/PdfObject.h"

#include <string>
#include <string_view>
#include <vector>

namespace pelmora::worker {

struct MetadataField
{
    std::string name; // "Author", "dc:creator"
    std::string text; // UTF-8; the items of a list a line each
    friend bool operator==(const MetadataField &, const MetadataField &) = default;
};

// The document information's fields (Title, Author, Subject, Keywords, then the others by
// name), then XMP's in the order it gives them; a text that an earlier field holds
// already (the author in both) is not given again.
std::vector<MetadataField> MetadataOf(const PdfObject &trailer);

// The fields of an XMP packet; none when it is no well-formed XML.
std::vector<MetadataField> XmpFields(std::string_view xml);

} // namespace pelmora::worker
