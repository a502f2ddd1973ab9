#include "platform/message_sink.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>

namespace platform {
namespace {

class StderrSink : public MessageSink {
 public:
  int Show(int stringId, const std::string& text, UINT type) override {
    std::fprintf(stderr, "[message %d] %s\n", stringId, text.c_str());
    if ((type & 0xF) == MB_YESNO) return IDNO;
    if ((type & 0xF) == MB_OKCANCEL) return IDCANCEL;
    return IDOK;
  }
};

StderrSink g_defaultSink;
std::atomic<MessageSink*> g_sink{nullptr};
std::mutex g_stringsLock;
std::map<int, std::string>& Strings() {
  static std::map<int, std::string> table;
  return table;
}

}  // namespace

MessageSink& GetMessageSink() {
  MessageSink* s = g_sink.load();
  return s != nullptr ? *s : g_defaultSink;
}

void SetMessageSink(MessageSink* sink) { g_sink.store(sink); }

void RegisterString(int id, const char* text) {
  std::lock_guard<std::mutex> lock(g_stringsLock);
  Strings()[id] = text != nullptr ? text : "";
}

std::string LoadString(int id) {
  std::lock_guard<std::mutex> lock(g_stringsLock);
  auto it = Strings().find(id);
  return it == Strings().end() ? std::string() : it->second;
}

void ForgetStrings() {
  std::lock_guard<std::mutex> lock(g_stringsLock);
  Strings().clear();
}

int MessageBoxById(int id, UINT type) { return GetMessageSink().Show(id, LoadString(id), type); }

}  // namespace platform
