// Where the program's files live, and finding files the way Windows did.
//
// The program directory holds QUILLMK.INI, untitled.dbf, support/, backup/,
// invoices/, template/ and stddde.ini. It is $QUILLMK_HOME when set, else
// $XDG_DATA_HOME/quillmark, else ~/.local/share/quillmark.
//
// The stand-in for WIN.INI (section "intl" for the regional settings,
// section "Quillmk" key "MainDir") is $XDG_CONFIG_HOME/quillmark/win.ini,
// else ~/.config/quillmark/win.ini. A program directory named by
// $QUILLMK_HOME that holds its own win.ini uses that one instead, so that a
// home (a demo, a test, a --home run) carries its regional settings along.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace qm::platform {

std::string ProgramDirectory();
std::string WinIniPath();

// Creates the directory and its parents when missing.
Status EnsureDirectory(const std::string& path);

// "a" + "/" + "b", without doubling a slash.
std::string JoinPath(std::string_view directory, std::string_view name);

// An existing file at `path`, matched without regard to case in its last
// component, so that files copied from Windows ("TIME.DBF", "time.MDX")
// open. The exact spelling wins when it exists; nullopt when none matches.
std::optional<std::string> FindFileIgnoringCase(const std::string& path);

}  // namespace qm::platform
