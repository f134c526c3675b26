// descriptors list | add | delete, clients list | show | set: the shared
// descriptor list and the clients file of an installation.
//
//   quillmk-cli descriptors list [KIND]
//   quillmk-cli descriptors add KIND VALUE [--link-to KIND VALUE]
//   quillmk-cli descriptors delete KIND VALUE [--which N,...]
//   quillmk-cli clients list
//   quillmk-cli clients show NAME
//   quillmk-cli clients set NAME [--contact T] [--addr1 T] [--addr2 T] [--city T]
//                                [--state T] [--zip T] [--phone T] [--terms T]
//                                [--comment T] [--category T]
//
// KIND is a kind's number 0-5, its name (person, client, project,
// subproject, activity, rate) or the name the installation gives it
// ("DescriptorName1" ... "DescriptorName6"), without regard to case.
//
// list prints one line per descriptor in the file's order: the kind's name,
// the value and, for a linked one, the linked-to kind's name and value,
// separated by tabs (--json: an array of objects). delete warns that linked
// descriptors go too (message 1194); when several rows have the value (the
// same project under two clients) it asks which, or takes --which with the
// positions of the rows from 1.
//
// clients set changes only the fields given and creates the client when it
// is new; show prints "FIELD: value" lines.
//
// Changing descriptors needs administrator access when the database of the
// run (--db, else the user's current file) is protected; --password answers
// the prompt.
#pragma once

#include <vector>

#include "cli/command.h"

namespace qm::cli {

void AddDescriptorCommands(std::vector<Command>& commands);

// The repair command's part for the installation's shared files: deletes
// the production indexes of the clients file and the descriptor file and
// opens each again, which rebuilds it (355, or 356 on failure; 354 is not
// shown). 0, 1262 when an index cannot be deleted, or the open's failure.
int RepairSharedIndexes(CommandContext& context);

int RunDescriptorsList(CommandContext& context);
int RunDescriptorsAdd(CommandContext& context);
int RunDescriptorsDelete(CommandContext& context);
int RunClientsList(CommandContext& context);
int RunClientsShow(CommandContext& context);
int RunClientsSet(CommandContext& context);

}  // namespace qm::cli
