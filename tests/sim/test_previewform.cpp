// The preview in the simulator window and in its own window: the second view
// beside the animated plot, selection both ways with the program box, zoom,
// pan and Fit; the step choice's captions and the last line's scrolling.
// With QXR_SHOT_DIR set the windows are also saved there as PNG.
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <filesystem>

#include "app/mainform.h"
#include "base/host.h"
#include "app/previewform.h"
#include "app/previewwidget.h"
#include "app/simulatorform.h"
#include "support/wait.h"
#include "support/startdir.h"
#include "support/tempdir.h"
#include "widgets/radiogroup.h"

using namespace qxr;

namespace {

using test::StartDir;

// Lines, arcs, rapids and a full circle.
const std::vector<std::string> kDemo = {
    "G00 X10 Y10",        "G01 X60 Y10 F200", "G01 X60 Y40",        "G03 X40 Y60 I-20 J0",
    "G01 X10 Y60",        "G03 X10 Y30 I0 J-15", "G01 X10 Y10",     "G00 X90 Y35",
    "G02 X90 Y35 I15 J0", "G00 X0 Y0",        "M30"};

std::unique_ptr<TSimulatorForm> simulatorFor(const Session& session, const std::vector<std::string>& lines) {
  NcConverter converter;
  if (!converter.ConvertProgram(lines).ok()) qFatal("program does not convert");
  return std::make_unique<TSimulatorForm>(session, std::move(converter.table()), lines, SystemClock::instance());
}

void wheel(QWidget* widget, QPointF at, int delta) {
  QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(widget, &event);
}

QPoint pixelOf(const TPreviewWidget* preview, double x, double y) {
  return QPoint(qRound(preview->view().toPixelX(x)), qRound(preview->view().toPixelY(y)));
}

// Where the program point (x, y) is drawn, to a hundredth of a pixel.
bool drawnAt(const TPreviewWidget* preview, double x, double y, QPointF pixel) {
  return std::abs(preview->view().toPixelX(x) - pixel.x()) < 0.01 &&
         std::abs(preview->view().toPixelY(y) - pixel.y()) < 0.01;
}

void shot(QWidget* widget, const char* name) {
  const QByteArray dir = qgetenv("QXR_SHOT_DIR");
  if (dir.isEmpty()) return;
  QTest::qWait(40);  // the line labels follow the program box on the next tick
  widget->grab().save(QString::fromUtf8(dir) + "/" + name + ".png");
}

}  // namespace

class TestPreviewForm : public QObject {
  Q_OBJECT

 private slots:
  void previewIsASecondViewOfTheSimulator() {
    StartDir start;
    const Session session = startSession(start.dir());
    auto w = simulatorFor(session, kDemo);
    w->show();
    QCOMPARE(w->PreviewBtn->geometry(), QRect(528, 296, 97, 33));
    QVERIFY(w->Preview->isHidden());
    QTest::mouseClick(w->PreviewBtn, Qt::LeftButton);
    QVERIFY(w->Preview->isVisible());
    QVERIFY(w->PathImage->isHidden());
    QCOMPARE(w->Preview->geometry(), w->PathImage->geometry());
    QCOMPARE(w->PathImage->size(), QSize(413, 357));
    QCOMPARE(w->Preview->path()->moves.size(), std::size_t(10));
    shot(w.get(), "preview-simulator-fitted");

    // A line chosen in the program box lights its moves; a click on a move
    // chooses its line.
    QTextCursor cursor(w->ProgramMemo->document()->findBlockByNumber(3));
    w->ProgramMemo->setTextCursor(cursor);
    QCOMPARE(w->Preview->selectedLine(), 3);
    QTest::mouseClick(w->Preview, Qt::LeftButton, {}, pixelOf(w->Preview, 120, 35));  // on the full circle
    QCOMPARE(w->ProgramMemo->textCursor().blockNumber(), 8);
    QCOMPARE(w->ProgramMemo->textCursor().selectedText(), QString("G02 X90 Y35 I15 J0"));
    QCOMPARE(w->Preview->selectedLine(), 8);

    // The wheel zooms around the cursor; Fit brings the whole path back.
    const QPointF at = pixelOf(w->Preview, 60, 40);
    const double scale = w->Preview->view().scale;
    const double h = w->Preview->view().toWorldH(at.x()), v = w->Preview->view().toWorldV(at.y());
    wheel(w->Preview, at, 480);
    QVERIFY(w->Preview->view().scale > 2 * scale);
    QVERIFY(!w->Preview->fitted());
    QVERIFY(drawnAt(w->Preview, h, v, at));
    shot(w.get(), "preview-simulator-zoomed");
    QTest::mousePress(w->Preview, Qt::LeftButton, {}, QPoint(200, 200));
    QTest::mouseMove(w->Preview, QPoint(230, 190));
    QTest::mouseMove(w->Preview, QPoint(260, 180));
    QTest::mouseRelease(w->Preview, Qt::LeftButton, {}, QPoint(260, 180));
    QVERIFY(drawnAt(w->Preview, h, v, at + QPointF(60, -20)));
    QCOMPARE(w->ProgramMemo->textCursor().blockNumber(), 8);  // a drag selects nothing
    QTest::mouseClick(w->Preview->fitButton(), Qt::LeftButton);
    QVERIFY(w->Preview->fitted());
    QCOMPARE(w->Preview->view().scale, scale);

    // Back to the animation, which ran on unchanged.
    QTest::mouseClick(w->PreviewBtn, Qt::LeftButton);
    QVERIFY(w->PathImage->isVisible());
    QVERIFY(w->Preview->isHidden());
  }

