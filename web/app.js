// The shop-floor page of qxrd: log in, follow the machines, send, receive and
// compare programs, stop jobs, look through the queue and the journal.
//
// The page authenticates with the server's HttpOnly session cookie; the
// anti-forgery token of the session is held in memory only and sent with
// every request that changes something. Every text that comes from the
// server is put in the page as text (textContent), never as markup.
"use strict";

const POLL_MS = 700;

const state = {
  user: null,
  role: null,
  csrf: null,
  view: "machines",
  machines: [],
  jobs: [],
  records: [],
  machineName: null,  // the machine shown in the machine view
  op: "send",
  jobId: null,        // the job started from the machine view, followed there
  job: null,
  previewedKey: null, // the program text whose preview (or its refusal) is shown
  previewUrl: null,
  downloadUrl: null,
  previewFit: true,   // the preview scaled down to the page's width
  fileLabel: null,    // [name, lines] of the file read into the program text
  loginWaitUntil: 0,
  generation: 0,      // bumped at log-in and log-out: stale polls stop
  queuePoll: 0,       // bumped each time the queue is shown: one poll at a time
};

const $ = (id) => document.getElementById(id);

class ApiError extends Error {
  constructor(status, reason, retryAfter) {
    super(reason || `HTTP ${status}`);
    this.status = status;
    this.reason = reason;
    this.retryAfter = retryAfter;
  }
}

// One request to the API. `body` is sent as JSON; the reply is parsed as
// JSON unless `raw` (the Response is returned). A 401 outside the login ends
// the session on the page. A change refused (403) while the browser's
// session is another one (a log-in in another tab) is told as such, or tried
// once more with the session's own anti-forgery token.
async function api(method, path, body, raw = false, retried = false) {
  const headers = { Accept: raw ? "*/*" : "application/json" };
  if (body !== undefined) headers["Content-Type"] = "application/json";
  if (method !== "GET" && state.csrf) headers["X-CSRF-Token"] = state.csrf;
  let res;
  try {
    res = await fetch(path, {
      method,
      headers,
      body: body === undefined ? undefined : JSON.stringify(body),
      credentials: "same-origin",
      cache: "no-store",
    });
  } catch (e) {
    throw new ApiError(0, "", null);
  }
  if (res.ok) {
    if (raw) return res;
    return res.json().catch(() => ({}));
  }
  let reason = "";
  try {
    const reply = await res.json();
    if (reply && typeof reply.error === "string") reason = reply.error;
  } catch (e) { /* no JSON body */ }
  if (res.status === 401 && path !== "/api/login" && state.user) sessionEnded();
  if (res.status === 403 && method !== "GET" && path !== "/api/login" && state.user && !retried) {
    const me = await api("GET", "/api/me").catch(() => null);
    if (me && me.user !== state.user) {
      leave();
      enter(me);
      banner(t("otherSession", me.user));
      const changed = new ApiError(403, reason, null);
      changed.sessionChanged = true;
      throw changed;
    } else if (me && me.csrf !== state.csrf) {
      state.csrf = me.csrf;
      return api(method, path, body, raw, true);
    }
  }
  throw new ApiError(res.status, reason, res.headers.get("Retry-After"));
}

// What to tell the user about a failed request.
function errorText(err) {
  if (!(err instanceof ApiError)) return String(err && err.message ? err.message : err);
  if (err.sessionChanged) return t("otherSession", state.user);
  switch (err.status) {
    case 0: return t("offline");
    case 400: return t("refused", err.reason || "400");
    case 401: return t("sessionEnded");
    case 403: return t("forbidden", err.reason || "403");
    case 404: return t("notFound", err.reason || "404");
    case 409: return t("alreadyEnded");
    case 413: return t("tooLarge");
    default: return t("serverError", err.status, err.reason || "");
  }
}

function show(el, visible) { el.hidden = !visible; }

function setMessage(el, text) {
  el.textContent = text || "";
  show(el, Boolean(text));
}

