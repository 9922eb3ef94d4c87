#include <netinet/in.h>

#include "base/format_text.h"
#include "remote/install_server.h"

namespace {

byte_string dotted(std::uint32_t address) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&address);
    return format_text("%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
}

}  // namespace

byte_string make_config_script(const unsigned char* mac, std::uint32_t address, std::uint32_t bits,
                               std::uint32_t gateway, std::uint32_t baud_rate) {
    byte_string script;
    if (address != 0 && bits != 0) {
        script.append(format_text(
            ":local eth\n"
            ":set eth [/interface ethernet get [/interface ethernet find mac-address=%s] name]\n"
            "/interface enable $eth\n"
            "/ip address add address=%s/%d interface=$eth\n",
            mac_text(mac), dotted(address).text(), static_cast<int>(bits)));
    }
    if (gateway != 0)
        script.append(format_text("/ip route add gateway=%s\n", dotted(gateway).text()));
    if (baud_rate != 0) {
        script.append(
            format_text("/port set [/port find] baud-rate=%d\n", static_cast<int>(baud_rate)));
    }
    return script;
}
