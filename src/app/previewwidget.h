#pragma once
// The tool-path preview as a widget: the whole path true to scale, zoomed
// with the wheel around the cursor, panned by dragging, fitted with its Fit
// button; a click on a move selects its program line.
#include <QImage>
#include <QWidget>
#include <memory>

#include "sim/preview.h"

class QComboBox;
class QPlainTextEdit;
class QToolButton;

namespace qxr {

class TPreviewWidget : public QWidget {
  Q_OBJECT
 public:
  TPreviewWidget(int language, QWidget* parent = nullptr);

  // Shows a new path, fitted, in the plane its first arc suggests.
  void setPath(std::shared_ptr<const PreviewPath> path);
  const PreviewPath* path() const { return path_.get(); }
  const PreviewView& view() const { return view_; }
  ViewPlane plane() const { return view_.plane; }
  void setPlane(ViewPlane plane);
  int selectedLine() const { return selectedLine_; }
  // -1 clears the selection.
  void setSelectedLine(int line);
  bool fitted() const { return fitted_; }

  void fit();
  void zoomAtPixel(QPointF pixel, double factor);
  void panByPixels(QPointF delta);

  QToolButton* fitButton() const { return fitButton_; }
  QComboBox* planeBox() const { return planeBox_; }

 signals:
  // The operator clicked a move of this 0-based program line.
  void lineClicked(int line);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void placeControls();
  // The drawing changed: it is made again on the next paint.
  void invalidate();
  void render();

  int language_;
  std::shared_ptr<const PreviewPath> path_;
  PreviewView view_;
  PreviewScene scene_;
  QImage picture_;  // the last drawing; a repaint without change shows it again
  bool dirty_ = true;
  bool fitted_ = true;
  int selectedLine_ = -1;
  QToolButton* fitButton_ = nullptr;
  QComboBox* planeBox_ = nullptr;
  bool dragging_ = false;
  bool dragged_ = false;
  QPointF pressAt_, lastAt_;
};

// Selects the text of a program box's line and scrolls it into view.
void selectProgramLine(QPlainTextEdit* memo, int line);

}  // namespace qxr