// A message over the page; it goes after a while, but for the lost server,
// which goes when the server answers again.
let bannerTimer = null;
function banner(text) {
  clearTimeout(bannerTimer);
  setMessage($("banner"), text);
  if (text && text !== t("offline")) bannerTimer = setTimeout(() => setMessage($("banner"), ""), 10000);
}

function canOperate() { return state.role === "operator" || state.role === "admin"; }

function make(tag, className, text) {
  const el = document.createElement(tag);
  if (className) el.className = className;
  if (text !== undefined && text !== null) el.textContent = String(text);
  return el;
}

function pad2(n) { return String(n).padStart(2, "0"); }
function programLabel(number, name) {
  if (!number) return name || "";
  return "O" + String(number).padStart(4, "0") + (name ? " " + name : "");
}
// "2026-12-08T17:03:09.123Z" as "2026-12-08 17:03:09".
function timeText(text) {
  if (!text) return "";
  return String(text).replace("T", " ").replace(/\.\d+Z?$/, "").replace(/Z$/, "");
}

const OPERATION_KEYS = { send: "opSend", receive: "opReceive", compare: "opCompare" };
const JOB_STATE_KEYS = { queued: "jobQueued", running: "jobRunning", finished: "jobFinished", failed: "jobFailed", stopped: "jobStopped" };
const MACHINE_STATE_KEYS = { idle: "stateIdle", busy: "stateBusy", unreachable: "stateUnreachable" };
const RESULT_KEYS = { finished: "resultFinished", failed: "resultFailed", stopped: "resultStopped", running: "resultRunning" };

function keyed(map, value) { return map[value] ? t(map[value]) : String(value || ""); }

// ---------------------------------------------------------------- session

function setLanguage(language) {
  Lang.current = language === "zh" ? "zh" : "en";
  try { localStorage.setItem("qxrd-language", Lang.current); } catch (e) { /* private mode */ }
  applyTexts(document);
  renderAll();
}

async function switchLanguage() {
  const next = Lang.current === "zh" ? "en" : "zh";
  if (state.user) {
    try {
      const reply = await api("POST", "/api/me/language", { language: next });
      setLanguage(reply.language || next);
    } catch (err) {
      banner(errorText(err));
    }
  } else {
    setLanguage(next);
  }
}

function enter(me) {
  state.user = me.user;
  state.role = me.role;
  state.csrf = me.csrf;
  state.generation++;
  banner("");
  $("who-name").textContent = me.user;
  setLanguage(me.language || Lang.current);
  show($("who"), true);
  show($("logout"), true);
  show($("login-view"), false);
  show($("app-view"), true);
  for (const el of document.querySelectorAll(".operator-only")) show(el, canOperate());
  show($("viewer-note"), !canOperate());
  $("login-password").value = "";
  showView("machines");
  pollMachines(state.generation);
}

function leave() {
  state.user = state.role = state.csrf = null;
  state.generation++;
  state.machines = [];
  state.jobs = [];
  state.records = [];
  state.machineName = null;
  state.jobId = null;
  state.job = null;
  // Nothing of the last user's work stays on the page for the next one.
  resetOperation();
  $("journal-form").reset();
  $("machine-list").replaceChildren();
  $("machine-card-slot").replaceChildren();
  $("job-table").tBodies[0].replaceChildren();
  $("journal-table").tBodies[0].replaceChildren();
  $("journal-status").textContent = "";
  show($("job-box"), false);
  show($("who"), false);
  show($("logout"), false);
  show($("app-view"), false);
  show($("login-view"), true);
  $("login-user").focus();
}

function sessionEnded() {
  leave();
  setMessage($("login-error"), t("sessionEnded"));
}

