#include "package/format.h"

#include <cstring>

int name_field_length(const unsigned char* field) {
    int length = 0;
    while (length < name_field_size && field[length] != 0) ++length;
    return length;
}

byte_string decode_name_field(const unsigned char* field) {
    return byte_string(reinterpret_cast<const char*>(field),
                       static_cast<std::size_t>(name_field_length(field)));
}

void encode_name_field(const byte_string& name, unsigned char* field) {
    const std::size_t length = name.length() < static_cast<std::size_t>(name_field_size)
                                   ? name.length()
                                   : static_cast<std::size_t>(name_field_size);
    std::memset(field, 0, name_field_size);
    if (length > 0) std::memcpy(field, name.data(), length);
}
