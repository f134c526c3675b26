// DataFile: a dBASE IV data file (.dbf) on disk.
//
// Layout (little-endian): a 32-byte header (version 0x03, or 0x8B with memo
// fields; date of the last update as year - 1900, month, day; record count;
// header length; record length including the deletion byte; byte 28 the
// production-index flag; byte 29 the language driver, written 0x57 for
// Windows-1252), one 32-byte descriptor per field (name NUL-padded to 11
// bytes, type letter, width at 16, decimals at 17, byte 31 set when the
// field alone is the key of a production tag), the byte 0x0D, then the
// records, and usually 0x1A at the end of the file.
//
// Nothing about the records is cached: every read goes to the file, so that
// another process's change is seen at the next read. Reads go through a
// shared read-only mapping of the file (file_map.h), which shows the page
// cache that every process's writes land in, so they cost no system call;
// only a read past the length last seen looks at the length again. The
// record count is read from the header whenever the caller asks for it,
// and never trusted beyond the complete records that the file holds: a
// record that a crash left half-written is not a record.
//
// Appends write the record first and the header count after it, so that a
// crash between the two leaves a file whose header undercounts, which the
// header check of the table layer repairs. Callers hold the append lock
// around AppendRecord and a record lock around WriteRecord when the file is
// shared.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/field_layout.h"
#include "engine/file_map.h"
#include "engine/raw_file.h"
#include "engine/record_source.h"

namespace qm::engine {

inline constexpr std::uint8_t kVersionNoMemo = 0x03;
inline constexpr std::uint8_t kVersionWithMemo = 0x8B;
inline constexpr std::uint8_t kLanguageWindows1252 = 0x57;
inline constexpr std::size_t kHeaderSize = 32;
inline constexpr std::size_t kDescriptorSize = 32;
inline constexpr char kHeaderTerminator = 0x0D;
inline constexpr char kEndOfFileMarker = 0x1A;

// The fixed 32 bytes at the start of a data file.
struct DataFileHeader {
  std::uint8_t version = kVersionNoMemo;
  int year = 0;  // full year; the byte holds year - 1900 (or year mod 100)
  int month = 0;
  int day = 0;
  std::uint32_t record_count = 0;
  std::uint16_t header_length = 0;
  std::uint16_t record_length = 0;
  std::uint8_t production_index = 0;  // byte 28
  std::uint8_t language_driver = kLanguageWindows1252;

  // Fills the fields from the first 32 bytes of a file.
  static DataFileHeader Parse(std::span<const char, kHeaderSize> bytes);
  // Writes the fields over the first 32 bytes (other bytes are kept).
  void Encode(std::span<char, kHeaderSize> bytes) const;
};

// Field year byte -> full year: 70..255 count from 1900, 0..30 are the
// years 2000..2030 as writers that store the year mod 100 give them.
int YearFromHeaderByte(std::uint8_t byte);

class DataFile {
 public:
  DataFile() = default;
  DataFile(DataFile&&) = default;
  DataFile& operator=(DataFile&&) = default;

  // Opens an existing file, read-write when permitted, else read-only.
  FileStatus Open(const std::string& path);

  // Writes a new empty file with `fields` (their offsets are computed).
  // `index_flags[i]` sets byte 31 of field i (may be empty: all clear).
  // Fails with kErrorCreate when the file exists and `overwrite` is false.
  FileStatus Create(const std::string& path, const std::vector<FieldDescriptor>& fields,
                    const std::vector<bool>& index_flags, bool production_index,
                    bool overwrite);

  // Checks that `fields` can make a data file; the text names the culprit.
  static FileStatus ValidateFields(const std::vector<FieldDescriptor>& fields);

  void Close();
  bool is_open() const { return file_.is_open(); }
  bool read_only() const { return file_.read_only(); }
  const std::string& path() const { return file_.path(); }
  RawFile& raw() { return file_; }

  const DataFileHeader& header() const { return header_; }
  const RecordLayout& layout() const { return layout_; }
  bool has_memo_fields() const;
  // Byte 31 of each field descriptor.
  const std::vector<bool>& field_index_flags() const { return field_index_flags_; }

  // The number of records now: the header's count, capped at the complete
  // records that the file holds.
  FileStatus ReadRecordCount(RecordNumber& count) const;

  FileStatus ReadRecord(RecordNumber number, std::span<char> record) const;
  // Asks the processor to fetch record `number` from the mapping ahead of a
  // ReadRecord, for walks in an order other than the file's. Nothing when
  // the record lies past the length last seen.
  void Prefetch(RecordNumber number) const;
  // Overwrites record `number` (which must exist).
  FileStatus WriteRecord(RecordNumber number, std::span<const char> record);
  // The number that the next appended record gets: the header's count + 1.
  FileStatus NextRecordNumber(RecordNumber& number) const;
  // Writes `records` (whole records, one after the other) as the records
  // from `first` on, then the end-of-file byte, and only then raises the
  // header's count to cover them. `first` is NextRecordNumber() under the
  // append lock.
  FileStatus AppendRecords(std::span<const char> records, RecordNumber first);

  // Byte 28 and the descriptors' byte 31, written to the file at once.
  FileStatus SetIndexFlags(bool production_index, const std::vector<bool>& field_flags);

  // Every write is followed by fdatasync when on.
  void set_flush_writes(bool on) { flush_writes_ = on; }

 private:
  void MapFile();
  // Reads through the mapping, else through the file.
  FileStatus ReadAt(std::uint64_t offset, std::span<char> bytes) const;
  FileStatus WriteHeaderCount(std::uint32_t count);
  FileStatus Sync();
  std::uint64_t RecordOffset(RecordNumber number) const {
    return header_.header_length +
           static_cast<std::uint64_t>(number - 1) * header_.record_length;
  }

  RawFile file_;
  mutable FileMap map_;  // of file_; Refresh() on a read past its length
  DataFileHeader header_;
  RecordLayout layout_;
  std::vector<bool> field_index_flags_;
  bool flush_writes_ = false;
  std::vector<char> append_buffer_;  // records and end-of-file byte of one append
};

}  // namespace qm::engine
