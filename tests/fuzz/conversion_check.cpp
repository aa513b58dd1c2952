#include "conversion_check.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "conversion_run.h"
#include "line_rewriter.h"

namespace kestrel::test {
namespace {

[[noreturn]] void Broken(const std::string& rule, std::size_t line) {
  std::fprintf(stderr, "conversion rule broken: %s (line %zu)\n", rule.c_str(), line);
  std::abort();
}

// A directory of the process's own for the runs' files.
const std::string& WorkDir() {
  static const std::string dir = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestrel-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) std::abort();
    std::atexit([] { ::rmdir(WorkDir().c_str()); });
    return pattern;
  }();
  return dir;
}

std::vector<std::string_view> Split(std::string_view text, char at) {
  std::vector<std::string_view> parts;
  for (std::size_t from = 0;;) {
    const std::size_t to = text.find(at, from);
    if (to == std::string_view::npos) {
      parts.push_back(text.substr(from));
      return parts;
    }
    parts.push_back(text.substr(from, to - from));
    from = to + 1;
  }
}

bool NamesInterface(std::string_view field) {
  const std::string_view head = field.substr(0, 5);
  return head == " Giga" || head == " Fast" || head == " Tunn" || head == " Loop" || head == " Virt";
}

void CheckLine(std::string_view in, std::string_view out, std::vector<std::string>& heads, std::size_t number) {
  if (out.size() != in.size()) Broken("length changed", number);
  const std::vector<std::string_view> fields = Split(in, ',');
  if (fields.size() < 3 || !NamesInterface(fields[1])) {
    if (out != in) Broken("a line without an interface field changed", number);
    return;
  }
  const std::string_view head = fields[0];
  std::string tail;
  tail.append(",").append(fields[2]).append(",").append(fields[1]);
  for (std::size_t i = 3; i < fields.size(); ++i) tail.append(",").append(fields[i]);
  if (out.substr(head.size()) != tail) Broken("fields other than the swap moved", number);
  const std::string_view newHead = out.substr(0, head.size());
  if (newHead != head) {
    bool fromAnEarlierHead = false;
    for (const std::string& earlier : heads) {
      bool matches = true;
      for (std::size_t i = 0; i < head.size() && matches; ++i)
        if (newHead[i] != head[i]) matches = head[i] == ' ' && i < earlier.size() && earlier[i] == newHead[i];
      if (matches) {
        fromAnEarlierHead = true;
        break;
      }
    }
    if (!fromAnEarlierHead) Broken("the head took bytes no earlier head has", number);
  }
  heads.emplace_back(head);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace

void CheckConversion(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const std::size_t runs = 1 + data[0] % 4;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string log = WorkDir() + "/log";
  const std::string out = WorkDir() + "/out";
  LineRewriter rewriter;  // one remembered head across the runs
  std::vector<std::string> heads;
  std::size_t number = 0;
  for (std::size_t run = 0; run < runs; ++run) {
    const std::size_t from = bytes.size() * run / runs;
    const std::string_view piece = bytes.substr(from, bytes.size() * (run + 1) / runs - from);
    {
      std::ofstream file(log, std::ios::binary | std::ios::trunc);
      file.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    }
    RunRequest request;
    request.inputPath = log;
    request.outputPath = out;
    request.tempDir = WorkDir();
    ConversionRun conversion(rewriter);
    const RunResult result = conversion.Execute(request);
    if (result.status != RunStatus::Finished) Broken("the run failed: " + result.error, number);

    std::string normalised;
    for (char c : piece)
      if (c != '\r') normalised += c;
    std::vector<std::string_view> lines = Split(normalised, '\n');
    if (lines.back().empty()) lines.pop_back();  // the last line end closes no further line
    const std::string converted = ReadAll(out);
    std::vector<std::string_view> written = Split(converted, '\n');
    if (!written.back().empty()) Broken("the output does not end with a line end", number);
    written.pop_back();
    if (written.size() != lines.size()) Broken("the output has another number of lines", number);
    for (std::size_t i = 0; i < lines.size(); ++i, ++number) {
      std::string_view line = written[i];
      if (line.empty() || line.back() != '\r') Broken("a line does not end with CR LF", number);
      line.remove_suffix(1);
      if (line.find('\r') != std::string_view::npos) Broken("a CR inside a line", number);
      CheckLine(lines[i], line, heads, number);
    }
  }
  ::unlink(log.c_str());
  ::unlink(out.c_str());
}

}  // namespace kestrel::test