async function login(event) {
  event.preventDefault();
  const user = $("login-user").value.trim();
  const password = $("login-password").value;
  if (!user || !password) {
    setMessage($("login-error"), t("loginMissing"));
    return;
  }
  if (Date.now() < state.loginWaitUntil) return;
  setMessage($("login-error"), "");
  $("login-submit").disabled = true;
  try {
    const reply = await api("POST", "/api/login", { user, password });
    enter(reply);
  } catch (err) {
    if (err.status === 401) {
      setMessage($("login-error"), t("loginWrong"));
    } else if (err.status === 429) {
      const seconds = Math.max(1, parseInt(err.retryAfter, 10) || 1);
      state.loginWaitUntil = Date.now() + seconds * 1000;
      loginCountdown();
      return;
    } else {
      setMessage($("login-error"), errorText(err));
    }
  } finally {
    if (Date.now() >= state.loginWaitUntil) $("login-submit").disabled = false;
  }
}

// The 429 wait, counted down on the login form.
function loginCountdown() {
  const left = Math.ceil((state.loginWaitUntil - Date.now()) / 1000);
  if (left <= 0) {
    $("login-submit").disabled = false;
    setMessage($("login-error"), "");
    return;
  }
  $("login-submit").disabled = true;
  setMessage($("login-error"), t("loginWait", left));
  setTimeout(loginCountdown, 250);
}

async function logout() {
  try {
    await api("POST", "/api/logout", {});
  } catch (err) { /* the session is left behind either way */ }
  leave();
}

// ---------------------------------------------------------------- views

function showView(view) {
  state.view = view;
  for (const name of ["machines", "machine", "queue", "journal"]) show($(name + "-view"), name === view);
  for (const tab of document.querySelectorAll("nav.tabs > .tab[data-view]")) {
    const selected = tab.dataset.view === view || (view === "machine" && tab.dataset.view === "machines");
    tab.classList.toggle("selected", selected);
    tab.setAttribute("aria-selected", selected ? "true" : "false");
  }
  if (view === "queue") pollJobs(state.generation, ++state.queuePoll);
  if (view === "journal") loadJournal();
}

function renderAll() {
  if (!state.user) return;
  const roleKey = { viewer: "roleViewer", operator: "roleOperator", admin: "roleAdmin" }[state.role];
  $("who-role").textContent = roleKey ? t(roleKey) : state.role;
  renderMachines();
  renderMachineView();
  renderJob();
  renderFileLabel();
  if (state.view === "queue") renderJobs(state.jobs || []);
  if (state.view === "journal") renderJournal(state.records || [], null);
  updateOperation();
}

// ---------------------------------------------------------------- machines

async function pollMachines(generation) {
  if (generation !== state.generation) return;
  try {
    const reply = await api("GET", "/api/machines");
    if (generation !== state.generation) return;
    state.machines = Array.isArray(reply.machines) ? reply.machines : [];
    if ($("banner").textContent === t("offline")) banner("");
    renderMachines();
    renderMachineView();
    fillMachineFilter();
  } catch (err) {
    if (generation !== state.generation) return;
    if (err.status === 0) banner(t("offline"));
  }
  setTimeout(() => pollMachines(generation), POLL_MS);
}

// Fills a machine card (from the template) with the machine's state.
function fillCard(card, m) {
  card.dataset.machine = m.name;
  card.dataset.state = m.state;
  card.querySelector(".machine-name").textContent = m.name;
  const badge = card.querySelector(".state");
  badge.textContent = keyed(MACHINE_STATE_KEYS, m.state);
  badge.className = "badge state " + (MACHINE_STATE_KEYS[m.state] ? m.state : "");
  card.querySelector(".model").textContent = m.model || "";
  card.querySelector(".port").textContent = m.port || "";
  card.querySelector(".queued").textContent = m.queued > 0 ? " · " + t("queuedCount", m.queued) : "";
  setMessage(card.querySelector(".problem"), m.problem || "");
  const job = m.job;
  const line = card.querySelector(".job-line");
  show(line, Boolean(job));
  const stop = card.querySelector(".stop");
  show(stop, Boolean(job) && canOperate());
  // The machine's own page is where an operator sends, receives and compares:
  // a viewer has nothing more to see there.
  const open = card.querySelector(".open");
  show(open, canOperate() && !card.classList.contains("wide"));
  show(card.querySelector(".buttons"), !open.hidden || !stop.hidden);
  if (job) {
    stop.dataset.job = job.id;
    card.querySelector(".job-what").textContent =
      keyed(OPERATION_KEYS, job.operation) + " " + programLabel(job.number, job.name);
    fillProgress(card.querySelector("progress"), card.querySelector(".job-progress"), job.progress);
  }
}

