// What the scanner's window asks of the scanner: the commands of its buttons and timer, and the
// log text of the workers. The window lives in a module of its own that the program loads only
// when there is a display, so it reaches the scanner through this interface alone and links
// nothing of it.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace lumeth {

class ScannerControl {
 public:
  using LogSink = std::function<void(const std::string& text)>;

  // Starts the protocols (the routes of one that failed stay off); returns the failure bits.
  virtual int StartProtocols() = 0;
  // One tick of the presence poll; false when the program should end.
  virtual bool OnTimer() = 0;
  // Starts a scan round; false when it was skipped for the one client's pause.
  virtual bool StartScanRound() = 0;
  // The Pause button: true when scanning is now paused.
  virtual bool TogglePause() = 0;
  // Verify Data: reads the four scan files and discards them.
  virtual std::vector<int> VerifyData() = 0;
  // Ends the scanner's work (workers, protocols, named objects); safe to call more than once.
  virtual void Shutdown() = 0;
  // Where the workers' log text goes (called from the worker threads).
  virtual void SetLogSink(LogSink sink) = 0;
  // The interval of the presence poll.
  virtual int TickMs() const = 0;

 protected:
  virtual ~ScannerControl() = default;
};

// The log of the window: the running length of the text added since the log was last emptied,
// against a limit 4,096 characters below the edit control's text limit.
class LogLimit {
 public:
  static constexpr std::size_t kEditTextLimit = 32767;
  explicit LogLimit(std::size_t editLimit = kEditTextLimit)
      : limit_(editLimit > 4096 ? editLimit - 4096 : 1) {}
  // Adds `length`; true when the log must be emptied before the text goes in.
  bool Add(std::size_t length) {
    running_ += length;
    if (running_ < limit_) return false;
    running_ = 0;
    return true;
  }
  void Reset() { running_ = 0; }
  std::size_t running() const { return running_; }
  std::size_t limit() const { return limit_; }

 private:
  std::size_t limit_;
  std::size_t running_ = 0;
};

}  // namespace lumeth
