// The report as one HTML page that needs nothing else: its styles and its
// script are inline, so it opens from a mail or a ticket without a network.

#include <fmt/format.h>

#include "report.h"
#include "report_put.h"

namespace kestrel::compare {
namespace {

// The raw lines of the routes are carried for the first differences only,
// as many as keep the rows and the raw lines within this many bytes, so that
// a page of fifty thousand differences stays under 10 MB and opens in a
// second or two.
constexpr std::size_t kPageBytes = 9 << 20;

const char kStyle[] = R"(
body{font:14px/1.4 system-ui,sans-serif;margin:1.5em;color:#222}
h1{font-size:1.4em;margin:0 0 .5em}h2{font-size:1.1em;margin:1.5em 0 .4em}
table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:2px 6px;text-align:left;vertical-align:top}
th{background:#eee}#diffs th{cursor:pointer;user-select:none}th.up::after{content:" \25B2"}th.down::after{content:" \25BC"}
pre,.mono,#diffs td:nth-child(3),#diffs td:nth-child(6),#diffs td:nth-child(7){font-family:ui-monospace,Consolas,monospace;font-size:13px}
pre{margin:2px 0;white-space:pre}#diffs td{white-space:pre-line}#diffs tbody tr{cursor:pointer}[hidden]{display:none}
.only-a{background:#fde8e8}.only-b{background:#e6f5e6}.differs{background:#fff6dc}tr.accepted{color:#777}
tr.raw td{background:#f8f8f8}.tally{display:inline-table;margin:0 2em 1em 0}.tally td+td{text-align:right}
#filters label{margin-right:1em;white-space:nowrap}.count{font-weight:bold}#search{width:30em;max-width:100%}
.removed{color:#a00}.added{color:#070}.warn{color:#8a5a00}
)";

const char kScript[] = R"(
(function () {
  // rows[i]: the kinds of difference as bits (256: accepted), the VRF, the prefix, what differs (each line
  // led by "-" for a next hop taken away, "+" for one added), A's route, B's route, the route's line in A
  // and in B (0: not there), and with several logs a side the log in A and in B; raw[i]: the route's raw
  // lines in A and in B, for the first `kept` rows, packed. The rows that match the filters, in the order
  // asked, are drawn up to `limit`.
  var body = document.querySelector('#diffs tbody'), limit = 500, shown = [], texts = null;
  var order = rows.map(function (r, i) { return i; });
  var boxes = Array.prototype.slice.call(document.querySelectorAll('#filters input[name=kind]'));
  var accepted = document.getElementById('show-accepted'), search = document.getElementById('search');
  var heads = Array.prototype.slice.call(document.querySelectorAll('#diffs th'));
  function esc(s) {
    return s.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;').replace(/"/g, '&quot;');
  }
  // Raw lines come with each run of blanks (a next hop's indentation) as U+0001 and the character
  // 64 + its length, and a U+0001 of the log's as U+0001 "@".
  function unpack(s) {
    return s.replace(/\x01([\s\S])/g, function (m, c) { return c === '@' ? m[0] : ' '.repeat(c.charCodeAt(0) - 64); });
  }
  function status(r) { return r[0] & 1 ? 'only-a' : r[0] & 2 ? 'only-b' : 'differs'; }
  function what(s) {
    return s.split('\n').map(function (line) {
      var text = esc(line.slice(1));
      return line[0] === '-' ? '<span class=removed>&minus;' + text + '</span>'
        : line[0] === '+' ? '<span class=added>+' + text + '</span>' : text;
    }).join('\n');
  }
  function row(i) {
    var r = rows[i], cells = [i + 1, esc(r[1]), r[2], status(r) + (r[0] & 256 ? ' (accepted)' : ''), what(r[3]),
      esc(r[4]), esc(r[5]), (r[6] ? 'A ' + r[6] : '') + (r[6] && r[7] ? ' &middot; ' : '') + (r[7] ? 'B ' + r[7] : '')];
    return '<tr class="' + status(r) + (r[0] & 256 ? ' accepted' : '') + '" data-kinds="' +
      kinds.filter(function (k, bit) { return r[0] & 1 << bit; }).join(' ') + '" data-i=' + i + '><td>' +
      cells.join('<td>') + '</tr>';
  }
  function draw() {
    body.innerHTML = shown.slice(0, limit).map(row).join('');
    document.getElementById('shown').textContent = Math.min(limit, shown.length).toLocaleString('en-US');
    document.getElementById('matching').textContent = shown.length.toLocaleString('en-US');
    document.getElementById('more').hidden = shown.length <= limit;
  }
  // The search looks in every row, not only those drawn: its cells and its raw lines.
  function text(r, i) {
    return unpack([r[1], r[2], r[3], r[4], r[5]].concat(raw[i] || []).join('\n')).toLowerCase();
  }
  function filter() {
    var mask = 0, words = search.value.toLowerCase().split(/\s+/).filter(Boolean);
    boxes.forEach(function (b, bit) { if (b.checked) mask |= 1 << bit; });
    if (words.length && !texts) texts = rows.map(text);
    shown = order.filter(function (i) {
      var r = rows[i];
      return r[0] & mask && (accepted.checked || !(r[0] & 256)) &&
        words.every(function (w) { return texts[i].indexOf(w) >= 0; });
    });
    draw();
  }
  // "#" and the prefix sort in the order of the report (VRF, family, prefix), the lines by A's line
  // number and then, for routes only in B, by B's; the other columns by their text.
  function sort(col, down) {
    heads.forEach(function (h) { h.className = ''; });
    heads[col].className = down ? 'down' : 'up';
    var key = rows.map(function (r, i) {
      return col === 0 || col === 2 ? i : col === 7 ? r[6] || 4294967296 + r[7] : col === 3 ? status(r)
        : (col === 1 ? r[1] : r[col - 1]).toLowerCase();
    });
    order.sort(function (x, y) {
      var c = key[x] < key[y] ? -1 : key[x] > key[y] ? 1 : x - y;
      return down ? -c : c;
    });
    filter();
  }
  // The address can choose the view: report.html#only-a,metric&search=10.1.&sort=lines (sort=-lines
  // the other way). A part that does not decode is taken as it is, one that names no kind left out.
  var sortBy = '';
  location.hash.slice(1).split('&').forEach(function (part) {
    try { part = decodeURIComponent(part); } catch (e) {}
    var words = part.split(',');
    if (part.indexOf('search=') === 0) search.value = part.slice(7);
    else if (part.indexOf('sort=') === 0) sortBy = part.slice(5);
    else if (boxes.some(function (b) { return words.indexOf(b.value) >= 0; }))
      boxes.forEach(function (b) { b.checked = words.indexOf(b.value) >= 0; });
  });
  boxes.concat(accepted).forEach(function (b) { b.addEventListener('change', filter); });
  var typing;
  search.addEventListener('input', function () { clearTimeout(typing); typing = setTimeout(filter, 200); });
  document.getElementById('next').onclick = function () { limit += 500; draw(); };
  document.getElementById('all').onclick = function () { limit = rows.length; draw(); };
  // A click on a route shows its raw lines from both logs under it, or hides them.
  body.addEventListener('click', function (e) {
    var tr = e.target.closest('tr'), next = tr && tr.nextElementSibling;
    if (!tr || tr.className === 'raw') return;
    if (next && next.className === 'raw') return next.remove();
    var i = Number(tr.dataset.i), r = rows[i], lines = [];
    for (var s = 0; s < 2; ++s)
      if (r[6 + s]) lines.push('AB'[s] + ' ' + logs[s][r[8 + s] || 0] + ':' + r[6 + s] + (raw[i] ? '\n' + unpack(raw[i][s]) : ''));
    if (!raw[i]) lines.push('(the page carries the raw lines of the first ' + kept + ' differences; kestrel-compare ' +
      '--explain ' + r[2] + ' prints them)');
    var under = document.createElement('tr'), td = under.insertCell(), pre = document.createElement('pre');
    under.className = 'raw';
    td.colSpan = 8;
    pre.textContent = lines.join('\n');
    td.appendChild(pre);
    tr.after(under);
  });
  heads.forEach(function (th, col) {
    th.addEventListener('click', function () { sort(col, th.classList.contains('up')); });
  });
  var sorted = heads.findIndex(function (h) { return h.dataset.sort === sortBy.replace(/^-/, ''); });
  if (sorted >= 0) sort(sorted, sortBy[0] === '-');
  else filter();
})();
)";

const char* const kKindLabels[kDiffKinds] = {"only in A", "only in B", "next hops",         "distance",
                                             "metric",    "protocol",  "candidate default", "interface"};

// Text from a log or a command line for the page.
std::string Html(std::string_view text) { return HtmlEscape(Decoded(text)); }

// Text as a string of a script: JSON's escapes, a line end as \n, and "<",
// ">" and "&" as \u003c, \u003e and \u0026, so that no "</script>" or
// "<!--<script>" within it ends the script or hides the rest of the page;
// U+2028 and U+2029, line ends to older scripts, are escaped too.
std::string ScriptString(std::string_view text) {
  const std::string json = JsonEscape(Decoded(text));
  std::string out;
  out.reserve(json.size());
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (c == '\\') {  // an escape of JSON's, whole
      if (json.compare(i, 6, "\\u000a") == 0) {
        out += "\\n";
        i += 5;
      } else {
        out.append(json, i++, 2);
      }
    } else if (c == '<' || c == '>' || c == '&') {
      out += fmt::format("\\u{:04x}", static_cast<int>(c));
    } else if (json.compare(i, 3, "\xe2\x80\xa8") == 0 || json.compare(i, 3, "\xe2\x80\xa9") == 0) {
      out += json[i + 2] == '\xa8' ? "\\u2028" : "\\u2029";
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

// The raw lines of a route with each run of eight blanks or more written as
// U+0001 and the character 64 + its length (up to 58), and a U+0001 of the
// log's as U+0001 "@": the indentation of next-hop lines is most of their
// bytes. The script unpacks them.
std::string Packed(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::size_t blanks = 0;
    while (i + blanks < text.size() && text[i + blanks] == ' ' && blanks < 58) ++blanks;
    if (blanks >= 8) {
      out.append(1, '\x01').append(1, static_cast<char>(64 + blanks));
      i += blanks;
    } else if (blanks > 0) {
      out.append(blanks, ' ');
      i += blanks;
    } else {
      out.append(text[i] == '\x01' ? "\x01@" : text.substr(i, 1));
      ++i;
    }
  }
  return out;
}

std::string SideCell(const SideRecord& side) {
  if (!side.present) return "";
  std::string out = side.protocol + (side.bracket.empty() ? "" : " " + side.bracket);
  for (const auto& hop : side.hops) out.append("\n").append(hop);
  return out;
}

// What differs, a line each, led by "-" for a next hop taken away, "+" for
// one added and a blank for the rest.
std::string WhatCell(const DiffRecord& v) {
  std::vector<std::string> lines;
  if (!v.covering.empty()) lines.push_back(" covered by " + v.covering);
  for (const auto& hop : v.removed) lines.push_back("-" + hop);
  for (const auto& hop : v.added) lines.push_back("+" + hop);
  const auto bracket = [](const SideRecord& s) { return s.bracket.empty() ? std::string("none") : s.bracket; };
  const std::string brackets = bracket(v.side[0]) + " \u2192 " + bracket(v.side[1]);
  if (v.kinds & kDistance) lines.push_back(" distance " + brackets);
  if (v.kinds & kMetric) lines.push_back(" metric " + brackets);
  if (v.kinds & (kProtocol | kCandidateDefault))
    lines.push_back(" protocol " + v.side[0].protocol + " \u2192 " + v.side[1].protocol);
  for (const auto& [a, b] : v.interfaces) lines.push_back(" interface " + a + " \u2192 " + b);
  std::string out;
  for (const auto& line : lines) out.append(out.empty() ? "" : "\n").append(line);
  return out;
}

void PutTallies(BlockWriter& out, const char* id, const char* title, const std::map<std::string, Tally>& tallies,
                const char* unnamed) {
  Put(out,
      "<table id={} class=tally><tr><th>{}<th>routes A<th>routes B<th>same<th>differ<th>only in A<th>only in B"
      "<th>accepted</tr>\n",
      id, title);
  for (const auto& [name, t] : tallies)
    Put(out, "<tr><td>{}<td>{}<td>{}<td>{}<td>{}<td>{}<td>{}<td>{}</tr>\n", name.empty() ? unnamed : Html(name),
        t.routes[0], t.routes[1], t.same, t.differ, t.onlyA, t.onlyB, t.accepted);
  out.Append("</table>");
}

}  // namespace

void WriteHtml(const ReportData& d, const Describer& records, BlockWriter& out) {
  const Comparison& c = *d.comparison;
  Put(out,
      "<!DOCTYPE html>\n<html lang=en><head><meta charset=utf-8><title>kestrel-compare {}</title><style>{}</style>"
      "</head><body>\n<h1>Routing tables compared</h1>\n<table id=inputs><tr><th>side<th>log<th>bytes<th>SHA-256"
      "<th>lines = header + route + continuation + unparsed</tr>\n",
      HtmlEscape(d.version), kStyle);
  const char kSide[2] = {'A', 'B'};
  for (int s = 0; s < 2; ++s)
    for (const Source& src : d.table[s]->sources)
      Put(out, "<tr><td>{}<td>{}<td>{}<td class=mono>{}<td>{} = {} + {} + {} + {}</tr>\n", kSide[s], Html(src.name),
          src.size, src.sha256, src.Lines(), src.Header(), src.Count(LineKind::Route),
          src.Count(LineKind::Continuation), src.Count(LineKind::Unparsed));
  out.Append("</table>\n<ul id=rules>");
  for (const auto& rule : RulesInWords(d)) Put(out, "<li>{}</li>", Html(rule));
  Put(out,
      "<li>kestrel-compare {}</li></ul>\n<p id=summary>Routes compared: A <span class=count id=routes-a>{}</span>, "
      "B <span class=count id=routes-b>{}</span>; <span class=count id=same>{}</span> same, <span class=count "
      "id=differ>{}</span> differ, <span class=count id=only-a>{}</span> only in A, <span class=count "
      "id=only-b>{}</span> only in B{}; <span class=count id=accepted>{}</span> of the differences accepted.</p>\n",
      HtmlEscape(d.version), c.routes[0], c.routes[1], c.same, c.differ, c.onlyA, c.onlyB, LeftOut(c), c.accepted);
  const std::vector<std::string> notices = Notices(c);
  if (!notices.empty()) {
    out.Append("<ul id=notices>");
    for (const auto& notice : notices) Put(out, "<li class=warn>{}</li>", Html(notice));
    out.Append("</ul>\n");
  }
  out.Append("<div>");
  PutTallies(out, "by-vrf", "VRF", c.byVrf, "(default)");
  PutTallies(out, "by-protocol", "protocol", c.byProtocol, "(none)");
  out.Append("</div>\n<div id=filters>");
  for (int k = 0; k < kDiffKinds; ++k)
    Put(out, "<label><input type=checkbox name=kind value={} checked> {} ({})</label>", kDiffKindNames[k],
        kKindLabels[k], c.perKind[k]);
  Put(out,
      "<label><input type=checkbox id=show-accepted checked> accepted ({})</label></div>\n"
      "<p><input type=search id=search placeholder=\"search prefixes, next hops, interfaces, raw lines\" "
      "aria-label=search></p>\n<p><span id=shown>0</span> of <span id=matching>{}</span> matching differences "
      "shown ({} in all)<span id=more hidden>: <button id=next>500 more</button> <button id=all>all</button></span>"
      "</p>\n<table id=diffs><thead><tr><th data-sort=number>#<th data-sort=vrf>VRF<th data-sort=prefix>prefix"
      "<th data-sort=status>status<th data-sort=what>what differs<th data-sort=a>A<th data-sort=b>B"
      "<th data-sort=lines>lines</tr></thead><tbody></tbody></table>\n"
      "<noscript>The table needs JavaScript; the CSV and JSON Lines reports hold the same.</noscript>\n<script>"
      "var kinds=[",
      c.accepted, c.diffs.size(), c.diffs.size());
  for (int k = 0; k < kDiffKinds; ++k) Put(out, "{}\"{}\"", k ? "," : "", kDiffKindNames[k]);
  out.Append("],logs=[");
  for (int s = 0; s < 2; ++s) {
    std::string names;
    for (const Source& src : d.table[s]->sources)
      names += (names.empty() ? "\"" : ",\"") + ScriptString(src.name) + "\"";
    Put(out, "{}[{}]", s ? "," : "", names);
  }
  // The rows as data of the script, drawn a few hundred at a time: a page of
  // ten thousand routes opens at once, where as many table rows take
  // seconds to lay out. Strings only as the script's own, escaped.
  out.Append("],rows=[\n");
  const bool pieces = d.table[0]->sources.size() > 1 || d.table[1]->sources.size() > 1;
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < records.Size(); ++i) {
    const DiffRecord v = records[i];
    std::string logs;
    for (int s = 0; pieces && s < 2; ++s) logs += fmt::format(",{}", v.side[s].log);
    const std::string row = fmt::format(
        "[{},\"{}\",\"{}\",\"{}\",\"{}\",\"{}\",{},{}{}],\n", v.kinds | (v.accepted ? 256 : 0), ScriptString(v.vrf),
        v.prefix, ScriptString(WhatCell(v)), ScriptString(SideCell(v.side[0])), ScriptString(SideCell(v.side[1])),
        v.side[0].present ? v.side[0].line : 0, v.side[1].present ? v.side[1].line : 0, logs);
    out.Append(row);
    bytes += row.size();
  }
  // The raw lines of each route, shown under it on a click, while they fit.
  out.Append("],raw=[\n");
  std::size_t kept = 0;
  for (const RouteDiff& diff : c.diffs) {
    const std::uint32_t index[2] = {diff.a, diff.b};
    std::string text[2];
    bool found = bytes < kPageBytes;
    for (int s = 0; found && s < 2; ++s) {
      if (index[s] == kAbsent) continue;
      const auto route = d.routeText[s].find(index[s]);
      found = route != d.routeText[s].end();
      if (found) text[s] = ScriptString(Packed(route->second));
    }
    if (!found) break;
    Put(out, "[\"{}\",\"{}\"],\n", text[0], text[1]);
    bytes += text[0].size() + text[1].size();
    ++kept;
  }
  // The data's script leaves the page once run: it is most of the page's
  // bytes, which a browser would otherwise keep as text beside the arrays.
  Put(out, "],kept={};document.currentScript.remove();</script>\n", kept);
  out.Append("<h2>Warnings</h2>\n<ul id=warnings>");
  if (d.table[0]->Warnings() + d.table[1]->Warnings() + c.warnings.size() == 0) out.Append("<li>none</li>");
  for (int s = 0; s < 2; ++s) {
    const Table& t = *d.table[s];
    for (const Warning& w : t.warnings)
      Put(out, "<li class=warn>{} {}:{}: {}</li>\n", kSide[s], Html(t.sources[w.source].name), w.line, Html(w.text));
    if (t.warnings.size() < t.Warnings())
      Put(out, "<li>{} {} more warnings not listed</li>\n", kSide[s], t.Warnings() - t.warnings.size());
  }
  for (const auto& warning : c.warnings) Put(out, "<li class=warn>{}</li>\n", Html(warning));
  out.Append("</ul>\n<h2>Unparsed lines</h2>\n<table id=unparsed><tr><th>side<th>log<th>line<th>text</tr>\n");
  for (int s = 0; s < 2; ++s) {
    const Table& t = *d.table[s];
    for (std::size_t i = 0; i < t.unparsed.size(); ++i)
      Put(out, "<tr><td>{}<td>{}<td>{}<td><pre>{}</pre></tr>\n", kSide[s], Html(t.sources[t.unparsed[i].source].name),
          t.unparsed[i].line, Html(d.unparsedText[s][i]));
    if (t.unparsed.size() < t.Unparsed())
      Put(out, "<tr><td>{}<td colspan=3>{} more not listed</tr>\n", kSide[s], t.Unparsed() - t.unparsed.size());
  }
  if (d.table[0]->Unparsed() + d.table[1]->Unparsed() == 0) out.Append("<tr><td colspan=4>none</tr>\n");
  Put(out, "</table>\n<script>{}</script>\n</body></html>\n", kScript);
}

}  // namespace kestrel::compare
