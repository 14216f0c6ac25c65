// The manners every tool's command line shares (see common_Command.h).
#include "common_Command.h"

#include <memory>

namespace uma::common {

namespace {

// Help that opens with the command's forms and what it does, then the options CLI11 lists.
class Formatter : public CLI::Formatter {
 public:
  Formatter(std::string synopsis, std::string description)
      : m_synopsis(std::move(synopsis)), m_description(std::move(description)) {
    column_width(24);
  }
  std::string make_description(const CLI::App*) const override {
    return m_synopsis + "\n" + m_description;
  }
  std::string make_usage(const CLI::App*, std::string) const override { return ""; }

 private:
  std::string m_synopsis, m_description;
};

// `text` broken into lines of at most `width` characters, at spaces.
std::string Wrapped(const std::string& text, std::size_t width) {
  std::string out, line;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      out += line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    start = end + 1;
  }
  return out + line;
}

}  // namespace

void SetUpCommand(CLI::App& app, const std::string& synopsis, const std::string& description,
                  const std::string& done, const std::string& failed) {
  app.formatter(std::make_shared<Formatter>(synopsis, description));
  // An option given twice takes its last value, as a later word overrides an earlier one.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.set_help_flag("-h,--help", "print this help and exit");
  app.set_version_flag("--version", app.get_name() + " " + UMA_VERSION,
                       "print the program's name and version and exit");
  app.footer(Wrapped("Exit status: 0 " + done + ", 1 " + failed + ", 2 for a usage error.", 92));
}

std::optional<int> ParseCommand(CLI::App& app, int argc, const char* const* argv, std::FILE* out,
                                std::FILE* err) {
  try {
    app.parse(argc, argv);
    return std::nullopt;
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), out);
    return kExitDone;
  } catch (const CLI::CallForVersion& e) {
    std::fprintf(out, "%s\n", e.what());
    return kExitDone;
  } catch (const CLI::ParseError& e) {
    return UsageError(app, err, e.what());
  }
}

int UsageError(const CLI::App& app, std::FILE* err, const std::string& problem) {
  std::fprintf(err, "%s: %s\nRun %s --help for the options.\n", app.get_name().c_str(),
               problem.c_str(), app.get_name().c_str());
  return kExitUsage;
}

}  // namespace uma::common
