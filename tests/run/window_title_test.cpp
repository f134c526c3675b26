#include "run/window_title.h"

#include <string>

#include <gtest/gtest.h>

namespace qm::run {
namespace {

TEST(WindowTitleTest, ProgramNameFileNameInCapitalsAndPerson) {
  struct Case {
    std::string database;
    std::string user;
    std::string title;
  };
  const Case cases[] = {
      {"/home/ann/quillmark/Time.dbf", "Ann Smith", "Corvane Quillmark - TIME.DBF (Ann Smith)"},
      {"untitled.dbf", "Bob", "Corvane Quillmark - UNTITLED.DBF (Bob)"},
      // The person keeps their spelling; accented letters of the file name
      // are capitals too (Windows-1252 bytes).
      {"/data/caf\xE9 2024.dbf", "ann o'neil", "Corvane Quillmark - CAF\xC9 2024.DBF (ann o'neil)"},
      // A path and a person holding "%" are shown, not read as formats.
      {"/x/100%s.dbf", "50%d", "Corvane Quillmark - 100%S.DBF (50%d)"},
      {"", "", "Corvane Quillmark -  ()"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.database);
    EXPECT_EQ(WindowTitle(c.database, c.user), c.title);
  }
}

}  // namespace
}  // namespace qm::run
