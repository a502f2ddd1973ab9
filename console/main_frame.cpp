#include "console/main_frame.h"

#include <QGuiApplication>
#include <QScreen>

#include "console/console_state.h"
#include "console/pellam_app.h"
#include "console/pellam_view.h"
#include "console/resource.h"

using namespace console;

QRect CMainFrame::PlaceOnScreen(int screenWidth, int screenHeight) {
  const int height = screenHeight * 100 / 145;
  const int width = screenWidth * 100 / 175;
  const int top = height / 4;
  const int left = (2 * width - height) / 3;
  return {left, top, width, height};
}

void CMainFrame::PreCreateWindow(QRect& rect) {
  QSize screen(1024, 768);
  if (QScreen* s = QGuiApplication::primaryScreen()) screen = s->geometry().size();
  rect = PlaceOnScreen(screen.width(), screen.height());
}

void CMainFrame::OnClose() {
  // The view notes the tab on show before the frame goes.
  if (auto* app = dynamic_cast<CPellamApp*>(ui::AfxGetApp()); app != nullptr && app->View() != nullptr)
    app->View()->OnClose();
  ResumeScanner();
  ShowWindow(ui::SW_HIDE);
}

std::vector<ui::MenuItem> MainFrameMenu() {
  return {{0, "&Control",
           {{ID_DEVICE_INFORMATION, "&Device Information...\tCtrl+D", {}},
            {ID_RESET_DEVICE, "&Reset Device...\tCtrl+R", {}},
            {ID_RESTORE_FACTORY_DEFAULT, "Restore &Factory Default...\tCtrl+F", {}}}},
          {0, "&Printer",
           {{ID_PARALLEL_PORT1_STATUS, "Parallel  Port &1 Status ...\tCtrl+1", {}},
            {ID_PARALLEL_PORT2_STATUS, "Parallel  Port &2 Status ...\tCtrl+2", {}},
            {ID_PARALLEL_PORT3_STATUS, "Parallel  Port &3 Status ...\tCtrl+3", {}},
            {0, "", {}},
            {0,
             "&Test Page",
             {{ID_PRINT_TEST_PAGE1, "Parallel Port &1", {}},
              {ID_PRINT_TEST_PAGE2, "Parallel Port &2", {}},
              {ID_PRINT_TEST_PAGE3, "Parallel Port &3", {}}}}}},
          {0, "&Help", {{ID_APP_ABOUT, "&About Vardon Print Server Administration Program...\tCtrl+A", {}}}}};
}

std::vector<ui::Accel> MainFrameAccelerators() {
  return {{"Ctrl+1", ID_PARALLEL_PORT1_STATUS}, {"Ctrl+2", ID_PARALLEL_PORT2_STATUS},
          {"Ctrl+3", ID_PARALLEL_PORT3_STATUS}, {"Ctrl+A", ID_APP_ABOUT},
          {"Ctrl+D", ID_DEVICE_INFORMATION},    {"Ctrl+F", ID_RESTORE_FACTORY_DEFAULT},
          {"Ctrl+R", ID_RESET_DEVICE},          {"Ctrl+Shift+T", ID_SEND_DIRECT_COMMAND},
          {"Esc", ID_DEVICE_INFORMATION}};
}