function fillProgress(bar, note, progress) {
  if (!progress) {
    bar.removeAttribute("value");  // indeterminate until the first line
    note.textContent = "";
    return;
  }
  bar.value = Math.max(0, Math.min(1000, Number(progress.perMille) || 0));
  let text = progress.total ? t("linesDone", progress.done, progress.total) : "";
  if (progress.secondsLeft !== undefined && progress.secondsLeft !== null && progress.secondsLeft >= 0)
    text += (text ? " · " : "") + t("secondsLeft", Math.round(progress.secondsLeft));
  note.textContent = text;
}

function newCard() {
  const card = $("machine-card").content.firstElementChild.cloneNode(true);
  applyTexts(card);
  card.querySelector(".open").addEventListener("click", () => openMachine(card.dataset.machine));
  card.querySelector(".stop").addEventListener("click", (e) => stopJob(e.currentTarget.dataset.job));
  return card;
}

function renderMachines() {
  const list = $("machine-list");
  const cards = new Map();
  for (const card of list.children) cards.set(card.dataset.machine, card);
  const wanted = state.machines.map((m) => {
    const card = cards.get(m.name) || newCard();
    fillCard(card, m);
    return card;
  });
  // Keeps the cards in place when nothing moved, so a finger on a button
  // never finds another one under it.
  const same = wanted.length === list.children.length && wanted.every((c, i) => list.children[i] === c);
  if (!same) list.replaceChildren(...wanted);
  show($("no-machines"), state.user !== null && state.machines.length === 0);
}

function currentMachine() { return state.machines.find((m) => m.name === state.machineName) || null; }

function openMachine(name) {
  if (state.machineName !== name) {
    state.machineName = name;
    state.jobId = null;
    state.job = null;
    resetOperation();
  }
  showView("machine");
  renderMachineView();
  renderJob();
  selectOperation(canOperate() ? state.op : "send");
}

function renderMachineView() {
  if (state.view !== "machine") return;
  const m = currentMachine();
  const slot = $("machine-card-slot");
  if (!m) {
    slot.replaceChildren();
    return;
  }
  let card = slot.firstElementChild;
  if (!card) {
    card = newCard();
    card.classList.add("wide");
    slot.replaceChildren(card);
  }
  fillCard(card, m);
  // Names go with programs only on the controllers that keep them.
  show($("op-name").closest("label"), state.op !== "receive" && machineTakesNames(m));
}

function machineTakesNames(m) { return /^QXR\d02/i.test(m.model || ""); }

// ---------------------------------------------------------------- send, receive, compare

function selectOperation(op) {
  state.op = op;
  for (const tab of document.querySelectorAll("#machine-ops .tab")) {
    const selected = tab.dataset.op === op;
    tab.classList.toggle("selected", selected);
    tab.setAttribute("aria-selected", selected ? "true" : "false");
  }
  setMessage($("op-error"), "");
  updateOperation();
  renderMachineView();
}

function resetOperation() {
  $("op-form").reset();
  state.fileLabel = null;
  renderFileLabel();
  state.previewedKey = null;
  clearPreview();
  setMessage($("op-error"), "");
}

function clearPreview() {
  if (state.previewUrl) URL.revokeObjectURL(state.previewUrl);
  state.previewUrl = null;
  $("preview-img").removeAttribute("src");
  show($("preview-box"), false);
}

function renderFileLabel() {
  $("op-file-name").textContent = state.fileLabel ? t("fileRead", ...state.fileLabel) : t("noFile");
}

function programText() { return $("op-text").value; }

