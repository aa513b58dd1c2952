// libFuzzer: arbitrary bytes as the pieces of one log, converted both ways a
// run can go, two passes and a single pass, through real files. Both must
// give the same bytes, with one CR LF-ended line for each line of the log,
// and the very bytes of the rewrite written out plainly below.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "conversion_run.h"
#include "test_files.h"

namespace {

// The pieces converted one after another by one rewriter, the output of each
// appended to the result.
std::string ConvertPieces(const std::vector<std::string>& pieces, bool twoPasses, bool& failed) {
  static const kestrel::test::ScratchDir dir;
  kestrel::LineRewriter rewriter;
  kestrel::ConversionRun run(rewriter);
  const kestrel::RunRequest request{
      .inputPath = dir / "in.log", .outputPath = dir / "out.log", .tempDir = dir.Path(), .maxLineLength = 1000};
  std::string converted;
  for (const std::string& piece : pieces) {
    kestrel::test::WriteFile(request.inputPath, piece);
    const kestrel::RunResult result = twoPasses ? run.Execute(request) : run.ExecuteSinglePass(request);
    failed = failed || result.status != kestrel::RunStatus::Finished;
    converted += failed ? result.error : kestrel::test::ReadFile(request.outputPath);
  }
  return converted;
}

// The rewrite, line by line, in the plainest terms, with nothing of the
// rewriter's speed: what the converted pieces must be, byte for byte.
class PlainRewrite {
 public:
  // A piece of the log: its CRs dropped, each of its lines rewritten and
  // ended with CR LF, the last too.
  std::string Piece(std::string piece) {
    piece.erase(std::remove(piece.begin(), piece.end(), '\r'), piece.end());
    if (!piece.empty() && piece.back() != '\n') piece += '\n';
    std::string out;
    for (std::size_t at = 0; at < piece.size();) {
      const std::size_t lf = piece.find('\n', at);
      out += Line(piece.substr(at, lf - at)) + "\r\n";
      at = lf + 1;
    }
    return out;
  }

 private:
  // A second field naming an interface: a blank, then one of the five
  // families' first four letters.
  static bool Interface(const std::string& field) {
    if (field.size() < 5 || field[0] != ' ') return false;
    const std::string family = field.substr(1, 4);
    return family == "Giga" || family == "Fast" || family == "Tunn" || family == "Loop" || family == "Virt";
  }

  std::string Line(const std::string& line) {
    std::vector<std::size_t> commas;  // the first three
    for (std::size_t i = 0; i < line.size() && commas.size() < 3; ++i)
      if (line[i] == ',') commas.push_back(i);
    // The column of the "v" of the first " via " in the first field, 0 if none.
    const std::size_t first = commas.empty() ? line.size() : commas[0];
    std::size_t via = 0;
    for (std::size_t i = 1; via == 0 && i < first && i + 3 < line.size(); ++i)
      if (line.compare(i - 1, 5, " via ") == 0) via = i;
    const bool blank = line.substr(0, via) == std::string(via, ' ');

    if (commas.size() < 2 || !Interface(line.substr(commas[0] + 1, commas[1] - commas[0] - 1))) {
      if (via != 0 && !blank) head_ = line.substr(0, via);
      return line;
    }
    const std::size_t third = commas.size() == 3 ? commas[2] : line.size();
    std::string out = line.substr(0, commas[0]) + "," + line.substr(commas[1] + 1, third - commas[1] - 1) + "," +
                      line.substr(commas[0] + 1, commas[1] - commas[0] - 1) + line.substr(third);
    // A continuation: blank up to " via " in its route's column. It takes
    // the head's columns from its first "[" up to the blank before " via ".
    // Any other swapped line starts a route, even one without " via ".
    if (via == 0 || via != head_.size() || !blank) {
      head_ = line.substr(0, via);
      return out;
    }
    const std::size_t bracket = head_.find('[');
    if (bracket != std::string::npos && bracket + 1 < via)
      out.replace(bracket, via - 1 - bracket, head_, bracket, via - 1 - bracket);
    return out;
  }

  std::string head_;  // the route's first line up to the "v" of its " via "
};

void Check(bool holds, const char* rule) {
  if (holds) return;
  std::fprintf(stderr, "conversion rule broken: %s\n", rule);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte tells how many pieces the rest is cut into.
  const std::string log(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t count = data[0] % 4 + 1, step = log.size() / count + 1;
  std::vector<std::string> pieces;
  std::size_t lines = 0, bytes = 0;
  for (std::size_t at = 0; at < log.size() || pieces.empty(); at += step) {
    pieces.push_back(log.substr(at, step));
    std::string kept = pieces.back();  // without its CRs, ended by a LF
    kept.erase(std::remove(kept.begin(), kept.end(), '\r'), kept.end());
    if (!kept.empty() && kept.back() != '\n') kept += '\n';
    lines += std::count(kept.begin(), kept.end(), '\n');
    bytes += kept.size();
  }
  bool failed = false;
  const std::string converted = ConvertPieces(pieces, true, failed);
  Check(converted == ConvertPieces(pieces, false, failed), "the two ways differ");
  if (failed) return 0;
  std::size_t crlf = 0;
  for (std::size_t at = 0; (at = converted.find("\r\n", at)) != std::string::npos; at += 2) ++crlf;
  Check(crlf == lines, "one CR LF per line");
  Check(converted.size() == bytes + lines, "every byte but CRs kept");
  PlainRewrite plain;
  std::string expected;
  for (const std::string& piece : pieces) expected += plain.Piece(piece);
  Check(converted == expected, "the rewrite as plainly written");
  return 0;
}
