#include "web/ViewerPage.h"

namespace tavrik {
namespace {

// The page reads /receipts (Server-Sent Events, which reconnect by
// themselves and send Last-Event-ID, so a reconnect loses nothing still
// held) and polls /status every two seconds. A search, a date range or a
// permalink (#seq=N) asks the journal under api/receipts instead; the live
// list keeps filling behind them.
constexpr std::string_view kPage = R"page(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Receipts · TavrikSrv</title>
<style>
:root {
  --ink: #1f2933; --muted: #6b7785; --line: #d9dee4; --bg: #e9edf1; --card: #ffffff;
  --live: #1f9d55; --down: #c53030; --wait: #b7791f;
  --mono: "DejaVu Sans Mono", ui-monospace, Menlo, Consolas, "Liberation Mono", monospace;
}
* { box-sizing: border-box; }
[hidden] { display: none !important; }
html, body { margin: 0; background: var(--bg); color: var(--ink);
  font: 15px/1.45 system-ui, -apple-system, "Segoe UI", Roboto, "DejaVu Sans", sans-serif; }
header { position: sticky; top: 0; z-index: 2; background: var(--card); border-bottom: 1px solid var(--line);
  box-shadow: 0 1px 3px rgba(31,41,51,.06); }
.bar { max-width: 980px; margin: 0 auto; padding: 12px 20px; display: flex; align-items: center; gap: 16px; }
.brand { display: flex; align-items: center; gap: 10px; font-weight: 650; font-size: 18px; letter-spacing: .2px; }
.brand svg { flex: none; }
.brand small { font-weight: 400; color: var(--muted); font-size: 13px; }
.link { margin-left: auto; display: inline-flex; align-items: center; gap: 8px; padding: 5px 12px;
  border-radius: 999px; font-weight: 600; font-size: 14px; border: 1px solid currentColor; }
.link::before { content: ""; width: 9px; height: 9px; border-radius: 50%; background: currentColor; }
.link.live { color: var(--live); background: #e9f7ef; }
.link.live::before { animation: pulse 2s ease-in-out infinite; }
.link.down { color: var(--down); background: #fdecec; }
.link.wait { color: var(--wait); background: #fdf6e7; }
@keyframes pulse { 50% { opacity: .35; } }
.facts { max-width: 980px; margin: 0 auto; padding: 0 20px 12px; display: grid;
  grid-template-columns: repeat(auto-fit, minmax(150px, 1fr)); gap: 10px; }
.fact { background: #f6f8fa; border: 1px solid var(--line); border-radius: 8px; padding: 7px 11px; min-width: 0; }
.fact b { display: block; font-size: 11px; font-weight: 600; text-transform: uppercase; letter-spacing: .6px;
  color: var(--muted); }
.fact span { display: block; white-space: nowrap; overflow: hidden; text-overflow: ellipsis; font-weight: 600; }
.fact i { display: block; font-style: normal; font-size: 12px; color: var(--muted); white-space: nowrap;
  overflow: hidden; text-overflow: ellipsis; min-height: 17px; }
.fact .ok { color: var(--live); } .fact .bad { color: var(--down); } .fact .unknown { color: var(--muted); font-weight: 400; }
main { max-width: 980px; margin: 0 auto; padding: 22px 20px 60px; display: flex; flex-direction: column;
  align-items: center; gap: 26px; }
.empty { color: var(--muted); text-align: center; margin-top: 60px; }
.receipt { width: 100%; max-width: 460px; }
.meta { display: flex; align-items: baseline; gap: 8px; color: var(--muted); font-size: 13px; margin: 0 2px 6px; }
.meta .time { color: var(--ink); font-weight: 650; font-size: 15px; font-variant-numeric: tabular-nums; }
.meta .seq { margin-left: auto; font-variant-numeric: tabular-nums; }
.paper { background: var(--card); border-radius: 3px 3px 0 0; padding: 20px 22px 18px;
  box-shadow: 0 1px 2px rgba(31,41,51,.08), 0 6px 18px rgba(31,41,51,.08); position: relative; }
.paper pre { margin: 0; font: 14px/1.38 var(--mono); white-space: pre-wrap; overflow-wrap: anywhere; color: #111; }
.paper .blank { font: italic 13px system-ui, sans-serif; color: var(--muted); }
.edge { height: 8px; background:
  linear-gradient(-45deg, transparent 5.5px, var(--card) 0) 0 0 / 12px 8px repeat-x,
  linear-gradient(45deg, transparent 5.5px, var(--card) 0) 0 0 / 12px 8px repeat-x;
  filter: drop-shadow(0 3px 3px rgba(31,41,51,.08)); }
.cut { display: flex; align-items: center; gap: 8px; margin-top: 10px; color: var(--muted); font-size: 12px;
  letter-spacing: .4px; }
.cut::before, .cut::after { content: ""; flex: 1; border-top: 1px dashed #9aa5b1; }
.note { width: 100%; max-width: 460px; color: var(--muted); font-size: 12px; text-align: center; margin: -14px 0; }
.receipt.new .paper { animation: arrive 1.6s ease-out; }
@keyframes arrive { from { box-shadow: 0 0 0 3px rgba(31,157,85,.55), 0 6px 18px rgba(31,41,51,.08); } }
#alerts { max-width: 980px; margin: 0 auto; padding: 0 20px 12px; }
#alerts ul { margin: 0; padding: 7px 11px; list-style: none; background: #fdecec; border: 1px solid var(--down);
  border-radius: 8px; color: var(--down); font-size: 13px; }
.receipt.flagged .paper { box-shadow: 0 0 0 3px var(--down), 0 6px 18px rgba(31,41,51,.08); }
.meta .rules { color: var(--down); font-weight: 650; }
.search { max-width: 980px; margin: 0 auto; padding: 0 20px 12px; display: flex; flex-wrap: wrap;
  align-items: center; gap: 8px 16px; }
.search input { font: inherit; font-size: 14px; color: var(--ink); background: #fff; border: 1px solid var(--line);
  border-radius: 6px; padding: 5px 9px; }
.search #q { flex: 1 1 280px; min-width: 0; }
.search label { display: flex; align-items: center; gap: 6px; color: var(--muted); font-size: 13px; }
.found { width: 100%; max-width: 460px; display: flex; flex-wrap: wrap; gap: 4px 12px; margin: 0 0 -12px;
  color: var(--muted); font-size: 13px; }
.found a, .meta a { color: inherit; }
.found a { margin-left: auto; font-weight: 600; color: var(--ink); }
.more { color: var(--muted); font-size: 13px; margin: 0; }
.problem { width: 100%; max-width: 460px; margin: 0; padding: 9px 13px; text-align: center; color: var(--down);
  background: #fdecec; border: 1px solid #f5c2c2; border-radius: 8px; }
mark { background: #fde68a; color: inherit; border-radius: 2px; }
.view { font: inherit; font-size: 13px; color: var(--ink); background: #fff; border: 1px solid var(--line);
  border-radius: 6px; padding: 5px 9px; cursor: pointer; }
.paper img { display: none; max-width: 100%; image-rendering: pixelated; }
.paper .codes { display: none; margin: 8px 0 0; padding: 0; list-style: none; font-size: 12px; color: var(--muted); }
body.printed .receipt:not(.nopicture) .paper img, body.printed .receipt:not(.nopicture) .paper .codes { display: block; }
body.printed .receipt:not(.nopicture) .paper pre, body.printed .receipt:not(.nopicture) .paper .blank { display: none; }
footer { text-align: center; color: var(--muted); font-size: 12px; padding-bottom: 24px; }
</style>
</head>
<body>
<header>
  <div class="bar">
    <div class="brand">
      <svg width="26" height="26" viewBox="0 0 24 24" aria-hidden="true"><path fill="#1f2933"
        d="M5 2h14v20l-2.33-1.5L14.33 22 12 20.5 9.67 22l-2.34-1.5L5 22zm3 5v1.6h8V7zm0 4v1.6h8V11zm0 4v1.6h5V15z"/></svg>
      <span>Receipts <small id="version"></small></span>
    </div>
    <span id="link" class="link wait">Connecting…</span>
  </div>
  <div class="facts">
    <div class="fact"><b>Source</b><span id="source">–</span><i id="peer"></i></div>
    <div class="fact"><b>State</b><span id="state">–</span><i id="uptime"></i></div>
    <div class="fact"><b>Printer</b><span id="printer" class="unknown">unknown</span><i></i></div>
    <div class="fact"><b>Clients</b><span id="clients">–</span><i id="web"></i></div>
    <div class="fact"><b>Last receipt</b><span id="last">–</span><i id="lastDate"></i></div>
  </div>
  <div id="alerts" hidden><ul id="alertList"></ul></div>
  <form class="search" id="search" role="search" autocomplete="off">
    <input type="search" id="q" aria-label="Search the journal"
           placeholder="Search the journal"
           title="Words (all must occur), &quot;a phrase&quot;, a prefix refu*, OR, -word">
    <label>From <input type="date" id="fromDate"><input type="time" id="fromTime"></label>
    <label>To <input type="date" id="toDate"><input type="time" id="toTime"></label>
    <button type="button" class="view" id="view" hidden>Show as printed</button>
  </form>
</header>
<main id="receipts">
  <p class="empty" id="empty">Waiting for the first receipt…</p>
</main>
<main id="results" hidden>
  <p class="found"><span id="found"></span><a id="csv" download>download CSV</a></p>
  <p class="more" id="more"></p>
</main>
<main id="single" hidden>
  <p class="found"><span>Receipt</span><a href="#">back to the list</a></p>
  <p class="more" id="singleNote"></p>
</main>
<footer id="footer">Newest receipt on top · the last 200 are kept on this page</footer>
<script>
"use strict";
const kKeep = 200, kPageSize = 50;
const $ = (id) => document.getElementById(id);
let stream = null, streamLive = false, statusOk = false;
const held = new Map();  // seq -> receipt, for those on the live list
let search = null;       // the search shown: its parameters and where its history goes on
let typing = 0, wantedSeq = null;
let picturesServed = false;  // the relay draws receipts as printed (GET /receipts/SEQ.png)

// Text or as printed, as chosen last time on this browser.
function showPrinted(printed) {
  document.body.classList.toggle("printed", printed);
  $("view").textContent = printed ? "Show as text" : "Show as printed";
  try { localStorage.setItem("tavrik.view", printed ? "printed" : "text"); } catch (e) { /* private mode */ }
}

function showLink() {
  const link = $("link");
  const live = streamLive && statusOk;
  link.className = "link " + (live ? "live" : "down");
  link.textContent = live ? "Live" : "Disconnected";
}

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

// The receipt's text, with what the search asked for marked.
function paperText(text, marks) {
  const pre = element("pre", "");
  let last = 0;
  for (const match of marks ? text.matchAll(marks) : []) {
    pre.append(text.slice(last, match.index), element("mark", "", match[0]));
    last = match.index + match[0].length;
  }
  pre.append(text.slice(last));
  return pre;
}

function receiptElement(receipt, marks) {
  const when = String(receipt.time || "");
  const text = String(receipt.text || "").replace(/\n+$/, "");
  const item = element("article", "receipt");
  const meta = element("div", "meta");
  meta.append(element("span", "time", when.slice(11) || when), element("span", "date", when.slice(0, 10)));
  if (receipt.bytes !== undefined) meta.append(element("span", "bytes", "· " + receipt.bytes + " bytes"));
  const rules = Array.isArray(receipt.rules) ? receipt.rules : [];
  if (rules.length) {
    item.classList.add("flagged");
    meta.append(element("span", "rules", "⚑ " + rules.map((rule) => String(rule.name || rule)).join(", ")));
  }
  const seq = element("a", "seq", "#" + receipt.seq);
  seq.href = "#seq=" + Number(receipt.seq);
  seq.title = "Link to this receipt";
  meta.append(seq);
  const paper = element("div", "paper");
  paper.append(text ? paperText(text, marks) : element("div", "blank", "no printable text in this frame"));
  if (picturesServed) {
    // Loaded only while shown; a receipt the relay no longer holds keeps its text.
    const picture = element("img", "");
    picture.loading = "lazy";
    picture.alt = "Receipt #" + receipt.seq + " as printed";
    picture.src = "receipts/" + Number(receipt.seq) + ".png";
    picture.addEventListener("error", () => item.classList.add("nopicture"));
    const codes = element("ul", "codes");
    for (const code of Array.isArray(receipt.codes) ? receipt.codes : []) {
      codes.append(element("li", "", String(code.symbology) + ": " + String(code.data)));
    }
    paper.append(picture, codes);
  }
  item.append(meta, paper, element("div", "edge"));
  if (receipt.cut) item.append(element("div", "cut", "✂ paper cut"));
  return item;
}

function addReceipt(receipt) {
  const when = String(receipt.time || "");
  const list = $("receipts");
  $("empty").hidden = true;
  showLast(when);
  if (!String(receipt.text || "").replace(/\n+$/, "") && !receipt.cut) {
    // Commands only (a status query, the tail of a cut): a line, not a receipt.
    list.insertBefore(element("p", "note", when.slice(11) + " · " + receipt.bytes + " bytes without text"),
                      list.children[1] || null);
    return;
  }
  const item = receiptElement(receipt);
  item.classList.add("new");
  item.receipt = receipt;
  held.set(receipt.seq, receipt);
  list.insertBefore(item, list.children[1] || null);
  setTimeout(() => item.classList.remove("new"), 2000);
  while (list.children.length > kKeep + 1) {
    const gone = list.lastElementChild.receipt;
    if (gone && held.get(gone.seq) === gone) held.delete(gone.seq);
    list.lastElementChild.remove();
  }
  if (receipt.seq === wantedSeq) showSingle(receipt);
}

// Each view comes back where it was scrolled to: back from a receipt, the list is as it was.
const scrolledTo = {};
function showView(id) {
  const views = ["receipts", "results", "single"];
  const before = views.find((view) => !$(view).hidden);
  if (before === id) return;
  scrolledTo[before] = window.scrollY;
  for (const view of views) $(view).hidden = view !== id;
  $("footer").hidden = id !== "receipts";
  window.scrollTo(0, id === "single" ? 0 : scrolledTo[id] || 0);
}

// What the journal said, as a line for the user.
async function fetchJson(url, signal, missing) {
  let response;
  try {
    response = await fetch(url, { cache: "no-store", signal });
  } catch (e) {
    throw e.name === "AbortError" ? e : new Error("The relay cannot be reached: try again in a moment.");
  }
  const body = await response.json().catch(() => null);
  if (response.ok && body) return body;
  const said = body && typeof (body.error || body.message) === "string" ? body.error || body.message : "";
  switch (response.status) {
    case 400: throw new Error("The search is not understood: " + (said || "check its quotes and words."));
    case 401: throw new Error("Not signed in: reload the page to sign in again.");
    case 403: throw new Error("The journal is closed to this address" + (said ? ": " + said : "."));
    case 404: throw new Error(missing);
    default: throw new Error("The journal answered " + response.status + (said ? ": " + said : "."));
  }
}

// A line under the results: what happens, or what went wrong.
function say(node, message, bad) {
  node.className = bad ? "problem" : "more";
  node.textContent = message;
}

// The query's words, phrases and prefixes (not those after a minus) as one
// pattern, whole words only, letter case aside.
function markPattern(query) {
  const terms = [];
  for (const [, minus, phrase, word] of query.matchAll(/(-?)(?:"([^"]*)"?|(\S+))/g)) {
    const words = (phrase ?? word).match(/[\p{L}\p{N}]+\*?/gu);
    if (minus || word === "OR" || !words) continue;
    terms.push(words.map((w) => w.endsWith("*") ? w.slice(0, -1) + "[\\p{L}\\p{N}]*" : w).join("[^\\p{L}\\p{N}]+"));
  }
  return terms.length ? new RegExp("(?<![\\p{L}\\p{N}])(?:" + terms.join("|") + ")(?![\\p{L}\\p{N}])", "giu")
                      : null;
}

// Blanks as %20, not +: a plain percent-decoder reads them as well.
const queryText = (params) => String(params).replace(/\+/g, "%20");

function searchParams() {
  const params = new URLSearchParams();
  const q = $("q").value.trim();
  if (q) params.set("q", q);
  for (const end of ["from", "to"]) {
    const date = $(end + "Date").value, time = $(end + "Time").value;
    if (date) params.set(end, time ? date + "T" + time : date);
  }
  return params;
}

function startSearch(again) {
  clearTimeout(typing);
  const params = searchParams();
  if (!again && String(params) === (search ? String(search.params) : "")) return;
  if (search) search.controller.abort();
  const results = $("results");
  while (results.children.length > 2) results.children[1].remove();
  if (!results.hidden) window.scrollTo(0, 0);
  scrolledTo.results = 0;
  search = String(params) ? { params, next: undefined, count: 0, loading: false,
                              controller: new AbortController(), marks: markPattern(params.get("q") || "") }
                          : null;
  if (wantedSeq !== null) history.pushState(null, "", location.pathname + location.search);
  wantedSeq = null;
  showView(search ? "results" : "receipts");
  if (!search) return;
  const from = params.get("from"), to = params.get("to");
  $("found").textContent = (params.get("q") ? "Receipts with “" + params.get("q") + "”" : "Receipts") +
    (from ? " from " + from.replace("T", " ") : "") + (to ? " to " + to.replace("T", " ") : "") + " · newest first";
  $("csv").href = "api/receipts.csv?" + queryText(params);
  loadMore();
}

// The next page of the search's history, older than what is shown.
async function loadMore() {
  const s = search;
  if (!s || s.loading || s.next === null) return;
  s.loading = true;
  const more = $("more");
  say(more, "Loading…");
  const params = new URLSearchParams(s.params);
  params.set("limit", kPageSize);
  if (s.next !== undefined) params.set("before", s.next);
  try {
    const page = await fetchJson("api/receipts?" + queryText(params), s.controller.signal,
                                 "No journal: this relay keeps no history to search (see [journal] in its outputs file).");
    if (s !== search) return;
    const receipts = Array.isArray(page.receipts) ? page.receipts : [];
    for (const receipt of receipts) $("results").insertBefore(receiptElement(receipt, s.marks), more);
    s.count += receipts.length;
    s.next = Number.isInteger(page.next) && page.next < (s.next ?? Infinity) ? page.next : null;
    say(more, s.next !== null ? "" : s.count ? "No older receipts" : "No receipt matches");
  } catch (e) {
    if (s !== search) return;
    s.next = null;  // the scroll stops here; searching again starts over
    say(more, e.message, true);
  } finally {
    s.loading = false;
  }
  // Still in view (a short page): the observer says so once more.
  if (s === search && s.next !== null) {
    moreInView.unobserve(more);
    moreInView.observe(more);
  }
}

const moreInView = new IntersectionObserver((entries) => {
  if (entries.some((entry) => entry.isIntersecting)) loadMore();
}, { rootMargin: "600px" });

function showSingle(receipt, note, bad) {
  const single = $("single");
  while (single.children.length > 2) single.lastElementChild.remove();
  say($("singleNote"), note || "", bad);
  $("singleNote").hidden = !note;
  if (receipt) single.append(receiptElement(receipt, search && search.marks));
}

// #seq=N shows that receipt: from the live list when held, else from the journal.
async function followHash() {
  const match = /^#seq=(\d+)$/.exec(location.hash);
  wantedSeq = match ? Number(match[1]) : null;
  if (wantedSeq === null) {
    showView(search ? "results" : "receipts");
    return;
  }
  const seq = wantedSeq;
  showView("single");
  if (held.has(seq)) return showSingle(held.get(seq));
  showSingle(null, "Loading receipt #" + seq + "…");
  try {
    const receipt = await fetchJson("api/receipts/" + seq, undefined, "Receipt #" + seq + " is not in the journal.");
    if (seq === wantedSeq && !held.has(seq)) showSingle(receipt);
  } catch (e) {
    if (seq === wantedSeq && !held.has(seq)) showSingle(null, e.message, true);
  }
}

// The latest rule events, newest first.
function addAlert(alert) {
  const what = alert.type === "rule" ? "#" + alert.seq + " " + (alert.line || "")
    : alert.type === "drawer_open" ? "drawer open " + alert.seconds + " s" : "drawer closed after " + alert.seconds + " s";
  const list = $("alertList");
  list.insertBefore(element("li", "", String(alert.time || "").slice(11) + " · " + alert.rule + " · " + what),
                    list.firstChild);
  while (list.children.length > 20) list.lastElementChild.remove();
  $("alerts").hidden = false;
}

function showLast(when) {
  $("last").textContent = when.slice(11) || "–";
  $("lastDate").textContent = when.slice(0, 10);
}

function duration(seconds) {
  const d = Math.floor(seconds / 86400), h = Math.floor(seconds / 3600) % 24, m = Math.floor(seconds / 60) % 60;
  return "up " + (d ? d + " d " + h + " h" : h ? h + " h " + m + " min" : m + " min");
}

function connect() {
  stream = new EventSource("receipts");
  stream.onopen = () => { streamLive = true; showLink(); };
  stream.onerror = () => {
    streamLive = false; showLink();
    // Closed for good (not just reconnecting): start over after a pause.
    if (stream.readyState === EventSource.CLOSED) setTimeout(connect, 1000);
  };
  stream.addEventListener("receipt", (event) => {
    try { addReceipt(JSON.parse(event.data)); } catch (e) { /* a broken event is skipped */ }
  });
  stream.addEventListener("alert", (event) => {
    try { addAlert(JSON.parse(event.data)); } catch (e) { /* a broken event is skipped */ }
  });
}

const kSourceNames = { network: "Network", serial: "Serial port", file: "Spool file" };

async function pollStatus() {
  try {
    const response = await fetch("status", { cache: "no-store" });
    const s = await response.json();
    statusOk = true;
    $("version").textContent = "TavrikSrv " + s.version;
    if (s.till) document.title = s.till + " · Receipts · TavrikSrv";
    if (s.pictures && !picturesServed) {
      picturesServed = true;
      $("view").hidden = false;
      let printed = false;
      try { printed = localStorage.getItem("tavrik.view") === "printed"; } catch (e) { /* private mode */ }
      showPrinted(printed);
    }
    const source = s.source || {};
    $("source").textContent = kSourceNames[source.kind] || source.kind || "–";
    $("peer").textContent = source.peer || "";
    $("uptime").textContent = duration(s.uptimeSeconds || 0);
    const state = $("state");
    state.textContent = source.state || "–";
    state.className = /retrying|setting up/.test(source.state) ? "bad" : "ok";
    $("clients").textContent = s.clientsConnected + (s.clientsConnected === 1 ? " client" : " clients");
    $("web").textContent = s.webConnections + " web connection" + (s.webConnections === 1 ? "" : "s");
    const printer = $("printer");
    printer.textContent = s.printerStatus || "unknown";
    printer.className = !s.printerStatus || s.printerStatus === "unknown" ? "unknown"
      : /offline|error|end|open/.test(s.printerStatus) ? "bad" : "ok";
    if (s.lastFrameTime) showLast(s.lastFrameTime);
  } catch (e) {
    statusOk = false;
  }
  showLink();
}

$("search").addEventListener("submit", (event) => { event.preventDefault(); startSearch(true); });
$("q").addEventListener("input", () => { clearTimeout(typing); typing = setTimeout(startSearch, 300); });
for (const id of ["fromDate", "fromTime", "toDate", "toTime"]) $(id).addEventListener("change", () => startSearch());
$("view").addEventListener("click", () => showPrinted(!document.body.classList.contains("printed")));
window.addEventListener("hashchange", followHash);
moreInView.observe($("more"));
// The status first: it says whether receipts can be shown as printed.
pollStatus().finally(() => {
  connect();
  followHash();
  setInterval(pollStatus, 2000);
});
</script>
</body>
</html>
)page";

}  // namespace

std::string_view ViewerPage() {
  return kPage;
}

}  // namespace tavrik
