// What a second start (or any other local program) sends to the running instance's socket: any
// bytes, then the end of the connection. The owner must answer or drop the client without
// hanging, and hand its handler only one line of bounded length.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/fuzz/fuzz_root.h"
#include "platform/single_instance/single_instance.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr const char* kName = "fuzzed instance";
  platform_fuzz::FuzzRoot();
  static platform::SingleInstance* owner = [] {
    auto* o = new platform::SingleInstance;
    if (o->Acquire(kName) != platform::SingleInstance::Result::kOwner) std::abort();
    return o;
  }();
  const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (client < 0) return 0;
  if (!platform::ConnectOrBindSocket(client, platform::SingleInstance::SocketPath(kName), false)) std::abort();
  ::fcntl(client, F_SETFL, O_NONBLOCK);
  // What does not fit into the socket's buffer is simply not sent.
  if (size > 0) (void)!::send(client, data, size > 65536 ? 65536 : size, MSG_NOSIGNAL);
  ::shutdown(client, SHUT_WR);
  const bool served = owner->ServeOne([](const std::string& request) {
    if (request.size() > platform::SingleInstance::kMaxLine || request.find('\n') != std::string::npos) std::abort();
    return std::string("answer ") + request;
  });
  if (!served) std::abort();
  char buf[256];
  while (::recv(client, buf, sizeof buf, 0) > 0) {
  }
  ::close(client);
  return 0;
}
