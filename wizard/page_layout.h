// The wizard pages' common frame: every page is the same size, with the banner picture in static
// 1000 along its left edge and its own controls to the right of it.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "ui/dialog.h"
#include "wizard/resource.h"

namespace wizard {

constexpr int kPageCx = 320;
constexpr int kPageCy = 170;
constexpr int kBannerCx = 80;
// Where a page's own controls start.
constexpr int kContentX = kBannerCx + 10;
constexpr int kContentCx = kPageCx - kContentX - 8;

inline ui::DialogTemplate WizardPageTemplate(int id, std::vector<ui::ControlTemplate> controls) {
  ui::DialogTemplate t{id, kSheetCaption, "MS Sans Serif", 8, kPageCx, kPageCy, 0, {}};
  t.controls.push_back({IDC_BANNER, ui::Kind::Static, "", 0, 0, 0, kBannerCx, kPageCy});
  for (auto& c : controls) t.controls.push_back(std::move(c));
  return t;
}

}  // namespace wizard
