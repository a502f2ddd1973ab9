// The console's main frame and its (empty) document. The frame holds the settings view; it stays
// hidden until Advanced opens a box, and closing it only hides it and lets the scanner run again.
#pragma once
#include <string>
#include <vector>

#include "ui/frame.h"

class CMainFrame : public ui::CFrameWnd {
 public:
  CMainFrame() = default;
  // Width and height from the screen size; placed a quarter of its height from the top.
  void PreCreateWindow(QRect& rect) override;
  void OnClose() override;
  // The place of a frame on a screen of the given size (pixels).
  static QRect PlaceOnScreen(int screenWidth, int screenHeight);
};

class CPellamDoc : public ui::CDocument {
 public:
  bool OnNewDocument() override { return ui::CDocument::OnNewDocument(); }
  // The console keeps no files: nothing is read or written.
  void Serialize() {}
};

// The frame's menu and accelerators.
std::vector<ui::MenuItem> MainFrameMenu();
std::vector<ui::Accel> MainFrameAccelerators();
