#include "app/ncshopcontrols.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

#include "app/comparewindow.h"
#include "app/programpage.h"
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

int generationOf(TProgramPage& page) { return page.generation(); }

std::string programName(TProgramPage& page) {
  const int language = page.pageHost().session().language();
  return programNameRule(utf8ToBytes(page.ProgNameEdit->text().toStdString(), language), language);
}

bool verifyChosen(TProgramPage& page) {
  const auto* box = page.findChild<QCheckBox*>(QStringLiteral("VerifyCheck"));
  return box && box->isChecked();
}

}  // namespace

void addShopControls(TProgramPage& page, QGridLayout* buttons, int row) {
  const int language = page.pageHost().session().language();
  auto* compare = new QPushButton(caption(language, kCompareCaption), &page);
  compare->setObjectName(QStringLiteral("CompareBtn"));
  auto* exportButton = new QPushButton(caption(language, kExportCaption), &page);
  exportButton->setObjectName(QStringLiteral("ExportBtn"));
  auto* verify = new QCheckBox(caption(language, kVerifyCaption), &page);
  verify->setObjectName(QStringLiteral("VerifyCheck"));
  buttons->addWidget(compare, row, 0);
  buttons->addWidget(exportButton, row, 1);
  buttons->addWidget(verify, row + 1, 0, 1, 2);
  QObject::connect(compare, &QPushButton::clicked, &page, [&page] { page.CompareBtnClick(); });
  QObject::connect(exportButton, &QPushButton::clicked, &page, [&page] { page.ExportBtnClick(); });
}

bool askPlainProgramHeader(TProgramPage& page, const std::string& path, GivenProgramHeader& given) {
  const int language = page.pageHost().session().language();
  const ProgramText text = readProgramText(path, generationOf(page) == kGenerationX02, language);
  if (!text.plain() || text.refusal != PlainRefusal::kNoNumber) return true;
  const std::string range = text.oWord.empty() ? std::string() : fillText(language, kAskOutOfRange, text.oWord, {});
  const std::string label = fillText(language, kAskNumber, displayUtf8(path, language), {}) + range +
                            fillText(language, kAskNumberEnd, {}, {});
  bool ok = false;
  const int number = QInputDialog::getInt(&page, caption(language, kAskTitle), QString::fromStdString(label),
                                          page.ProgNoEdit->value(), kMinProgramNumber, kMaxProgramNumber, 1, &ok);
  if (!ok) return false;
  given.number = number;
  return true;
}

bool verifyAfterSendIfChosen(TProgramPage& page) {
  if (!verifyChosen(page)) return true;
  return verifyStoredProgram(page.pageHost().link(), generationOf(page), page.ProgNoEdit->value(), page.programLines(),
                             programName(page));
}

bool verifyBatchIfChosen(TProgramPage& page, const MultipleChoice& choice) {
  return !verifyChosen(page) || verifyBatch(page.pageHost().link(), generationOf(page), choice);
}

void showControllerComparison(TProgramPage& page) {
  const int language = page.pageHost().session().language();
  const std::vector<std::string> lines = page.programLines();
  const int number = page.ProgNoEdit->value();
  const std::string name = programName(page);
  const int generation = generationOf(page);
  const ControllerComparison comparison =
      compareWithController(page.pageHost().link(), generation, number, lines,
                            generation == kGenerationX02 ? std::optional<std::string_view>(name) : std::nullopt);
  if (!comparison.received) return;
  const std::string summary = comparisonText(language, number, comparison, lines, name);
  page.pageHost().link().ShowPageMessage(0, summary);
  if (!comparison.same()) page.pageHost().linkHost().beep();
  TCompareForm window(language, comparison.controllerLines, lines, displayUtf8(summary, language), &page);
  window.exec();
}

bool exportPlainProgram(TProgramPage& page, const std::string& path) {
  const int language = page.pageHost().session().language();
  FileError error = FileError::kNone;
  const std::string name = generationOf(page) == kGenerationX02 ? programName(page) : std::string();
  if (!writePlainProgramFile(path, page.ProgNoEdit->value(), name, page.programLines(), &error)) {
    page.pageHost().link().ShowPageMessage(0, fileErrorText(language, error, path));
    page.pageHost().linkHost().beep();
    return false;
  }
  page.pageHost().link().ShowPageMessage(0, fillText(language, kExported, path, {}));
  return true;
}

// The handlers of the two buttons, beside the page's other handlers in what
// they guard.
void TProgramPage::CompareBtnClick() {
  OperationGuard guard(host_);
  if (!guard || !editorTextFitsCodePage(Refused::kSend)) return;
  showControllerComparison(*this);
}

void TProgramPage::ExportBtnClick() {
  OperationGuard guard(host_);
  if (!guard || !editorTextFitsCodePage(Refused::kSave)) return;
  host_.fileChoice().fileChosen = false;
  if (!host_.ShowSaveFileWindow()) return;
  exportPlainProgram(*this, host_.fileChoice().currentFilePath);
}

}  // namespace qxr
