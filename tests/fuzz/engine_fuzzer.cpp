// libFuzzer: arbitrary bytes as the pieces of one log, converted both ways a
// run can go, two passes and a single pass, through real files. Both must
// give the same bytes, with one CR LF-ended line for each line of the log.

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
  return 0;
}
