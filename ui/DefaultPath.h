#pragma once

#include <string>
#include <string_view>

namespace cep {

// The database path last configured for the maker's applications, proposed
// by the main window when it opens. Texts are as stored, in the file system's
// encoding.
//
// Windows: the value "RootDirectory" of HKEY_LOCAL_MACHINE
// "SOFTWARE\Morvalex\QuelmarPref", or, only when that key cannot be opened,
// of "SOFTWARE\Morvalex\TRIVENA"; then key PATH of section SERVER of
// root + "\Quelmar.ini".
//
// Elsewhere the two keys are two settings files, "Morvalex/QuelmarPref.conf"
// and, only when no folder has that one, "Morvalex/TRIVENA.conf", each looked
// for in the system configuration folders ($XDG_CONFIG_DIRS, by default
// /etc/xdg; the first folder that has the file counts). A settings file holds
// "RootDirectory=..." before any section header or in a [General] section (as
// QSettings writes it); a file that exists without it gives no root folder,
// and the other file is not consulted. Then PATH of [SERVER] in
// root + "/Quelmar.ini".
//
// Both INI files are read as GetPrivateProfileString reads them: section and
// key names regardless of case, the first occurrence counts, blanks around
// the value and one pair of enclosing quotes dropped, ';' inside a value kept,
// at most 2047 characters.

/// The maker's root folder; empty when neither settings file (key) exists or
/// the one found has no RootDirectory. Throws std::runtime_error only on
/// Windows, for a RootDirectory value that is not text.
std::string ReadRootDirectory();

/// Key `key` of section `section` of the INI file `fileName`; empty when the
/// file, the section or the key is missing.
std::string ReadIniString(const std::string& fileName, std::string_view section,
                          std::string_view key);

/// PATH of [SERVER] in the root folder's "Quelmar.ini"; empty without a root
/// folder or a path.
std::string ReadDefaultDatabasePath();

/// A path of this machine: one that starts with "/" or whose first ":" is
/// its second character (a drive letter and a colon). Anything else, such as
/// "server:/data/x.fdb" or a name without a colon, names a remote database.
bool IsLocalDatabasePath(std::string_view path);

}  // namespace cep
