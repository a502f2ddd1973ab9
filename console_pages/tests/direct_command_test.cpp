// The send direct command dialog against an emulated box: the request as typed, the reply line
// by line, replies with long lines and without a terminating NUL, and the failures.
#include "console_pages/send_direct_command_dlg.h"

#include <QLineEdit>

#include "console_pages/tests/device_dialogs_fixture.h"

namespace dialog_test {
namespace {

using ui::CDialog;

class DirectCommand : public DeviceDialogTest {
 protected:
  // Types `command`, sends it (twice when `twice`) and returns the listed lines.
  std::vector<std::string> Send(const std::string& command, bool twice = false, const char* shot = nullptr) {
    std::vector<std::string> lines;
    CSendDirectCommandDlg dlg(*util_);
    dlg.m_szDefaultName = name_;
    ui::SetModalHook([&](CDialog& d) {
      auto& s = static_cast<CSendDirectCommandDlg&>(d);
      auto* edit = static_cast<QLineEdit*>(s.m_CommandEdit.GetSafeHwnd());
      edit->setFocus();
      QTest::keyClicks(edit, QString::fromStdString(command));
      for (int i = 0; i < (twice ? 2 : 1); ++i) Click(d, CSendDirectCommandDlg::IDC_SEND_TO_DEVICE);
      lines = s.ReplyLines();
      if (shot) Shot(d, shot);
    });
    dlg.DoModal();
    EXPECT_EQ(dlg.m_szCommand, command);
    return lines;
  }
  void Reply(int command, const std::string& data) {
    OnCore([&](box_emulator::BoxCore& c) { c.SetCommandReply(command, data); });
  }
  std::string LastRequest() {
    const auto all = box_.Requests();
    return all.empty() ? std::string() : all.back().data;
  }
};

TEST_F(DirectCommand, RequestGoesAsTypedToTheBoxByItsDefaultName) {
  Reply(9010, "MODEL KV-3\r\nFIRMWARE 2.10\r\nno end");
  // The device library knows the box only by its default name; its device name differs.
  ASSERT_NE(box_.DeviceName(), name_);
  const std::vector<std::string> lines = Send("9010:", false, "direct_command");
  EXPECT_EQ(LastRequest(), "9010:");
  EXPECT_EQ(lines, (std::vector<std::string>{"MODEL KV-3\r", "FIRMWARE 2.10\r"}));
  EXPECT_TRUE(sink_.ids().empty());
}

TEST_F(DirectCommand, RepliesAreListedLineByLine) {
  struct Case {
    std::string reply;
    std::vector<std::string> lines;
  } cases[] = {
      {"A\nB\n", {"A", "B"}},
      {"A\nB", {"A"}},
      {"no line feed", {"Successful !"}},
      {"", {"Successful !"}},
      {std::string(300, 'L') + "\nshort\n", {std::string(49, 'L'), "short"}},
      {"A\n" + std::string(1, '\0') + "B\n", {"A"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply.substr(0, 20));
    Reply(9020, c.reply);
    EXPECT_EQ(Send("9020: "), c.lines);
  }
  // Each send starts from an empty list.
  Reply(9020, "once\n");
  EXPECT_EQ(Send("9020: ", true), std::vector<std::string>{"once"});
}

TEST_F(DirectCommand, AReplyThatFillsTheBufferWithoutANulIsCut) {
  // 144 lines of 70 characters, then 16 characters without a line end: exactly the buffer.
  std::string big;
  for (int i = 0; i < 144; ++i) big += std::string(70, 'x') + "\n";
  big += std::string(16, 'x');
  ASSERT_EQ(big.size(), static_cast<std::size_t>(CPrintServerUtility::kReplyBufferSize));
  Reply(9010, big);
  const std::vector<std::string> lines = Send("9010:");
  EXPECT_TRUE(sink_.ids().empty());
  EXPECT_EQ(lines.size(), 144u);
  for (const std::string& line : lines) EXPECT_EQ(line, std::string(49, 'x'));
}

TEST_F(DirectCommand, FailuresShowTheirBoxAndListNothing) {
  EXPECT_TRUE(Send("").empty());
  EXPECT_EQ(sink_.ids(), std::vector<int>{IDS_UNKNOWN_ERROR_CODE});
  EXPECT_EQ(box_.RequestCount(), 0u);

  ui::ScriptedMessageSink refused;
  platform::SetMessageSink(&refused);
  EXPECT_TRUE(Send("9999:").empty());  // the box fails an unknown command
  EXPECT_EQ(refused.ids().size(), 1u);

  ui::ScriptedMessageSink off;
  platform::SetMessageSink(&off);
  box_.SwitchOff();
  EXPECT_TRUE(Send("9010:").empty());
  EXPECT_EQ(off.ids(), std::vector<int>{IDS_NETWORK_BUSY_OR_NOT_FOUND});
}

}  // namespace
}  // namespace dialog_test
