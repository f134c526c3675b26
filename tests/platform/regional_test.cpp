#include "platform/regional.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <locale.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/test_paths.h"

// glibc keeps, for the life of the process, the search path of every locale
// it loaded from $LOCPATH; the leak checker would report that as ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:__argz_add_sep\n"; }

namespace qm::platform {
namespace {

using ::testing::Contains;
using ::testing::Pair;

const RegionalValues kUnitedStates = {
    {"iDate", "0"},     {"iTime", "0"},    {"iTLZero", "0"},   {"sDate", "/"},
    {"sTime", ":"},     {"s1159", "AM"},   {"s2359", "PM"},    {"sShortDate", "M/d/yyyy"},
    {"sThousand", ","}, {"sDecimal", "."}, {"sCurrency", "$"}, {"iCurrency", "0"},
};

TEST(RegionalTest, SectionIntlGivesItsOwnKeysOnly) {
  test::TempDir dir;
  const std::string ini = dir.File("win.ini");
  { std::ofstream(ini) << "[Quillmk]\nMainDir=/x\n[INTL]\niDate = 1\nsDecimal=,\n"
                          "sThousand=.\nsCurrency=\x80\nOther=ignored\n"; }
  const RegionalValues values = ReadRegionalSettings(ini);
  EXPECT_EQ(values, (RegionalValues{{"iDate", "1"}, {"sDecimal", ","}, {"sThousand", "."},
                                    {"sCurrency", "\x80"}}));
}

TEST(RegionalTest, KeysAreFoundWithoutRegardToCase) {
  test::TempDir dir;
  const std::string ini = dir.File("win.ini");
  { std::ofstream(ini) << "[intl]\nIDATE=2\nstime=.\n"; }
  EXPECT_EQ(ReadRegionalSettings(ini), (RegionalValues{{"iDate", "2"}, {"sTime", "."}}));
}

TEST(RegionalTest, CLocaleGivesUnitedStatesValues) {
  EXPECT_EQ(RegionalValuesFromLocale("C"), kUnitedStates);
  EXPECT_EQ(RegionalValuesFromLocale("POSIX"), kUnitedStates);
  EXPECT_EQ(RegionalValuesFromLocale("C.UTF-8"), kUnitedStates);
  EXPECT_EQ(RegionalValuesFromLocale("xx_NOWHERE.UTF-8"), kUnitedStates);
}

TEST(RegionalTest, WithoutSectionIntlTheLocaleDecides) {
  test::TempDir dir;
  const std::string ini = dir.File("win.ini");
  { std::ofstream(ini) << "[Quillmk]\nMainDir=/x\n"; }
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(ReadRegionalSettings(ini), kUnitedStates);
  EXPECT_EQ(ReadRegionalSettings(dir.File("missing.ini")), kUnitedStates);
  unsetenv("LC_ALL");
}

// The mapping of real locales. The machine may have none installed, so the
// suite compiles the few it needs from the system's locale sources into a
// scratch folder, and skips when it cannot.
struct LocaleCase {
  const char* locale;  // also the folder name: definition "." character set
  RegionalValues expected;
};

const LocaleCase kLocaleCases[] = {
    // %m/%d/%Y and %r (12-hour, leading zero)
    {"en_US.ISO-8859-1",
     {{"iDate", "0"}, {"sDate", "/"}, {"sShortDate", "MM/dd/yyyy"}, {"iTime", "0"},
      {"iTLZero", "1"}, {"sTime", ":"}, {"s1159", "AM"}, {"s2359", "PM"}, {"sDecimal", "."},
      {"sThousand", ","}, {"sCurrency", "$"}, {"iCurrency", "0"}}},
    // %d.%m.%Y, %T, the euro sign after the amount with a blank
    {"de_DE.ISO-8859-15",
     {{"iDate", "1"}, {"sDate", "."}, {"sShortDate", "dd.MM.yyyy"}, {"iTime", "1"},
      {"iTLZero", "1"}, {"sTime", ":"}, {"sDecimal", ","}, {"sThousand", "."},
      {"sCurrency", "\x80"}, {"iCurrency", "3"}}},
    // %Y-%m-%d; digits grouped with a narrow no-break space
    {"sv_SE.UTF-8",
     {{"iDate", "2"}, {"sDate", "-"}, {"sShortDate", "yyyy-MM-dd"}, {"iTime", "1"},
      {"sDecimal", ","}, {"sThousand", "\xA0"}, {"sCurrency", "kr"}, {"iCurrency", "3"}}},
};

// One test for all locales: compiling them takes seconds, once is enough.
class RegionalLocaleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new test::TempDir;
    for (const char* name : {"en_US.ISO-8859-1", "de_DE.ISO-8859-15", "sv_SE.UTF-8"}) {
      const std::string text(name);
      const std::string definition = text.substr(0, text.find('.'));
      const std::string charset = text.substr(text.find('.') + 1);
      const std::string command = "localedef -i " + definition + " -f " + charset + " " +
                                  folder_->File(name) + " >/dev/null 2>&1";
      if (std::system(command.c_str()) != 0) {
        std::filesystem::remove_all(folder_->File(name));  // an incomplete locale is no locale
      }
    }
    old_locpath_ = std::getenv("LOCPATH") ? std::getenv("LOCPATH") : "";
    setenv("LOCPATH", folder_->path().c_str(), 1);
  }
  static void TearDownTestSuite() {
    if (old_locpath_.empty()) {
      unsetenv("LOCPATH");
    } else {
      setenv("LOCPATH", old_locpath_.c_str(), 1);
    }
    delete folder_;
    folder_ = nullptr;
  }

  static inline test::TempDir* folder_ = nullptr;
  static inline std::string old_locpath_;
};

TEST_F(RegionalLocaleTest, MapsKeyByKey) {
  int tried = 0;
  for (const LocaleCase& c : kLocaleCases) {
    SCOPED_TRACE(c.locale);
    locale_t probe = newlocale(LC_ALL_MASK, c.locale, nullptr);
    if (probe == nullptr) continue;
    freelocale(probe);
    ++tried;
    const RegionalValues values = RegionalValuesFromLocale(c.locale);
    for (const auto& [key, value] : c.expected) EXPECT_THAT(values, Contains(Pair(key, value)));
  }
  if (tried == 0) GTEST_SKIP() << "no locale could be compiled (localedef and its sources missing)";
}

}  // namespace
}  // namespace qm::platform
