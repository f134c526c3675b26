// table info | dump | seek | reindex | pack | check: a look into one
// dBASE table and its index file, and the repairs a user reaches for after
// another program has touched the files.
//
//   quillmk-cli table info FILE [--index MDX]
//   quillmk-cli table dump FILE [--tag T] [--deleted] [--recno] [--format csv|json] [--index MDX]
//   quillmk-cli table seek FILE TAG KEY [--index MDX]
//   quillmk-cli table reindex FILE [--index MDX]
//   quillmk-cli table pack FILE
//   quillmk-cli table check FILE [--index MDX]
//
// FILE is the data file (.dbf). Its production index (FILE.mdx, found
// without regard to case) is used unless --index names another index file.
// Texts are printed as the file holds them, read as Windows-1252.
//
// dump prints CSV (a header line of the field names, then one line per
// record; memo texts included) or JSON. Deleted records are left out
// unless --deleted is given, which adds a first column "DELETED()" holding
// "*" for a deleted record; --recno adds a column "RECNO()" before the
// fields. Neither heading can be a field's name.
//
// seek finds KEY in tag TAG (character tags take the text, numeric tags a
// number, date tags CCYYMMDD) and prints the record; exit status 1 when
// the key is absent, with the record that holds the next greater key.
//
// check walks every tag: its tree, its key order, and that it holds
// exactly the records it should with their current keys; it also reads
// every memo. Exit status 1 with the first disagreement.
#pragma once

#include <vector>

#include "cli/command.h"

namespace qm::cli {

void AddTableCommands(std::vector<Command>& commands);

// The run functions, for tests.
int RunTableInfo(CommandContext& context);
int RunTableDump(CommandContext& context);
int RunTableSeek(CommandContext& context);
int RunTableReindex(CommandContext& context);
int RunTablePack(CommandContext& context);
int RunTableCheck(CommandContext& context);

}  // namespace qm::cli
