#include "db/descriptor_db.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "tests/support/test_paths.h"

namespace qm::db {
namespace {

using engine::RecordNumber;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int kPerson = 0, kClient = 1, kProject = 2, kSubproject = 3, kActivity = 4, kRate = 5;

const DescriptorTexts kKindNames = {"Person", "Client", "Project", "Subproject", "Activity",
                                    "Hourly Rate"};

class RecordingReporter : public engine::TableReporter {
 public:
  void ShowMessage(int number, std::string_view) override { shown.push_back(number); }
  void ReportDatabaseError(std::string_view, int fallback) override { shown.push_back(fallback); }
  std::vector<int> shown;
};

class DescriptorDbTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Open(), 0); }

  int Open() {
    descriptors_ = std::make_unique<DescriptorDb>(engine_, reporter_);
    return descriptors_->OpenDescriptorFile(path_);
  }
  void Add(std::string_view value, int kind) {
    ASSERT_EQ(descriptors_->AddDescriptor(value, kind, false, "", kNotLinked), 0);
  }
  void AddLinked(std::string_view value, int kind, std::string_view to, int to_kind) {
    ASSERT_EQ(descriptors_->AddDescriptor(value, kind, true, to, to_kind), 0);
  }
  // "kind:value>link_kind:link" per row, in tag order.
  std::vector<std::string> Rows() {
    const DescriptorCache& cache = descriptors_->LoadedCache();
    EXPECT_TRUE(cache.valid);
    std::vector<std::string> rows;
    for (const Descriptor& d : cache.entries) {
      std::string row = std::to_string(d.kind) + ":" + d.value;
      if (d.linked()) row += ">" + std::to_string(d.link_kind) + ":" + d.linked_to;
      rows.push_back(row);
    }
    return rows;
  }

  test::TempDir dir_;
  std::string path_ = dir_.File("descript.dbf");
  engine::TableEngine engine_;
  RecordingReporter reporter_;
  std::unique_ptr<DescriptorDb> descriptors_;
};

TEST_F(DescriptorDbTest, RatesAreStoredAsMoneyTextAlsoAsLinkTargets) {
  Add("1,234.5", kRate);
  Add("12", kRate);
  AddLinked("Overtime", kActivity, "7.5", kRate);
  EXPECT_THAT(Rows(), ElementsAre("4:Overtime>5:7.50", "5:1,234.50", "5:12.00"));
}

TEST_F(DescriptorDbTest, CacheIsInTagOrderWithKindRangesAndLinkFlags) {
  Add("zeta", kActivity);
  Add("Bob", kPerson);
  Add("alice", kPerson);
  AddLinked("Design", kProject, "Acme", kClient);
  Add("Acme", kClient);
  Add("", kSubproject);

  EXPECT_THAT(Rows(), ElementsAre("0:alice", "0:Bob", "1:Acme", "2:Design>1:Acme", "3: ",
                                  "4:zeta"));
  const DescriptorCache& cache = descriptors_->cache();
  EXPECT_THAT(cache.first, ElementsAre(0u, 2u, 3u, 4u, 5u, 6u, 6u));
  EXPECT_TRUE(cache.any_link);
  EXPECT_THAT(cache.kind_has_links, ElementsAre(false, false, true, false, false, false));
}

TEST_F(DescriptorDbTest, EmptyTableGivesEmptyRangesForEveryKind) {
  EXPECT_THAT(Rows(), IsEmpty());
  EXPECT_THAT(descriptors_->cache().first, ElementsAre(0u, 0u, 0u, 0u, 0u, 0u, 0u));
  EXPECT_FALSE(descriptors_->cache().any_link);
}

TEST_F(DescriptorDbTest, ChangesInvalidateTheCache) {
  Add("Acme", kClient);
  ASSERT_EQ(descriptors_->LoadDescriptorCache(), 0);
  Add("Bolt", kClient);
  EXPECT_FALSE(descriptors_->cache().valid);
  EXPECT_THAT(Rows(), ElementsAre("1:Acme", "1:Bolt"));
}

TEST_F(DescriptorDbTest, DuplicateRowIsNotStoredButAnotherLinkIs) {
  AddLinked("Design", kProject, "Acme", kClient);
  AddLinked("design", kProject, "ACME", kClient);  // the same through the key
  AddLinked("Design", kProject, "Bolt", kClient);
  Add("Design", kProject);
  EXPECT_THAT(Rows(), ElementsAre("2:Design", "2:Design>1:Acme", "2:Design>1:Bolt"));
  EXPECT_THAT(reporter_.shown, IsEmpty());
}

