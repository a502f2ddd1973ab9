// registry_read_bench: cost of reading a registry store whose keys sit under one parent.
//
// Run: <build>/bin/registry_read_bench [--rounds N] [--small K] [--large K] (defaults 9, 10000 and
// 80000). Each store holds K sibling keys with one value each. A round opens the last key of a
// store whose bytes this process has not parsed yet (every round writes a new value first), so each
// timed call reads and parses the whole file. The baseline reads the same file whole and counts
// its lines. The medians per key are printed with two ratios: large store / small store (target:
// at most 3, what a larger working set costs in caches; a cost that grows with the square of the
// siblings gives large/small, 8 with the defaults) and parse / plain read of the large store.
// Timings vary with the machine's load: run it a few times.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/test_support/temp_root.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

std::string StoreText(int keys, int round) {
  std::string text =
      "PSADMIN-REGISTRY 1\nK HKEY_LOCAL_MACHINE\nK HKEY_LOCAL_MACHINE\\SOFTWARE\nK HKEY_LOCAL_MACHINE\\SOFTWARE\\Many\n";
  char line[96];
  for (int i = 0; i < keys; ++i) {
    std::snprintf(line, sizeof line, "K HKEY_LOCAL_MACHINE\\SOFTWARE\\Many\\Box%06d\nV 1 Name PS%06d%%00\n", i, i);
    text += line;
  }
  std::snprintf(line, sizeof line, "V 1 Round %d%%00\n", round);
  text += line;
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ull;
  }
  std::snprintf(line, sizeof line, "E %d %016llx\n", 2 * keys + 4, static_cast<unsigned long long>(h));
  return text + line;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Timing {
  double parseNsPerKey = 0;
  double plainNsPerKey = 0;
};

Timing Measure(int keys, int rounds) {
  const std::string store = platform::JoinPath(platform::RegistryDirectory(), "registry.txt");
  char last[64];
  std::snprintf(last, sizeof last, "SOFTWARE\\Many\\Box%06d", keys - 1);
  std::vector<double> parse, plain;
  for (int r = -1; r < rounds; ++r) {  // round -1 warms up
    { std::ofstream(store, std::ios::binary | std::ios::trunc) << StoreText(keys, r + 1000 * keys); }
    auto t0 = SteadyClock::now();
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, last, KEY_READ, &key) != ERROR_SUCCESS) {
      std::fprintf(stderr, "the store of %d keys did not read\n", keys);
      std::exit(1);
    }
    auto t1 = SteadyClock::now();
    RegCloseKey(key);
    // The floor: the same bytes read whole and split into lines.
    std::ifstream in(store, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    volatile std::size_t lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
    (void)lines;
    auto t2 = SteadyClock::now();
    if (r < 0) continue;
    parse.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count() / keys);
    plain.push_back(std::chrono::duration<double, std::nano>(t2 - t1).count() / keys);
  }
  return {Median(parse), Median(plain)};
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 9, small = 10000, large = 80000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--small") == 0) small = std::max(10, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--large") == 0) large = std::max(10, std::atoi(argv[i + 1]));
  }
  platform::testing::TempRoot root;
  const Timing s = Measure(small, rounds);
  const Timing l = Measure(large, rounds);
  std::printf("first read of a store, per key (median of %d):\n", rounds);
  std::printf("  %6d keys: %8.1f ns (plain read %6.1f ns)\n", small, s.parseNsPerKey, s.plainNsPerKey);
  std::printf("  %6d keys: %8.1f ns (plain read %6.1f ns)\n", large, l.parseNsPerKey, l.plainNsPerKey);
  std::printf("large / small: %.2f (target at most 3)\n", l.parseNsPerKey / s.parseNsPerKey);
  std::printf("parse / plain read (large): %.1f\n", l.parseNsPerKey / l.plainNsPerKey);
  return 0;
}
