#pragma once
// The questions of the operator's control (unsaved work, quitting during a
// transfer). They use the toolkit's own message box, whose standard buttons
// follow the operator's language.
#include <QMessageBox>
#include <functional>

namespace qxr {

// Tests: when set, the box is handed to the hook instead of being run, and
// the hook's return value (a QMessageBox::StandardButton) is the answer.
// Returns the previous hook.
using QuestionHook = std::function<int(QMessageBox& box)>;
QuestionHook setQuestionHook(QuestionHook hook);

// Runs the box (or the hook) and returns the standard button chosen.
int askQuestion(QMessageBox& box);

}  // namespace qxr
