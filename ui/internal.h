// Widget factories shared inside the layer.
#pragma once
class QWidget;
namespace ui {
QWidget* NewComboWidget(QWidget* parent);
QWidget* NewSftTreeWidget(QWidget* parent);
QWidget* NewTreeViewWidget(QWidget* parent);
QWidget* NewListBoxWidget(QWidget* parent);
QWidget* NewUpDownWidget(QWidget* parent);
}  // namespace ui