// Shows what the chosen operation needs, and whether it may go.
function updateOperation() {
  const op = state.op;
  const needsText = op !== "receive";
  show(document.querySelector("#op-form .text-fields"), needsText);
  show($("op-preview"), op === "send");
  $("op-go").textContent = t(OPERATION_KEYS[op]);
  if (op !== "send") show($("preview-box"), false);
  else if (state.previewUrl) show($("preview-box"), true);
  const hint = $("op-error");
  if (op === "send" && programText().trim() && state.previewedKey !== null && state.previewedKey !== programText()) {
    if (!hint.textContent || hint.dataset.kind === "hint") {
      setMessage(hint, t("previewOld"));
      hint.dataset.kind = "hint";
    }
  } else if (hint.dataset.kind === "hint") {
    setMessage(hint, "");
    hint.dataset.kind = "";
  }
  $("op-go").disabled = op === "send" && (state.previewedKey === null || state.previewedKey !== programText());
}

let previewTimer = null;
function textChanged() {
  updateOperation();
  clearTimeout(previewTimer);
  if (state.op === "send" && programText().trim()) previewTimer = setTimeout(runPreview, 600);
}

// Reads a chosen file as text: UTF-8, else Big5 (programs written by the
// controllers' Chinese editors).
async function fileChosen() {
  const file = $("op-file").files[0];
  if (!file) return;
  try {
    const bytes = await file.arrayBuffer();
    let text;
    try {
      text = new TextDecoder("utf-8", { fatal: true }).decode(bytes);
    } catch (e) {
      text = new TextDecoder("big5").decode(bytes);
    }
    $("op-text").value = text;
    const lines = text.split(/\r\n|\r|\n/).filter((l) => l.length > 0).length;
    state.fileLabel = [file.name, lines];
    renderFileLabel();
    textChanged();
    $("op-file").value = "";  // the same file chosen again is read again
  } catch (e) {
    setMessage($("op-error"), t("fileUnreadable"));
  }
}

async function runPreview() {
  clearTimeout(previewTimer);
  const text = programText();
  if (!text.trim()) {
    setMessage($("op-error"), t("needText"));
    return;
  }
  const body = { text };
  const number = parseInt($("op-number").value, 10);
  if (number >= 1 && number <= 99) body.number = number;
  const generation = state.generation;
  try {
    const res = await api("POST", "/api/preview", body, true);
    const svg = await res.blob();
    if (generation !== state.generation || programText() !== text) return;
    clearPreview();
    state.previewUrl = URL.createObjectURL(new Blob([svg], { type: "image/svg+xml" }));
    $("preview-img").src = state.previewUrl;
    state.previewedKey = text;
    show($("preview-box"), state.op === "send");
    setMessage($("op-error"), "");
  } catch (err) {
    if (generation !== state.generation || programText() !== text) return;
    clearPreview();
    if (err.status === 400) {
      // The program's lines were read as far as they go: the reason is
      // shown and the operator may still send (the server checks the send).
      state.previewedKey = text;
      setMessage($("op-error"), t("previewFailed", err.reason || ""));
    } else {
      setMessage($("op-error"), errorText(err));
    }
    $("op-error").dataset.kind = "";
  }
  updateOperation();
}

function togglePreviewScale() {
  state.previewFit = !state.previewFit;
  $("preview-img").classList.toggle("fit", state.previewFit);
  $("preview-scale").dataset.i18n = state.previewFit ? "fullSize" : "fit";
  $("preview-scale").textContent = t($("preview-scale").dataset.i18n);
}

