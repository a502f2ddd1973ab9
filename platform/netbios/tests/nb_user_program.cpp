// A NetBIOS program for tests that need one run by another user: carries out its arguments in order
// and prints each step's result on its standard output as "<step> <name> <return code>".
//   add:NAME    ADD NAME                    keep:NAME   ask the name table to keep it
//   del:NAME    DELETE NAME                 hold        wait until standard input closes
//   dgrecv:NAME receive one datagram to NAME (within 10 s) and print its text as "got <text>"
//   problem     print what NbTakeServiceProblem() gives, as "problem <text>"
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/netbios/netbios.h"
#include "platform/netbios/tests/nb_test_env.h"

namespace {

UCHAR g_nums[256] = {};  // the name number of each name added, by its first letter

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const std::size_t colon = arg.find(':');
    const std::string step = arg.substr(0, colon);
    const std::string name = colon == std::string::npos ? "" : arg.substr(colon + 1);
    NCB n{};
    n.ncb_lana_num = 0;
    nbtest::PutName(n.ncb_name, name.c_str());
    UCHAR rc = 0;
    if (step == "add") {
      n.ncb_command = NCBADDNAME;
      rc = Netbios(&n);
      if (rc == NRC_GOODRET && !name.empty()) g_nums[static_cast<unsigned char>(name[0])] = n.ncb_num;
    } else if (step == "keep") {
      rc = NbKeepName(0, n.ncb_name);
    } else if (step == "del") {
      n.ncb_command = NCBDELNAME;
      rc = Netbios(&n);
    } else if (step == "problem") {
      std::printf("problem %s\n", NbTakeServiceProblem().c_str());
      continue;
    } else if (step == "hold") {
      std::printf("holding\n");
      pollfd p{0, POLLIN, 0};
      char c = 0;
      while (poll(&p, 1, -1) > 0 && read(0, &c, 1) == 1) {
      }
      continue;
    } else if (step == "dgrecv" && !name.empty()) {
      char buf[600] = {};
      NbEvent done;
      n.ncb_command = NCBDGRECV | ASYNCH;
      n.ncb_num = g_nums[static_cast<unsigned char>(name[0])];
      n.ncb_buffer = reinterpret_cast<UCHAR*>(buf);
      n.ncb_length = sizeof buf - 1;
      n.ncb_event = &done;
      rc = Netbios(&n);
      if (rc == NRC_GOODRET) {
        if (!done.Wait(10000)) {
          NCB cancel{};
          cancel.ncb_command = NCBCANCEL;
          cancel.ncb_buffer = reinterpret_cast<UCHAR*>(&n);
          Netbios(&cancel);
          done.Wait(10000);
        }
        rc = n.ncb_retcode;
        if (rc == NRC_GOODRET) std::printf("got %.*s\n", static_cast<int>(n.ncb_length), buf);
      }
    } else {
      std::fprintf(stderr, "unknown step %s\n", arg.c_str());
      return 2;
    }
    std::printf("%s %s %d\n", step.c_str(), name.c_str(), rc);
  }
  return 0;
}
