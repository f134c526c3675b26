#include "db/clients_db.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "tests/support/test_paths.h"

namespace qm::db {
namespace {

using ::testing::ElementsAre;

class NullReporter : public engine::TableReporter {
 public:
  void ShowMessage(int number, std::string_view) override { shown.push_back(number); }
  void ReportDatabaseError(std::string_view, int fallback) override { shown.push_back(fallback); }
  std::vector<int> shown;
};

Client Named(std::string name) {
  Client client;
  client.name = std::move(name);
  return client;
}

class ClientsDbTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Open(), 0); }
  int Open() {
    clients_ = std::make_unique<ClientsDb>(engine_, reporter_);
    return clients_->OpenClientsFile(dir_.File("clients.dbf"));
  }
  std::vector<std::string> Names() {
    std::vector<Client> all;
    EXPECT_EQ(clients_->ReadAllClients(all), 0);
    std::vector<std::string> names;
    for (const Client& c : all) names.push_back(c.name);
    return names;
  }

  test::TempDir dir_;
  engine::TableEngine engine_;
  NullReporter reporter_;
  std::unique_ptr<ClientsDb> clients_;
};

TEST_F(ClientsDbTest, WriteStoresANewClientAndRewritesAnExistingOne) {
  Client acme{"Acme", "Ann", "1 Main St", "", "Springfield", "IL", "62701",
              "555-0100", "Net 30", "good payer", "Sales"};
  ASSERT_EQ(clients_->WriteClient(acme), 0);
  ASSERT_EQ(clients_->WriteClient(Named("Bolt")), 0);
  acme.contact = "Bea";
  ASSERT_EQ(clients_->WriteClient(acme), 0);

  EXPECT_THAT(Names(), ElementsAre("Acme", "Bolt"));
  Client read;
  ASSERT_EQ(clients_->ReadClient("Acme", read), 0);
  EXPECT_EQ(read, acme);
}

TEST_F(ClientsDbTest, FindMatchesTheWholeNameWithItsCase) {
  ASSERT_EQ(clients_->WriteClient(Named("Acme Tools")), 0);
  ASSERT_EQ(clients_->WriteClient(Named("Acme")), 0);
  struct Case {
    const char* name;
    int expected;
  };
  for (const Case& c : {Case{"Acme", 0}, Case{"Acme Tools", 0}, Case{"Acme   ", 0},
                        Case{"Acm", kClientNotFound}, Case{"acme", kClientNotFound},
                        Case{"Zed", kClientNotFound}}) {
    EXPECT_EQ(clients_->FindClient(c.name), c.expected) << c.name;
  }
}

TEST_F(ClientsDbTest, LongValuesAreCutToTheirFields) {
  Client long_one = Named(std::string(40, 'N'));
  long_one.comment = std::string(200, 'c');
  ASSERT_EQ(clients_->WriteClient(long_one), 0);
  Client read;
  ASSERT_EQ(clients_->ReadClient(std::string(35, 'N'), read), 0);
  EXPECT_EQ(read.name, std::string(35, 'N'));
  EXPECT_EQ(read.comment, std::string(128, 'c'));
}

TEST_F(ClientsDbTest, ListWithANewSelectedNameCreatesThatClient) {
  ClientList list;
  ASSERT_EQ(clients_->FillClientList(list, "Zed"), 0);
  EXPECT_THAT(list.names, ElementsAre("Zed"));
  EXPECT_EQ(list.selected, "Zed");
  Client read;
  ASSERT_EQ(clients_->ReadClient("Zed", read), 0);
  EXPECT_EQ(read, Named("Zed"));

  ASSERT_EQ(clients_->WriteClient(Named("Acme")), 0);
  ASSERT_EQ(clients_->FillClientList(list, ""), 0);
  EXPECT_THAT(list.names, ElementsAre("Acme", "Zed"));
  EXPECT_EQ(list.selected, "");
}

TEST_F(ClientsDbTest, ClientsSurviveReopeningWithoutTheIndex) {
  ASSERT_EQ(clients_->WriteClient(Named("Bolt")), 0);
  ASSERT_EQ(clients_->WriteClient(Named("Acme")), 0);
  ASSERT_EQ(clients_->CloseClientsFile(), 0);
  std::filesystem::remove(dir_.File("clients.mdx"));
  ASSERT_EQ(Open(), 0);
  EXPECT_THAT(Names(), ElementsAre("Acme", "Bolt"));
  EXPECT_EQ(clients_->FindClient("Bolt"), 0);
}

}  // namespace
}  // namespace qm::db
