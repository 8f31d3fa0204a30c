// The page's texts in English and Traditional Chinese. Elements name their
// text with data-i18n (textContent), data-i18n-placeholder, data-i18n-title
// and data-i18n-label (aria-label); t() gives a text in the current language
// with {0}, {1} ... filled in.
"use strict";

const TEXTS = {
  title: ["Shop transfers", "工廠程式傳輸"],
  language: ["中文", "English"],
  languageLabel: ["Show the page in Chinese", "以英文顯示頁面"],
  logout: ["Log out", "登出"],
  roleViewer: ["viewer", "檢視者"],
  roleOperator: ["operator", "操作員"],
  roleAdmin: ["admin", "管理員"],

  loginTitle: ["Log in", "登入"],
  user: ["User", "使用者"],
  password: ["Password", "密碼"],
  loginButton: ["Log in", "登入"],
  loginWrong: ["Wrong user or password.", "使用者或密碼錯誤。"],
  loginWait: ["Too many failed logins. Try again in {0} s.", "登入失敗次數過多，請於 {0} 秒後再試。"],
  loginMissing: ["Enter the user and the password.", "請輸入使用者與密碼。"],
  sessionEnded: ["Your session has ended. Please log in again.", "工作階段已結束，請重新登入。"],

  tabMachines: ["Machines", "機台"],
  tabQueue: ["Queue", "佇列"],
  tabJournal: ["Journal", "傳輸記錄"],

  noMachines: ["No machines in Machines.ini.", "Machines.ini 中沒有機台。"],
  stateIdle: ["idle", "閒置"],
  stateBusy: ["busy", "傳輸中"],
  stateUnreachable: ["unreachable", "無法連線"],
  queuedCount: ["{0} waiting", "{0} 個等待中"],
  open: ["Open", "開啟"],
  back: ["‹ All machines", "‹ 所有機台"],
  port: ["Port", "通訊埠"],
  secondsLeft: ["{0} s left", "剩 {0} 秒"],
  linesDone: ["{0} / {1}", "{0} / {1}"],

  opSend: ["Send", "傳送"],
  opReceive: ["Receive", "接收"],
  opCompare: ["Compare", "比對"],
  opSendLong: ["Send to controller", "傳送到控制器"],
  opReceiveLong: ["Receive from controller", "從控制器接收"],
  opCompareLong: ["Compare with controller", "與控制器比對"],
  stop: ["Stop", "停止"],

  programNo: ["Program No", "程式編號"],
  programName: ["Program name (optional)", "程式名稱（可不填）"],
  programFile: ["Program file", "程式檔案"],
  programText: ["Program text", "程式內容"],
  programPaste: ["Paste or type the program here, or choose a file.", "在此貼上或輸入程式，或選擇檔案。"],
  chooseFile: ["Choose file…", "選擇檔案…"],
  noFile: ["No file chosen", "未選擇檔案"],
  fileRead: ["{0}: {1} lines", "{0}：{1} 行"],
  fileUnreadable: ["The file could not be read.", "無法讀取檔案。"],
  preview: ["Preview", "路徑預覽"],
  previewTitle: ["Tool path preview", "刀具路徑預覽"],
  previewNeeded: ["Show the preview before sending.", "傳送前請先顯示路徑預覽。"],
  previewFailed: ["No preview: {0}", "無法預覽：{0}"],
  previewOld: ["The program changed since its preview.", "預覽之後程式已修改。"],
  fit: ["Fit to width", "縮放至頁寬"],
  fullSize: ["Full size", "原始大小"],
  needNumber: ["The program number must be 1 to 99.", "程式編號須為 1 到 99。"],
  needText: ["There is no program text.", "沒有程式內容。"],
  queuedJob: ["Job {0} is queued.", "工作 {0} 已排入佇列。"],
  sameYes: ["The controller holds the same program.", "控制器中的程式相同。"],
  sameNo: ["The controller's program is different.", "控制器中的程式不同。"],
  received: ["Received program", "接收的程式"],
  download: ["Download", "下載"],
  savedAs: ["Saved in the library as {0}", "已存入程式庫：{0}"],
  currentJob: ["This machine's job", "此機台的工作"],

  queueTitle: ["Queue and recent jobs", "佇列與最近的工作"],
  noJobs: ["No jobs yet.", "尚無工作。"],
  colJob: ["Job", "工作"],
  colMachine: ["Machine", "機台"],
  colUser: ["User", "使用者"],
  colOperation: ["Operation", "操作"],
  colProgram: ["Program", "程式"],
  colState: ["State", "狀態"],
  colCreated: ["Queued (UTC)", "排入（UTC）"],
  colMessages: ["Messages", "訊息"],
  jobQueued: ["queued", "等待中"],
  jobRunning: ["running", "進行中"],
  jobFinished: ["finished", "完成"],
  jobFailed: ["failed", "失敗"],
  jobStopped: ["stopped", "已停止"],
  messagesCount: ["{0} messages", "{0} 則訊息"],

  journalTitle: ["Journal of transfers", "傳輸記錄"],
  filterMachine: ["Machine", "機台"],
  filterProgram: ["Program No", "程式編號"],
  filterResult: ["Result", "結果"],
  filterSince: ["Since (UTC)", "起始日（UTC）"],
  filterUntil: ["Until (UTC)", "結束日（UTC）"],
  all: ["all", "全部"],
  show: ["Show", "顯示"],
  clearFilters: ["Clear", "清除"],
  resultFinished: ["finished", "完成"],
  resultFailed: ["failed", "失敗"],
  resultStopped: ["stopped", "已停止"],
  resultRunning: ["running or interrupted", "進行中或中斷"],
  colStarted: ["Started (UTC)", "開始（UTC）"],
  colResult: ["Result", "結果"],
  colLines: ["Lines", "行數"],
  colSeconds: ["Seconds", "秒"],
  colMessage: ["Last message", "最後訊息"],
  transfersCount: ["{0} transfers", "{0} 筆傳輸"],
  noRecords: ["No transfers match.", "沒有符合的傳輸。"],

  forbidden: ["Your role may not do this ({0}).", "您的角色無權執行此操作（{0}）。"],
  viewerNote: ["You may look at the machines, the queue and the journal; sending needs an operator.",
               "您可以查看機台、佇列與傳輸記錄；傳送需由操作員執行。"],
  otherSession: ["This browser is now logged in as {0} (from another tab).", "此瀏覽器已在另一個分頁以 {0} 登入。"],
  refused: ["Refused: {0}", "被拒絕：{0}"],
  notFound: ["Not found: {0}", "找不到：{0}"],
  tooLarge: ["The program is too large to send.", "程式太大，無法傳送。"],
  alreadyEnded: ["The job had already ended.", "此工作已經結束。"],
  serverError: ["The server answered {0}: {1}", "伺服器回應 {0}：{1}"],
  offline: ["The server cannot be reached. Retrying…", "無法連到伺服器，重試中…"],
};

