#include "app/previewpaint.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <vector>

namespace qxr {

namespace {

constexpr std::size_t kDenseMoves = 50000;
const QColor kBackground(255, 255, 255);
const QColor kGridColour(230, 230, 230);
const QColor kAxisColour(184, 184, 184);
const QColor kFeedColour(0, 72, 192);
const QColor kRapidColour(224, 112, 0);
const QColor kSelectedColour(220, 0, 0);
const QColor kStartColour(0, 160, 0);
const QColor kEndColour(208, 0, 0);

QPen strokePen(Stroke stroke) {
  QPen pen;
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  switch (stroke) {
    case Stroke::Rapid:
      // One-pixel cosmetic pens take the painter's fast path, dashes included.
      pen.setColor(kRapidColour);
      pen.setWidthF(1.0);
      pen.setCosmetic(true);
      pen.setDashPattern({5, 4});
      pen.setCapStyle(Qt::FlatCap);
      break;
    case Stroke::SelectedRapid:
      pen.setColor(kSelectedColour);
      pen.setWidthF(2.5);
      pen.setDashPattern({3, 2});
      pen.setCapStyle(Qt::FlatCap);
      break;
    case Stroke::SelectedFeed:
      pen.setColor(kSelectedColour);
      pen.setWidthF(3.0);
      break;
    default:
      pen.setColor(kFeedColour);
      pen.setWidthF(1.0);
      pen.setCosmetic(true);
      break;
  }
  return pen;
}

}  // namespace

void paintPreview(QPainter& painter, const PreviewPath& path, const PreviewView& view, int selectedLine,
                  const QString& gridLabel, PreviewScene& scene) {
  const QRectF area(0, 0, view.width, view.height);
  painter.save();
  painter.setClipRect(area);
  painter.fillRect(area, kBackground);

  const PreviewGrid grid = previewGrid(view);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(kGridColour, 1));
  for (double x : grid.columns) painter.drawLine(QPointF(x, 0), QPointF(x, view.height));
  for (double y : grid.rows) painter.drawLine(QPointF(0, y), QPointF(view.width, y));
  painter.setPen(QPen(kAxisColour, 1));
  if (grid.originColumn >= 0) painter.drawLine(QPointF(grid.originColumn, 0), QPointF(grid.originColumn, view.height));
  if (grid.originRow >= 0) painter.drawLine(QPointF(0, grid.originRow), QPointF(view.width, grid.originRow));

  if (path.moves.size() > kDenseMoves) {
    // So many moves cover the view many times over: they are drawn a pixel
    // wide without smoothing, which could not be seen there and would cost
    // the most, and only the selected line gets smoothed strokes on top.
    QImage layer(view.width, view.height, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    RasterTarget target;
    target.pixels = reinterpret_cast<std::uint32_t*>(layer.bits());
    target.width = view.width;
    target.height = view.height;
    target.stride = layer.bytesPerLine() / 4;
    target.colours[static_cast<int>(Stroke::Rapid)] = kRapidColour.rgb();
    target.colours[static_cast<int>(Stroke::Feed)] = kFeedColour.rgb();
    target.colours[static_cast<int>(Stroke::SelectedRapid)] = kSelectedColour.rgb();
    target.colours[static_cast<int>(Stroke::SelectedFeed)] = kSelectedColour.rgb();
    rasterizePath(path, view, selectedLine, PathPart::Unselected, target);
    painter.drawImage(0, 0, layer);
    flattenPath(path, view, selectedLine, scene, PathPart::Selected);
  } else {
    flattenPath(path, view, selectedLine, scene);
  }
  painter.setRenderHint(QPainter::Antialiasing, true);
  std::vector<QPointF> points;
  // Selected moves last, over the others.
  for (int pass = 0; pass < 2; ++pass) {
    for (int s = 0; s < 2; ++s) {
      const Stroke stroke = static_cast<Stroke>(pass * 2 + s);
      painter.setPen(strokePen(stroke));
      for (const PreviewScene::Run& run : scene.runs) {
        if (run.stroke != stroke) continue;
        points.resize(run.count);
        for (std::uint32_t k = 0; k < run.count; ++k) {
          const PixelPoint& p = scene.points[run.first + k];
          points[k] = QPointF(p.x, p.y);
        }
        painter.drawPolyline(points.data(), static_cast<int>(points.size()));
      }
    }
  }

  if (scene.hasStart) {
    painter.setPen(QPen(kStartColour, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(scene.start.x, scene.start.y), 7, 7);
  }
  if (scene.hasEnd) {
    painter.setPen(QPen(kEndColour, 2));
    painter.drawRect(QRectF(scene.end.x - 4, scene.end.y - 4, 8, 8));
  }

  if (!gridLabel.isEmpty()) {
    const QString label = QString::fromLatin1(planeName(view.plane)) + QStringLiteral("   ") + gridLabel;
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    const QRectF box = painter.boundingRect(QRectF(6, view.height - 24, view.width, 20),
                                            Qt::AlignLeft | Qt::AlignVCenter, label);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(box.adjusted(-3, -1, 3, 1), QColor(255, 255, 255, 220));
    painter.setPen(QColor(70, 70, 70));
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, label);
  }
  painter.restore();
}

QByteArray previewPng(const PreviewPath& path, const PreviewView& view, const QString& gridLabel) {
  QImage image(view.width, view.height, QImage::Format_RGB32);
  if (image.isNull()) return {};
  {
    QPainter painter(&image);
    PreviewScene scene;
    paintPreview(painter, path, view, -1, gridLabel, scene);
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) return {};
  return bytes;
}

}  // namespace qxr
