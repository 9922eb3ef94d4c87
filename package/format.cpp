#include "package/format.h"

int name_field_length(const unsigned char* field) {
    int length = 0;
    while (length < name_field_size && field[length] != 0) ++length;
    return length;
}
