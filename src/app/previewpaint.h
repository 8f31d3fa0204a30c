#pragma once
// The tool-path preview drawn with QPainter: the window's view and the PNG of
// qxrtool are the same picture.
#include <QByteArray>
#include <QString>

#include "sim/preview.h"

class QPainter;

namespace qxr {

// Draws the view's rectangle (0, 0, view.width, view.height): background,
// grid, the path with the moves of `selectedLine` over the others, the start
// and end marks and the `gridLabel` ("Grid 10") in the lower left corner.
// `scene` is working storage kept between calls.
void paintPreview(QPainter& painter, const PreviewPath& path, const PreviewView& view, int selectedLine,
                  const QString& gridLabel, PreviewScene& scene);

// The view as PNG bytes; empty when the image could not be made.
QByteArray previewPng(const PreviewPath& path, const PreviewView& view, const QString& gridLabel);

}  // namespace qxr
