#include "engine/data_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cstring>
#include <ctime>

namespace qm::engine {

namespace {

std::uint32_t GetU32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

std::uint16_t GetU16(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

void PutU32(char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutU16(char* p, std::uint16_t v) {
  p[0] = static_cast<char>(v & 0xFF);
  p[1] = static_cast<char>(v >> 8);
}

void Today(int& year, int& month, int& day) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  year = local.tm_year + 1900;
  month = local.tm_mon + 1;
  day = local.tm_mday;
}

// The three date bytes of the header for today.
void EncodeToday(char* bytes) {
  int year = 0, month = 0, day = 0;
  Today(year, month, day);
  bytes[0] = static_cast<char>(year - 1900);
  bytes[1] = static_cast<char>(month);
  bytes[2] = static_cast<char>(day);
}

bool ValidFieldName(const std::string& name) {
  if (name.empty() || name.size() > 10) return false;
  if (!std::isalpha(static_cast<unsigned char>(name[0]))) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isupper(static_cast<unsigned char>(c)) ||
           std::isdigit(static_cast<unsigned char>(c)) || c == '_';
  });
}

bool KnownType(char type) {
  return type == 'C' || type == 'N' || type == 'F' || type == 'D' || type == 'L' || type == 'M';
}

}  // namespace

int YearFromHeaderByte(std::uint8_t byte) {
  return byte <= 30 ? 2000 + byte : 1900 + byte;
}

DataFileHeader DataFileHeader::Parse(std::span<const char, kHeaderSize> bytes) {
  DataFileHeader header;
  const char* p = bytes.data();
  header.version = static_cast<std::uint8_t>(p[0]);
  header.year = YearFromHeaderByte(static_cast<std::uint8_t>(p[1]));
  header.month = static_cast<std::uint8_t>(p[2]);
  header.day = static_cast<std::uint8_t>(p[3]);
  header.record_count = GetU32(p + 4);
  header.header_length = GetU16(p + 8);
  header.record_length = GetU16(p + 10);
  header.production_index = static_cast<std::uint8_t>(p[28]);
  header.language_driver = static_cast<std::uint8_t>(p[29]);
  return header;
}

void DataFileHeader::Encode(std::span<char, kHeaderSize> bytes) const {
  char* p = bytes.data();
  p[0] = static_cast<char>(version);
  p[1] = static_cast<char>(year - 1900);
  p[2] = static_cast<char>(month);
  p[3] = static_cast<char>(day);
  PutU32(p + 4, record_count);
  PutU16(p + 8, header_length);
  PutU16(p + 10, record_length);
  p[28] = static_cast<char>(production_index);
  p[29] = static_cast<char>(language_driver);
}

FileStatus DataFile::ValidateFields(const std::vector<FieldDescriptor>& fields) {
  if (fields.empty()) return FileStatus::Error(kErrorParameter, "a table needs at least one field");
  if (fields.size() > 255) return FileStatus::Error(kErrorParameter, "more than 255 fields");
  std::size_t record_length = 1;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const FieldDescriptor& f = fields[i];
    if (!ValidFieldName(f.name)) return FileStatus::Error(kErrorFieldName, f.name);
    for (std::size_t k = 0; k < i; ++k) {
      if (fields[k].name == f.name) return FileStatus::Error(kErrorFieldName, f.name);
    }
    const char type = static_cast<char>(f.type);
    if (!KnownType(type)) return FileStatus::Error(kErrorFieldType, f.name);
    bool width_ok = false;
    switch (f.type) {
      case FieldType::kCharacter: width_ok = f.width >= 1 && f.width <= 254 && f.decimals == 0; break;
      case FieldType::kNumeric:
      case FieldType::kFloat:
        width_ok = f.width >= 1 && f.width <= 20 && f.decimals >= 0 &&
                   (f.decimals == 0 || f.decimals <= f.width - 2);
        break;
      case FieldType::kDate: width_ok = f.width == 8 && f.decimals == 0; break;
      case FieldType::kLogical: width_ok = f.width == 1 && f.decimals == 0; break;
      case FieldType::kMemo: width_ok = f.width == 10 && f.decimals == 0; break;
    }
    if (!width_ok) return FileStatus::Error(kErrorFieldType, f.name + ": width or decimals");
    record_length += static_cast<std::size_t>(f.width);
  }
  if (record_length > 65535) return FileStatus::Error(kErrorRecordLength, "record longer than 65535 bytes");
  return FileStatus::Ok();
}

bool DataFile::has_memo_fields() const {
  return std::any_of(layout_.fields().begin(), layout_.fields().end(),
                     [](const FieldDescriptor& f) { return f.type == FieldType::kMemo; });
}

