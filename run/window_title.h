// The main window's title: the program's name, the open database's file
// name in capitals and the person, e.g.
//
//   Corvane Quillmark - TIME.DBF (Ann Smith)
//
// The desktop program sets it at the end of start-up and whenever another
// database opens or the window is restored; quillmk-cli prints it.
#pragma once

#include <string>
#include <string_view>

namespace qm::run {

// Message 1131 "%s - %s (%s)" and message 1115, the program's name.
inline constexpr int kWindowTitleFormat = 1131;
inline constexpr int kProgramName = 1115;

// `database` is a path (Windows-1252, like every text of the program); only
// its file name shows. An empty person shows as "()".
std::string WindowTitle(std::string_view database, std::string_view user_name);

}  // namespace qm::run
