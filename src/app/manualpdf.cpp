// Build tool: renders the Markdown parts of the user manual into one PDF.
//   qxr_manualpdf OUTPUT.pdf PART.md...
// Each part starts on a new page; pages carry a running number.
#include <QColor>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QTextBlock>
#include <QTextCursor>
#include <QAbstractTextDocumentLayout>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kResolution = 300;
constexpr qreal kFooterPoints = 9;

// Tables of the Markdown parts get visible cell borders and some padding.
void styleTables(QTextDocument& doc) {
  for (QTextFrame* frame : doc.rootFrame()->childFrames()) {
    auto* table = qobject_cast<QTextTable*>(frame);
    if (!table) continue;
    QTextTableFormat format = table->format();
    format.setBorder(1);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setBorderBrush(QColor(120, 120, 120));
    format.setBorderCollapse(true);
    format.setCellPadding(4);
    format.setCellSpacing(0);
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    table->setFormat(format);
  }
}

// Headings get room above them so that sections stand apart.
void spaceHeadings(QTextDocument& doc) {
  QTextCursor cursor(&doc);
  for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
    const int level = block.blockFormat().headingLevel();
    if (level == 0 || block == doc.begin()) continue;
    QTextBlockFormat format = block.blockFormat();
    format.setTopMargin(level <= 2 ? 40 : 24);
    format.setBottomMargin(10);
    cursor.setPosition(block.position());
    cursor.setBlockFormat(format);
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  QGuiApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: qxr_manualpdf OUTPUT.pdf PART.md...\n");
    return 2;
  }
  const QString output = QString::fromLocal8Bit(argv[1]);
  const QString temporary = output + ".part";
  QPdfWriter writer(temporary);
  writer.setResolution(kResolution);
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setPageMargins(QMarginsF(20, 18, 20, 18), QPageLayout::Millimeter);
  writer.setTitle(QString::fromUtf8("QXRX02通訊軟體手冊"));
  writer.setCreator("qxrtrans");

  const QRectF page = writer.pageLayout().paintRectPixels(kResolution);
  const qreal footer = kFooterPoints * kResolution / 72.0 * 2.5;
  const QSizeF body(page.width(), page.height() - footer);

  std::vector<std::unique_ptr<QTextDocument>> parts;
  for (int i = 2; i < argc; ++i) {
    QFile file(QString::fromLocal8Bit(argv[i]));
    if (!file.open(QIODevice::ReadOnly)) {
      std::fprintf(stderr, "qxr_manualpdf: cannot read %s\n", argv[i]);
      return 1;
    }
    auto doc = std::make_unique<QTextDocument>();
    doc->documentLayout()->setPaintDevice(&writer);
    QFont font("DejaVu Sans");
    font.setPointSizeF(10);
    doc->setDefaultFont(font);
    doc->setDocumentMargin(0);
    doc->setMarkdown(QString::fromUtf8(file.readAll()), QTextDocument::MarkdownDialectGitHub);
    styleTables(*doc);
    spaceHeadings(*doc);
    doc->setPageSize(body);
    parts.push_back(std::move(doc));
  }

  QPainter painter;
  if (!painter.begin(&writer)) {
    std::fprintf(stderr, "qxr_manualpdf: cannot write %s\n", argv[1]);
    return 1;
  }
  QFont footerFont("DejaVu Sans");
  footerFont.setPointSizeF(kFooterPoints);
  int pageNumber = 0;
  for (const auto& doc : parts) {
    for (int p = 0; p < doc->pageCount(); ++p) {
      if (pageNumber > 0) writer.newPage();
      ++pageNumber;
      painter.save();
      painter.translate(0, -p * body.height());
      doc->drawContents(&painter, QRectF(0, p * body.height(), body.width(), body.height()));
      painter.restore();
      painter.setFont(footerFont);
      painter.drawText(QRectF(0, page.height() - footer / 2, page.width(), footer / 2), Qt::AlignCenter,
                       QString::number(pageNumber));
    }
  }
  painter.end();
  // Replace the old manual only once the new one is complete.
  QFile::remove(output);
  if (!QFile::rename(temporary, output)) {
    std::fprintf(stderr, "qxr_manualpdf: cannot rename to %s\n", argv[1]);
    return 1;
  }
  return 0;
}
