#include "package/relation.h"

#include "package/version.h"

byte_string relation_label(const relation& r) {
    byte_string label(r.name);
    if (r.min != 0) {
        label += "-";
        label += version_text(r.min);
    }
    return label;
}
