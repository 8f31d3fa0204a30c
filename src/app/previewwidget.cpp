#include "app/previewwidget.h"

#include <QComboBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QToolButton>
#include <QWheelEvent>
#include <cmath>

#include "app/previewpaint.h"
#include "sim/previewtexts.h"

namespace qxr {

namespace {

constexpr double kWheelStep = 1.0015;  // zoom per eighth of a degree of wheel turn
constexpr double kClickSlack = 3.0;    // pixels a click may move and stay a click

QString text(int language, PreviewText which, std::string_view s = {}, long n = 0) {
  return QString::fromStdString(previewText(language, which, s, n));
}

}  // namespace

TPreviewWidget::TPreviewWidget(int language, QWidget* parent) : QWidget(parent), language_(language) {
  setObjectName("PreviewView");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(false);
  setCursor(Qt::OpenHandCursor);
  setToolTip(text(language_, PreviewText::kHelp));

  fitButton_ = new QToolButton(this);
  fitButton_->setObjectName("PreviewFitBtn");
  fitButton_->setText(text(language_, PreviewText::kFit));
  fitButton_->setToolTip(text(language_, PreviewText::kFitTip));
  fitButton_->setCursor(Qt::ArrowCursor);
  planeBox_ = new QComboBox(this);
  planeBox_->setObjectName("PreviewPlaneSel");
  planeBox_->addItems({"XY", "XZ", "YZ"});
  planeBox_->setToolTip(text(language_, PreviewText::kPlaneTip));
  planeBox_->setCursor(Qt::ArrowCursor);
  planeBox_->setFocusPolicy(Qt::NoFocus);
  connect(fitButton_, &QToolButton::clicked, this, &TPreviewWidget::fit);
  connect(planeBox_, &QComboBox::activated, this,
          [this](int index) { setPlane(static_cast<ViewPlane>(index)); });
  view_.width = std::max(width(), 1);
  view_.height = std::max(height(), 1);
  placeControls();
}

void TPreviewWidget::placeControls() {
  const QSize fitSize = fitButton_->sizeHint();
  const QSize planeSize = planeBox_->sizeHint();
  const int h = std::max(fitSize.height(), planeSize.height());
  int x = width() - 4 - fitSize.width();
  fitButton_->setGeometry(x, 4, fitSize.width(), h);
  x -= 4 + planeSize.width();
  planeBox_->setGeometry(x, 4, planeSize.width(), h);
}

void TPreviewWidget::setPath(std::shared_ptr<const PreviewPath> path) {
  path_ = std::move(path);
  selectedLine_ = -1;
  view_.plane = path_ ? path_->suggestedPlane : ViewPlane::XY;
  planeBox_->setCurrentIndex(static_cast<int>(view_.plane));
  fit();
}

void TPreviewWidget::setPlane(ViewPlane plane) {
  view_.plane = plane;
  planeBox_->setCurrentIndex(static_cast<int>(plane));
  fit();
}

void TPreviewWidget::setSelectedLine(int line) {
  if (line == selectedLine_) return;
  selectedLine_ = line;
  invalidate();
}

void TPreviewWidget::fit() {
  const PreviewBounds bounds = path_ ? path_->bounds : PreviewBounds{};
  view_ = fitView(bounds, view_.plane, std::max(width(), 1), std::max(height(), 1));
  fitted_ = true;
  invalidate();
}

void TPreviewWidget::zoomAtPixel(QPointF pixel, double factor) {
  zoomAt(view_, pixel.x(), pixel.y(), factor);
  fitted_ = false;
  invalidate();
}

void TPreviewWidget::panByPixels(QPointF delta) {
  panBy(view_, delta.x(), delta.y());
  fitted_ = false;
  invalidate();
}

void TPreviewWidget::invalidate() {
  dirty_ = true;
  update();
}

void TPreviewWidget::render() {
  if (picture_.size() != QSize(view_.width, view_.height))
    picture_ = QImage(view_.width, view_.height, QImage::Format_RGB32);
  QPainter painter(&picture_);
  static const PreviewPath kEmpty;
  const PreviewPath& path = path_ ? *path_ : kEmpty;
  const QString grid = text(language_, PreviewText::kGrid, spacingText(gridSpacing(view_.scale)));
  paintPreview(painter, path, view_, selectedLine_, grid, scene_);
  QString note;
  if (path.moves.empty()) {
    note = text(language_, PreviewText::kNoMoves);
  } else if (path.cutOff) {
    note = text(language_, PreviewText::kCutOff, {}, static_cast<long>(path.moves.size()));
  }
  if (!note.isEmpty()) {
    painter.setPen(QColor(160, 0, 0));
    painter.drawText(QRectF(6, 4, view_.width - 12, 24), Qt::AlignLeft | Qt::AlignVCenter, note);
  }
  dirty_ = false;
}

void TPreviewWidget::paintEvent(QPaintEvent*) {
  if (dirty_ || picture_.size() != QSize(view_.width, view_.height)) render();
  QPainter(this).drawImage(0, 0, picture_);
}

void TPreviewWidget::resizeEvent(QResizeEvent*) {
  placeControls();
  if (fitted_) {
    fit();
    return;
  }
  view_.width = std::max(width(), 1);
  view_.height = std::max(height(), 1);
  invalidate();
}

void TPreviewWidget::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta != 0) zoomAtPixel(event->position(), std::pow(kWheelStep, delta));
  event->accept();
}

void TPreviewWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  dragging_ = true;
  dragged_ = false;
  pressAt_ = lastAt_ = event->position();
}

void TPreviewWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return;
  const QPointF at = event->position();
  if (!dragged_ && (at - pressAt_).manhattanLength() <= kClickSlack) return;
  if (!dragged_) setCursor(Qt::ClosedHandCursor);
  dragged_ = true;
  panByPixels(at - lastAt_);
  lastAt_ = at;
}

void TPreviewWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !dragging_) return QWidget::mouseReleaseEvent(event);
  dragging_ = false;
  setCursor(Qt::OpenHandCursor);
  if (dragged_ || !path_) return;
  const long move = hitTest(*path_, view_, event->position().x(), event->position().y());
  if (move < 0) return;
  const int line = path_->moves[static_cast<std::size_t>(move)].line;
  setSelectedLine(line);
  emit lineClicked(line);
}

void selectProgramLine(QPlainTextEdit* memo, int line) {
  const QTextBlock block = memo->document()->findBlockByNumber(line);
  if (!block.isValid()) return;
  QTextCursor cursor(memo->document());
  cursor.setPosition(block.position());
  cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
  memo->setTextCursor(cursor);
  memo->ensureCursorVisible();
}

}  // namespace qxr