FileStatus DataFile::Open(const std::string& path) {
  map_.Reset();  // it shows the file that was open before, if any
  Status status = file_.Open(path, RawFile::Mode::kReadWriteOrReadOnly);
  if (!status.ok()) return FileStatusFromSystem(status, kErrorOpen);

  auto invalid = [&](const std::string& why) {
    file_.Close();
    return FileStatus::Error(kErrorData, path + ": " + why);
  };

  char bytes[kHeaderSize];
  status = file_.ReadAt(0, bytes);
  if (!status.ok()) return invalid("shorter than a header");
  header_ = DataFileHeader::Parse(std::span<const char, kHeaderSize>(bytes));
  if ((header_.version & 0x07) != 3) return invalid("not a dBASE data file");
  if (header_.header_length < kHeaderSize + 1 || header_.record_length < 1)
    return invalid("header or record length out of range");

  std::vector<char> descriptors(header_.header_length - kHeaderSize);
  status = file_.ReadAt(kHeaderSize, descriptors);
  if (!status.ok()) return invalid("header cut short");

  std::vector<FieldDescriptor> fields;
  std::vector<bool> flags;
  std::size_t at = 0;
  while (at < descriptors.size() && descriptors[at] != kHeaderTerminator) {
    if (at + kDescriptorSize > descriptors.size()) return invalid("field list not terminated");
    const char* d = descriptors.data() + at;
    FieldDescriptor field;
    field.name.assign(d, strnlen(d, 11));
    for (char& c : field.name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const char type = d[11];
    if (!KnownType(type)) {
      file_.Close();
      return FileStatus::Error(kErrorFieldType, field.name);
    }
    field.type = static_cast<FieldType>(type);
    field.width = static_cast<unsigned char>(d[16]);
    field.decimals = static_cast<unsigned char>(d[17]);
    if (field.width == 0) return invalid("field " + field.name + " has no width");
    fields.push_back(std::move(field));
    flags.push_back(d[31] != 0);
    at += kDescriptorSize;
  }
  if (fields.empty()) return invalid("no fields");
  layout_ = RecordLayout(std::move(fields));
  field_index_flags_ = std::move(flags);
  if (layout_.record_length() != header_.record_length) {
    file_.Close();
    return FileStatus::Error(kErrorRecordLength, path);
  }
  MapFile();
  return FileStatus::Ok();
}

void DataFile::MapFile() {
  // Without a mapping every read goes through pread, which is slower only.
  if (!map_.Attach(file_.fd()).ok()) map_.Reset();
}

void DataFile::Close() {
  map_.Reset();
  file_.Close();
}

FileStatus DataFile::ReadAt(std::uint64_t offset, std::span<char> bytes) const {
  if (map_.Read(offset, bytes)) return FileStatus::Ok();
  // Past the length the map last saw: the file may have grown since.
  if (map_.Refresh().ok() && map_.Read(offset, bytes)) return FileStatus::Ok();
  Status status = file_.ReadAt(offset, bytes);
  return status.ok() ? FileStatus::Ok() : FileStatusFromSystem(status, kErrorRead);
}

FileStatus DataFile::Create(const std::string& path, const std::vector<FieldDescriptor>& fields,
                            const std::vector<bool>& index_flags, bool production_index,
                            bool overwrite) {
  FileStatus valid = ValidateFields(fields);
  if (!valid.ok()) return valid;
  layout_ = RecordLayout(fields);
  field_index_flags_ = index_flags;
  field_index_flags_.resize(fields.size(), false);

  header_ = DataFileHeader();
  header_.version = has_memo_fields() ? kVersionWithMemo : kVersionNoMemo;
  Today(header_.year, header_.month, header_.day);
  header_.record_count = 0;
  header_.header_length =
      static_cast<std::uint16_t>(kHeaderSize + kDescriptorSize * fields.size() + 1);
  header_.record_length = static_cast<std::uint16_t>(layout_.record_length());
  header_.production_index = production_index ? 1 : 0;
  header_.language_driver = kLanguageWindows1252;

  std::vector<char> bytes(header_.header_length + 1, '\0');
  header_.Encode(std::span<char, kHeaderSize>(bytes.data(), kHeaderSize));
  for (std::size_t i = 0; i < layout_.fields().size(); ++i) {
    const FieldDescriptor& f = layout_.fields()[i];
    char* d = bytes.data() + kHeaderSize + kDescriptorSize * i;
    std::memcpy(d, f.name.data(), f.name.size());
    d[11] = static_cast<char>(f.type);
    d[16] = static_cast<char>(f.width);
    d[17] = static_cast<char>(f.decimals);
    d[31] = field_index_flags_[i] ? 1 : 0;
  }
  bytes[header_.header_length - 1] = kHeaderTerminator;
  bytes[header_.header_length] = kEndOfFileMarker;

  map_.Reset();
  Status status = file_.Create(path, overwrite);
  if (!status.ok()) {
    if (status.system_error() == EEXIST) return FileStatus::Error(kErrorCreate, path + ": file exists");
    return FileStatusFromSystem(status, kErrorCreate);
  }
  status = file_.WriteAt(0, bytes);
  if (status.ok() && flush_writes_) status = file_.Sync();
  if (!status.ok()) {
    file_.Close();
    ::unlink(path.c_str());
    return FileStatusFromSystem(status, kErrorWrite);
  }
  MapFile();
  return FileStatus::Ok();
}

FileStatus DataFile::ReadRecordCount(RecordNumber& count) const {
  char bytes[4];
  FileStatus read = ReadAt(4, bytes);
  if (!read.ok()) return read;
  const std::uint32_t in_header = GetU32(bytes);
  const std::uint64_t counted_end =
      header_.header_length + static_cast<std::uint64_t>(in_header) * header_.record_length;
  // The file only grows while it is shared, so a length already seen to
  // hold every counted record needs no fresh look.
  std::uint64_t length = map_.length();
  if (length < counted_end) {
    Status status = map_.Refresh();
    if (status.ok()) {
      length = map_.length();
    } else {
      status = file_.Length(length);
      if (!status.ok()) return FileStatusFromSystem(status, kErrorRead);
    }
  }
  const std::uint64_t complete =
      length > header_.header_length ? (length - header_.header_length) / header_.record_length : 0;
  count = static_cast<RecordNumber>(std::min<std::uint64_t>(in_header, complete));
  return FileStatus::Ok();
}

FileStatus DataFile::ReadRecord(RecordNumber number, std::span<char> record) const {
  if (number == 0 || record.size() != header_.record_length)
    return FileStatus::Error(kErrorRead, path() + ": no record " + std::to_string(number));
  FileStatus read = ReadAt(RecordOffset(number), record);
  if (!read.ok())
    return FileStatus::Error(kErrorRead,
                             path() + ": record " + std::to_string(number) + ": " + read.text);
  return FileStatus::Ok();
}

void DataFile::Prefetch(RecordNumber number) const {
  if (number == 0) return;
  map_.Prefetch(RecordOffset(number), header_.record_length);
}

FileStatus DataFile::WriteRecord(RecordNumber number, std::span<const char> record) {
  if (number == 0 || record.size() != header_.record_length)
    return FileStatus::Error(kErrorParameter, path() + ": no record " + std::to_string(number));
  Status status = file_.WriteAt(RecordOffset(number), record);
  if (!status.ok()) return FileStatusFromSystem(status, kErrorWrite);
  char date[3];
  EncodeToday(date);
  status = file_.WriteAt(1, date);
  if (!status.ok()) return FileStatusFromSystem(status, kErrorWrite);
  return Sync();
}

FileStatus DataFile::NextRecordNumber(RecordNumber& number) const {
  char bytes[4];
  FileStatus read = ReadAt(4, bytes);
  if (!read.ok()) return read;
  const std::uint32_t count = GetU32(bytes);
  if (count == UINT32_MAX) return FileStatus::Error(kErrorCapacity, path() + ": record count");
  number = count + 1;
  return FileStatus::Ok();
}

FileStatus DataFile::AppendRecords(std::span<const char> records, RecordNumber first) {
  if (first == 0 || records.empty() || records.size() % header_.record_length != 0)
    return FileStatus::Error(kErrorParameter, path() + ": records of the wrong length");
  const std::uint64_t count = records.size() / header_.record_length;
  const std::uint64_t last = first - 1 + count;
  if (last > UINT32_MAX) return FileStatus::Error(kErrorCapacity, path() + ": record count");

  // The records and the end-of-file byte first, the count after: a crash in
  // between leaves complete records that the header does not count yet.
  // One write for the records and the end-of-file byte: a system call is
  // most of what appending one record costs.
  const std::uint64_t offset = RecordOffset(first);
  append_buffer_.assign(records.begin(), records.end());
  append_buffer_.push_back(kEndOfFileMarker);
  Status status = file_.WriteAt(offset, append_buffer_);
  if (!status.ok()) return FileStatusFromSystem(status, kErrorWrite);
  FileStatus synced = Sync();
  if (!synced.ok()) return synced;
  return WriteHeaderCount(static_cast<std::uint32_t>(last));
}

FileStatus DataFile::WriteHeaderCount(std::uint32_t count) {
  char bytes[7];
  EncodeToday(bytes);
  PutU32(bytes + 3, count);
  Status status = file_.WriteAt(1, bytes);
  if (!status.ok()) return FileStatusFromSystem(status, kErrorWrite);
  header_.record_count = count;
  return Sync();
}

FileStatus DataFile::SetIndexFlags(bool production_index, const std::vector<bool>& field_flags) {
  const char flag = production_index ? 1 : 0;
  Status status = file_.WriteAt(28, std::span<const char>(&flag, 1));
  for (std::size_t i = 0; status.ok() && i < layout_.fields().size(); ++i) {
    const char f = (i < field_flags.size() && field_flags[i]) ? 1 : 0;
    status = file_.WriteAt(kHeaderSize + kDescriptorSize * i + 31, std::span<const char>(&f, 1));
  }
  if (!status.ok()) return FileStatusFromSystem(status, kErrorWrite);
  header_.production_index = production_index ? 1 : 0;
  field_index_flags_ = field_flags;
  field_index_flags_.resize(layout_.fields().size(), false);
  return Sync();
}

FileStatus DataFile::Sync() {
  if (!flush_writes_) return FileStatus::Ok();
  Status status = file_.Sync();
  if (!status.ok()) return FileStatusFromSystem(status, kErrorWrite);
  return FileStatus::Ok();
}

}  // namespace qm::engine
