// The parameter editor as lines of bytes: what the file and transfer
// operations read must be exactly what they put there.
#include <QPlainTextEdit>
#include <QtTest>

#include "app/parammemo.h"

using Lines = std::vector<std::string>;

class ParamMemoTest : public QObject {
  Q_OBJECT

 private slots:
  void linesSurviveTheEditor() {
    QPlainTextEdit memo;
    const std::vector<Lines> samples = {{}, {""}, {"a"}, {"a", ""}, {"", "a"}, {"a", "", "b"}, {"", ""},
                                        {"\xB3\x74\xAB\xD7(12)=300", "stray \x81 byte"}};
    for (const Lines& lines : samples) {
      qxr::setMemoLines(memo, lines, 0);
      QCOMPARE(qxr::memoLines(memo, 0), lines);
      for (const std::string& added : {std::string("Z(9)=1"), std::string()}) {
        qxr::setMemoLines(memo, lines, 0);
        qxr::appendMemoLine(memo, added, 0);
        Lines expected = lines;
        expected.push_back(added);
        QCOMPARE(qxr::memoLines(memo, 0), expected);
      }
    }
    const Lines latin1 = {"Gr\xF6\xDF" "e(1)=2", "no-break\xA0space(2)=3"};
    qxr::setMemoLines(memo, latin1, 1);
    QCOMPARE(qxr::memoLines(memo, 1), latin1);
    // As typed: the cursor on a fresh last line adds no line.
    memo.setPlainText("A(1)=1\n");
    QCOMPARE(qxr::memoLines(memo, 1), Lines{"A(1)=1"});
    qxr::appendMemoLine(memo, "B(2)=2", 1);
    QCOMPARE(qxr::memoLines(memo, 1), (Lines{"A(1)=1", "B(2)=2"}));
  }
};

QTEST_MAIN(ParamMemoTest)
#include "test_parammemo.moc"
