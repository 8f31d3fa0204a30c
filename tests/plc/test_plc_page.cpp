// The PLC page of the main window: its widgets behind the operations, with a
// scripted controller on a pseudo-terminal linked as COM2.
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <filesystem>

#include "app/mainform.h"
#include "app/msgdlg.h"
#include "support/startdir.h"
#include "support/hook.h"
#include "support/ptypeer.h"
#include "support/tempdir.h"

using namespace qxr;

namespace {

const std::string kOk = "\x02\x06\x03";
const std::string kEndOfData = "\x02" "0001FE\x03";

// The compiled "LD 0001" / "END" program as the controller sends it back.
std::string readStream() {
  std::string stream = "\x06\x02" "100000000000000000000000000000000000EF\x03";
  for (int i = 1; i < 10; ++i) stream += "\x02" "100000000000000000000000000000000000EF\x03";
  stream += "\x02" "0C00" "0100010000007E0000000000" "73\x03";
  return stream + kEndOfData;
}

// Block mode keeps the test quick.
struct PlcStartDir : test::StartDir {
  PlcStartDir() { write("Init.ini", test::kBlockModeInitIni); }
};

QStringList lines(const QPlainTextEdit* editor) {
  QStringList result = editor->toPlainText().split('\n');
  if (!result.isEmpty() && result.last().isEmpty()) result.removeLast();
  return result;
}

}  // namespace

class TestPlcPage : public QObject {
  Q_OBJECT

 private slots:
  void sendAndReceiveFromThePage() {
    PlcStartDir start;
    test::PtyPeer peer([](const std::string& frame) -> std::string {
      if (frame == "\x02SQR\x03") return readStream();
      if (frame == "\x02LON\x03" || frame == "\x02SQW\x03" || frame == "\x02LOF\x03") return kOk;
      return "";
    });
    peer.linkAs(start, "COM2");
    test::ScopedHook hook(setMessageDialogHook, [](QDialog&) { return int(mrOk); });

    TMainForm form(start.dir());
    form.selectPortIndex(1);
    form.PageControl->setCurrentIndex(kPlcPage);
    QCOMPARE(QString::fromStdString(form.plc->plcFilePath()), QString("Tmp.mcn"));

    // An empty editor sends nothing.
    form.PLMTrnBtnClick();
    QCOMPARE(lines(form.plc->PLMMsgMemo), QStringList{"The PLC editor is empty: nothing to send"});
    form.plc->PLMMsgMemo->clear();

    form.plc->PLMMemo->setPlainText("LD 0001 ; first\nEND\n");
    form.PLMTrnBtnClick();
    QVERIFY(start.exists("Tmp.mcn"));
    QVERIFY(peer.waitForFrames(2 + 11 + 2));
    QCOMPARE(peer.frames()[12], std::string("\x02" "0C00" "0100010000007E0000000000" "73\x03"));
    const QStringList sent = lines(form.plc->PLMMsgMemo);
    QCOMPARE(sent.mid(1, 5), (QStringList{"Communicating...", "Communicating...", "Sending PLC data...",
                                          "Communicating...", "Transfer finished"}));
    QVERIFY(sent.last().startsWith("Port closed"));
    QVERIFY(form.plc->Progress->isHidden());

    // A compile error names the line as the editor's labels show it.
    form.plc->PLMMsgMemo->clear();
    form.plc->PLMMemo->setPlainText("LD 0001\nOUT 0499\n");
    form.PLMTrnBtnClick();
    QCOMPARE(lines(form.plc->PLMMsgMemo), QStringList{"PLC: operand value out of range  N0002: OUT 0499"});

    form.plc->PLMMsgMemo->clear();
    form.PLMRcvBtnClick();
    QCOMPARE(lines(form.plc->PLMMemo), (QStringList{"LD 0001", "END"}));
    QCOMPARE(lines(form.plc->TmpMemo).size(), 11);
    QCOMPARE(lines(form.plc->PLMMsgMemo).last(), QString("End of the PLC program"));
    QVERIFY(start.exists("Mcn.tmp"));
    QVERIFY(form.plc->Progress->isHidden());
  }
};

QTEST_MAIN(TestPlcPage)
#include "test_plc_page.moc"