TEST_F(DescriptorDbTest, FindIgnoresCaseAndStaysWithinKindAndValue) {
  AddLinked("Design", kProject, "Acme", kClient);
  AddLinked("Design", kProject, "Bolt", kClient);
  Add("Designer", kProject);
  Add("Design", kActivity);
  std::vector<RecordNumber> found;
  EXPECT_EQ(descriptors_->FindDescriptors(kProject, "design", found), 2u);
  EXPECT_THAT(found, ElementsAre(1u, 2u));
  EXPECT_EQ(descriptors_->FindDescriptors(kClient, "design", found), 0u);
  EXPECT_EQ(descriptors_->FindDescriptors(kProject, "Desig", found), 0u);
}

TEST_F(DescriptorDbTest, ChooseDescribesEachRowAndReturnsTheChosenOnes) {
  AddLinked("Design", kProject, "Acme", kClient);
  AddLinked("Design", kProject, "Bolt", kClient);
  Add("Design", kProject);
  std::vector<std::string> offered;
  auto choose_second = [&](const std::vector<std::string>& rows) {
    offered = rows;
    return std::vector<std::size_t>{1};
  };
  std::vector<RecordNumber> chosen =
      descriptors_->ChooseDescriptors(choose_second, kKindNames, kProject, "DESIGN");
  EXPECT_THAT(offered, ElementsAre("Design (Not Linked)", "Design (Linked to Client: Acme)",
                                   "Design (Linked to Client: Bolt)"));
  EXPECT_THAT(chosen, ElementsAre(1u));

  // A single match needs no choice.
  auto must_not_ask = [](const std::vector<std::string>&) -> std::vector<std::size_t> {
    ADD_FAILURE() << "asked for a single match";
    return {};
  };
  Add("Solo", kActivity);
  EXPECT_THAT(descriptors_->ChooseDescriptors(must_not_ask, kKindNames, kActivity, "solo"),
              ElementsAre(4u));
}

TEST_F(DescriptorDbTest, DeletingFollowsLinksToLaterKindsOnly) {
  Add("Acme", kClient);
  Add("Bolt", kClient);
  AddLinked("Design", kProject, "Acme", kClient);
  AddLinked("Design", kProject, "Bolt", kClient);
  AddLinked("Build", kProject, "acme", kClient);
  AddLinked("Phase 1", kSubproject, "Build", kProject);
  AddLinked("40.00", kRate, "Acme", kClient);
  AddLinked("Acme", kPerson, "Acme", kClient);  // links to an earlier kind are not followed
  AddLinked("Acme", kActivity, "Acme", kPerson);

  std::vector<RecordNumber> acme;
  ASSERT_EQ(descriptors_->FindDescriptors(kClient, "Acme", acme), 1u);
  ASSERT_EQ(descriptors_->DeleteDescriptorWithLinks(acme[0]), 0);

  EXPECT_THAT(Rows(), ElementsAre("0:Acme>1:Acme", "1:Bolt", "2:Design>1:Bolt",
                                  "4:Acme>0:Acme"));
}

TEST_F(DescriptorDbTest, DeleteByValueAsksAndDeletesTheChosenRow) {
  Add("Acme", kClient);
  AddLinked("Design", kProject, "Acme", kClient);
  AddLinked("Design", kProject, "Bolt", kClient);
  AddLinked("Mockups", kSubproject, "Design", kProject);
  auto cancel = [](const std::vector<std::string>&) { return std::vector<std::size_t>{}; };
  EXPECT_EQ(descriptors_->DeleteDescriptorByValue(cancel, kKindNames, kProject, "Design"),
            kNothingChosen);
  EXPECT_EQ(descriptors_->DeleteDescriptorByValue(cancel, kKindNames, kProject, "Nothing"),
            kNothingChosen);
  EXPECT_EQ(Rows().size(), 4u);

  auto first = [](const std::vector<std::string>&) { return std::vector<std::size_t>{0}; };
  EXPECT_EQ(descriptors_->DeleteDescriptorByValue(first, kKindNames, kProject, "design"), 0);
  // The subproject hangs on the value "Design", whichever row it meant.
  EXPECT_THAT(Rows(), ElementsAre("1:Acme", "2:Design>1:Bolt"));
}

