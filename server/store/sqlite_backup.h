// Backup and restore of the embedded store, for the operator's commands
// `navlet-server backup FILE` and `restore FILE`. A plain copy of the live
// file is not a backup: the latest rows may still be in its write-ahead log.
#pragma once

#include <string>

namespace navlet::server {

// Copies the SQLite store at `live` to `copy` (replaced atomically once the
// copy is whole and checked) while a server may be writing to it. The copy is
// the store as it was when the backup began, in one file; writers go on
// meanwhile. False with `error` when the store cannot be read or is not a
// Navlet store.
bool BackupSqliteStore(const std::string& live, const std::string& copy, std::string& error);

// Puts the backup `copy` in place of the store at `live` (which need not
// exist); the store it replaces is kept beside it as LIVE.before-restore.
// Refuses a file that is not a whole Navlet store, one written by a newer
// server, and a store that is open (the server must be stopped). An older
// copy is upgraded when the server next opens it.
bool RestoreSqliteStore(const std::string& copy, const std::string& live, std::string& error);

} // namespace navlet::server
