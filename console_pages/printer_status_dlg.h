// The printer status dialog: the state of the printer on one parallel port of the selected box,
// refreshed every 5 seconds, animated while the port prints, with a test page and (for an on-line,
// idle printer) the PJL variables dialog at hand.
#pragma once
#include <QPointer>
#include <string>

#include "device_client/pjl/pjl_utility.h"
#include "ui/dialog.h"

class QLabel;

class CPrinterStatusDlg : public ui::CDialog {
 public:
  static constexpr int IDD = 162;
  static constexpr int IDC_SELECTED_DEVICE = 1003;
  static constexpr int IDC_RETURN_CODE = 1139;
  static constexpr int IDC_STATUS = 1140;
  static constexpr int IDC_MODEL = 1145;
  static constexpr int IDC_REFRESH = 1146;
  static constexpr int IDC_CONFIGURE = 1147;
  static constexpr int IDC_PRINTING_INFORMATION = 1150;
  static constexpr int IDC_BYTES_SERVICED_LABEL = 1151;
  static constexpr int IDC_BYTES_SERVICED = 1152;
  static constexpr int IDC_OCCUPIED_BY_LABEL = 1153;
  static constexpr int IDC_OCCUPIED_BY = 1154;
  static constexpr int IDC_PORT_GROUP = 1155;
  static constexpr int IDC_TEST_PAGE = 1162;
  static constexpr UINT kTimerId = 1;
  static constexpr UINT kTimerMs = 5000;
  static constexpr int kShrinkPixels = 50;
  // The still picture and the animation frames, by picture resource id.
  static constexpr int kStillPicture = 170;
  static constexpr int kFrames[6] = {170, 171, 172, 173, 176, 177};

  explicit CPrinterStatusDlg(CPJLUtility& utility, ui::CWnd* parent = nullptr);
  ~CPrinterStatusDlg() override;

  BOOL OnInitDialog() override;
  void DoDataExchange(bool save) override;
  void OnTimer(UINT id) override;
  void OnCancel() override;  // the close box

  void OnRefresh();
  void OnConfigure();
  void OnTestPage();
  void ParseStatus();
  void QueryStatus();
  int IsPrinterReady();

  // The picture shown now (resource id) and where (pixels, client coordinates).
  int ShownPicture() const { return m_iShownPicture; }
  QPoint PicturePosition() const;

  // Set by the caller before the dialog runs.
  std::string m_szDeviceName;
  std::string m_szDefaultName;
  int m_iPort = 1;
  // The port's configured name (its physical-port record); it titles the frame and names the
  // port's block in the status text (P1, P2, P3 when empty).
  std::string m_szPortName;
  PJLStatusData m_PJLStatusData;

  int m_iCounter = 0;
  int m_bWaitCursor = 0;
  int m_bPrinting = 0;
  int m_bOnLine = 0;
  int m_bBusy = 0;

  ui::CButton m_btnRefresh;
  ui::CButton m_btnConfigure;

 private:
  void ShowPicture(int resourceId, int x, int y);
  void Resize(int shrink);
  std::string StatusText();

  CPJLUtility& m_Utility;
  int m_iInitialHeight = 0;
  QRect m_rcGroup;
  QRect m_rcButtons[4];
  QPointer<QLabel> m_pPicture;
  int m_iShownPicture = 0;
};

// What the settings view does for its three port commands: asks the printer's model (under a wait
// cursor) and runs the dialog modally.
void RunPrinterStatusDialog(CPJLUtility& utility, const std::string& deviceName,
                            const std::string& defaultName, int port, const std::string& portName);
