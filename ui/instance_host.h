// One running instance of a GUI program per root, served from the Qt event loop: the owner answers
// a second start's request there; a second start asks the owner and is told not to run.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "platform/single_instance/single_instance.h"

class QSocketNotifier;

namespace ui {

class InstanceHost {
 public:
  using Answer = std::function<std::string(const std::string& request)>;

  InstanceHost();
  ~InstanceHost();
  InstanceHost(const InstanceHost&) = delete;
  InstanceHost& operator=(const InstanceHost&) = delete;

  // True when this process is to run: it owns `name` now (second starts' requests are answered by
  // `answer` from the event loop), or nothing under the root can be made, so no other instance can
  // be told apart (a warning naming `program` goes to standard error). False when another process
  // owns the name: it was asked `request` (waiting at most waitMs for its answer).
  bool Acquire(const std::string& name, const std::string& request, int waitMs, Answer answer,
               const char* program);
  // Lets go of the name.
  void Release();

 private:
  platform::SingleInstance instance_;
  std::unique_ptr<QSocketNotifier> notifier_;
  Answer answer_;
};

}  // namespace ui