TEST_F(DescriptorDbTest, RewriteChangesTheRowOrDropsItWhenItWouldDuplicate) {
  Add("Acme", kClient);
  Add("Bolt", kClient);
  Add("Colt", kClient);
  std::vector<RecordNumber> found;
  ASSERT_EQ(descriptors_->FindDescriptors(kClient, "Colt", found), 1u);
  ASSERT_EQ(descriptors_->table()->Go(found[0]), 0);
  ASSERT_EQ(descriptors_->RewriteDescriptor("Delta", kClient, false, "", kNotLinked), 0);
  EXPECT_THAT(Rows(), ElementsAre("1:Acme", "1:Bolt", "1:Delta"));

  ASSERT_EQ(descriptors_->FindDescriptors(kClient, "Bolt", found), 1u);
  ASSERT_EQ(descriptors_->table()->Go(found[0]), 0);
  ASSERT_EQ(descriptors_->RewriteDescriptor("ACME", kClient, false, "", kNotLinked), 0);
  EXPECT_THAT(Rows(), ElementsAre("1:Acme", "1:Delta"));
}

TEST_F(DescriptorDbTest, RowsSurviveReopeningWithAStaleIndexRemoved) {
  Add("Acme", kClient);
  AddLinked("Design", kProject, "Acme", kClient);
  ASSERT_EQ(descriptors_->CloseDescriptorFile(), 0);
  std::filesystem::remove(dir_.File("descript.mdx"));
  ASSERT_EQ(Open(), 0);
  EXPECT_THAT(Rows(), ElementsAre("1:Acme", "2:Design>1:Acme"));
  Add("Acme", kClient);  // the rebuilt tag still refuses duplicates
  EXPECT_THAT(Rows(), ElementsAre("1:Acme", "2:Design>1:Acme"));
}

TEST_F(DescriptorDbTest, ClosedFileIsAnInconsistentIndexForTheCache) {
  ASSERT_EQ(descriptors_->CloseDescriptorFile(), 0);
  EXPECT_EQ(descriptors_->LoadDescriptorCache(), kDescriptorIndexInconsistent);
  EXPECT_FALSE(descriptors_->cache().valid);
}

TEST_F(DescriptorDbTest, TableWithoutTheFieldsIsRefusedWith288) {
  ASSERT_EQ(descriptors_->CloseDescriptorFile(), 0);
  std::filesystem::remove(path_);
  std::filesystem::remove(dir_.File("descript.mdx"));
  {
    auto table = engine::Table::Create(engine_, path_, {{"DESCRIPTOR", 'C', 35, 0}});
    ASSERT_NE(table, nullptr);
  }
  EXPECT_EQ(Open(), 288);
  EXPECT_THAT(reporter_.shown, ::testing::Not(IsEmpty()));
}

// --- Several users -----------------------------------------------------------------

