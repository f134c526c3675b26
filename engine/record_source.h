// RecordSource: read access to a table's records by number, for the code
// that builds and maintains indexes without knowing the data file.
#pragma once

#include <cstdint>
#include <span>

namespace qm::engine {

using RecordNumber = std::uint32_t;  // 1-based; 0 means none

class RecordSource {
 public:
  virtual ~RecordSource() = default;
  virtual RecordNumber RecordCount() const = 0;
  // Fills `record` (record_length bytes, deletion byte first). False when
  // the record cannot be read.
  virtual bool ReadRecord(RecordNumber number, std::span<char> record) const = 0;
};

}  // namespace qm::engine
