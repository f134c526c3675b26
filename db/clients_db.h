// ClientsDb: the address and billing details of clients, for invoices and
// accounting exports.
//
// One row per client name (the client descriptor's value), in its own
// table beside the descriptor file. Its production index holds "CLITAG" on
// NAME, unique with refusal, so a name is stored once. Writes release their
// lock and flush at once, as the descriptor file's do.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/db_table.h"
#include "engine/table.h"

namespace qm::db {

inline constexpr std::string_view kClientTagName = "CLITAG";
inline constexpr std::string_view kClientsFileName = "clients.dbf";
inline constexpr int kClientNotFound = 183;

// The eleven fields of a client; each is cut to its field's width when
// written (NAME 35, COMMENT 128, ...).
struct Client {
  std::string name;
  std::string contact;
  std::string addr1;
  std::string addr2;
  std::string city;
  std::string state;
  std::string zip;
  std::string phone;
  std::string terms;
  std::string comment;
  std::string category;

  bool operator==(const Client&) const = default;
};

const std::vector<engine::FieldSpec>& ClientFields();
const engine::TagSpec& ClientTag();

// `configured` ("Special"/"Client File") when it is not empty, else
// clients.dbf in `support_directory`.
std::string ClientsFilePath(const std::string& configured, const std::string& support_directory);

// The client names a list box offers (trimmed, in tag order) and the one
// it shows selected.
struct ClientList {
  std::vector<std::string> names;
  std::string selected;
};

class ClientsDb : public engine::DbTable {
 public:
  ClientsDb(engine::TableEngine& engine, engine::TableReporter& reporter);

  // As DescriptorDb::OpenDescriptorFile, with the clients table and
  // "CLITAG". 0, 288, or the report's result for a missing field.
  int OpenClientsFile(const std::string& path);
  int CloseClientsFile();
  const std::string& ClientsFileName() const { return file_name(); }

  // Stores `client` under its name: the row of that name is rewritten, or
  // a new row appended. 0, or the code of a failure.
  int WriteClient(const Client& client);
  // 0 when a client of exactly that name (trailing blanks aside) exists,
  // else 183. Leaves the table on that row.
  int FindClient(std::string_view name);
  // FindClient, then the row's fields into `client`.
  int ReadClient(std::string_view name, Client& client);
  // Every client in tag order.
  int ReadAllClients(std::vector<Client>& clients);

  // The names for a client list. A `selected` name that is not stored yet
  // is written first, as a client with nothing but its name, so that the
  // list can show it. 0, or the code of a failure.
  int FillClientList(ClientList& list, std::string_view selected);

 private:
  int ReadCurrent(Client& client);
  std::vector<std::optional<engine::Field>> fields_;
};

}  // namespace qm::db
