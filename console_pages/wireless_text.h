// The texts behind the wireless page and the wireless link information dialog, free of any window:
// the box's link status text, its list of regulatory domains and the channels they allow, the
// station name built from the default name, the characters a WEP key-byte edit may hold and the
// joining of key bytes into key texts. The box's texts come from the network: any input gives a
// result, never a read outside it.
#pragma once
#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace wireless_text {

// ---- Link status (the box's "STATE:...;CHANNEL:...;" text) --------------------------------------

struct LinkStatus {
  std::string state;
  std::string channel;
  std::string txRate;
  std::string tx;
  std::string rx;
  std::string quality;   // e.g. "Good (80%)"
  std::string strength;  // e.g. "Fair (45%)"
  int qualityPercent = 0;
  int strengthPercent = 0;
};

// Reads the tags "STATE:", "CHANNEL:", "TXRATE:", "TX:", "RX:", "QUALITY:" and "STRENGTH:" from
// `text` into `status`. A tag is found by its first occurrence (case-sensitive); its value runs to
// the first ";" after it, and is empty when none follows. A tag that is absent leaves its field as
// it was. A quality or strength value holding "(" sets its percentage to the number after the "("
// up to the "%" (0 without "%" or digits, at most 100); without "(" the percentage stays.
void ApplyLinkStatus(const std::string& text, LinkStatus& status);

// ---- Regulatory domains and channels ---------------------------------------------------------

// The three domain codes of a comma-separated list: each the decimal value of its part (a part
// that is no number reads 0, as do codes the list does not reach). A fourth code is ignored.
std::array<int, 3> ParseDomainList(const std::string& list);

// The name of a domain code ("Unknown" for a code outside the table).
const char* DomainName(int code);

// The channels offered and the names shown for a box's domain codes: the first code always
// counts, the second when it is not 0, the third when the second counted and it is not 0. The
// channels are the union of the domains' channels in the order they first appear ("14" of code
// 40 is added even when already listed); the names are joined by "/".
struct DomainChannels {
  std::string names;
  std::vector<std::string> channels;
};
DomainChannels ChannelsOfDomains(const std::array<int, 3>& codes);

// ---- Station name --------------------------------------------------------------------------

// The vendor prefix (at most the first 6 characters of `vendorPrefix`) followed by the last six
// characters of the default name (all of it when shorter), upper-cased: 12 characters at most.
std::string DefaultStationName(const std::string& defaultName, const std::string& vendorPrefix);
// Six pairs joined by `separator`, upper-cased: the first two characters of the text, then for
// k = 2..6 the two characters ending at character 2k (the last two when the text is shorter).
// An empty text gives an empty result.
std::string FormatStationName(const std::string& text, const std::string& separator);

// ---- WEP keys --------------------------------------------------------------------------------

// Keeps only "0"-"9", "a"-"f", "A"-"F", ":" and "-", in order; true when nothing was removed.
bool FilterKeyText(std::string& text);
// An empty key-byte text becomes "00", a one-character text c becomes "0c"; longer texts stay.
void PadKeyByte(std::string& text);

constexpr int kKeyByteEdits = 20;
constexpr int kShortKeyLength = 5;   // bytes of a 64-bit key
constexpr int kLongKeyLength = 13;   // bytes of the 128-bit key

// The four key texts joined from the 20 key-byte texts (each padded first): with key length 13,
// key 1 is the first 13 bytes (26 digits) and keys 2-4 are empty; otherwise each key is five
// bytes (10 digits): key 1 from texts 0-4, key 2 from 5-9, key 3 from 10-14, key 4 from 15-19. A
// byte text longer than two characters counts whole, and the key is then cut to its digits.
struct WepKeys {
  std::string key1;  // at most 26 characters
  std::string key2;  // at most 10 characters each
  std::string key3;
  std::string key4;
};
WepKeys JoinWepKeys(const std::array<std::string, kKeyByteEdits>& bytes, int keyLength);

// Empties `out`, then appends each byte as two upper-case hexadecimal digits.
void AppendHexBytes(const unsigned char* bytes, std::size_t count, std::string& out);

}  // namespace wireless_text
