#include "package/dump_package.h"

#include "package/version.h"

void dump_package(const package_record& p, out_stream& out) {
    const auto* installed = dynamic_cast<const installed_package*>(&p);
    out << "package <" << p.name << "> version=" << version_text(p.version);
    out.end_line();
    if (installed != nullptr && installed->disabled) {
        out << "   disabled";
        out.end_line();
    }
    out << "  deps=";
    out.end_line();
    for (const relation& d : p.depends) {
        // version_text has one static area: each text is written before the next.
        out << "    <" << d.name << "> min=" << version_text(d.min);
        out << " max=" << version_text(d.max);
        out.end_line();
    }
    // Only an installed package has files, but the heading is always there.
    out << "  files=";
    out.end_line();
    if (installed == nullptr) return;
    for (const byte_string& path : installed->files) {
        out << "    " << path;
        out.end_line();
    }
}
