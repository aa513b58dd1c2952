#include "command_line.h"

#include <algorithm>
#include <vector>

#include "io_error.h"

namespace kestrel {
namespace {

// The option that `app` knows by this long name, or by this short one's
// letter; null for none.
CLI::Option* FindOption(CLI::App& app, const std::string& name, bool isLong) {
  for (CLI::Option* option : app.get_options())
    if (isLong ? option->check_lname(name) : option->check_sname(name)) return option;
  return nullptr;
}

bool TakesValue(const CLI::Option& option) { return option.get_items_expected_max() > 0; }

std::string Quoted(const std::string& option) { return "'" + PrintableName(option) + "'"; }

}  // namespace

std::string ParseCommandLine(CLI::App& app, int argc, char** argv, std::vector<std::string>& arguments) {
  std::vector<std::string> given(argv + 1, argv + argc);
#ifdef _WIN32
  // The help, as Windows programs give it.
  if (std::find(given.begin(), given.end(), "/?") != given.end()) given = {"--help"};
#endif
  // Each option is checked here, in the order given, and passed on to CLI11
  // in the forms it reads as meant: `--name VALUE` for `--name=VALUE`, since
  // for an empty value after `=` it would take the next argument instead.
  // CLI11 takes the argument after an option that needs a value as that
  // value, whatever it looks like, as GNU programs do. The other arguments
  // are kept here: CLI11 would read a name such as `[a,b]` as two.
  std::vector<std::string> words;
  arguments.clear();
  for (std::size_t i = 0; i < given.size(); ++i) {
    const std::string& word = given[i];
    if (word == "--") {
      arguments.insert(arguments.end(), given.begin() + static_cast<std::ptrdiff_t>(i) + 1, given.end());
      break;
    }
    if (word.size() < 2 || word[0] != '-') {
      arguments.push_back(word);
      continue;
    }
    if (word[1] == '-') {
      // A long option: its name in full, no abbreviation.
      const std::size_t equals = word.find('=');
      const std::string name = word.substr(0, equals);
      const CLI::Option* option = FindOption(app, name.substr(2), true);
      if (!option) return "unknown option " + Quoted(name);
      if (!TakesValue(*option)) {
        if (equals != std::string::npos) return "option " + Quoted(name) + " takes no value";
        words.push_back(word);
      } else if (equals != std::string::npos) {
        words.push_back(name);
        words.push_back(word.substr(equals + 1));
      } else if (i + 1 < given.size()) {
        words.push_back(word);
        words.push_back(given[++i]);
      } else {
        return "option " + Quoted(name) + " needs a value";
      }
      continue;
    }
    // Short options written together: flags, the last of them perhaps one
    // that takes a value, attached to it or in the next argument.
    words.push_back(word);
    for (std::size_t j = 1; j < word.size(); ++j) {
      const std::string name = std::string("-") + word[j];
      const CLI::Option* option = FindOption(app, name.substr(1), false);
      if (!option) return "unknown option " + Quoted(name);
      if (!TakesValue(*option)) continue;
      if (j + 1 == word.size()) {
        if (i + 1 == given.size()) return "option " + Quoted(name) + " needs a value";
        words.push_back(given[++i]);
      }
      break;
    }
  }
  // An option of one value given twice: the last counts.
  for (CLI::Option* option : app.get_options())
    if (option->get_items_expected_max() <= 1) option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  std::reverse(words.begin(), words.end());  // CLI11 takes them last first
  try {
    app.parse(words);
  } catch (const CLI::ParseError& e) {
    return e.what();
  }
  return "";
}

}  // namespace kestrel
