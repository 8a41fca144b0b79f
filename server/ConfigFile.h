// The server's configuration file: one "name = value" setting a line, the names of the
// command-line options without their dashes. Blank lines and lines starting with # are
// skipped; the value is the rest of the line, spaces around it trimmed.
#pragma once

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace tk::scores {

struct TConfigSetting {
  std::string Name, Value;
  int Line = 0;  // counted from 1
};

// A file that cannot be read or a line that is not a known setting.
class TConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The settings of TEXT in file order. A line without "=", a name outside KNOWN or a name
// set twice throws TConfigError "SOURCE:LINE: what is wrong".
std::vector<TConfigSetting> ParseConfig(const std::string& text, const std::string& source,
                                        const std::set<std::string>& known);

// The same for the file at PATH; "cannot read PATH: reason" when it cannot be read.
std::vector<TConfigSetting> ReadConfigFile(const std::string& path,
                                           const std::set<std::string>& known);

}  // namespace tk::scores
