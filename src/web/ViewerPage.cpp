#include "web/ViewerPage.h"

namespace tavrik {
namespace {

// The page reads /receipts (Server-Sent Events, which reconnect by
// themselves and send Last-Event-ID, so a reconnect loses nothing still
// held) and polls /status every two seconds.
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
</header>
<main id="receipts">
  <p class="empty" id="empty">Waiting for the first receipt…</p>
</main>
<footer>Newest receipt on top · the last 200 are kept on this page</footer>
<script>
"use strict";
const kKeep = 200;
const $ = (id) => document.getElementById(id);
let stream = null, streamLive = false, statusOk = false;

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

function addReceipt(receipt) {
  const when = String(receipt.time || "");
  const text = String(receipt.text || "").replace(/\n+$/, "");
  const list = $("receipts");
  $("empty").hidden = true;
  showLast(when);
  if (!text && !receipt.cut) {
    // Commands only (a status query, the tail of a cut): a line, not a receipt.
    list.insertBefore(element("p", "note", when.slice(11) + " · " + receipt.bytes + " bytes without text"),
                      list.children[1] || null);
    return;
  }
  const item = element("article", "receipt new");
  const meta = element("div", "meta");
  meta.append(element("span", "time", when.slice(11) || when), element("span", "date", when.slice(0, 10)),
              element("span", "bytes", "· " + receipt.bytes + " bytes"), element("span", "seq", "#" + receipt.seq));
  if (receipt.rules && receipt.rules.length) {
    item.classList.add("flagged");
    meta.append(element("span", "rules", "⚑ " + receipt.rules.join(", ")));
  }
  const paper = element("div", "paper");
  paper.append(text ? element("pre", "", text) : element("div", "blank", "no printable text in this frame"));
  item.append(meta, paper, element("div", "edge"));
  if (receipt.cut) item.append(element("div", "cut", "✂ paper cut"));
  list.insertBefore(item, list.children[1] || null);
  setTimeout(() => item.classList.remove("new"), 2000);
  while (list.children.length > kKeep + 1) list.lastElementChild.remove();
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

connect();
pollStatus();
setInterval(pollStatus, 2000);
</script>
</body>
</html>
)page";

}  // namespace

std::string_view ViewerPage() {
  return kPage;
}

}  // namespace tavrik
