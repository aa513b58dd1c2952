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
code,pre,.mono{font-family:ui-monospace,Consolas,monospace;font-size:13px}pre{margin:2px 0;white-space:pre}
.only-a{background:#fde8e8}.only-b{background:#e6f5e6}.differs{background:#fff6dc}
#filters label{margin-right:1em;white-space:nowrap}.count{font-weight:bold}
.removed{color:#a00}.added{color:#070}.warn{color:#8a5a00}
tr[hidden]{display:none}
)";

const char kScript[] = R"(
(function () {
  var rows = Array.prototype.slice.call(document.querySelectorAll('#diffs tbody tr'));
  var boxes = Array.prototype.slice.call(document.querySelectorAll('#filters input'));
  function apply() {
    var on = {}, shown = 0;
    boxes.forEach(function (b) { on[b.value] = b.checked; });
    rows.forEach(function (r) {
      var show = r.dataset.kinds.split(' ').some(function (k) { return on[k]; });
      r.hidden = !show;
      if (show) shown++;
    });
    document.getElementById('shown').textContent = shown;
  }
  var wanted = decodeURIComponent(location.hash.replace(/^#/, ''));
  if (wanted) boxes.forEach(function (b) { b.checked = wanted.split(',').indexOf(b.value) >= 0; });
  boxes.forEach(function (b) { b.addEventListener('change', apply); });
  document.querySelectorAll('#diffs th').forEach(function (th, col) {
    th.addEventListener('click', function () {
      var down = th.classList.contains('up');
      document.querySelectorAll('#diffs th').forEach(function (h) { h.className = ''; });
      th.className = down ? 'down' : 'up';
      var key = function (r) {
        var t = r.cells[col].textContent;
        return col === 0 || col === 2 ? Number(r.cells[0].textContent) : t;
      };
      rows.sort(function (x, y) {
        var a = key(x), b = key(y), c = a < b ? -1 : a > b ? 1 : 0;
        return down ? -c : c;
      });
      var body = document.querySelector('#diffs tbody');
      rows.forEach(function (r) { body.appendChild(r); });
    });
  });
  apply();
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

std::string SideCell(const SideView& side) {
  if (!side.present) return "";
  std::string out = HtmlEscape(side.protocol) + (side.bracket.empty() ? "" : " " + side.bracket);
  for (const auto& hop : side.hops) out += "<br>" + HtmlEscape(hop);
  return out;
}

std::string WhatCell(const DiffView& v) {
  std::string out;
  if (!v.covering.empty()) out += "covered by " + HtmlEscape(v.covering);
  for (const auto& hop : v.removed) out += "<span class=removed>&minus;" + HtmlEscape(hop) + "</span><br>";
  for (const auto& hop : v.added) out += "<span class=added>+" + HtmlEscape(hop) + "</span><br>";
  const auto bracket = [](const SideView& s) { return s.bracket.empty() ? std::string("none") : s.bracket; };
  if (v.kinds & kDistance) out += "distance " + bracket(v.side[0]) + " &rarr; " + bracket(v.side[1]) + "<br>";
  if (v.kinds & kMetric) out += "metric " + bracket(v.side[0]) + " &rarr; " + bracket(v.side[1]) + "<br>";
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
      "id=only-b>{}</span> only in B.</p>\n<div id=filters>",
      HtmlEscape(d.version), c.routes[0], c.routes[1], c.same, c.differ, c.onlyA, c.onlyB);
  for (int k = 0; k < kDiffKinds; ++k)
    Put(out, "<label><input type=checkbox value={} checked> {} ({})</label>", kDiffKindNames[k], kKindLabels[k],
        c.perKind[k]);
  Put(out,
      "</div>\n<p><span id=shown>{}</span> of {} differences shown.</p>\n<table id=diffs><thead><tr><th>#<th>VRF"
      "<th>prefix<th>status<th>what differs<th>A<th>B<th>lines</tr></thead><tbody>\n",
      c.diffs.size(), c.diffs.size());
  for (std::size_t i = 0; i < c.diffs.size(); ++i) {
    const RouteDiff& diff = c.diffs[i];
    const DiffView v = Describe(*d.table[0], *d.table[1], diff, *d.rules, d.covering);
    std::string kinds, raw, where;
    for (int k = 0; k < kDiffKinds; ++k)
      if (diff.kinds & (1 << k)) kinds.append(kinds.empty() ? "" : " ").append(kDiffKindNames[k]);
    const std::uint32_t index[2] = {diff.a, diff.b};
    for (int s = 0; s < 2; ++s) {
      if (!v.side[s].present) continue;
      const auto found = d.routeText[s].find(index[s]);
      raw += fmt::format("{}{} {}:{}\n{}", raw.empty() ? "" : "\n", kSide[s], HtmlEscape(v.side[s].file),
                         v.side[s].line, found == d.routeText[s].end() ? "" : HtmlEscape(found->second));
      where += fmt::format("{}{} {}", where.empty() ? "" : " &middot; ", kSide[s], v.side[s].line);
    }
    const char* status = diff.kinds & kOnlyA ? "only-a" : diff.kinds & kOnlyB ? "only-b" : "differs";
    Put(out,
        "<tr class={} data-kinds=\"{}\"><td>{}<td>{}<td class=mono>{}<td>{}<td>{}<td class=mono>{}<td class=mono>{}"
        "<td><details><summary>{}</summary><pre>{}</pre></details></tr>\n",
        status, kinds, i + 1, HtmlEscape(v.vrf), v.prefix, status, WhatCell(v), SideCell(v.side[0]),
        SideCell(v.side[1]), where, raw);
  }
  out.Append("</tbody></table>\n<h2>Warnings</h2>\n<ul id=warnings>");
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
