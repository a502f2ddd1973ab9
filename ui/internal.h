// Widget factories shared inside the layer.
#pragma once
class QWidget;
namespace ui {
QWidget* NewComboWidget(QWidget* parent);
QWidget* NewSftTreeWidget(QWidget* parent);
QWidget* NewTreeViewWidget(QWidget* parent);
}  // namespace ui