async function submitOperation(event) {
  event.preventDefault();
  const m = currentMachine();
  if (!m) return;
  const error = $("op-error");
  error.dataset.kind = "";
  const number = Number($("op-number").value);
  if (!Number.isInteger(number) || number < 1 || number > 99) {
    setMessage(error, t("needNumber"));
    $("op-number").focus();
    return;
  }
  const body = { number };
  if (state.op !== "receive") {
    const text = programText();
    if (!text.trim()) {
      setMessage(error, t("needText"));
      return;
    }
    if (state.op === "send" && state.previewedKey !== text) {
      setMessage(error, t("previewNeeded"));
      return;
    }
    body.text = text;
    const name = $("op-name").value.trim();
    if (name && machineTakesNames(m)) body.name = name;
  }
  $("op-go").disabled = true;
  try {
    const reply = await api("POST", `/api/machines/${encodeURIComponent(m.name)}/${state.op}`, body);
    setMessage(error, "");
    state.jobId = reply.job;
    state.job = null;
    renderJob();
    // The machine's card (its progress) and the job's messages in sight.
    $("machine-card-slot").scrollIntoView({ block: "start" });
    followJob(state.generation, reply.job);
  } catch (err) {
    setMessage(error, errorText(err));
    error.scrollIntoView({ block: "nearest" });
  } finally {
    updateOperation();
  }
}

async function stopJob(id) {
  if (!id) return;
  try {
    await api("POST", `/api/jobs/${encodeURIComponent(id)}/stop`, {});
  } catch (err) {
    banner(errorText(err));
  }
}

// ---------------------------------------------------------------- the followed job

async function followJob(generation, id) {
  if (generation !== state.generation || state.jobId !== id) return;
  try {
    const job = await api("GET", `/api/jobs/${encodeURIComponent(id)}`);
    if (generation !== state.generation || state.jobId !== id) return;
    state.job = job;
    renderJob();
    if (job.state !== "queued" && job.state !== "running") return;
  } catch (err) {
    if (generation !== state.generation) return;
    if (err.status === 404) return;
  }
  setTimeout(() => followJob(generation, id), POLL_MS);
}

function renderJob() {
  const box = $("job-box");
  const job = state.job;
  show(box, state.jobId !== null);
  const detail = $("job-detail");
  if (!job) {
    detail.replaceChildren(make("p", "note", t("queuedJob", state.jobId)));
    return;
  }
  const parts = [];
  const head = make("div", "job-head");
  head.append(make("span", "job-what", `${t("colJob")} ${job.id} · ${keyed(OPERATION_KEYS, job.operation)} ${programLabel(job.number, job.name)}`));
  const badge = make("span", "badge " + job.state, keyed(JOB_STATE_KEYS, job.state));
  badge.id = "job-state";
  badge.dataset.state = job.state;
  badge.dataset.job = job.id;
  head.append(badge);
  parts.push(head);
  // A running job's progress and Stop are on the machine's card above.
  if (job.state === "queued" && canOperate()) {
    const stop = make("button", "danger", t("stop"));
    stop.type = "button";
    stop.id = "job-stop";
    stop.addEventListener("click", () => stopJob(job.id));
    parts.push(stop);
  }
  if (job.operation === "compare" && job.state === "finished" && typeof job.same === "boolean") {
    const verdict = make("p", "verdict " + (job.same ? "same" : "different"), t(job.same ? "sameYes" : "sameNo"));
    verdict.id = "compare-verdict";
    parts.push(verdict);
  }
  if (Array.isArray(job.messages) && job.messages.length) {
    const list = make("ol", "messages");
    list.id = "job-messages";
    for (const m of job.messages) list.append(make("li", null, m));
    parts.push(list);
  }
  if (job.operation === "receive" && typeof job.text === "string" && job.state === "finished") {
    parts.push(make("h4", null, t("received")));
    const pre = make("pre", "program", job.text);
    pre.id = "received-text";
    parts.push(pre);
    if (state.downloadUrl) URL.revokeObjectURL(state.downloadUrl);
    state.downloadUrl = URL.createObjectURL(new Blob([job.text], { type: "text/plain;charset=utf-8" }));
    const link = make("a", "button secondary", t("download"));
    link.id = "received-download";
    link.href = state.downloadUrl;
    // The library file's name, else the program's number.
    const libraryName = job.library ? String(job.library).split(/[\\/]/).pop() : "";
    link.download = libraryName || `O${String(job.number).padStart(4, "0")}.nc`;
    parts.push(link);
    if (job.library) parts.push(make("p", "note", t("savedAs", job.library)));
  }
  // The message list keeps its place; at its end it follows new messages.
  const old = $("job-messages");
  const atEnd = !old || old.scrollTop + old.clientHeight >= old.scrollHeight - 4;
  const oldTop = old ? old.scrollTop : 0;
  detail.replaceChildren(...parts);
  const list = $("job-messages");
  if (list) list.scrollTop = atEnd ? list.scrollHeight : oldTop;
}

