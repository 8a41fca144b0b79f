// The server's configuration file: what a line may hold, and the line number an operator
// is pointed at when it holds something else.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ConfigFile.h"

namespace tk::testing {
namespace {

using scores::ParseConfig;
using scores::TConfigError;
using scores::TConfigSetting;

const std::set<std::string> kKnown = {"listen", "port", "db", "game-dir"};

std::string Flat(const std::vector<TConfigSetting>& settings) {
  std::string out;
  for (const TConfigSetting& s : settings)
    out += std::to_string(s.Line) + ":" + s.Name + "=[" + s.Value + "] ";
  return out;
}

TEST(ConfigFile, ReadsWhatAnOperatorWrites) {
  struct Case {
    const char* Text;
    const char* Settings;
  } cases[] = {
      {"", ""},
      {"# nothing but a comment\n\n   \n", ""},
      {"port = 8642\n", "1:port=[8642] "},
      {"port=8642", "1:port=[8642] "},  // no spaces, no final newline
      {"  listen\t=  127.0.0.1  \r\nport = 1\r\n", "1:listen=[127.0.0.1] 2:port=[1] "},
      {"\xEF\xBB\xBFport = 80\n", "1:port=[80] "},
      // The value is everything after the first "=", inner spaces and "#" included.
      {"db = postgresql://u@h/d?options=-c search_path=x\n",
       "1:db=[postgresql://u@h/d?options=-c search_path=x] "},
      {"game-dir = /srv/my games/#1\n", "1:game-dir=[/srv/my games/#1] "},
      {"# listen = 0.0.0.0\n  # port = 1\nport = 2\n", "3:port=[2] "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(Flat(ParseConfig(c.Text, "scores.conf", kKnown)), c.Settings);
  }
}

TEST(ConfigFile, ABadLineIsNamedWithItsNumber) {
  struct Case {
    const char* Text;
    const char* Error;
  } cases[] = {
      {"port = 1\nport 2\n", "scores.conf:2: expected \"name = value\", found \"port 2\""},
      {"\n\n = 5\n", "scores.conf:3: a setting without a name"},
      {"prot = 8642\n", "scores.conf:1: unknown setting \"prot\""},
      {"--port = 8642\n", "scores.conf:1: unknown setting \"--port\""},
      {"Port = 8642\n", "scores.conf:1: unknown setting \"Port\""},
      {"# db\ndb =   \n", "scores.conf:2: db has no value"},
      {"port = 1\n\nport = 2\n", "scores.conf:3: port is already set on line 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    try {
      ParseConfig(c.Text, "scores.conf", kKnown);
      ADD_FAILURE() << "accepted";
    } catch (const TConfigError& e) {
      EXPECT_STREQ(e.what(), c.Error);
    }
  }
}

TEST(ConfigFile, AFileThatCannotBeReadSaysWhy) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("tinokvak-config-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "scores.conf") << "listen = ::1\nport = 0\n";
  EXPECT_EQ(Flat(scores::ReadConfigFile((dir / "scores.conf").string(), kKnown)),
            "1:listen=[::1] 2:port=[0] ");
  for (const std::filesystem::path& p : {dir / "missing.conf", dir}) {
    try {
      scores::ReadConfigFile(p.string(), kKnown);
      ADD_FAILURE() << p << " was read";
    } catch (const TConfigError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("cannot read " + p.string() + ": ", 0), 0u) << e.what();
    }
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tk::testing
