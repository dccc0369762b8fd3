// The network adapter address, from the system's list of interfaces.
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>

#include <cstring>

#include "platform/network.h"

bool PlatformAdapterAddress(unsigned char address[6]) {
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) return false;
  bool found = false;
  for (ifaddrs* entry = interfaces; entry != nullptr && !found; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET) continue;
    if (entry->ifa_flags & IFF_LOOPBACK) continue;
    const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
    if (link->sll_halen != 6) continue;
    std::memcpy(address, link->sll_addr, 6);
    found = true;
  }
  freeifaddrs(interfaces);
  return found;
}
