#include "bootsetup/install_order.h"

#include <cstring>

namespace {

void visit(install_order& order, int i) {
    unsigned char& seen = order.visited[static_cast<std::size_t>(i)];
    if (seen) return;
    seen = 1;
    const package_entry& entry = order.list->entries[static_cast<std::size_t>(i)];
    for (const byte_string& dependency : entry.dependencies) {
        const int found = order.list->find(dependency.text());
        if (found >= 0) visit(order, found);
    }
    order.order.push_back(i);
    ++order.length;
}

}  // namespace

void build_install_order(install_order& order, const package_list& list) {
    order.list = &list;
    order.length = 0;
    order.order.clear();
    order.visited.clear();
    for (int i = 0; i < list.count(); ++i) order.visited.push_back(0);
    for (int i = 0; i < list.count(); ++i) {
        if (list.entries[static_cast<std::size_t>(i)].selected) visit(order, i);
    }
    order.position = 0;
}

bool next_package_path(install_order& order, byte_string& destination) {
    if (order.position >= order.length) return false;
    const int index = order.order[static_cast<std::size_t>(order.position)];
    destination = order.list->entries[static_cast<std::size_t>(index)].path;
    ++order.position;
    return true;
}

void current_package_name(const install_order& order, byte_string& destination) {
    destination.clear();
    if (order.position == 0) return;
    const int index = order.order[static_cast<std::size_t>(order.position - 1)];
    const char* name = order.list->entries[static_cast<std::size_t>(index)].name;
    destination.assign(name, std::strlen(name));
}
