#pragma once
// The system's own modal message dialog: an icon, a word-wrapped message and
// a row of buttons with captions from the message catalogue.
//
// Two variants: the main one (confirmations and notices of the main window;
// buttons Yes, No, OK, Cancel only, captions copied by
// SetDialogButtonCaptions) and the secondary one (the new-directory window;
// every button, captions straight from the catalogue).
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QDialog;

namespace qxr {

class MessageCatalogue;

// Dialog kinds.
enum MsgDlgType : int { mtWarning = 0, mtError = 1, mtInformation = 2, mtConfirmation = 3, mtCustom = 4 };

// Button indices, left to right as the caller lists them.
enum MsgDlgBtn : int {
  mbYes = 0, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp
};
inline constexpr int kDialogButtonKinds = 11;
// The main variant knows Yes, No, OK and Cancel only.
inline constexpr int kMainVariantButtons = 4;

// Results. Closing the window counts as Cancel.
enum ModalResult : int {
  mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7,
  mrAll = 8, mrNoToAll = 9, mrYesToAll = 10
};

// The result of each button index.
int dialogButtonResult(int button);

// The catalogue the captions come from (messages 71-81) and the title of a
// custom-kind dialog. Set once by the main window.
void SetDialogCatalogue(const MessageCatalogue* catalogue);
void SetDialogApplicationTitle(const QString& title);

// Reloads the 11 catalogue captions and copies entries first..first+count-1
// into the main variant's table (entries outside 0-3 are ignored).
void SetDialogButtonCaptions(int first, int count);
// The caption the main variant shows for a button index (empty outside 0-3).
QString mainVariantCaption(int button);

// The button description: the number of buttons n, n button indices, then
// the 0-based position of the button that gets the focus first.
using DialogButtons = std::vector<int>;

// Builds the dialog without showing it; nullptr when the description is
// malformed or (main variant) asks for a button outside Yes/No/OK/Cancel.
std::unique_ptr<QDialog> CreateMessageDialog(const QString& text, int kind, const DialogButtons& buttons,
                                             bool secondary);

// Shows the dialog modally and returns the result of the button pressed.
// A refused description shows nothing and returns mrCancel, so that a
// question that could not be asked never counts as agreed.
int ShowMessageDialog(const QString& text, int kind, const DialogButtons& buttons, int helpContext = 0);
int ShowSecondaryMessageDialog(const QString& text, int kind, const DialogButtons& buttons,
                               int helpContext = 0);

// Tests: when set, the built dialog is handed to the hook instead of being
// run, and the hook's return value is the result. Returns the previous hook.
using MessageDialogHook = std::function<int(QDialog& dialog)>;
MessageDialogHook setMessageDialogHook(MessageDialogHook hook);

}  // namespace qxr