// The journal's operations as the page names them (others are shown as written).
const JOURNAL_OPERATIONS = [
  { "nc send": "Program sent", "nc receive": "Program received", "nc compare": "Program compared",
    "nc delete": "Program deleted", "param send": "Parameters sent", "param receive": "Parameters received",
    "plc send": "PLC sent", "plc receive": "PLC received" },
  { "nc send": "傳送程式", "nc receive": "接收程式", "nc compare": "比對程式", "nc delete": "刪除程式",
    "param send": "傳送參數", "param receive": "接收參數", "plc send": "傳送 PLC", "plc receive": "接收 PLC" },
];

const Lang = {
  current: "en",
  index() { return this.current === "zh" ? 1 : 0; },
};

// The text `key` in the current language with {n} replaced by args[n].
function t(key, ...args) {
  const pair = TEXTS[key];
  if (!pair) return key;
  return pair[Lang.index()].replace(/\{(\d+)\}/g, (all, n) => (n < args.length ? String(args[n]) : all));
}

// Fills every marked element under `root` with its text.
function applyTexts(root) {
  document.documentElement.lang = Lang.current === "zh" ? "zh-Hant" : "en";
  document.title = t("title");
  for (const el of root.querySelectorAll("[data-i18n]")) el.textContent = t(el.dataset.i18n);
  for (const el of root.querySelectorAll("[data-i18n-placeholder]")) el.placeholder = t(el.dataset.i18nPlaceholder);
  for (const el of root.querySelectorAll("[data-i18n-title]")) el.title = t(el.dataset.i18nTitle);
  for (const el of root.querySelectorAll("[data-i18n-label]")) el.setAttribute("aria-label", t(el.dataset.i18nLabel));
}

function journalOperation(operation) {
  const names = JOURNAL_OPERATIONS[Lang.index()];
  return Object.prototype.hasOwnProperty.call(names, operation) ? names[operation] : String(operation || "");
}
