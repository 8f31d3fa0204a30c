#include "app/ncshopcontrols.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

#include "app/comparewindow.h"
#include "app/mainform.h"
#include "base/bilingual.h"
#include "base/codec.h"
#include "base/fileio.h"
#include "link/link.h"
#include "nc/multiple.h"
#include "nc/programcompare.h"
#include "nc/programtext.h"
#include "widgets/radiogroup.h"

namespace qxr {

namespace {

constexpr TextPair kCompareCaption = {"Compare with controller", "與控制器比對"};
constexpr TextPair kExportCaption = {"Export NC text...", "匯出 NC 文字..."};
constexpr TextPair kVerifyCaption = {"Verify after send", "傳送後驗證"};
constexpr TextPair kAskTitle = {"Program number", "程式編號"};
constexpr TextPair kAskNumber = {"%s is a plain NC program without an O-word with a program number from 1 to 99",
                                 "%s 是一般 NC 程式, 沒有 1 至 99 的 O 程式編號"};
constexpr TextPair kAskNumberEnd = {".\nProgram number:", "。\n程式編號:"};
constexpr TextPair kAskOutOfRange = {" (%s is outside that range)", " (%s 超出範圍)"};
constexpr TextPair kExported = {"Exported as plain NC text: %s", "已匯出為一般 NC 文字: %s"};

QString caption(int language, const TextPair& pair) { return QString::fromStdString(fillText(language, pair, {}, {})); }

int generationOf(TMainForm& form) {
  return form.TypeSel->itemIndex() == kGenerationX00 ? kGenerationX00 : kGenerationX02;
}

std::string programName(TMainForm& form) {
  const int language = form.session().language();
  return programNameRule(utf8ToBytes(form.ProgNameEdit->text().toStdString(), language), language);
}

bool verifyChosen(TMainForm& form) {
  const auto* box = form.findChild<QCheckBox*>(QStringLiteral("VerifyCheck"));
  return box && box->isChecked();
}

}  // namespace

void addShopControls(TMainForm& form, QGridLayout* buttons, int row) {
  const int language = form.session().language();
  auto* compare = new QPushButton(caption(language, kCompareCaption), form.ProgramSheet);
  compare->setObjectName(QStringLiteral("CompareBtn"));
  auto* exportButton = new QPushButton(caption(language, kExportCaption), form.ProgramSheet);
  exportButton->setObjectName(QStringLiteral("ExportBtn"));
  auto* verify = new QCheckBox(caption(language, kVerifyCaption), form.ProgramSheet);
  verify->setObjectName(QStringLiteral("VerifyCheck"));
  buttons->addWidget(compare, row, 0);
  buttons->addWidget(exportButton, row, 1);
  buttons->addWidget(verify, row + 1, 0, 1, 2);
  QObject::connect(compare, &QPushButton::clicked, &form, [&form] { form.CompareBtnClick(); });
  QObject::connect(exportButton, &QPushButton::clicked, &form, [&form] { form.ExportBtnClick(); });
}

bool askPlainProgramHeader(TMainForm& form, const std::string& path, GivenProgramHeader& given) {
  const int language = form.session().language();
  const ProgramText text = readProgramText(path, generationOf(form) == kGenerationX02, language);
  if (!text.plain() || text.refusal != PlainRefusal::kNoNumber) return true;
  const std::string range = text.oWord.empty() ? std::string() : fillText(language, kAskOutOfRange, text.oWord, {});
  const std::string label = fillText(language, kAskNumber, displayUtf8(path, language), {}) + range +
                            fillText(language, kAskNumberEnd, {}, {});
  bool ok = false;
  const int number = QInputDialog::getInt(&form, caption(language, kAskTitle), QString::fromStdString(label),
                                          form.ProgNoEdit->value(), kMinProgramNumber, kMaxProgramNumber, 1, &ok);
  if (!ok) return false;
  given.number = number;
  return true;
}

bool verifyAfterSendIfChosen(TMainForm& form) {
  if (!verifyChosen(form)) return true;
  return verifyStoredProgram(form.link(), generationOf(form), form.ProgNoEdit->value(), form.ProgramLines(),
                             programName(form));
}

bool verifyBatchIfChosen(TMainForm& form, const MultipleChoice& choice) {
  return !verifyChosen(form) || verifyBatch(form.link(), generationOf(form), choice);
}

void showControllerComparison(TMainForm& form) {
  const int language = form.session().language();
  const std::vector<std::string> lines = form.ProgramLines();
  const int number = form.ProgNoEdit->value();
  const std::string name = programName(form);
  const int generation = generationOf(form);
  const ControllerComparison comparison =
      compareWithController(form.link(), generation, number, lines,
                            generation == kGenerationX02 ? std::optional<std::string_view>(name) : std::nullopt);
  if (!comparison.received) return;
  const std::string summary = comparisonText(language, number, comparison, lines, name);
  form.link().ShowPageMessage(0, summary);
  if (!comparison.same()) form.beep();
  TCompareForm window(language, comparison.controllerLines, lines, displayUtf8(summary, language), &form);
  window.exec();
}

bool exportPlainProgram(TMainForm& form, const std::string& path) {
  const int language = form.session().language();
  FileError error = FileError::kNone;
  const std::string name = generationOf(form) == kGenerationX02 ? programName(form) : std::string();
  if (!writePlainProgramFile(path, form.ProgNoEdit->value(), name, form.ProgramLines(), &error)) {
    form.link().ShowPageMessage(0, fileErrorText(language, error, path));
    form.beep();
    return false;
  }
  form.link().ShowPageMessage(0, fillText(language, kExported, path, {}));
  return true;
}

// The handlers of the two buttons, beside the window's other program page
// handlers in what they guard.
void TMainForm::CompareBtnClick() {
  OperationGuard guard(*this);
  if (!guard) return;
  if (!editorTextFitsCodePage(ProgramMemo, kProgramPage, Refused::kSend)) return;
  showControllerComparison(*this);
}

void TMainForm::ExportBtnClick() {
  OperationGuard guard(*this);
  if (!guard) return;
  if (!editorTextFitsCodePage(ProgramMemo, kProgramPage, Refused::kSave)) return;
  fileChoice.fileChosen = false;
  if (!ShowSaveFileWindow()) return;
  exportPlainProgram(*this, fileChoice.currentFilePath);
}

}  // namespace qxr
