#pragma once
// The numbers of the message catalogue's lines (data/Message.C and
// data/Message.E: message n on line n), named after what the line says.
// Code names a message by these constants, never by its bare number.

namespace qxr::msg {

// Captions of the program page.
inline constexpr int kProgramTab = 11;
inline constexpr int kProgramEditorCaption = 12;
inline constexpr int kProgramMessagesCaption = 13;
inline constexpr int kProgramNoLabel = 14;
inline constexpr int kProgramNameLabel = 15;
inline constexpr int kProgramFileLabel = 16;
inline constexpr int kPortCaption = 17;
inline constexpr int kTypeCaption = 18;
inline constexpr int kSendButton = 21;
inline constexpr int kReceiveButton = 22;
inline constexpr int kDeleteButton = 23;
inline constexpr int kClearMessagesButton = 24;
inline constexpr int kOpenFileButton = 25;
inline constexpr int kSaveFileButton = 26;
inline constexpr int kSimulationButton = 27;  // and the simulator's title
inline constexpr int kFindPortButton = 28;
inline constexpr int kMultipleButton = 29;
inline constexpr int kExitButton = 30;

// Captions of the parameter page.
inline constexpr int kParameterTab = 31;
inline constexpr int kParameterEditorCaption = 32;
inline constexpr int kParameterMessagesCaption = 33;
inline constexpr int kParametersToReadCaption = 34;
inline constexpr int kFileLabel = 35;  // "File name: " before a path, on every page's transfers
inline constexpr int kVersionCaption = 36;
inline constexpr int kParameterSendButton = 41;
inline constexpr int kParameterReceiveButton = 42;
inline constexpr int kParameterClearButton = 43;
inline constexpr int kParameterOpenButton = 44;
inline constexpr int kParameterSaveButton = 45;
inline constexpr int kParameterSelectAll = 46;
inline constexpr int kParameterClearSelection = 47;
inline constexpr int kParameterExitButton = 50;

// Captions of the PLC page.
inline constexpr int kPlcTab = 51;
inline constexpr int kPlcEditorCaption = 52;
inline constexpr int kPlcFileLabel = 53;
inline constexpr int kPlcMessagesCaption = 54;
inline constexpr int kConnectWarning = 55;  // connect the controller and stop the machine first
inline constexpr int kPlcSendButton = 61;
inline constexpr int kPlcReceiveButton = 62;
inline constexpr int kPlcClearButton = 63;
inline constexpr int kPlcOpenButton = 64;
inline constexpr int kPlcSaveButton = 65;
inline constexpr int kOpenFileTitle = 68;
inline constexpr int kSaveFileTitle = 69;
inline constexpr int kPlcExitButton = 70;

// Dialog buttons, in this order from kYes.
inline constexpr int kYes = 71;
inline constexpr int kNo = 72;
inline constexpr int kOk = 73;
inline constexpr int kCancel = 74;
inline constexpr int kAbort = 75;
inline constexpr int kRetry = 76;
inline constexpr int kIgnore = 77;
inline constexpr int kAll = 78;
inline constexpr int kNoToAll = 79;
inline constexpr int kYesToAll = 80;
inline constexpr int kHelp = 81;

inline constexpr int kStart = 96;
inline constexpr int kStop = 97;
inline constexpr int kPause = 98;
inline constexpr int kClose = 100;

// The link and the program transfers.
inline constexpr int kPortOpened = 101;
inline constexpr int kPortNotOpened = 102;
inline constexpr int kTimeOut = 103;
inline constexpr int kWriteFailed = 104;
inline constexpr int kStoring = 105;
inline constexpr int kTransferFinished = 106;
inline constexpr int kPortClosed = 107;
inline constexpr int kCommunicating = 108;
inline constexpr int kReceiveFinished = 109;
inline constexpr int kReadingFile = 111;
inline constexpr int kBadNumber = 112;
inline constexpr int kNameTooLong = 113;
inline constexpr int kLines = 114;
inline constexpr int kFileRead = 115;
inline constexpr int kWritingFile = 116;
inline constexpr int kFileSaved = 117;
inline constexpr int kProgramEditorEmpty = 121;
inline constexpr int kProgramRefused = 122;
inline constexpr int kSendQuestion = 123;
inline constexpr int kReceiveQuestion = 124;
inline constexpr int kDeleteQuestion = 125;
inline constexpr int kDeleteCancelled = 126;
inline constexpr int kDeleting = 127;
inline constexpr int kDeleted = 128;
inline constexpr int kNotDeleted = 129;
inline constexpr int kExistsQuestion = 130;
inline constexpr int kReadMany = 131;
inline constexpr int kWriteMany = 132;
inline constexpr int kSelectAll = 133;
inline constexpr int kClearSelection = 134;
inline constexpr int kAskBeforeDeleting = 135;

// Parameter transfers.
inline constexpr int kParameterEditorEmpty = 141;
inline constexpr int kParameterRefused = 142;
inline constexpr int kParameterSendQuestion = 143;
inline constexpr int kSendingParameters = 144;
inline constexpr int kMalformedParameter = 145;
inline constexpr int kParameterSendFinished = 146;
inline constexpr int kReadingParameters = 147;
inline constexpr int kParameterReadFinished = 148;

// PLC transfers.
inline constexpr int kPlcEditorEmpty = 161;
inline constexpr int kPlcRefused = 162;
inline constexpr int kCompiling = 163;
inline constexpr int kSendingData = 164;
inline constexpr int kCompiled = 165;
inline constexpr int kPlcSendFinished = 166;
inline constexpr int kPlcReceiveFinished = 167;
inline constexpr int kWaitingForController = 168;
inline constexpr int kBadPlcRecord = 169;
inline constexpr int kCannotCreateFile = 170;
inline constexpr int kConverting = 171;
inline constexpr int kCannotOpenReceived = 172;
inline constexpr int kPresetsDamaged = 173;
inline constexpr int kTimingDamaged = 174;
inline constexpr int kConversionFinished = 175;
inline constexpr int kReceivingData = 176;

// File windows.
inline constexpr int kNewDirectory = 181;
inline constexpr int kCurrentDirectory = 182;
inline constexpr int kNewDirectoryName = 183;
inline constexpr int kDirectoryNotCreated = 184;

// The simulator.
inline constexpr int kSingleStep = 186;
inline constexpr int kContinuous = 187;
inline constexpr int kNextStep = 188;
inline constexpr int kOutputs = 189;
inline constexpr int kInputs = 190;
inline constexpr int kWaitingForInput = 191;
inline constexpr int kResolution = 192;
inline constexpr int kClearPlot = 193;
inline constexpr int kMirrorX = 194;
inline constexpr int kMirrorY = 195;
inline constexpr int kMilliseconds = 196;  // the dwell unit
inline constexpr int kSeconds = 197;
inline constexpr int kNothingToSimulate = 198;

// A failed PLC compilation reports message kPlcErrorBase + its status.
inline constexpr int kPlcErrorBase = 200;
inline constexpr int kDisplayZ = 234;

}  // namespace qxr::msg
