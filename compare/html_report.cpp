// The report as one HTML page that needs nothing else: its styles and its
// script are inline, so it opens from a mail or a ticket without a network.

#include <fmt/format.h>

#include "report.h"

namespace kestrel::compare {
namespace {

const char kStyle[] = R"(
body{font:14px/1.4 system-ui,sans-serif;margin:1.5em;color:#222}
h1{font-size:1.4em;margin:0 0 .5em}h2{font-size:1.1em;margin:1.5em 0 .4em}
table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:2px 6px;text-align:left;vertical-align:top}
th{background:#eee;cursor:pointer;user-select:none}th.up::after{content:" \25B2"}th.down::after{content:" \25BC"}
pre,.mono,#diffs td:nth-child(3),#diffs td:nth-child(6),#diffs td:nth-child(7){font-family:ui-monospace,Consolas,monospace;font-size:13px}
pre{margin:2px 0;white-space:pre}#diffs td{white-space:pre-line}#diffs tbody tr{cursor:pointer}[hidden]{display:none}
.only-a{background:#fde8e8}.only-b{background:#e6f5e6}.differs{background:#fff6dc}tr.raw td{background:#f8f8f8}
#filters label{margin-right:1em;white-space:nowrap}.count{font-weight:bold}
.removed{color:#a00}.added{color:#070}.warn{color:#8a5a00}
)";

const char kScript[] = R"(
(function () {
  // The rows that match the filter, in the order asked; the first `limit` are drawn.
  var body = document.querySelector('#diffs tbody'), limit = 500, shown = [], order = rows.map(function (r, i) {
    return i;
  });
  var boxes = Array.prototype.slice.call(document.querySelectorAll('#filters input'));
  function draw() {
    body.innerHTML = shown.slice(0, limit).map(function (i) {
      return '<tr class=' + rows[i][0] + ' data-kinds="' + rows[i][1] + '" data-i=' + i + '>' + rows[i][2] + '</tr>';
    }).join('');
    document.getElementById('shown').textContent = shown.length;
    document.getElementById('more').hidden = shown.length <= limit;
  }
  function filter() {
    var on = {};
    boxes.forEach(function (b) { on[b.value] = b.checked; });
    shown = order.filter(function (i) {
      return rows[i][1].split(' ').some(function (k) { return on[k]; });
    });
    draw();
  }
  var wanted = decodeURIComponent(location.hash.replace(/^#/, ''));
  if (wanted) boxes.forEach(function (b) { b.checked = wanted.split(',').indexOf(b.value) >= 0; });
  boxes.forEach(function (b) { b.addEventListener('change', filter); });
  document.getElementById('next').onclick = function () { limit += 500; draw(); };
  document.getElementById('all').onclick = function () { limit = rows.length; draw(); };
  // A click on a route shows its raw lines from both logs under it, or hides them.
  body.addEventListener('click', function (e) {
    var row = e.target.closest('tr'), next = row && row.nextElementSibling;
    if (!row || row.className === 'raw') return;
    if (next && next.className === 'raw') return next.remove();
    var tr = document.createElement('tr'), td = tr.insertCell(), pre = document.createElement('pre');
    tr.className = 'raw';
    td.colSpan = 8;
    pre.textContent = raw[Number(row.dataset.i)];
    td.appendChild(pre);
    row.after(tr);
  });
  document.querySelectorAll('#diffs th').forEach(function (th, col) {
    th.addEventListener('click', function () {
      var down = th.classList.contains('up');
      document.querySelectorAll('#diffs th').forEach(function (h) { h.className = ''; });
      th.className = down ? 'down' : 'up';
      var key = order.map(function (i) {  // the cell's text; the rows come in prefix order
        return col === 0 || col === 2 ? i : rows[i][2].split('<td>')[col + 1].replace(/<[^>]*>/g, '');
      });
      order.sort(function (x, y) {
        var c = key[x] < key[y] ? -1 : key[x] > key[y] ? 1 : 0;
        return down ? -c : c;
      });
      filter();
    });
  });
  filter();
})();
)";

const char* const kKindLabels[kDiffKinds] = {"only in A", "only in B", "next hops",        "distance",
                                             "metric",    "protocol",  "candidate default"};

template <typename... T>
void Put(BlockWriter& out, fmt::format_string<T...> format, T&&... args) {
  fmt::memory_buffer buffer;
  fmt::format_to(std::back_inserter(buffer), format, std::forward<T>(args)...);
  out.Append({buffer.data(), buffer.size()});
}

// Text as a string of a script: JSON's escapes, and no "</" to end the script.
std::string ScriptString(std::string_view text) {
  const std::string json = JsonEscape(text);
  std::string out;
  for (std::size_t i = 0; i < json.size(); ++i) {
    if (json[i] == '/' && i > 0 && json[i - 1] == '<') out += '\\';
    out += json[i];
  }
  return out;
}

std::string SideCell(const SideView& side) {
  if (!side.present) return "";
  std::string out = HtmlEscape(side.protocol) + (side.bracket.empty() ? "" : " " + side.bracket);
  for (const auto& hop : side.hops) out.append("\n").append(HtmlEscape(hop));
  return out;
}

std::string WhatCell(const DiffView& v) {
  std::string out;
  if (!v.covering.empty()) out += "covered by " + HtmlEscape(v.covering);
  for (const auto& hop : v.removed) out += "<span class=removed>&minus;" + HtmlEscape(hop) + "</span>\n";
  for (const auto& hop : v.added) out += "<span class=added>+" + HtmlEscape(hop) + "</span>\n";
  const auto bracket = [](const SideView& s) { return s.bracket.empty() ? std::string("none") : s.bracket; };
  if (v.kinds & kDistance) out += "distance " + bracket(v.side[0]) + " &rarr; " + bracket(v.side[1]) + "\n";
  if (v.kinds & kMetric) out += "metric " + bracket(v.side[0]) + " &rarr; " + bracket(v.side[1]) + "\n";
  if (v.kinds & (kProtocol | kCandidateDefault))
    out += "protocol " + HtmlEscape(v.side[0].protocol) + " &rarr; " + HtmlEscape(v.side[1].protocol);
  return out;
}

}  // namespace

void WriteHtml(const ReportData& d, BlockWriter& out) {
  const Comparison& c = *d.comparison;
  Put(out,
      "<!DOCTYPE html>\n<html lang=en><head><meta charset=utf-8><title>kestrel-compare {}</title><style>{}</style>"
      "</head><body>\n<h1>Routing tables compared</h1>\n<table id=inputs><tr><th>side<th>log<th>bytes<th>SHA-256"
      "<th>lines = header + route + continuation + unparsed</tr>\n",
      HtmlEscape(d.version), kStyle);
  const char kSide[2] = {'A', 'B'};
  for (int s = 0; s < 2; ++s)
    for (const Source& src : d.table[s]->sources)
      Put(out, "<tr><td>{}<td>{}<td>{}<td class=mono>{}<td>{} = {} + {} + {} + {}</tr>\n", kSide[s],
          HtmlEscape(src.name), src.size, src.sha256, src.Lines(), src.Header(), src.Count(LineKind::Route),
          src.Count(LineKind::Continuation), src.Count(LineKind::Unparsed));
  out.Append("</table>\n<ul id=rules>");
  for (const auto& rule : RulesInWords(d)) Put(out, "<li>{}</li>", HtmlEscape(rule));
  Put(out,
      "<li>kestrel-compare {}</li></ul>\n<p id=summary>Routes compared: A <span class=count id=routes-a>{}</span>, "
      "B <span class=count id=routes-b>{}</span>; <span class=count id=same>{}</span> same, <span class=count "
      "id=differ>{}</span> differ, <span class=count id=only-a>{}</span> only in A, <span class=count "
      "id=only-b>{}</span> only in B{}.</p>\n<div id=filters>",
      HtmlEscape(d.version), c.routes[0], c.routes[1], c.same, c.differ, c.onlyA, c.onlyB, LeftOut(c));
  for (int k = 0; k < kDiffKinds; ++k)
    Put(out, "<label><input type=checkbox value={} checked> {} ({})</label>", kDiffKindNames[k], kKindLabels[k],
        c.perKind[k]);
  Put(out,
      "</div>\n<p><span id=shown>{}</span> of {} differences shown. <span id=more hidden>The first are drawn: "
      "<button id=next>500 more</button> <button id=all>all</button></span></p>\n<table id=diffs><thead><tr><th>#"
      "<th>VRF<th>prefix<th>status<th>what differs<th>A<th>B<th>lines</tr></thead><tbody></tbody></table>\n"
      "<noscript>The table needs JavaScript; the CSV and JSON Lines reports hold the same.</noscript>\n"
      "<script>var rows=[\n",
      c.diffs.size(), c.diffs.size());
  // The rows as strings of a script, drawn a few hundred at a time: a page
  // of ten thousand routes opens at once, where as many table rows take
  // seconds to lay out.
  for (std::size_t i = 0; i < c.diffs.size(); ++i) {
    const RouteDiff& diff = c.diffs[i];
    const DiffView v = Describe(*d.table[0], *d.table[1], diff, *d.rules, d.covering);
    std::string kinds, where;
    for (int k = 0; k < kDiffKinds; ++k)
      if (diff.kinds & (1 << k)) kinds.append(kinds.empty() ? "" : " ").append(kDiffKindNames[k]);
    for (int s = 0; s < 2; ++s)
      if (v.side[s].present)
        where += fmt::format("{}{} {}", where.empty() ? "" : " &middot; ", kSide[s], v.side[s].line);
    const char* status = diff.kinds & kOnlyA ? "only-a" : diff.kinds & kOnlyB ? "only-b" : "differs";
    Put(out, "[\"{}\",\"{}\",\"{}\"],\n", status, kinds,
        ScriptString(fmt::format("<td>{}<td>{}<td>{}<td>{}<td>{}<td>{}<td>{}<td>{}", i + 1, HtmlEscape(v.vrf), v.prefix,
                                 status, WhatCell(v), SideCell(v.side[0]), SideCell(v.side[1]), where)));
  }
  // The raw lines of each route, shown under it on a click.
  out.Append("];\nvar raw=[\n");
  for (const RouteDiff& diff : c.diffs) {
    std::string raw;
    const std::uint32_t index[2] = {diff.a, diff.b};
    for (int s = 0; s < 2; ++s) {
      if (index[s] == kAbsent) continue;
      const Table& t = *d.table[s];
      const Route& route = t.routes[index[s]];
      const auto found = d.routeText[s].find(index[s]);
      raw += fmt::format("{}{} {}:{}\n{}", raw.empty() ? "" : "\n", kSide[s], t.sources[route.source].name, route.line,
                         found == d.routeText[s].end() ? "" : found->second);
    }
    Put(out, "\"{}\",\n", ScriptString(raw));
  }
  out.Append("];</script>\n");
  out.Append("<h2>Warnings</h2>\n<ul id=warnings>");
  if (d.table[0]->Warnings() + d.table[1]->Warnings() == 0) out.Append("<li>none</li>");
  for (int s = 0; s < 2; ++s) {
    const Table& t = *d.table[s];
    for (const Warning& w : t.warnings)
      Put(out, "<li class=warn>{} {}:{}: {}</li>\n", kSide[s], HtmlEscape(t.sources[w.source].name), w.line,
          HtmlEscape(w.text));
    if (t.warnings.size() < t.Warnings())
      Put(out, "<li>{} {} more warnings not listed</li>\n", kSide[s], t.Warnings() - t.warnings.size());
  }
  out.Append("</ul>\n<h2>Unparsed lines</h2>\n<table id=unparsed><tr><th>side<th>log<th>line<th>text</tr>\n");
  for (int s = 0; s < 2; ++s) {
    const Table& t = *d.table[s];
    for (std::size_t i = 0; i < t.unparsed.size(); ++i)
      Put(out, "<tr><td>{}<td>{}<td>{}<td><pre>{}</pre></tr>\n", kSide[s],
          HtmlEscape(t.sources[t.unparsed[i].source].name), t.unparsed[i].line, HtmlEscape(d.unparsedText[s][i]));
  }
  if (d.table[0]->unparsed.empty() && d.table[1]->unparsed.empty()) out.Append("<tr><td colspan=4>none</tr>\n");
  Put(out, "</table>\n<script>{}</script>\n</body></html>\n", kScript);
}

}  // namespace kestrel::compare
