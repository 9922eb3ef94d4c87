#include "package/archive_links.h"

#include "base/array.h"
#include "package/entry_rules.h"

namespace {

// The kernel gives up after as many; so does the resolution here, keeping
// the path reached so far.
constexpr int most_links_followed = 40;

// Pushes the components of text so that the first one is popped first.
void push_components(array<byte_string>& pending, const char* text, std::size_t length) {
    std::size_t end = length;
    while (end > 0) {
        std::size_t start = end;
        while (start > 0 && text[start - 1] != '/') --start;
        if (end > start) pending.push_back(byte_string(text + start, end - start));
        end = start > 0 ? start - 1 : 0;
    }
}

void append_component(byte_string& path, const byte_string& component) {
    if (path.length() > 1) path.append("/");
    path.append(component);
}

void drop_component(byte_string& path) {
    const std::size_t slash = path.find_last('/');
    path.resize(slash == 0 ? 1 : slash);
}

}  // namespace

byte_string archive_links::landing(const byte_string& path) const {
    const std::size_t slash = path.find_last('/');
    if (slash == byte_string::npos) return path;
    array<byte_string> pending;
    push_components(pending, path.data(), slash);
    byte_string reached("/");
    int followed = 0;
    while (pending.size() > 0) {
        const byte_string component = pending.back();
        pending.pop_back();
        if (component == ".") continue;
        // Above the top there is only the top, as in a changed root.
        if (component == "..") {
            drop_component(reached);
            continue;
        }
        byte_string next = reached;
        append_component(next, component);
        const byte_string* target = links_.lookup(next);
        if (target == nullptr || followed == most_links_followed) {
            reached = next;
            continue;
        }
        ++followed;
        if (target->starts_with("/")) reached = "/";
        push_components(pending, target->data(), target->length());
    }
    const byte_string leaf = path.substring(slash + 1, path.length() - slash - 1);
    if (!leaf.empty()) append_component(reached, leaf);
    return reached;
}

void archive_links::record(const byte_string& landing, const archive_entry& entry,
                           const byte_string& target) {
    if (entry.type() != entry_symlink) {
        (void)links_.erase(landing);  // none there is as good
        return;
    }
    // The system stores the target up to its first NUL byte.
    const std::size_t nul = target.find('\0');
    const byte_string stored = nul == byte_string::npos ? target : target.substring(0, nul);
    if (byte_string* known = links_.lookup(landing)) {
        *known = stored;
    } else {
        (void)links_.insert(landing, stored);
    }
}

const char* linked_entry_problem(archive_links& links, const archive_entry& entry,
                                 const byte_string& target) {
    byte_string path;
    if (!entry_path(entry.name, path)) return nullptr;
    const byte_string landing = links.landing(path);
    links.record(landing, entry, target);
    if (landing.starts_with("/proc/")) return "path leads below /proc through a link";
    return nullptr;
}
