#include "package/package_record.h"

#include "package/version.h"

package_record::~package_record() {
    for (package_record* member : members) delete member;
}

const char* const pending_action_words[4] = {"", "uninstall", "enable", "disable"};

byte_string package_label(const package_record& p) {
    byte_string label(p.name);
    label += "-";
    label += version_text(p.version);
    return label;
}

byte_string bundle_label(const installed_package& p) {
    byte_string label(p.bundle_name);
    if (p.bundle_version != 0) {
        label += "-";
        label += version_text(p.bundle_version);
    }
    return label;
}
