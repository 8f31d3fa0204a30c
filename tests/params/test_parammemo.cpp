// The parameter editor as lines of bytes: what the file and transfer
// operations see must be exactly what they put there.
#include <QPlainTextEdit>
#include <QtTest>

#include "params/parammemo.h"

using Lines = std::vector<std::string>;

class ParamMemoTest : public QObject {
  Q_OBJECT

 private:
  static const std::vector<Lines>& samples() {
    static const std::vector<Lines> all = {
        {}, {""}, {"a"}, {"a", ""}, {"", "a"}, {"a", "", "b"}, {"", ""}, {"Speed(12)=300", "/ note", "x"},
    };
    return all;
  }

 private slots:
  void setThenReadGivesTheSameLines() {
    QPlainTextEdit memo;
    for (const Lines& lines : samples()) {
      qxr::setMemoLines(memo, lines, 0);
      QCOMPARE(qxr::memoLines(memo, 0), lines);
    }
  }

  void codePageBytesSurviveTheEditor() {
    QPlainTextEdit memo;
    const Lines big5 = {"\xB3\x74\xAB\xD7(12)=300", "\xA4\xA4\xA4\xE5", "stray \x81 byte"};
    qxr::setMemoLines(memo, big5, 0);
    QCOMPARE(memo.toPlainText().left(2), QString::fromUtf8("速度"));
    QCOMPARE(qxr::memoLines(memo, 0), big5);
    const Lines latin1 = {"Gr\xF6\xDF" "e(1)=2", "\xB0"};
    qxr::setMemoLines(memo, latin1, 1);
    QCOMPARE(qxr::memoLines(memo, 1), latin1);
  }

  void typedTextReadsAsTheOperatorSeesIt() {
    QPlainTextEdit memo;
    memo.setPlainText(QString());
    QVERIFY(qxr::memoLines(memo, 1).empty());
    memo.setPlainText("A(1)=1\n");  // the cursor on a fresh last line adds no line
    QCOMPARE(qxr::memoLines(memo, 1), Lines{"A(1)=1"});
    memo.setPlainText("A(1)=1\n\nB(2)=2");
    QCOMPARE(qxr::memoLines(memo, 1), (Lines{"A(1)=1", "", "B(2)=2"}));
  }

  void appendingMatchesSetting() {
    QPlainTextEdit memo;
    for (const Lines& start : samples()) {
      for (const std::string& added : {std::string("Z(9)=1"), std::string()}) {
        qxr::setMemoLines(memo, start, 0);
        qxr::appendMemoLine(memo, added, 0);
        Lines expected = start;
        expected.push_back(added);
        QCOMPARE(qxr::memoLines(memo, 0), expected);
      }
    }
    memo.setPlainText("typed\n");
    qxr::appendMemoLine(memo, "next", 1);
    QCOMPARE(qxr::memoLines(memo, 1), (Lines{"typed", "next"}));
  }
};

QTEST_MAIN(ParamMemoTest)
#include "test_parammemo.moc"
