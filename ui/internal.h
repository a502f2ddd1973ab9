// Widget factories shared inside the layer.
#pragma once
class QWidget;
namespace ui {
QWidget* NewComboWidget(QWidget* parent);
QWidget* NewSftTreeWidget(QWidget* parent);
QWidget* NewTreeViewWidget(QWidget* parent);
QWidget* NewListBoxWidget(QWidget* parent);
QWidget* NewUpDownWidget(QWidget* parent);
// Saves a PNG of `w` when $PSA_UI_SCREENSHOT names `templateId` (see ui/README.md).
void MaybeScreenshot(int templateId, QWidget* w);
// The template id $PSA_UI_SCREENSHOT names, 0 when it is unset or malformed.
int ScreenshotTemplateId();
}  // namespace ui
