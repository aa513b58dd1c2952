// libFuzzer: arbitrary bytes as the pieces of one log, converted both ways a
// run can go, two passes and a single pass, through real files. Both must
// give the same bytes, with one CR LF-ended line for each line of the log.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "conversion_run.h"

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The pieces converted one after another by one rewriter, the output of each
// appended to the result.
std::string ConvertPieces(const std::vector<std::string>& pieces, bool twoPasses, bool& failed) {
  static const std::string dir = [] {
    std::string pattern = "/tmp/kestrel-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) std::abort();
    return pattern;
  }();
  kestrel::LineRewriter rewriter;
  kestrel::ConversionRun run(rewriter);
  kestrel::RunRequest request;
  request.inputPath = dir + "/in.log";
  request.outputPath = dir + "/out.log";
  request.tempDir = dir;
  request.maxLineLength = 1000;
  std::string converted;
  for (const std::string& piece : pieces) {
    std::ofstream(request.inputPath, std::ios::binary) << piece;
    const kestrel::RunResult result = twoPasses ? run.Execute(request) : run.ExecuteSinglePass(request);
    failed = failed || result.status != kestrel::RunStatus::Finished;
    converted += failed ? result.error : Slurp(request.outputPath);
  }
  return converted;
}

[[noreturn]] void Broken(const char* rule) {
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
    std::string kept;  // the piece without its CRs
    for (char c : pieces.back())
      if (c != '\r') kept += c;
    lines += std::count(kept.begin(), kept.end(), '\n') + (!kept.empty() && kept.back() != '\n');
    bytes += kept.size() + (!kept.empty() && kept.back() != '\n');
  }
  bool failed = false;
  const std::string twoPasses = ConvertPieces(pieces, true, failed);
  if (twoPasses != ConvertPieces(pieces, false, failed)) Broken("the two ways differ");
  if (!failed) {
    std::size_t crlf = 0;
    for (std::size_t at = 0; (at = twoPasses.find("\r\n", at)) != std::string::npos; at += 2) ++crlf;
    if (crlf != lines) Broken("one CR LF per line");
    if (twoPasses.size() != bytes + lines) Broken("every byte but CRs kept");
  }
  return 0;
}