// ---------------------------------------------------------------- queue

async function pollJobs(generation, poll) {
  const current = () => generation === state.generation && poll === state.queuePoll && state.view === "queue";
  if (!current()) return;
  try {
    const reply = await api("GET", "/api/jobs");
    if (generation !== state.generation) return;
    state.jobs = Array.isArray(reply.jobs) ? reply.jobs : [];
    renderJobs(state.jobs);
  } catch (err) {
    if (generation !== state.generation) return;
    if (err.status !== 0) banner(errorText(err));
  }
  if (current()) setTimeout(() => pollJobs(generation, poll), POLL_MS * 2);
}

// Labels every cell with its column's heading: narrow screens show each row
// as a block of labelled values.
function labelCells(table) {
  const heads = [...table.tHead.rows[0].cells].map((th) => th.textContent);
  for (const row of table.tBodies[0].rows)
    [...row.cells].forEach((cell, i) => { cell.dataset.label = heads[i] || ""; });
}

function renderJobs(jobs) {
  const body = $("job-table").tBodies[0];
  // A row whose messages are open stays open across refreshes.
  const open = new Set([...body.querySelectorAll("details[open]")].map((d) => d.dataset.job));
  const rows = jobs.map((job) => {
    const tr = document.createElement("tr");
    tr.dataset.job = job.id;
    tr.dataset.state = job.state;
    tr.append(make("td", null, job.id), make("td", null, job.machine), make("td", null, keyed(OPERATION_KEYS, job.operation)),
              make("td", null, programLabel(job.number, job.name)));
    const stateCell = make("td");
    stateCell.append(make("span", "badge " + job.state, keyed(JOB_STATE_KEYS, job.state)));
    if (job.progress && job.state === "running") {
      const bar = document.createElement("progress");
      bar.max = 1000;
      bar.value = Number(job.progress.perMille) || 0;
      stateCell.append(bar);
    }
    tr.append(stateCell, make("td", null, job.user), make("td", null, timeText(job.created)));
    const messages = make("td", "messages-cell wide");
    const list = Array.isArray(job.messages) ? job.messages : [];
    if (list.length) {
      const details = document.createElement("details");
      details.dataset.job = job.id;
      if (open.has(String(job.id))) details.open = true;
      details.append(make("summary", null, list[list.length - 1] + (list.length > 1 ? ` (${t("messagesCount", list.length)})` : "")));
      const ol = make("ol", "messages");
      for (const m of list) ol.append(make("li", null, m));
      details.append(ol);
      messages.append(details);
    }
    tr.append(messages);
    const action = make("td", "action");
    if ((job.state === "queued" || job.state === "running") && canOperate()) {
      const stop = make("button", "danger", t("stop"));
      stop.type = "button";
      stop.addEventListener("click", () => stopJob(job.id));
      action.append(stop);
    }
    tr.append(action);
    return tr;
  });
  body.replaceChildren(...rows);
  labelCells($("job-table"));
  show($("no-jobs"), jobs.length === 0);
}

// ---------------------------------------------------------------- journal

function fillMachineFilter() {
  const select = $("jf-machine");
  const names = state.machines.map((m) => m.name);
  const have = [...select.options].slice(1).map((o) => o.value);
  if (names.length === have.length && names.every((n, i) => n === have[i])) return;
  const chosen = select.value;
  const options = [select.options[0]];
  for (const name of names) {
    const option = make("option", null, name);
    option.value = name;
    options.push(option);
  }
  select.replaceChildren(...options);
  select.value = names.includes(chosen) ? chosen : "";
}

