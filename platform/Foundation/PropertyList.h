#pragma once

#include "Foundation/Error.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// XML property lists whose root is an array of data items: the form in which
// backups of keychain items are kept. Data items are written in base64,
// wrapped as the property-list format does.
class PropertyListSerialization {
public:
    static constexpr const char* ErrorDomain = "OrvikPropertyListErrorDomain";

    // The XML text of an array of data items, in order.
    static std::string dataWithDataArray(const std::vector<std::string>& items);

    // The elements of a property list whose root is an array: each data item
    // decoded, nullopt for an element of another kind or with broken base64.
    // nullopt, with `error`, when the text is not such a property list.
    static std::optional<std::vector<std::optional<std::string>>> dataArrayWithData(std::string_view text,
                                                                                    Error* error = nullptr);

    static std::string base64Encoded(std::string_view bytes);
    // Whitespace is ignored; nullopt for anything else outside the alphabet
    // or a wrong length.
    static std::optional<std::string> base64Decoded(std::string_view text);
};
