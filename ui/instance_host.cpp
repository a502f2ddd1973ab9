#include "ui/instance_host.h"

#include <QSocketNotifier>
#include <cstdio>

namespace ui {

InstanceHost::InstanceHost() = default;

InstanceHost::~InstanceHost() { notifier_.reset(); }

bool InstanceHost::Acquire(const std::string& name, const std::string& request, int waitMs, Answer answer,
                           const char* program) {
  switch (instance_.Acquire(name)) {
    case platform::SingleInstance::Result::kOwner:
      answer_ = std::move(answer);
      notifier_ = std::make_unique<QSocketNotifier>(instance_.ListenFd(), QSocketNotifier::Read);
      QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
        while (instance_.ServeOne([this](const std::string& r) { return answer_ ? answer_(r) : std::string(); })) {
        }
      });
      return true;
    case platform::SingleInstance::Result::kOwnedElsewhere:
      platform::AskInstance(name, request, waitMs);
      return false;
    case platform::SingleInstance::Result::kFailed:
      break;
  }
  std::fprintf(stderr, "%s: single-instance check unavailable: %s\n", program, instance_.LastError().c_str());
  return true;
}

void InstanceHost::Release() {
  notifier_.reset();
  instance_.Release();
}

}  // namespace ui
