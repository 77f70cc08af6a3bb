#pragma once

#include <string>

namespace cep {

/// The folder of the running executable, without a separator at the end;
/// empty when the system cannot say.
std::string ExecutableDir();

/// The folder the program is installed to (CMake's install bindir), as
/// configured when it was built.
std::string InstallBinDir();

/// True when `dir` is where an installed program lives: `installBinDir`
/// itself, or a folder under the system's program roots (/usr and /opt;
/// the Program Files folders on Windows). Paths are compared as written,
/// after removing "." and ".." and a separator at the end.
bool IsInstalledDir(const std::string& dir, const std::string& installBinDir);

/// True when the current user can create a file in `dir`: tried with a
/// probe file, removed at once.
bool IsWritableDir(const std::string& dir);

/// The user's cache folder of the program: $XDG_CACHE_HOME/cep-atualiza when
/// XDG_CACHE_HOME is an absolute path, else ~/.cache/cep-atualiza (on
/// Windows %LOCALAPPDATA%\cep-atualiza). Created when missing, with its
/// missing parents, readable by the user only. Raises TInOutError when it
/// cannot be created.
std::string UserCacheDir();

/// The folder of the temporary files when none is given: `exeDir` while the
/// program is not installed there and the user can write it, otherwise
/// UserCacheDir(). An installed program never writes its own folder, even
/// when run by a user who could. Raises TInOutError as UserCacheDir() does.
std::string DefaultWorkDir(const std::string& exeDir,
                           const std::string& installBinDir = InstallBinDir());

/// `dir` ending in a separator, as the run joins file names to it.
std::string WithSeparator(std::string dir);

}  // namespace cep