  void planeChoiceRefits() {
    StartDir start;
    const Session session = startSession(start.dir());
    auto w = simulatorFor(session, {"G18", "G01 X10 Z-5", "G02 Z-5 X30 K0 I10", "M30"});
    QCOMPARE(w->Preview->plane(), ViewPlane::XZ);
    QCOMPARE(w->Preview->planeBox()->currentText(), QString("XZ"));
    w->Preview->setPlane(ViewPlane::XY);
    QCOMPARE(w->Preview->planeBox()->currentText(), QString("XY"));
    QVERIFY(w->Preview->fitted());
  }

  // "Continuous" and the other captions of the two choices fit their buttons
  // in both languages.
  void stepChoiceCaptionsFit_data() {
    QTest::addColumn<int>("language");
    QTest::newRow("English") << 1;
    QTest::newRow("language 2") << 2;
  }
  void stepChoiceCaptionsFit() {
    QFETCH(int, language);
    StartDir start(language);
    const Session session = startSession(start.dir());
    auto w = simulatorFor(session, kDemo);
    w->show();
    for (TRadioGroup* group : {w->StepSel, w->SetUnit}) {
      QVERIFY(QFontMetrics(group->font()).horizontalAdvance(group->title()) + 8 <= group->width());
      for (int i = 0; i < group->count(); ++i) {
        QRadioButton* button = group->button(i);
        QVERIFY2(button->sizeHint().width() <= button->width(), qPrintable(button->text() + QString(" %1 > %2").arg(button->sizeHint().width()).arg(button->width())));
        QVERIFY(group->geometry().contains(button->geometry().translated(group->pos())));
      }
    }
    QVERIFY(!w->StepSel->geometry().intersects(w->SetUnit->geometry()));
  }

  // At the end of a run the last line is highlighted and in view, with its
  // label beside it.
  void lastLineComesIntoView() {
    StartDir start;
    const Session session = startSession(start.dir());
    std::vector<std::string> lines;
    for (int i = 1; i <= 23; ++i) lines.push_back("G01 X" + std::to_string(i * 100));
    auto w = simulatorFor(session, lines);
    w->show();
    w->ResolutionSel->setCurrentIndex(4);
    QTest::mouseClick(w->StartBtn, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w->RunTimer->isActive(), test::kWaitDeadlineMs);
    // The labels follow on the next tick.
    QTRY_VERIFY_WITH_TIMEOUT(w->Memo1->verticalScrollBar()->value() == w->ProgramMemo->verticalScrollBar()->value(),
                             test::kWaitDeadlineMs);
    QCOMPARE(w->ProgramMemo->textCursor().blockNumber(), 22);
    const QRect line = w->ProgramMemo->cursorRect();
    QVERIFY2(line.top() >= 0 && line.bottom() <= w->ProgramMemo->viewport()->height(),
             qPrintable(QString("line at %1..%2").arg(line.top()).arg(line.bottom())));
    // The box scrolls in steps of five lines, the last lines too.
    QCOMPARE(w->ProgramMemo->cursorForPosition(QPoint(2, 2)).blockNumber(), 20);
    QCOMPARE(w->Memo1->verticalScrollBar()->value(), w->ProgramMemo->verticalScrollBar()->value());
    QCOMPARE(w->Memo1->cursorForPosition(QPoint(2, 2)).blockNumber(), 20);
  }

  void previewWindowListsWhatItLeftOut() {
    StartDir start;
    const Session session = startSession(start.dir());
    std::vector<std::string> lines = {"O0008 (ARCS DEMO)", "G54 G90"};
    lines.insert(lines.end(), kDemo.begin(), kDemo.end());
    lines.insert(lines.end() - 2, "N120 G01 X100 Y0");
    TPreviewForm form(session, lines);
    form.show();
    QCOMPARE(form.warningList()->count(), 3);
    QCOMPARE(form.warningList()->item(0)->text(), QString("Line 1: skipped O0008"));
    QCOMPARE(form.warningList()->item(2)->text(), QString("Line 12: skipped N120"));
    QCOMPARE(form.preview()->path()->moves.size(), std::size_t(11));
    form.warningList()->setCurrentRow(1);
    QCOMPARE(form.programBox()->textCursor().blockNumber(), 1);
    QCOMPARE(form.preview()->selectedLine(), 1);
    shot(&form, "preview-window");
  }

  void mainWindowOpensThePreview() {
    StartDir start;
    TMainForm form(start.dir());
    QVERIFY(form.program->PreviewBtn != nullptr);
    QCOMPARE(form.program->PreviewBtn->text(), QString("Preview"));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // The new button takes room from the simulator's alone.
    QPushButton* const pageButtons[] = {
        form.program->ReadFileBtn, form.program->WriteFileBtn, form.program->TransBtn,
        form.program->RcvBtn,      form.program->DelProgBtn,   form.program->SimulatorBtn,
        form.program->PreviewBtn,  form.program->ClrMsgBtn,    form.program->CloseBtn};
    for (QPushButton* a : pageButtons) {
      QVERIFY2(a->isVisible() && a->width() >= a->sizeHint().width(), qPrintable(a->objectName()));
      for (QPushButton* b : pageButtons)
        if (a != b) QVERIFY2(!a->geometry().intersects(b->geometry()), qPrintable(a->objectName() + b->objectName()));
    }
    form.program->ProgramMemo->setPlainText("O1 (X)\nG01 X10\n");
    QString shown;
    QTimer::singleShot(0, [&] {
      auto* preview = qobject_cast<TPreviewForm*>(QApplication::activeModalWidget());
      if (!preview) return;
      shown = preview->warningList()->item(0)->text();
      preview->close();
    });
    form.PreviewBtnClick();
    QCOMPARE(shown, QString("Line 1: skipped O1"));
  }
};

QTEST_MAIN(TestPreviewForm)
#include "test_previewform.moc"
