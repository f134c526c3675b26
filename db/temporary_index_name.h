// The name of a run's temporary index file: beside the database, named
// after the signed-on person, "SMITH.tmp". A second run of the same person
// finds that name taken and moves on to "SMITH.t01", then ".t02" ... ".t98",
// so that runs never share (or delete) each other's index.
//
// A name is free when no file of that name exists (matched without regard
// to case, as a file copied from Windows would be) or when the file exists
// but no open holds it: that is a leftover of a run that ended without
// cleaning up, and it is deleted.
#pragma once

#include <string>
#include <string_view>

namespace qm::db {

inline constexpr int kLastTemporaryIndexNumber = 98;

// The first eight letters and digits of `person`, other characters
// skipped; "QUILLMK" when the name has none.
std::string TemporaryIndexBase(std::string_view person);

// "<directory>/<base>.tmp" for `number` 0, else "<directory>/<base>.tNN".
std::string TemporaryIndexCandidate(const std::string& directory, std::string_view person,
                                    int number);

// The first free candidate, after deleting a leftover of that name. When
// even ".t98" is held open, an internal error is reported (source
// "UserIndex") and ".t98" is returned all the same; creating it then fails
// as locked.
std::string ChooseTemporaryIndexName(const std::string& directory, std::string_view person);

}  // namespace qm::db
