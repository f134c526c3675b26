#include "db/clients_db.h"

#include <array>

#include "platform/paths.h"

namespace qm::db {
namespace {

constexpr int kCannotCreate = 288;
constexpr std::size_t kNameWidth = 35;

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
  return text;
}

// The members of Client in the order of the fields.
std::array<std::string*, 11> Members(Client& client) {
  return {&client.name,  &client.contact, &client.addr1, &client.addr2,
          &client.city,  &client.state,   &client.zip,   &client.phone,
          &client.terms, &client.comment, &client.category};
}

// The seek key of a name: the name cut to the field's width and padded,
// so that "Acme" does not find "Acme Tools".
std::string NameKey(std::string_view name) {
  std::string key(TrimBlanks(name).substr(0, kNameWidth));
  key.resize(kNameWidth, ' ');
  return key;
}

}  // namespace

const std::vector<engine::FieldSpec>& ClientFields() {
  static const std::vector<engine::FieldSpec> fields = {
      {"NAME", 'C', 35, 0},    {"CONTACT", 'C', 50, 0}, {"ADDR1", 'C', 50, 0},
      {"ADDR2", 'C', 50, 0},   {"CITY", 'C', 50, 0},    {"STATE", 'C', 50, 0},
      {"ZIP", 'C', 32, 0},     {"PHONE", 'C', 20, 0},   {"TERMS", 'C', 32, 0},
      {"COMMENT", 'C', 128, 0}, {"CATEGORY", 'C', 40, 0},
  };
  return fields;
}

const engine::TagSpec& ClientTag() {
  static const engine::TagSpec tag = {std::string(kClientTagName), "NAME", ".NOT. DELETED()",
                                      engine::kUniqueRefuse, engine::kAscending};
  return tag;
}

std::string ClientsFilePath(const std::string& configured, const std::string& support_directory) {
  if (!configured.empty()) return configured;
  return platform::JoinPath(support_directory, std::string(kClientsFileName));
}

ClientsDb::ClientsDb(engine::TableEngine& engine, engine::TableReporter& reporter)
    : DbTable(engine, reporter) {}

int ClientsDb::OpenClientsFile(const std::string& path) {
  fields_.clear();
  int& default_unique = engine().settings().default_unique;
  const int saved_unique = default_unique;
  default_unique = engine::kUniqueRefuse;
  (void)ForceIndexRebuild(path);
  const int opened = OpenOrCreate(path, ClientFields(), {ClientTag()});
  default_unique = saved_unique;
  if (opened != 0 || !is_open()) return kCannotCreate;
  for (const engine::FieldSpec& spec : ClientFields()) {
    fields_.push_back(table()->FieldByName(spec.name));
    if (!fields_.back()) {
      reporter().ReportDatabaseError(path, kCannotCreate);
      return kCannotCreate;
    }
  }
  auto tag = table()->TagByName(kClientTagName);
  if (!tag) {
    reporter().ReportDatabaseError(path, kCannotCreate);
    return kCannotCreate;
  }
  return Call([&] { return table()->SelectTag(tag); });
}

int ClientsDb::CloseClientsFile() {
  fields_.clear();
  return is_open() ? CloseTable() : 0;
}

int ClientsDb::FindClient(std::string_view name) {
  if (!is_open()) return kClientNotFound;
  const int found = Call([&] { return table()->Seek(NameKey(name)); });
  return found == 0 && !table()->IsEof() ? 0 : kClientNotFound;
}

int ClientsDb::WriteClient(const Client& client) {
  if (!is_open()) return kCannotCreate;
  engine::Table& table = *this->table();
  const bool exists = FindClient(client.name) == 0;
  int result = 0;
  if (!exists) {
    result = Call([&] { return table.AppendStart(); });
    if (result == 0) result = Call([&] { return table.Blank(); });
  }
  Client copy = client;
  copy.name = std::string(TrimBlanks(copy.name));
  auto values = Members(copy);
  for (std::size_t i = 0; result == 0 && i < values.size(); ++i) {
    result = Checked(fields_[i]->AssignText(*values[i]));
  }
  if (result == 0 && !exists) result = Call([&] { return table.Append(); });
  const int released = Call([&] { return table.Unlock(); });
  const int flushed = Call([&] { return table.Flush(); });
  if (result != 0) return result;
  return released != 0 ? released : flushed;
}

int ClientsDb::ReadCurrent(Client& client) {
  auto values = Members(client);
  for (std::size_t i = 0; i < values.size(); ++i) {
    *values[i] = std::string(TrimBlanks(fields_[i]->Text()));
  }
  return 0;
}

int ClientsDb::ReadClient(std::string_view name, Client& client) {
  const int found = FindClient(name);
  if (found != 0) return found;
  return ReadCurrent(client);
}

int ClientsDb::ReadAllClients(std::vector<Client>& clients) {
  clients.clear();
  if (!is_open()) return kCannotCreate;
  int moved = Call([&] { return table()->Top(); });
  while (moved == 0 && !table()->IsEof()) {
    Client client;
    ReadCurrent(client);
    clients.push_back(std::move(client));
    moved = Call([&] { return table()->Skip(1); });
  }
  return moved == engine::kEndOfFile ? 0 : moved;
}

int ClientsDb::FillClientList(ClientList& list, std::string_view selected) {
  list = ClientList{};
  const std::string wanted(TrimBlanks(selected).substr(0, kNameWidth));
  if (!wanted.empty() && FindClient(wanted) != 0) {
    Client client;
    client.name = wanted;
    const int written = WriteClient(client);
    if (written != 0) return written;
  }
  std::vector<Client> clients;
  const int read = ReadAllClients(clients);
  for (Client& client : clients) list.names.push_back(std::move(client.name));
  list.selected = wanted;
  return read;
}

}  // namespace qm::db
