// Where the register is and opening it: a file in the user's data folder by default (never the
// program's folder), or the one the settings name ("register.ini": 位置=…), or one given.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "register/register.h"
#include "settings/program_paths.h"

namespace kro {

std::filesystem::path defaultRegisterFile();
// The register's place, a file or a server's postgresql:// address: given, else the settings',
// else the default file.
std::string registerLocation(const SettingsLocation& settings, const std::optional<std::string>& given);
Status saveRegisterLocation(const SettingsLocation& settings, const std::string& location);

// Opens (and on first use makes) the register: in a file, refused on a network file system,
// where SQLite's locks cannot be trusted; or on a server, the password from the user's password
// file or the one given. An older register is copied (a file: beside itself) before it is
// migrated.
Result<std::unique_ptr<Register>> openRegister(const std::string& location, const std::string& password = {});
Result<std::unique_ptr<Register>> openRegister(const std::filesystem::path& file);

// A consistent copy of the register into a new file; and the register replaced by such a copy
// (the one it replaces kept beside it first). Both refuse a copy that is no register or a newer one.
Status backupRegister(const std::filesystem::path& file, const std::filesystem::path& copy);
Result<std::filesystem::path> restoreRegister(const std::filesystem::path& file,
                                              const std::filesystem::path& copy);

}  // namespace kro
