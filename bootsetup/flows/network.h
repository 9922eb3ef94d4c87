#pragma once

struct package_list;
struct setup_context;

// How a remote installation chosen in the package menu ended.
enum class remote_outcome { no_router, installed, failed };

// The menu's 'r': this machine becomes the installation server. The
// operator picks a waiting router, answers its configuration questions, and
// the chosen packages of list (with everything they depend on) are sent to
// it, dependencies first.
[[nodiscard]] remote_outcome install_remote_router(const package_list& list);

// The "net" kind: this machine, booted from network media, is installed by
// a server on the network. True when the software was installed.
[[nodiscard]] bool network_installation(setup_context& context);