TEST_F(DescriptorDbTest, UsersAddingAtOnceAreAllSeenOnTheNextLoadAndDuplicatesStayOut) {
  Add("Existing", kClient);
  ASSERT_EQ(descriptors_->LoadDescriptorCache(), 0);
  constexpr int kUsers = 3;
  constexpr int kEach = 30;
  std::vector<pid_t> children;
  for (int user = 0; user < kUsers; ++user) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      {
        engine::TableEngine engine;
        RecordingReporter reporter;
        DescriptorDb db(engine, reporter);
        failures += db.OpenDescriptorFile(path_) != 0;
        for (int i = 0; i < kEach; ++i) {
          const std::string value = "User" + std::to_string(user) + "-" + std::to_string(i);
          failures += db.AddDescriptor(value, kPerson, false, "", kNotLinked) != 0;
          failures += db.AddDescriptor("Shared", kActivity, false, "", kNotLinked) != 0;
        }
        failures += db.CloseDescriptorFile() != 0;
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  // The table stayed open here all along; the reload sees the others' rows.
  EXPECT_EQ(descriptors_->cache().count(), 1u);
  ASSERT_EQ(descriptors_->LoadDescriptorCache(), 0);
  const DescriptorCache& cache = descriptors_->cache();
  EXPECT_EQ(cache.first[kClient] - cache.first[kPerson], std::size_t{kUsers * kEach});
  EXPECT_EQ(cache.first[kRate] - cache.first[kActivity], 1u);
  EXPECT_EQ(cache.count(), std::size_t{kUsers * kEach + 2});
}

// --- Lists of a record dialog ------------------------------------------------

class DescriptorListsTest : public DescriptorDbTest {
 protected:
  void SetUp() override {
    DescriptorDbTest::SetUp();
    Add("Ann", kPerson);
    Add("Acme", kClient);
    Add("Bolt", kClient);
    AddLinked("Design", kProject, "Acme", kClient);
    AddLinked("Web", kProject, "bolt", kClient);
    Add("Admin", kProject);
    AddLinked("Design", kProject, "Bolt", kClient);
  }
  DescriptorLists lists_;
};

TEST_F(DescriptorListsTest, FirstValuesBecomeTheSelectionAndFilterLaterKinds) {
  descriptors_->FillDescriptorLists(lists_, nullptr, true, 0, 5, false);
  EXPECT_THAT(lists_.values[kClient], ElementsAre("Acme", "Bolt"));
  EXPECT_THAT(lists_.values[kProject], ElementsAre("Admin", "Design"));
  EXPECT_THAT(lists_.texts, ElementsAre("Ann", "Acme", "Admin", "", "", ""));
}

TEST_F(DescriptorListsTest, GivenSelectionFiltersWithoutChoosingAndListsAValueOnce) {
  DescriptorTexts selection = {"", "BOLT", "", "", "", ""};
  descriptors_->FillDescriptorLists(lists_, &selection, true, 0, 5, false);
  EXPECT_THAT(lists_.values[kProject], ElementsAre("Admin", "Design", "Web"));
  EXPECT_THAT(lists_.texts, ElementsAre("", "BOLT", "", "", "", ""));
}

TEST_F(DescriptorListsTest, SelectionWithNothingToOfferIsCleared) {
  DescriptorTexts selection = {"", "Acme", "", "Gone", "Typed", ""};
  descriptors_->FillDescriptorLists(lists_, &selection, true, 0, 5, false);
  EXPECT_EQ(lists_.texts[kSubproject], "");
  EXPECT_EQ(lists_.texts[kActivity], "");
  // A typed value beside a list that offers others stays: it may be new.
  selection = {"Someone", "Acme", "", "", "", ""};
  descriptors_->FillDescriptorLists(lists_, &selection, true, 0, 5, false);
  EXPECT_EQ(lists_.texts[kPerson], "Someone");
}

TEST_F(DescriptorListsTest, RefreshReadsTheTextsAndOnlyLinkedKindsCanBeAsked) {
  descriptors_->FillDescriptorLists(lists_, nullptr, true, 0, 5, false);
  lists_.texts[kClient] = "Bolt";
  lists_.texts[kProject] = "";
  descriptors_->RefreshDescriptorLists(lists_, kClient, 5);
  EXPECT_THAT(lists_.values[kProject], ElementsAre("Admin", "Design", "Web"));
  EXPECT_EQ(lists_.texts[kProject], "Admin");

  DescriptorLists only_linked;
  descriptors_->FillDescriptorLists(only_linked, nullptr, true, 0, 5, true);
  EXPECT_THAT(only_linked.values[kClient], IsEmpty());
  EXPECT_THAT(only_linked.values[kProject], ElementsAre("Admin", "Design", "Web"));
}

// --- The file as an independent reader sees it --------------------------------

// Runs the XBase oracle of the source tree ("" when perl has no XBase).
std::string RunXbaseTool(const std::string& arguments) {
  // The source tree: from the test environment, else from where this file lies.
  const char* from_environment = std::getenv("QM_SOURCE_DIR");
  const std::string source =
      from_environment != nullptr
          ? std::string(from_environment)
          : std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().string();
  if (std::system("perl -MXBase -MXBase::Index -e 1 2>/dev/null") != 0) return {};
  const std::string command =
      std::string("perl '") + source + "/tests/oracles/xbase_tool.pl' " + arguments;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return {};
  std::string out;
  char buffer[512];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get())) out.append(buffer, n);
  return out;
}

std::string DescTagKey(std::string kind, std::string value, std::string link,
                       std::string link_kind) {
  value.resize(35, ' ');
  link.resize(35, ' ');
  return kind + value + link + link_kind;
}

TEST_F(DescriptorDbTest, IndependentReaderSeesTheTagKeysWithoutDeletedRows) {
  Add("Acme", kClient);
  AddLinked("design", kProject, "Acme", kClient);
  Add("Gone", kPerson);
  std::vector<RecordNumber> gone;
  ASSERT_EQ(descriptors_->FindDescriptors(kPerson, "Gone", gone), 1u);
  ASSERT_EQ(descriptors_->DeleteDescriptorWithLinks(gone[0]), 0);
  ASSERT_EQ(descriptors_->CloseDescriptorFile(), 0);

  const std::string mdx = "'" + dir_.File("descript.mdx") + "'";
  const std::string keys = RunXbaseTool("index " + mdx + " DESCTAG");
  if (keys.empty()) GTEST_SKIP() << "perl with the XBase module is not available";
  EXPECT_EQ(keys, "1,\"" + DescTagKey(" 1", "ACME", "", "-1") + "\"\n" +  //
                      "2,\"" + DescTagKey(" 2", "DESIGN", "ACME", " 1") + "\"\n");
  EXPECT_EQ(RunXbaseTool("tags " + mdx), "DESCTAG,C,74,1,0\n");
}

}  // namespace
}  // namespace qm::db
