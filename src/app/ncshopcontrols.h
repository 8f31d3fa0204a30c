#pragma once
// The program page's controls for a shop's everyday work: plain NC programs
// (the number asked for when a file has none, the export as plain text),
// "Compare with controller" and "Verify after send". The main window calls
// these from the program page's handlers.
#include <string>

class QGridLayout;

namespace qxr {

class TProgramPage;
struct GivenProgramHeader;
struct MultipleChoice;

// The Compare and Export buttons and the Verify check box, in `row` and the
// row after it of the program page's button grid.
void addShopControls(TProgramPage& page, QGridLayout* buttons, int row);

// Before a file is read: a plain NC program without a number 1 to 99 gets one
// from the operator. False when the operator cancelled (nothing is read).
bool askPlainProgramHeader(TProgramPage& page, const std::string& path, GivenProgramHeader& given);

// After a send (and a batch write): when "Verify after send" is checked, the
// program is read back and compared; false when it differs.
bool verifyAfterSendIfChosen(TProgramPage& page);
bool verifyBatchIfChosen(TProgramPage& page, const MultipleChoice& choice);

// The comparison of the editor's program with the controller's, reported on
// the page and shown in the compare window.
void showControllerComparison(TProgramPage& page);
// Writes the editor's program as plain NC text to `path`, reported on the page.
bool exportPlainProgram(TProgramPage& page, const std::string& path);

}  // namespace qxr
