// Feeds arbitrary user text through the text checks and edits and checks their invariants.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "device_client/settings/com_method.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const int decimal = CComMethod::IsDecimalText(text);
  if (decimal && !(CComMethod::IsHexText(text) && CComMethod::IsDigitsAndDots(text) &&
                   CComMethod::IsPrintableText(text) && CComMethod::IsDigitText(text))) {
    std::abort();
  }
  CComMethod::IsDecimalNumber(text);

  std::string a, b, c, d;
  if (CComMethod::SplitIpAddress(text, a, b, c, d) == 1) {
    if (a + "." + b + "." + c + "." + d != text) std::abort();
    if (a.empty() || b.empty() || c.empty() || d.empty()) std::abort();
  }

  // The strict address reader: an accepted address splits too, and its octets read back the same.
  int octets[4] = {-1, -1, -1, -1};
  if (CComMethod::ParseIpAddress(text, octets) == 1) {
    if (CComMethod::SplitIpAddress(text, a, b, c, d) != 1) std::abort();
    int again[4];
    if (CComMethod::ParseIpAddress(CComMethod::JoinOctets(octets), again) != 1) std::abort();
    for (int i = 0; i < 4; ++i) {
      if (octets[i] < 0 || octets[i] > 255 || again[i] != octets[i]) std::abort();
    }
  }
  int value = -1;
  const int read = CComMethod::ReadOctet(text, value);
  if ((read == CComMethod::kOctetOk) != (value >= 0 && value <= 255) || (read == CComMethod::kOctetOk && !decimal)) {
    std::abort();
  }

  std::string normalized = text;
  CComMethod::NormalizeNumberText(normalized);
  if (normalized.empty() || normalized.find(' ') != std::string::npos) std::abort();
  if (normalized.size() > 1 && normalized[0] == '0') std::abort();

  std::string stripped = text;
  CComMethod::StripLeadingZeros(stripped);
  if (stripped.size() > text.size()) std::abort();
  return 0;
}
