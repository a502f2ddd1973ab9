// What this PC offers the setup wizard: which of the suite's network layers are usable, which
// workgroup it belongs to and which workgroups its network knows (from Samba's configuration and
// tools where they are present), and an ICMP echo probe for finding an unused address.
//
// Nothing here keeps state but the installed echo prober. Every answer that comes from a file or
// a tool's output passes through the parsers below, which accept only names that may go into a
// configuration line (no control characters, at most 15 characters, as NetBIOS group names are).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::netprobe {

// --- Network layers of this PC ---
// An IPv4 socket can be opened.
bool TcpipUsable();
// The IPX stand-in is switched on and an IPX datagram socket can be opened.
bool IpxUsable();
// The NetBIOS stand-in lists at least one LANA.
bool NetbiosUsable();

// The network protocols this PC has: the one answer that every program of the suite gives (the
// console's Protocol dialog enables these, the wizard's welcome page calls them installed). A
// protocol is there when the suite's layer for it can be used now: TCP/IP an IPv4 socket, IPX/SPX
// the IPX stand-in, NetBEUI the NetBIOS stand-in (NetBIOS over TCP/IP).
struct InstalledProtocols {
  bool tcpip = false;
  bool ipxspx = false;
  bool netbios = false;
};
InstalledProtocols DetectInstalledProtocols();

// --- Workgroups ---
// The Samba configuration file: $PSADMIN_SMB_CONF when set, else "/etc/samba/smb.conf".
std::string SmbConfPath();
// The "workgroup" parameter of the [global] section (parameters before any section count as
// global; the last setting wins; names of parameters ignore case and blanks, as Samba reads them).
// No setting gives Samba's own default "WORKGROUP"; a value that is no acceptable workgroup name
// gives nullopt.
std::optional<std::string> ParseSmbConfWorkgroup(std::string_view text);
// Reads SmbConfPath() (at most 1 MiB). False when the file cannot be read or its workgroup is not
// acceptable; `out` is then unchanged.
bool ReadDefaultWorkgroup(std::string& out);

// Output of `smbtree -N -D`: one domain or workgroup per line, not indented.
std::vector<std::string> ParseSmbtreeDomains(std::string_view text);
// Output of `nmblookup -M -- -`: the IPv4 addresses (dotted, as printed) of the master browsers.
std::vector<std::string> ParseNmblookupMasters(std::string_view text);
// Output of `nmblookup -A <address>`: the group names registered with suffix <00>.
std::vector<std::string> ParseNodeStatusGroups(std::string_view text);
// A workgroup name as a tool printed it, blanks at both ends removed; nullopt when it is empty,
// longer than 15 characters or holds a character outside 0x20..0x7E.
std::optional<std::string> AcceptWorkgroupName(std::string_view text);

// The workgroups the network knows: `smbtree -N -D` when it is on the PATH and lists any, else the
// group names of the master browsers that `nmblookup` finds (at most 16 of them). Names appear once
// (ignoring case), in the order found. Empty when neither tool is present or answers. The whole
// look-up ends within a few seconds of its start (on the platform clock); a tool still running
// then is stopped, and what was learnt until then is returned.
std::vector<std::string> ListWorkgroups();

// Runs `argv[0]` (looked up on the PATH) with stdin and stderr on /dev/null and LC_ALL=C, and
// collects at most `maxBytes` of its standard output within `timeoutMs` of the platform clock;
// a tool still running then is killed. False when it could not be started or did not end with
// status 0 within the time.
bool RunTool(const std::vector<std::string>& argv, std::string& out, std::int64_t timeoutMs,
             std::size_t maxBytes = 65536);

// --- Reachability ---
// Sends ICMP echo requests. Addresses are IPv4 in host byte order.
class EchoProber {
 public:
  virtual ~EchoProber() = default;
  // Prepares the prober; false when no echo can be sent from this PC.
  virtual bool Open() = 0;
  // One echo request with the payload; true when an echo reply from `address` came within
  // `timeoutMs`.
  virtual bool Echo(std::uint32_t address, const std::uint8_t* payload, std::size_t size,
                    std::int64_t timeoutMs) = 0;
  virtual void Close() = 0;
};

// The real prober: a datagram ICMP socket, or a raw one when datagram sockets are not allowed.
std::unique_ptr<EchoProber> MakeIcmpProber();
// The prober the wizard uses: the installed one, else a process-wide real one.
EchoProber& GetEchoProber();
// Installs a prober for the whole process (tests); nullptr restores the real one.
void SetEchoProber(EchoProber* prober);

// The IPv4 network of this PC's interface that holds `address` (host byte order): its mask in
// host byte order, or nullopt when no interface has that address.
std::optional<std::uint32_t> InterfaceMask(std::uint32_t address);

}  // namespace platform::netprobe