// The day after a YYYY-MM-DD date: the filter's "until" is exclusive, the
// page's includes the chosen day.
function nextDay(date) {
  const d = new Date(date + "T00:00:00Z");
  d.setUTCDate(d.getUTCDate() + 1);
  return `${d.getUTCFullYear()}-${pad2(d.getUTCMonth() + 1)}-${pad2(d.getUTCDate())}`;
}

async function loadJournal(event) {
  if (event) event.preventDefault();
  const query = new URLSearchParams();
  if ($("jf-machine").value) query.set("machine", $("jf-machine").value);
  const program = parseInt($("jf-program").value, 10);
  if (program >= 1 && program <= 99) query.set("program", String(program));
  if ($("jf-result").value) query.set("result", $("jf-result").value);
  if ($("jf-since").value) query.set("since", $("jf-since").value);
  if ($("jf-until").value) query.set("until", nextDay($("jf-until").value));
  query.set("limit", "500");
  const generation = state.generation;
  try {
    const reply = await api("GET", "/api/journal?" + query.toString());
    if (generation !== state.generation) return;
    state.records = Array.isArray(reply.records) ? reply.records : [];
    renderJournal(state.records, null);
  } catch (err) {
    if (generation !== state.generation) return;
    renderJournal([], errorText(err));
  }
}

function renderJournal(records, error) {
  const body = $("journal-table").tBodies[0];
  const rows = records.map((r) => {
    const tr = document.createElement("tr");
    tr.dataset.record = r.id;
    tr.dataset.result = r.result;
    const result = make("td");
    result.append(make("span", "badge " + r.result, keyed(RESULT_KEYS, r.result)));
    const seconds = Number(r.duration_ms) > 0 ? (Number(r.duration_ms) / 1000).toFixed(1) : "";
    tr.append(make("td", null, timeText(r.started)), result, make("td", null, r.machine || r.port),
              make("td", null, journalOperation(r.operation)), make("td", null, programLabel(r.program, r.name)),
              make("td", "number", r.lines || ""), make("td", "number", seconds), make("td", null, r.user),
              make("td", "wide", r.message));
    return tr;
  });
  body.replaceChildren(...rows);
  labelCells($("journal-table"));
  const status = $("journal-status");
  status.classList.toggle("error", Boolean(error));
  status.textContent = error || (records.length ? t("transfersCount", records.length) : t("noRecords"));
}

function clearJournalFilters() {
  $("journal-form").reset();
  loadJournal();
}

// ---------------------------------------------------------------- start

function start() {
  let language = "en";
  try { language = localStorage.getItem("qxrd-language") || ""; } catch (e) { /* private mode */ }
  if (!language) language = /^zh/i.test(navigator.language || "") ? "zh" : "en";
  setLanguage(language);

  $("language").addEventListener("click", switchLanguage);
  $("logout").addEventListener("click", logout);
  $("login-form").addEventListener("submit", login);
  for (const tab of document.querySelectorAll("nav.tabs > .tab[data-view]"))
    tab.addEventListener("click", () => showView(tab.dataset.view));
  $("machine-back").addEventListener("click", () => showView("machines"));
  for (const tab of document.querySelectorAll("#machine-ops .tab"))
    tab.addEventListener("click", () => selectOperation(tab.dataset.op));
  $("op-form").addEventListener("submit", submitOperation);
  $("op-text").addEventListener("input", textChanged);
  $("op-file").addEventListener("change", fileChosen);
  $("op-preview").addEventListener("click", runPreview);
  $("preview-scale").addEventListener("click", togglePreviewScale);
  $("journal-form").addEventListener("submit", loadJournal);
  $("jf-clear").addEventListener("click", clearJournalFilters);

  api("GET", "/api/me").then(enter, () => leave());
}

document.addEventListener("DOMContentLoaded", start);
