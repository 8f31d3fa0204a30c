// The decimal spin edit.
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "widgets/fspinedit.h"

using namespace qxr;

class TestFSpinEdit : public QObject {
  Q_OBJECT

 private slots:
  void typingAcceptsOnlyNumberCharacters() {
    TFSpinEdit spin;
    spin.setText("");
    QTest::keyClicks(spin.editor(), "1a2.5b-");
    QCOMPARE(spin.text(), QString("12.5-"));
    QCOMPARE(spin.Value(), 12.5);  // read up to the first character that ends the number
    QTest::keyClick(spin.editor(), Qt::Key_Backspace);
    QCOMPARE(spin.text(), QString("12.5"));
    spin.setText("-");
    QCOMPARE(spin.Value(), 0.0);
  }

  void valueOutsideTheRangeKeepsThePreviousOne() {
    TFSpinEdit spin;
    spin.SetMinValue(-10);
    spin.SetMaxValue(100);
    QSignalSpy changed(&spin, &TFSpinEdit::valueChanged);
    spin.SetValue(42.25);
    QCOMPARE(spin.Value(), 42.25);
    spin.SetValue(100.5);
    spin.SetValue(-11);
    QCOMPARE(spin.Value(), 42.25);
    QCOMPARE(changed.count(), 1);
    spin.SetValue(-10);
    QCOMPARE(spin.text(), QString("-10"));
  }

  void buttonsStepByIncrementFromMinimumOnEmptyText() {
    TFSpinEdit spin;
    spin.SetMinValue(5);
    spin.SetMaxValue(6.5);
    spin.SetIncrement(0.5);
    spin.setText("");
    spin.upButton()->click();
    QCOMPARE(spin.Value(), 5.5);
    spin.setText("");
    spin.DownClick();  // the minimum first, then one step below it: refused
    QCOMPARE(spin.Value(), 5.0);
    spin.UpClick();
    spin.UpClick();
    spin.UpClick();
    spin.UpClick();  // beyond the maximum: stays
    QCOMPARE(spin.Value(), 6.5);
    QTest::keyClick(spin.editor(), Qt::Key_Down);
    QCOMPARE(spin.Value(), 6.0);

    spin.SetReadOnly(true);
    spin.UpClick();
    QCOMPARE(spin.Value(), 6.0);
    QTest::keyClicks(spin.editor(), "1");
    QCOMPARE(spin.text(), QString("6"));
    // Without the editor the buttons still step.
    spin.SetReadOnly(false);
    spin.SetEditorEnabled(false);
    spin.DownClick();
    QCOMPARE(spin.Value(), 5.5);
  }
};

QTEST_MAIN(TestFSpinEdit)
#include "test_fspinedit.moc"
